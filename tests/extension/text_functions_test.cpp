// The text functions through the host: results, by-reference write-backs and
// null paths. A nullptr in a row stands for a null argument. Chinese literals
// are GBK bytes at run time ("中" is d6 d0; "丄" is 81 41 and "乤" 81 61, trail
// bytes that a byte-wise fold would take for A and a).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/extension/library.h"

namespace {

using host::Value;
using host::ValueType;
using nxtest::callGlobal;
using nxtest::textOrNull;

struct TwoTextRow {
  const char* first;
  const char* second;
  const char* expected;
};

struct OneTextRow {
  const char* input;
  const char* expected;
};

// gf_addstring, gf_addstring_and: as_1 / as_src is written back in every case.
void expectWrittenBack(const char* function, const std::vector<TwoTextRow>& rows) {
  for (const TwoTextRow& row : rows) {
    SCOPED_TRACE(std::string(function) + " of " + (row.first ? row.first : "null") + " | " +
                 (row.second ? row.second : "null"));
    host::CallResult r = callGlobal(function, {textOrNull(row.first), textOrNull(row.second)});
    ASSERT_TRUE(r.args[0].wasSet());
    EXPECT_EQ(r.args[0].text(), row.expected);
    EXPECT_EQ(r.result.type(), ValueType::Int);
    EXPECT_EQ(r.result.integer(), 1);
  }
}

TEST(GfAddstring, AppendsWithLineBreakUnlessSecondIsEmpty) {
  expectWrittenBack("gf_addstring", {
                                        {"a", "b", "a\r\nb"},
                                        {"", "x", "\r\nx"},
                                        {"a", "", "a"},
                                        {nullptr, "x", "\r\nx"},
                                        {"a", nullptr, "a"},
                                        {"", "", ""},
                                    });
}

TEST(GfAddstringAnd, JoinsConditionsWithAndAfterTrimmingTheNewOne) {
  expectWrittenBack("gf_addstring_and", {
                                            {"a=1", "b=2 ", "a=1 and b=2"},
                                            {"", "b=2\t\r\n ", "b=2"},
                                            {"a=1", " \t", "a=1"},
                                            {"a=1", " b=2", "a=1 and  b=2"},
                                            {nullptr, "b=2", "b=2"},
                                            {"a=1", nullptr, "a=1"},
                                        });
}

TEST(GfAddstringList, JoinsWithBlankSeparatedSeparator) {
  struct Row {
    const char* list;
    const char* item;
    const char* separator;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"a", "b", ",", "a , b"},   {"a", "b", "", "ab"},      {"", "b", ",", "b"},
      {"a", "", "or", "a"},       {"a", "b", nullptr, "ab"}, {nullptr, "b", "or", "b"},
      {"a", "b", "or", "a or b"}, {"a", nullptr, ",", "a"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    host::CallResult r =
        callGlobal("gf_addstring_list",
                   {textOrNull(row.list), textOrNull(row.item), textOrNull(row.separator)});
    ASSERT_TRUE(r.args[0].wasSet());
    EXPECT_EQ(r.args[0].text(), row.expected);
    EXPECT_EQ(r.result.integer(), 1);
  }
}

TEST(GfAddline, DeliversATextWithLineBreakAlways) {
  const std::vector<TwoTextRow> rows = {
      {"a", "b", "a\r\nb"},
      {"a", "", "a\r\n"},
      {nullptr, nullptr, "\r\n"},
      {"中", "文", "中\r\n文"},
  };
  for (const TwoTextRow& row : rows) {
    host::CallResult r = callGlobal("gf_addline", {textOrNull(row.first), textOrNull(row.second)});
    EXPECT_EQ(r.result.type(), ValueType::String);
    EXPECT_EQ(r.result.text(), row.expected);
  }
}

TEST(Trimlength, CountsAfterSpaceTrimWithoutTrailingWhiteButKeepsFirstByte) {
  struct Row {
    const char* input;
    int expected;
  };
  const std::vector<Row> rows = {
      {"  ab  ", 2}, {"ab\b", 2},    {"\b", 1},    {"a\b \b ", 1}, {"\bab", 3},
      {"", 0},       {" \t\r\n", 0}, {"中文 ", 4}, {"a b", 3},     {nullptr, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input ? row.input : "null");
    host::CallResult r = callGlobal("trimlength", {textOrNull(row.input)});
    EXPECT_EQ(r.result.type(), ValueType::Long);
    EXPECT_EQ(r.result.integer(), row.expected);
  }
}

// Functions of one text argument whose result is a text.
void expectTextResults(const char* function, const std::vector<OneTextRow>& rows) {
  for (const OneTextRow& row : rows) {
    SCOPED_TRACE(std::string(function) + " of " + (row.input ? row.input : "null"));
    host::CallResult r = callGlobal(function, {textOrNull(row.input)});
    ASSERT_TRUE(r.result.wasSet());
    EXPECT_EQ(r.result.type(), ValueType::String);
    EXPECT_EQ(r.result.text(), row.expected);
  }
}

TEST(GfTrim, RemovesWhiteBytesIncludingBackspaceAtBothEnds) {
  expectTextResults("gf_trim", {
                                   {" \b a b\t\b", "a b"},
                                   {"\b\bx\r\n\v\f", "x"},
                                   {"\x07x", "\x07x"},
                                   {"", ""},
                                   {" 中 ", "中"},
                                   {nullptr, ""},
                               });
}

TEST(GfDelRem, RemovesLineAndBlockComments) {
  expectTextResults("gf_del_rem", {
                                      {"-- note\nselect 1", "\nselect 1"},
                                      {"select 1 -- c\r\nfrom t", "select 1 \r\nfrom t"},
                                      {"a--b", "a"},
                                      {"--a\n--b\nc", "\n\nc"},
                                      {"select /* x */ 1", "select  1"},
                                      {"a /* open", "a "},
                                      {"a/*/b*/c", "ac"},
                                      {"//**/*x*/y", "y"},
                                      {"-/**/-x", "--x"},
                                      {"'--x'\nq", "'\nq"},
                                      {"'/*' x */ y", "' y"},
                                      {"选择 /*注释*/ 1 --说明", "选择  1 "},
                                      {"", ""},
                                  });
}

TEST(GfDelRem, NullSetsNoResult) {
  EXPECT_FALSE(callGlobal("gf_del_rem", {Value::null(ValueType::String)}).result.wasSet());
}

TEST(GfBooltochar, GivesYOrN) {
  const std::vector<std::pair<Value, const char*>> rows = {
      {Value::boolean(true), "Y"},
      {Value::boolean(false), "N"},
      {Value::null(ValueType::Boolean), "N"},
  };
  for (const auto& [input, expected] : rows)
    EXPECT_EQ(callGlobal("gf_booltochar", {input}).result.text(), expected);
}

// Functions of text arguments whose result is a boolean.
struct FlagRow {
  const char* first;
  const char* second;
  bool expected;
};

void expectFlags(const char* function, const std::vector<FlagRow>& rows, int argumentCount) {
  for (const FlagRow& row : rows) {
    SCOPED_TRACE(std::string(function) + " of " + (row.first ? row.first : "null") + " | " +
                 (row.second ? row.second : "null"));
    std::vector<Value> args = {textOrNull(row.first)};
    if (argumentCount == 2) args.push_back(textOrNull(row.second));
    host::CallResult r = callGlobal(function, std::move(args));
    EXPECT_EQ(r.result.type(), ValueType::Boolean);
    EXPECT_EQ(r.result.flag(), row.expected);
  }
}

TEST(GfChartobool, TrueWordsIgnoringCase) {
  expectFlags("gf_chartobool",
              {{"y", nullptr, true},
               {"T", nullptr, true},
               {"1", nullptr, true},
               {"YES", nullptr, true},
               {"True", nullptr, true},
               {"yes ", nullptr, false},
               {"no", nullptr, false},
               {"2", nullptr, false},
               {"", nullptr, false},
               {nullptr, nullptr, false}},
              1);
}

TEST(GfStricmp, TrueWhenTextsDifferIgnoringSingleByteCase) {
  expectFlags("gf_stricmp",
              {{"ABC", "abc", false},
               {"ab", "abc", true},
               {"", "", false},
               {"中文Ab", "中文aB", false},
               {"丄", "乤", true},  // same lead byte, trail bytes A and a: two characters
               {"丄x", "乤X", true},
               {nullptr, "", false},
               {"a", nullptr, true}},
              2);
}

TEST(GfIswhitechar, TrueWhenEveryByteIsWhite) {
  expectFlags("gf_iswhitechar",
              {{"", nullptr, true},
               {" \t\b\r\n\v\f", nullptr, true},
               {" a ", nullptr, false},
               {"\x07", nullptr, false},
               {"\x0e", nullptr, false},
               {"中", nullptr, false},
               {nullptr, nullptr, true}},
              1);
}

TEST(GfGetfilename, TextAfterLastSeparator) {
  expectTextResults("gf_getfilename", {
                                          {"c:\\a\\b.txt", "b.txt"},
                                          {"b.txt", "b.txt"},
                                          {"c:\\a\\", ""},
                                          {"/srv/x/y.ini", "y.ini"},
                                          {"a/b\\c.txt", "c.txt"},
                                          {"d:\\数据\\备份.zip", "备份.zip"},
                                          // 0x5C as a second byte is no separator.
                                          {"d:\\\x95\x5c.txt", "\x95\x5c.txt"},
                                          {nullptr, ""},
                                      });
}

TEST(GfGetfilepath, TextUpToAndIncludingLastSeparator) {
  expectTextResults("gf_getfilepath", {
                                          {"c:\\a\\b.txt", "c:\\a\\"},
                                          {"b.txt", "b.txt"},
                                          {"/srv/x/y.ini", "/srv/x/"},
                                          {"a\\b/c.txt", "a\\b/"},
                                          {"", ""},
                                          {nullptr, ""},
                                      });
}

TEST(GfGetpartlikes, EveryWordInLowerCaseLikeTheColumn) {
  const std::vector<TwoTextRow> rows = {
      {"AB  Cd ef", "name",
       " ((lower(name) like '%ab%')  and (lower(name) like '%cd%')  and (lower(name) like "
       "'%ef%'))"},
      {"x", "c", " ((lower(c) like '%x%'))"},
      {"x \t\b y \t", "c", " ((lower(c) like '%x%')  and (lower(c) like '%y%'))"},
      {" lead x", "c", " ((lower(c) like '% lead x%'))"},
      // Quotes and backslashes are doubled, so a value cannot end the literal.
      {"it's", "c", " ((lower(c) like '%it''s%'))"},
      {"x\\' or", "c", " ((lower(c) like '%x\\\\''%')  and (lower(c) like '%or%'))"},
      // ... but a 0x5C that is the second byte of a character stays single.
      {"\x95\x5c", "c", " ((lower(c) like '%\x95\x5c%'))"},
      {"丄AB 中", "c", " ((lower(c) like '%丄ab%')  and (lower(c) like '%中%'))"},
      {"   ", "c", ""},
      {"", "c", ""},
      {nullptr, "c", ""},
      {"x", nullptr, ""},
  };
  for (const TwoTextRow& row : rows) {
    SCOPED_TRACE(row.first ? row.first : "null");
    host::CallResult r =
        callGlobal("gf_getpartlikes", {textOrNull(row.first), textOrNull(row.second)});
    ASSERT_TRUE(r.result.wasSet());
    EXPECT_EQ(r.result.text(), row.expected);
  }
}

TEST(GfIsOperater, AcceptedOperatorInLowerCaseOrEmpty) {
  expectTextResults("gf_is_operater", {
                                          {"LIKE ", "like"},
                                          {" like", ""},
                                          {"Not Like\t", "not like"},
                                          {"<=", "<="},
                                          {">=", ">="},
                                          {"<>", "<>"},
                                          {"=", "="},
                                          {"IS", "is"},
                                          {"LeftLike", "leftlike"},
                                          {"partlike", "partlike"},
                                          {"!=", ""},
                                          {"in", ""},
                                          {"not  like", ""},
                                          {"", ""},
                                          {nullptr, ""},
                                      });
}

TEST(GfReadcardUserpwd, KeepsOnlyLettersDigitsAndCommas) {
  expectTextResults("gf_readcard_userpwd", {
                                               {"12,AB-cd 34 ", "12,ABcd34"},
                                               {"中A1", "A1"},
                                               {"\x81\x41"
                                                "B,1",
                                                "B,1"},
                                               {" ;x.y_z ", "xyz"},
                                               {nullptr, ""},
                                           });
}

struct ReplaceRow {
  const char* text;
  const char* from;
  const char* to;
  const char* expected;  // nullptr: result 0 and nothing written
};

void expectReplacements(const char* function, const std::vector<ReplaceRow>& rows) {
  for (const ReplaceRow& row : rows) {
    SCOPED_TRACE(std::string(function) + " of " + (row.text ? row.text : "null"));
    host::CallResult r =
        callGlobal(function, {textOrNull(row.text), textOrNull(row.from), textOrNull(row.to)});
    EXPECT_EQ(r.result.type(), ValueType::Long);
    if (row.expected == nullptr) {
      EXPECT_EQ(r.result.integer(), 0);
      EXPECT_FALSE(r.args[0].wasSet());
    } else {
      EXPECT_EQ(r.result.integer(), 1);
      ASSERT_TRUE(r.args[0].wasSet());
      EXPECT_EQ(r.args[0].text(), row.expected);
    }
  }
}

TEST(GfReplaceall, ReplacesEveryOccurrenceWithoutOverlap) {
  expectReplacements("gf_replaceall", {
                                          {"aaa", "a", "b", "bbb"},
                                          {"aaaa", "aa", "a", "aa"},
                                          {"abab", "ab", "ba", "baba"},
                                          {"abc", "b", "", "ac"},
                                          {"abc", "", "x", "abc"},
                                          {"abc", "z", "x", "abc"},
                                          {"中文中", "中", "英", "英文英"},
                                          // Never half of a double-byte character.
                                          {"\x81\x41"
                                           "A",
                                           "A", "x",
                                           "\x81\x41"
                                           "x"},
                                          {nullptr, "a", "b", nullptr},
                                          {"a", nullptr, "b", nullptr},
                                          {"a", "a", nullptr, nullptr},
                                      });
}

TEST(GfReplace, ReplacesTheFirstOccurrenceOnly) {
  expectReplacements("gf_replace", {
                                       {"abab", "ab", "x", "xab"},
                                       {"xab", "x", "", "ab"},
                                       {"aab", "ab", "c", "ac"},
                                       {"abc", "z", "y", "abc"},
                                       {"abc", "", "x", "abc"},
                                       {nullptr, "a", "b", nullptr},
                                       {"a", nullptr, "b", nullptr},
                                       {"a", "a", nullptr, nullptr},
                                   });
}

TEST(GfSpectonum, ProductOfTheLeadingIntegersAroundTheStar) {
  const std::vector<OneTextRow> rows = {
      {"10*20", "200"},  {"*20", "20"}, {"2.5*4", "8"},  {"15", "15"},
      {"0*7", "7"},      {"-3*5", "5"}, {"3*-5", "-15"}, {"2*3*4", "6"},
      {" 12 * 3", "36"}, {"abc", "0"},  {"", "0"},       {nullptr, "0"},
  };
  for (const OneTextRow& row : rows) {
    SCOPED_TRACE(row.input ? row.input : "null");
    host::CallResult r = callGlobal("gf_spectonum", {textOrNull(row.input)});
    EXPECT_EQ(r.result.type(), ValueType::Decimal);
    EXPECT_EQ(r.result.text(), row.expected);
  }
}

TEST(GfGetsubstring, SplitsIntoArrayKeepingElementsAboveTheCount) {
  struct Row {
    const char* text;
    const char* separator;
    std::vector<std::string> items;
  };
  const std::vector<Row> rows = {
      {"a,b,c", ",", {"a", "b", "c"}},
      {"a,,b", ",", {"a", "", "b"}},
      {"a,b,", ",", {"a", "b"}},
      {"a, b,c", ",", {"a", "b", "c"}},
      {" a , b", ",", {"a ", "b"}},
      {",a", ",", {"", "a"}},
      {"x||y||", "||", {"x", "y"}},
      {" a b ", "", {"a b"}},
      {"中,文", ",", {"中", "文"}},
      {"\x81\x41"
       "Ab",
       "A",
       {"\x81\x41", "b"}},
      {"  ", ",", {}},
      {"", "", {}},
  };
  const std::vector<std::string> before = {"o1", "o2", "o3", "o4", "o5"};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    host::CallResult r = callGlobal(
        "gf_getsubstring",
        {Value::string(row.text), Value::string(row.separator), Value::stringArray(before)});
    EXPECT_EQ(r.result.type(), ValueType::Int);
    EXPECT_EQ(r.result.integer(), static_cast<std::int64_t>(row.items.size()));
    std::vector<std::string> expected = row.items;
    expected.insert(expected.end(), before.begin() + static_cast<long>(row.items.size()),
                    before.end());
    EXPECT_EQ(r.args[2].items(), expected);
  }
}

TEST(GfGetsubstring, GrowsAnEmptyArray) {
  host::CallResult r = callGlobal(
      "gf_getsubstring", {Value::string("1;2;3"), Value::string(";"), Value::stringArray({})});
  EXPECT_EQ(r.result.integer(), 3);
  EXPECT_EQ(r.args[2].items(), (std::vector<std::string>{"1", "2", "3"}));
}

TEST(GfGetsubstring, MinusOneForNullTextOrSeparatorOrNoArray) {
  const std::vector<std::vector<Value>> rows = {
      {Value::null(ValueType::String), Value::string(","), Value::stringArray({"o"})},
      {Value::string("a,b"), Value::null(ValueType::String), Value::stringArray({"o"})},
      {Value::string("a,b"), Value::string(","), Value::string("not an array")},
  };
  for (const std::vector<Value>& args : rows) {
    host::CallResult r = callGlobal("gf_getsubstring", args);
    EXPECT_EQ(r.result.integer(), -1);
    EXPECT_FALSE(r.args[2].wasSet());
  }
}

}  // namespace
