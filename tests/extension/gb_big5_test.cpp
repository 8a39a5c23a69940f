// n_cst_gbtobig5 through the host. Chinese literals are GBK bytes at run time
// ("国" is b9 fa), so GB2312 input is written as text and Big5 as escapes.
// Every GB2312 character is checked against glibc's own GB2312 -> Big5
// converter, the source of the tables, through the library as loaded.
#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/extension/library.h"
#include "tests/support/temp_dir.h"

namespace {

using host::Value;
using host::ValueType;

class GbBig5 : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(nxtest::library().create("n_cst_gbtobig5", "gb"), PBX_OK); }
  void TearDown() override { nxtest::library().destroy("gb"); }

  static host::CallResult call(const char* method, Value argument) {
    return nxtest::library().call("gb", method, {std::move(argument)});
  }
  static std::string convert(const char* method, const std::string& text) {
    return call(method, Value::string(text)).result.text();
  }
};

// What glibc makes of one character; nullopt when it has no counterpart.
std::optional<std::string> iconvOne(const char* to, const char* from, const std::string& bytes) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in = bytes, out(8, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

TEST_F(GbBig5, TellingCharactersMapSimplifiedAndTraditionalForms) {
  struct Row {
    const char* method;
    std::string input;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"gbtobig5", "\xA1\xA1", "\xA1\x40"},  // ideographic space
      {"gbtobig5", "、", "\xA1\x42"},
      {"gbtobig5", "啊", "\xB0\xDA"},
      {"gbtobig5", "国", "\xB0\xEA"},
      {"gbtobig5", "中", "\xA4\xA4"},
      {"big5togb", "\xA1\x40", "\xA1\xA1"},
      {"big5togb", "\xA4\x40", "一"},
      {"big5togb", "\xB0\xEA", "国"},
      {"big5togb", "\xC5\xE9", "体"},
      // No counterpart: the ideographic space of the other set.
      {"gbtobig5", "\xA2\xA1", "\xA1\x40"},
      {"big5togb", "\xA1\x7F", "\xA1\xA1"},
  };
  for (const Row& row : rows) EXPECT_EQ(convert(row.method, row.input), row.expected) << row.input;
}

TEST_F(GbBig5, EveryGb2312CharacterConvertsAsGlibcDoes) {
  std::string all;
  std::vector<std::string> characters;
  for (int lead = 0xA1; lead <= 0xF7; ++lead) {
    if (lead >= 0xAA && lead <= 0xAF) continue;
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      const std::string c{static_cast<char>(lead), static_cast<char>(trail)};
      characters.push_back(c);
      all += c;
    }
  }
  const std::string converted = convert("gbtobig5", all);
  ASSERT_EQ(converted.size(), all.size());
  int mapped = 0;
  for (std::size_t i = 0; i < characters.size(); ++i) {
    const std::string got = converted.substr(2 * i, 2);
    const std::optional<std::string> expected = iconvOne("BIG5", "GB2312", characters[i]);
    if (expected && expected->size() == 2) {
      ++mapped;
      EXPECT_EQ(got, *expected) << std::hex
                                << (static_cast<unsigned char>(characters[i][0]) << 8 |
                                    static_cast<unsigned char>(characters[i][1]));
    } else {
      EXPECT_EQ(got, "\xA1\x40");
    }
  }
  EXPECT_GT(mapped, 6000);  // the tables are not a blank fill
}

