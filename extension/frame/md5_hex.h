// The MD5 digest (RFC 1321) of a text's bytes, as stored (GBK, no conversion),
// rendered as 32 upper-case hexadecimal digits, high half of each byte first.
#pragma once

#include <string>
#include <string_view>

namespace nx {

std::string md5Hex(std::string_view bytes);

}  // namespace nx
