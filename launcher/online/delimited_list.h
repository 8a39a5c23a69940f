// A delimited list read the way the platform's string lists read one: items
// end at the delimiter and, outside double quotes, at blanks and control
// characters; a quoted item loses its quotes ("" inside stands for one);
// a delimiter at the very end adds an empty item; a zero byte ends the text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace launcher {

std::vector<std::string> SplitDelimited(std::string_view text, char delimiter);

}  // namespace launcher
