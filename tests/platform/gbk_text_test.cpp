// Case rules of GBK text: only single-byte A-Z fold, a double-byte character is never
// folded or split, and comparison orders the lower-cased bytes like strcmp.
#include "platform/gbk_text.h"

#include <gtest/gtest.h>

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

TEST(GbkText, LeadBytesAre81ToFE) {
  const std::vector<std::pair<unsigned char, bool>> rows = {
      {0x00, false}, {0x41, false}, {0x7f, false}, {0x80, false},
      {0x81, true},  {0xa1, true},  {0xfe, true},  {0xff, false},
  };
  for (auto [byte, lead] : rows) EXPECT_EQ(platform::isGbkLeadByte(byte), lead) << int(byte);
}

TEST(GbkText, LowerAsciiFoldsOnlySingleByteCapitals) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"", ""},
      {"ABC xyz", "abc xyz"},
      {"@AZ[`az{", "@az[`az{"},          // neighbours of the letter ranges stay
      {"\x81\x41", "\x81\x41"},          // trail byte 'A' is part of a character
      {"\x81\x41\x42", "\x81\x41\x62"},  // the byte after the pair folds again
      {"\x81\x81\x41", "\x81\x81\x61"},  // 0x81 as trail, then a single 'A'
      {"会员ID", "会员id"},
      {"A\x81", "a\x81"},    // a lead byte at the end stands alone
      {"\x81,A", "\x81,a"},  // ... and so does one before no trail byte
      {std::string("A\0B", 3), std::string("a\0b", 3)},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(platform::lowerAscii(in), out) << in;
}

TEST(GbkText, CompareOrdersLowerCasedTextAndEqualsAgrees) {
  struct Row {
    std::string a, b;
    int expected;
  };
  const std::vector<Row> rows = {
      {"ABC", "abc", 0},
      {"", "", 0},
      {"ab", "abc", -1},
      {"abc", "ab", 1},
      {"", "a", -1},
      {"a", "B", -1},  // raw bytes would order 'a' after 'B'
      {"[", "A", -1},  // lower-cased first: '[' is below 'a'
      {"中文", "中文", 0},
      {"中文", "中午", -1},          // ce c4 before ce e7
      {"\x81\x41", "\x81\x61", -1},  // trail bytes not folded, so they differ
      {"\x81\x61", "\x81\x41", 1},
      {"\x81\x41"
       "A",
       "\x81\x41"
       "a",
       0},
      {"z", "\x81\x40", -1},  // bytes compare unsigned
      {"A\x81", "a\x81", 0},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(sign(platform::compareIgnoreCase(r.a, r.b)), r.expected) << r.a << " | " << r.b;
    EXPECT_EQ(platform::equalsIgnoreCase(r.a, r.b), r.expected == 0) << r.a << " | " << r.b;
  }
}

}  // namespace

TEST(GbkText, FindCharactersMatchesWholeCharactersOnly) {
  struct Row {
    std::string text, what;
    std::size_t from, expected;
  };
  const std::size_t npos = std::string_view::npos;
  const std::vector<Row> rows = {
      {"abcabc", "bc", 0, 1},
      {"abcabc", "bc", 2, 4},
      {"abc", "", 0, npos},
      {"abc", "x", 0, npos},
      // 0x41 ('A') as a second byte is not an 'A'; the real one follows it.
      {"\x81\x41"
       "A",
       "A", 0, 2},
      {"\x81\x41", "A", 0, npos},
      // A match may not end inside a character either.
      {"\x81\x41", "\x81", 0, npos},
      {"x\x81\x41\x81\x41", "\x41\x81", 0, npos},
      // A lead byte without a trail byte does not swallow the comma after it.
      {"\xc5,c", ",", 0, 1},
      {"\xd6\xd0\xce\xc4\xd6\xd0", "\xd6\xd0", 2, 4},
  };
  for (const Row& r : rows)
    EXPECT_EQ(platform::findCharacters(r.text, r.what, r.from), r.expected) << r.text;
}
