// MD5 through OpenSSL's EVP interface. The digest text is returned by value,
// so callers never share a buffer.
#include "extension/frame/md5_hex.h"

#include <openssl/evp.h>

namespace nx {

std::string md5Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1)
    return std::string();
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 0x0f];
  }
  return hex;
}

}  // namespace nx
