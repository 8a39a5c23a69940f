// DES-ECB text cipher: zero fill, lower-case hex out, hex in either case (every pair is
// checked, also those of a partial last block), trailing zero bytes removed, UTF-8 turned
// into GBK where the bytes allow it. Stateless.
#include "launcher/support/text_cipher.h"

#include <algorithm>

#include "launcher/support/error.h"
#include "platform/des_ecb.h"
#include "platform/gbk.h"

namespace launcher {
namespace {

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
  platform::zeroFillBlocks(bytes);
  platform::desEcb(bytes, key, true);
  return platform::toLowerHex(bytes);
}

std::string DecryptText(std::string_view hex, std::string_view key) {
  std::optional<std::string> decoded = platform::fromHex(hex);
  if (!decoded) throw LauncherError("Error: not a Hex String");
  std::string bytes = std::move(*decoded);
  bytes.resize(bytes.size() / 8 * 8);  // a partial last block is dropped
  platform::desEcb(bytes, key, false);
  bytes.erase(bytes.find_last_not_of('\0') + 1);  // npos + 1 == 0 clears an all-zero result
  return utf8ToLauncherText(std::move(bytes));
}

}  // namespace launcher
