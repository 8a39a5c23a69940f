#include "launcher/core/installation_id.h"

#include <openssl/evp.h>

#include <cstdlib>
#include <fstream>

namespace launcher {

std::string ObtainInstallationId() {
  const char* configured = std::getenv("NORVEX_MACHINE_ID_FILE");
  std::ifstream in(configured != nullptr && *configured != '\0' ? configured : "/etc/machine-id");
  std::string id;
  if (!(in >> id) || id.empty()) return std::string();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(id.data(), id.size(), digest, &length, EVP_md5(), nullptr) != 1) return {};
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 15];
  }
  return text;
}

}  // namespace launcher
