// Multi-byte aware case folding and comparison of GBK text (code page 936 rules).
// A lead byte without a trail byte after it (or at the end) stays a single byte.
#include "platform/gbk_text.h"

namespace platform {
namespace {

unsigned char foldByte(unsigned char b) {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

}  // namespace

bool isGbkLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

bool isGbkTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

std::size_t characterLength(std::string_view text, std::size_t at) {
  return isGbkLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() &&
                 isGbkTrailByte(static_cast<unsigned char>(text[at + 1]))
             ? 2
             : 1;
}

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); i += characterLength(out, i))
    out[i] = static_cast<char>(foldByte(static_cast<unsigned char>(out[i])));
  return out;
}

int compareIgnoreCase(std::string_view a, std::string_view b) {
  // Up to the first difference both texts hold the same bytes, so both split into
  // characters at the same places and one trail flag serves both.
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  bool trail = false;
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (!trail) {
      x = foldByte(x);
      y = foldByte(y);
    }
    if (x != y) return x < y ? -1 : 1;
    trail = !trail && characterLength(a, i) == 2;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && compareIgnoreCase(a, b) == 0;
}

std::size_t findCharacters(std::string_view text, std::string_view what, std::size_t from) {
  if (what.empty()) return std::string_view::npos;
  std::size_t boundary = from;  // always a character start
  for (;;) {
    const std::size_t at = text.find(what, boundary);
    if (at == std::string_view::npos) return at;
    while (boundary < at) boundary += characterLength(text, boundary);
    if (boundary == at) {
      std::size_t end = at;
      while (end < at + what.size()) end += characterLength(text, end);
      if (end == at + what.size()) return at;
      boundary += characterLength(text, boundary);
    }
  }
}

}  // namespace platform
