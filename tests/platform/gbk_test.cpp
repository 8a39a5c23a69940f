// GBK <-> UTF-8 conversion: exact results for valid input, nullopt for anything that
// is not valid in its encoding or has no counterpart in the other one.
#include "platform/gbk.h"

#include <gtest/gtest.h>

namespace {

// A u8 literal stays UTF-8 whatever the execution character set is.
std::string utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

struct Pair {
  std::string gbk;
  std::string utf8;
};

const std::vector<Pair>& validPairs() {
  static const std::vector<Pair> rows = {
      {"", ""},
      {"plain ascii 123", "plain ascii 123"},
      {"\xcc\xe1\xca\xbe", utf8(u8"提示")},
      {"会员管理", utf8(u8"会员管理")},  // the compiler stored these literals as GBK
      {std::string("a\0中\0", 5), std::string("a\0\xe4\xb8\xad\0", 6)},
      {"\x81\x41", "\xe4\xb8\x84"},                          // trail byte in the range of 'A'..'Z'
      {"\x80", "\xe2\x82\xac"},                              // code page 936's euro sign
      {repeat("\x80", 1000), repeat("\xe2\x82\xac", 1000)},  // output three times the input
      {repeat("中文", 5000), repeat(utf8(u8"中文"), 5000)},
  };
  return rows;
}

TEST(Gbk, ValidTextConvertsExactlyBothWays) {
  for (const auto& row : validPairs()) {
    EXPECT_EQ(platform::gbkToUtf8(row.gbk), row.utf8) << row.utf8.substr(0, 40);
    EXPECT_EQ(platform::utf8ToGbk(row.utf8), row.gbk) << row.utf8.substr(0, 40);
  }
}

TEST(Gbk, InvalidGbkGivesNothing) {
  const std::vector<std::string> rows = {
      "\x81",      // lead byte without trail
      "abc\xd6",   // text cut inside a character
      "\xff",      // never a GBK byte
      "\x81\x7f",  // 0x7F is no trail byte
      "\xa2\xe3",  // unassigned code
      "\xaa\xa1",  // user-defined area
      std::string("ok\0\xff", 4),
  };
  for (const auto& row : rows) EXPECT_EQ(platform::gbkToUtf8(row), std::nullopt) << row;
}

TEST(Gbk, InvalidOrUnmappableUtf8GivesNothing) {
  const std::vector<std::string> rows = {
      "\xc0\x80",              // overlong NUL
      "\xed\xa0\x80",          // surrogate
      "\xe4\xb8",              // cut inside a character
      "ab\xff",                // never a UTF-8 byte
      "\x80",                  // continuation byte alone
      utf8(u8"中\U0001F600"),  // emoji: GBK has none
      utf8(u8"\uD55C"),        // Hangul: GBK has none
  };
  for (const auto& row : rows) EXPECT_EQ(platform::utf8ToGbk(row), std::nullopt) << row;
}

}  // namespace
