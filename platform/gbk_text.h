// Letter-case rules for GBK text as Windows code page 936 applies them: only single-byte
// A-Z fold, and a lead byte (0x81-0xFE) with the byte after it is one character that is
// never folded or split. Pure functions, safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

bool isGbkLeadByte(unsigned char b);

std::string lowerAscii(std::string_view text);

// <0, 0 or >0 like strcmp on the lower-cased texts (bytes compared unsigned).
int compareIgnoreCase(std::string_view a, std::string_view b);

bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace platform
