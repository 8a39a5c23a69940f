// On OpenSSL's low-level DES block functions: deprecated in OpenSSL 3 but part
// of libcrypto itself, so unlike EVP's DES-ECB they need no legacy provider
// module at run time and touch no process-wide state. Key schedules are wiped.
#include "platform/des_ecb.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/des.h>

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

constexpr std::size_t kBlock = 8;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void desEcb(std::string& bytes, std::string_view key, bool encipher) {
  DES_cblock prepared{};  // zero fill of a short key
  std::memcpy(prepared, key.data(), std::min(key.size(), kBlock));
  DES_key_schedule schedule;
  // Unchecked: parity bits are ignored and weak keys allowed, as the
  // standard's key schedule does; the keys are fixed, not chosen for strength.
  DES_set_key_unchecked(&prepared, &schedule);
  for (std::size_t at = 0; at + kBlock <= bytes.size(); at += kBlock) {
    auto* block = reinterpret_cast<DES_cblock*>(bytes.data() + at);
    DES_ecb_encrypt(block, block, &schedule, encipher ? DES_ENCRYPT : DES_DECRYPT);
  }
  OPENSSL_cleanse(prepared, sizeof prepared);
  OPENSSL_cleanse(&schedule, sizeof schedule);
}

void zeroFillBlocks(std::string& bytes) {
  bytes.resize((bytes.size() + kBlock - 1) / kBlock * kBlock, '\0');
}

std::string toLowerHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex(bytes.size() * 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    hex[2 * i] = kDigits[b >> 4];
    hex[2 * i + 1] = kDigits[b & 0x0f];
  }
  return hex;
}

std::optional<std::string> fromHex(std::string_view hex) {
  std::string bytes(hex.size() / 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int high = hexValue(hex[2 * i]);
    const int low = hexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<char>(high << 4 | low);
  }
  return bytes;
}

}  // namespace platform
