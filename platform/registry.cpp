#include "platform/registry.h"

#include <cstdlib>

#include "platform/paths.h"
#include "platform/profile.h"

namespace platform {

std::string registryFile() {
  const char* configured = std::getenv("NORVEX_REGISTRY_FILE");
  if (configured != nullptr && *configured != '\0') return configured;
  return systemRoot() + "norvex/registry.ini";
}

std::optional<std::int64_t> readRegistryInt(std::string_view key, std::string_view value) {
  // A value of an INI file cannot hold a line feed, so this marks "absent".
  const std::string text = readProfileString(registryFile(), key, value, "\n");
  if (text == "\n" || text.empty()) return std::nullopt;
  char* end = nullptr;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return number;
}

}  // namespace platform