TEST_F(GbBig5, LinesTabsAndPassThroughBytes) {
  struct Row {
    std::string input;
    std::string gbToBig5;
    std::string big5ToGb;
  };
  const std::vector<Row> rows = {
      {"Plain ASCII, 123!", "Plain ASCII, 123!", "Plain ASCII, 123!"},
      {"one\r\ntwo", "one\r\ntwo", "one\r\ntwo"},
      {"one\r\n", "one", "one"},
      {"abc\ndef", "ab\r\ndef", "ab\r\ndef"},  // a bare line feed takes the byte before it
      {"\n", "", ""},
      {"\r\n\r\n", "\r\n", "\r\n"},
      {"a\tb", "a        b", "a        b"},
      {"", "", ""},
      // GBK outside GB2312 passes byte by byte.
      {"\x81\x40x", "\x81\x40x", "\x81\x40x"},
      // A lead byte before a line end, a tab or an ASCII byte stays alone.
      {"\xB9\tx", "\xB9        x", "\xB9        x"},
      // Trail or lead byte 0xFF lies past its row or table: copied a byte at a time.
      {"\xF7\xFF", "\xF7\xFF", "\xF7\xFF"},
      {"\xFE\xFF", "\xFE\xFF", "\xFE\xFF"},
      {"\xFF\xFE", "\xFF\xFE", "\xFF\xFE"},
      {"\xFF", "\xFF", "\xFF"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(convert("gbtobig5", row.input), row.gbToBig5) << row.input;
    EXPECT_EQ(convert("big5togb", row.input), row.big5ToGb) << row.input;
  }
  EXPECT_EQ(convert("gbtobig5", "中国\r\n人民\t共和国"),
            "\xA4\xA4\xB0\xEA\r\n\xA4\x48\xA5\xC1        \xA6\x40\xA9\x4D\xB0\xEA");
  // The last entry of both tables is inside them.
  EXPECT_EQ(convert("big5togb", "\xFE\xFE").size(), 2u);
  EXPECT_EQ(convert("gbtobig5", "\xFE\xFE").size(), 2u);
}

TEST_F(GbBig5, QuickTestsLookAtTheFirstTwoBytes) {
  struct Row {
    std::string input;
    bool big5;
    bool gb;
  };
  const std::vector<Row> rows = {
      {"", false, false},        {"ab", false, false},       {"\xA4\x40", true, false},
      {"中", true, true},        {"\xA1\xA2", false, false}, {"\xA2\xA2", true, true},
      {"\xF7\xA2", true, false}, {"\xA2\xFE", true, false},  {"\xA2\xFF", false, false},
      {"\xD6", false, false},    {"\xA2\x3F", false, false}, {"a中", false, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(call("isbig5", Value::string(row.input)).result.flag(), row.big5) << row.input;
    EXPECT_EQ(call("isgb", Value::string(row.input)).result.flag(), row.gb) << row.input;
  }
}

TEST_F(GbBig5, NullReadsAsEmptyAndOfIsgbAnswersNothing) {
  for (const char* method : {"gbtobig5", "big5togb"}) {
    host::CallResult r = call(method, Value::null(ValueType::String));
    ASSERT_TRUE(r.result.wasSet());
    EXPECT_EQ(r.result.text(), "");
  }
  for (const char* method : {"isbig5", "isgb"}) {
    host::CallResult r = call(method, Value::null(ValueType::String));
    ASSERT_TRUE(r.result.wasSet());
    EXPECT_FALSE(r.result.flag());
  }
  host::CallResult r = call("of_isgb", Value::string("中"));
  EXPECT_FALSE(r.result.wasSet());
  EXPECT_TRUE(r.messages.empty());
}

// The tables are the library's own data: found whatever its file is called.
TEST(GbBig5Tables, ArePartOfTheLibraryUnderAnyFileName) {
  TempDir temp;
  const std::string renamed = temp.path() + "other_name.so";
  std::filesystem::copy_file(NXCLASS_PATH, renamed);
  host::Host other(renamed);
  ASSERT_EQ(other.create("n_cst_gbtobig5", "gb"), PBX_OK);
  host::CallResult r = other.call("gb", "gbtobig5", {Value::string("国")});
  EXPECT_EQ(r.result.text(), "\xB0\xEA");
  EXPECT_TRUE(r.messages.empty());
  other.destroy("gb");
}

}  // namespace
