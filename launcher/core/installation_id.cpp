#include "launcher/core/installation_id.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "launcher/core/daily_log.h"
#include "launcher/support/error.h"
#include "platform/atomic_file.h"

namespace launcher {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

std::string hex(const unsigned char* bytes, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

// systemd writes "uninitialized" into the file of a machine that has not
// got its id yet.
bool isMachineId(const std::string& id) { return !id.empty() && id != "uninitialized"; }

std::string firstLine(const std::string& path) {
  std::ifstream in(path);
  std::string id;
  in >> id;
  return id;
}

std::vector<std::string> machineIdFiles() {
  const char* configured = std::getenv("NORVEX_MACHINE_ID_FILE");
  const std::string list = configured != nullptr && *configured != '\0'
                               ? configured
                               : "/etc/machine-id:/var/lib/dbus/machine-id";
  std::vector<std::string> files;
  for (std::size_t start = 0; start <= list.size();) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) files.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return files;
}

// Made once and kept; if it cannot be kept, this run still has one.
std::string keptIdentifier(const std::string& appDir) {
  const std::string path = appDir + "config/installation-id";
  std::string id = firstLine(path);
  if (isMachineId(id)) return id;
  unsigned char random[16];
  if (RAND_bytes(random, sizeof random) != 1) return std::string();
  id = hex(random, sizeof random);
  const std::string error =
      platform::replaceFileAtomically(path, id + "\n", S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
  if (!error.empty()) {
    // The vendor service and the clients would see another installation
    // at every start; the technician finds why in the daily log.
    try {
      WriteDailyLog(appDir, "安装标识无法保存，每次启动都会不同：" + path + "：" + error);
    } catch (const LauncherError&) {
    }
  }
  return id;
}

}  // namespace

std::string ObtainInstallationId(const std::string& appDir) {
  std::string id;
  for (const std::string& file : machineIdFiles()) {
    id = firstLine(file);
    if (isMachineId(id)) break;
    id.clear();
  }
  if (id.empty()) id = keptIdentifier(appDir);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (id.empty() || EVP_Digest(id.data(), id.size(), digest, &length, EVP_md5(), nullptr) != 1)
    return std::string();
  return hex(digest, length);
}

}  // namespace launcher
