// The launcher's text cipher: DES in electronic-codebook mode over zero-filled 8-byte blocks,
// the enciphered form being lower-case hexadecimal text; keys are zero-filled or cut to 8 bytes.
// Both functions raise LauncherError on bad input, keep no state, and any thread may call them.
#pragma once

#include <string>
#include <string_view>

namespace launcher {

// Enciphers the text's bytes as they stand (GBK). Returns 16 hexadecimal digits per block,
// the empty text for the empty text. Raises "Error: the last char is NULL char." when the
// text ends with a byte 0, which the zero fill could not give back.
std::string EncryptText(std::string_view text, std::string_view key);

// Deciphers the whole blocks of a hexadecimal text (digits in either case; an odd last digit
// and a partial last block are ignored) and removes the zero fill. Bytes that are valid UTF-8
// of characters GBK has come back as GBK; any other bytes come back unchanged.
// Raises "Error: not a Hex String" when a digit pair holds anything but a hexadecimal digit.
std::string DecryptText(std::string_view hex, std::string_view key);

}  // namespace launcher
