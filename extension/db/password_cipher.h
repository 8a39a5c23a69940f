// The small routine that deciphers the password stored in the remote-database
// configuration file: DES-ECB under the first 8 characters of the given key
// ("&+hkxvq%" for the key "&+hkxvq%?"), stored as lower-case hex of the zero-filled text.
#pragma once

#include <string>
#include <string_view>

namespace nx::db {

// The plain text, trailing zero bytes removed, at most 499 characters; empty
// when `stored` is not hex (either case) or not whole 8-byte blocks.
std::string decryptStoredPassword(std::string_view stored, std::string_view key);

// The inverse, for tests and tools: lower-case hex of the zero-filled text.
std::string encryptStoredPassword(std::string_view plain, std::string_view key);

}  // namespace nx::db
