// Values of the system registry the launcher looks at (installed runtimes).
// Linux has no registry: the values live in an INI file whose sections are
// the key paths ("HKEY_LOCAL_MACHINE\SOFTWARE\...") and whose keys are the
// value names. The file is $NORVEX_REGISTRY_FILE, or "norvex/registry.ini"
// under the system root. A missing file, key or value reads as absent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::string registryFile();

// An integer value; nullopt when absent or not a whole number.
std::optional<std::int64_t> readRegistryInt(std::string_view key, std::string_view value);

}  // namespace platform
