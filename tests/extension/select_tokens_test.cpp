// The statement tokenizer, which the host cannot reach: the token texts and
// the positions where the next token starts decide every clause text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extension/sql/select_parser.h"

namespace {

std::vector<std::string> textsOf(const std::string& text) {
  std::vector<std::string> texts;
  for (const nx::sql::Token& t : nx::sql::tokenize(text)) texts.push_back(t.text);
  return texts;
}

TEST(SelectTokens, CutAtBlanksCommasAndEquals) {
  struct Row {
    std::string text;
    std::vector<std::string> tokens;
  };
  const std::vector<Row> rows = {
      {"select a,b from t", {"select", "a,", "b", "from", "t"}},
      {"a, b", {"a,", "", "b"}},
      {"a , b", {"a,", "", "b"}},
      {"a ,b", {"a,", "b"}},
      {"x=1", {"x=", "1"}},
      {"x = 1", {"x", "=", "1"}},
      {"b*=c", {"b", "*=", "c"}},
      {"b *= c", {"b", "*=", "c"}},
      {"a*b", {"a*", "b"}},
      {"a *b", {"a", "*", "b"}},
      {"a*, b", {"a*", ",", "", "b"}},
      {"*", {"*"}},
      {"max(x)+1", {"max(x)", "+1"}},
      {"count(distinct a) n", {"count(distinct a)", "n"}},
      {"'a b', \"c d\"", {"'a b',", "", "\"c d\""}},
      {"'it''s' x", {"'it'", "'s'", "x"}},
      {"(select a from b where c in (1,2)) d", {"(select a from b where c in (1,2))", "d"}},
      {"f('(' ) g", {"f('(' ) g"}},  // quotes are not looked at inside brackets
      {"'(' x", {"'('", "x"}},      // nor brackets inside quotes
      {"(a b", {"(a b"}},
      {"'a b", {"'a b"}},
      {"a\t\r\nb", {"a", "b"}},
      {"名称 品名,单价", {"名称", "品名,", "单价"}},
  };
  for (const Row& row : rows) EXPECT_EQ(textsOf(row.text), row.tokens) << row.text;
}

TEST(SelectTokens, EachEndIsWhereTheNextTokenStarts) {
  struct Row {
    std::string text;
    std::vector<std::size_t> ends;
  };
  const std::vector<Row> rows = {
      // White after a token is passed over; after a "," it is not.
      {"select a, b  from t", {7, 9, 10, 13, 18, 19}},
      {"a , b", {3, 4, 5}},
      {"a*, b", {2, 3, 4, 5}},
      {"b *= c", {2, 5, 6}},
  };
  for (const Row& row : rows) {
    std::vector<std::size_t> ends;
    for (const nx::sql::Token& t : nx::sql::tokenize(row.text)) ends.push_back(t.end);
    EXPECT_EQ(ends, row.ends) << row.text;
  }
}

}  // namespace
