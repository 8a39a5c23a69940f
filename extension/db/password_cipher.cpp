// Stored passwords: DES-ECB with zero fill as lower-case hex.
#include "extension/db/password_cipher.h"

#include "platform/des_ecb.h"

namespace nx::db {
namespace {

constexpr std::size_t kBlock = 8;
constexpr std::size_t kMaxPlain = 499;

}  // namespace

std::string decryptStoredPassword(std::string_view stored, std::string_view key) {
  if (stored.size() % (2 * kBlock) != 0) return std::string();
  std::optional<std::string> decoded = platform::fromHex(stored);
  if (!decoded) return std::string();
  std::string bytes = std::move(*decoded);
  platform::desEcb(bytes, key, false);
  while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  if (bytes.size() > kMaxPlain) bytes.resize(kMaxPlain);
  return bytes;
}

std::string encryptStoredPassword(std::string_view plain, std::string_view key) {
  std::string bytes(plain);
  platform::zeroFillBlocks(bytes);
  platform::desEcb(bytes, key, true);
  return platform::toLowerHex(bytes);
}

}  // namespace nx::db
