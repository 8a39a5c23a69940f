// DES in electronic-codebook mode and lower-case hexadecimal text: the
// cipher under the launcher's text cipher and the extension's stored
// passwords. Keys shorter than 8 bytes are zero-filled, longer ones cut.
// Stateless and safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Enciphers (or deciphers) every whole 8-byte block of `bytes` in place;
// bytes beyond the last whole block stay as they are.
void desEcb(std::string& bytes, std::string_view key, bool encipher);

// Appends bytes of value 0 up to a whole number of 8-byte blocks.
void zeroFillBlocks(std::string& bytes);

// Two lower-case hexadecimal digits per byte.
std::string toLowerHex(std::string_view bytes);
// Pairs of hexadecimal digits in either case, from the start; a lone last
// digit is ignored. nullopt when a pair holds another character.
std::optional<std::string> fromHex(std::string_view hex);

}  // namespace platform
