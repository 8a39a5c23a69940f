// GB2312 <-> Big5 conversion character by character through the library's
// two code tables, with the line handling of n_cst_gbtobig5 (tabs become
// eight blanks, lines are joined by CR LF), and the two quick tests that
// guess a text's encoding from its first two bytes.
#pragma once

#include <string>
#include <string_view>

namespace nx {

std::string gbToBig5(std::string_view text);
std::string big5ToGb(std::string_view text);

bool isBig5(std::string_view text);
bool isGb(std::string_view text);

}  // namespace nx
