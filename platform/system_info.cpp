#include "platform/system_info.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace platform {

std::string computerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::string();
  std::string host(name);
  return host.substr(0, host.find('.'));
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createFolders(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return folderExists(path);
}

}  // namespace platform
