// Multi-byte aware case folding and comparison of GBK text (code page 936 rules).
// A lead byte as the last byte has no partner and stays a single byte.
#include "platform/gbk_text.h"

namespace platform {
namespace {

unsigned char foldByte(unsigned char b) {
    return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

}  // namespace

bool isGbkLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(out[i]);
        if (isGbkLeadByte(b))
            ++i;  // the trail byte belongs to the character, whatever its value
        else
            out[i] = static_cast<char>(foldByte(b));
    }
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
        trail = !trail && isGbkLeadByte(x);
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && compareIgnoreCase(a, b) == 0;
}

}  // namespace platform
