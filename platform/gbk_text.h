// Letter-case rules for GBK text as code page 936 applies them: only single-byte A-Z
// fold, and a lead byte (0x81-0xFE) with a trail byte after it (0x40-0x7E, 0x80-0xFE) is
// one character that is never folded or split. A lead byte without a trail byte stands
// alone, so a stray high byte never swallows the comma or blank after it. Pure
// functions, safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

bool isGbkLeadByte(unsigned char b);
bool isGbkTrailByte(unsigned char b);

std::string lowerAscii(std::string_view text);

// <0, 0 or >0 like strcmp on the lower-cased texts (bytes compared unsigned).
int compareIgnoreCase(std::string_view a, std::string_view b);

bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Length of the character starting at `at`: 2 for a lead byte with a trail byte, else 1.
std::size_t characterLength(std::string_view text, std::size_t at);

// The first occurrence of `what` at or after `from` (a character start) that
// begins and ends on character boundaries, so a match never takes half of a
// double-byte character; npos when there is none or `what` is empty.
std::size_t findCharacters(std::string_view text, std::string_view what, std::size_t from = 0);

}  // namespace platform
