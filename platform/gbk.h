// Conversion between GBK bytes and UTF-8 text through glibc iconv.
// Both directions return nullopt rather than a lossy result; embedded NUL bytes are data.
// Thread-safe: every call uses its own conversion descriptor.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// nullopt when the bytes are not valid GBK or their UTF-8 text does not convert back
// to exactly the same bytes, so the result always stands for those exact bytes.
std::optional<std::string> gbkToUtf8(std::string_view gbk);

// nullopt when the text is not valid UTF-8 or holds a character GBK lacks.
std::optional<std::string> utf8ToGbk(std::string_view utf8);

}  // namespace platform
