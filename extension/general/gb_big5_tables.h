// The two code tables of the GB2312/Big5 conversion, compiled into the
// library: two bytes per entry, lead byte first.
#pragma once

namespace nx {

// GB2312 lead bytes A1-A9 (rows 0-8) and B0-FE (rows 9-87), trail bytes A1-FE.
extern const unsigned char kGbToBig5[88 * 94 * 2];
// Big5 lead bytes A1-FE, trail bytes 40-FE.
extern const unsigned char kBig5ToGb[94 * 191 * 2];

}  // namespace nx
