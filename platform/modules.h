// The modules (the program and its shared libraries) loaded in this process,
// as Windows names them by a handle. Safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// A non-zero 32-bit identifier of the loaded module whose file name or full
// path is `name` (letter case ignored), derived from its load address so that
// it stays the same while the module is loaded; nullopt names the program
// itself. 0 when no such module is loaded.
std::uint32_t moduleHandle(std::optional<std::string_view> name);

}  // namespace platform
