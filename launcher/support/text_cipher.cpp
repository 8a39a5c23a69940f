// DES-ECB text cipher on OpenSSL's DES primitives: zero fill, lower-case hex out, hex in either
// case, trailing zero bytes removed, UTF-8 turned into GBK where the bytes allow it.
// Stateless: every call builds its own key schedule and wipes it afterwards.
#include "launcher/support/text_cipher.h"

// The DES_* block functions are deprecated in OpenSSL 3 but still part of libcrypto itself.
// Unlike EVP's DES-ECB they need no legacy provider module to be found and loaded at run time,
// and they touch no process-wide provider state.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/des.h>

#include <algorithm>
#include <cstring>

#include "launcher/support/error.h"
#include "platform/gbk.h"

namespace launcher {
namespace {

constexpr std::size_t kBlock = 8;

// Owns one key schedule, built from the key as prepared for both directions.
class DesKey {
 public:
  explicit DesKey(std::string_view key) {
    DES_cblock prepared{};  // zero fill of a short key
    std::memcpy(prepared, key.data(), std::min(key.size(), kBlock));
    // Unchecked: parity bits are ignored and weak keys are allowed, as the standard's
    // key schedule does; the keys are fixed by the callers, not chosen for strength.
    DES_set_key_unchecked(&prepared, &schedule_);
    OPENSSL_cleanse(prepared, sizeof prepared);
  }
  ~DesKey() { OPENSSL_cleanse(&schedule_, sizeof schedule_); }
  DesKey(const DesKey&) = delete;
  DesKey& operator=(const DesKey&) = delete;

  // Enciphers or deciphers whole blocks in place.
  void apply(std::string& bytes, int direction) {
    for (std::size_t at = 0; at + kBlock <= bytes.size(); at += kBlock) {
      auto* block = reinterpret_cast<DES_cblock*>(bytes.data() + at);
      DES_ecb_encrypt(block, block, &schedule_, direction);
    }
  }

 private:
  DES_key_schedule schedule_;
};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string toHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex(bytes.size() * 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    hex[2 * i] = kDigits[b >> 4];
    hex[2 * i + 1] = kDigits[b & 0x0f];
  }
  return hex;
}

// Every pair is checked, including pairs of a partial last block that is dropped later;
// a lone last digit is never looked at.
std::string fromHex(std::string_view hex) {
  std::string bytes(hex.size() / 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int high = hexValue(hex[2 * i]);
    const int low = hexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) throw LauncherError("Error: not a Hex String");
    bytes[i] = static_cast<char>(high << 4 | low);
  }
  return bytes;
}

// The deciphered bytes are read as UTF-8 and handed back as GBK. But EncryptText takes GBK
// as it stands, so a GBK text is rarely valid UTF-8: converting only when the bytes are UTF-8
// of characters GBK has, and keeping them otherwise, lets GBK texts come back unchanged.
std::string utf8ToLauncherText(std::string bytes) {
  // ASCII is the same in both, and it is what keys and passwords hold: skip iconv.
  if (std::all_of(bytes.begin(), bytes.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return bytes;
  }
  if (auto gbk = platform::utf8ToGbk(bytes)) return std::move(*gbk);
  return bytes;
}

}  // namespace

std::string EncryptText(std::string_view text, std::string_view key) {
  if (!text.empty() && text.back() == '\0') {
    throw LauncherError("Error: the last char is NULL char.");
  }
  std::string bytes(text);
  bytes.resize((bytes.size() + kBlock - 1) / kBlock * kBlock, '\0');
  DesKey(key).apply(bytes, DES_ENCRYPT);
  return toHex(bytes);
}

std::string DecryptText(std::string_view hex, std::string_view key) {
  std::string bytes = fromHex(hex);
  bytes.resize(bytes.size() / kBlock * kBlock);
  DesKey(key).apply(bytes, DES_DECRYPT);
  bytes.erase(bytes.find_last_not_of('\0') + 1);  // npos + 1 == 0 clears an all-zero result
  return utf8ToLauncherText(std::move(bytes));
}

}  // namespace launcher
