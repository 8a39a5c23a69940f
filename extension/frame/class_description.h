// The class description text (GBK, lines ended by a single line feed,
// NUL-terminated), static for the life of the library.
#pragma once

namespace nx {

extern const char kClassDescription[];

}  // namespace nx
