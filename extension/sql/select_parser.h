// Takes one SELECT statement apart: blank-separated tokens in which anything
// in parentheses or quotes is one token, the clauses as written, the select
// columns with their alias form, the FROM tables, the LIMIT values and the
// outside references of sub-select columns. It does not validate SQL: it only
// finds the top-level clause keywords. No size limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nx::sql {

struct Token {
  std::string text;  // white trimmed at both ends; may be empty or end in "," or "="
  std::size_t end = 0;  // where the next token starts (the start of token 0 is 0)
};

// The token that starts at `start` (below the text's length).
Token nextToken(std::string_view text, std::size_t start);
// The working text cut into tokens from its first byte to its last.
std::vector<Token> tokenize(std::string_view text);

struct SelectColumn {
  std::string expression;
  std::string alias;
  // How the alias was written: "", " as ", "as", " " or "=".
  std::string aliasKind;
  // An ordinary column that an automatic GROUP BY must list.
  bool plain = true;
  std::string comment;  // never filled by parsing
};

struct FromTable {
  std::string table;  // lower case
  std::string alias;
};

// A term of a sub-select column's WHERE that names a table outside the
// sub-select, with the alias of the column it was found in.
struct CorrelatedReference {
  std::string term;
  std::string columnAlias;
};

struct ParsedSelect {
  std::string is_select;
  std::string is_from;
  std::string is_where;
  std::string is_group;
  std::string is_having;
  std::string is_order;
  std::string is_limit;  // "limit" when the statement ends in a LIMIT clause
  std::int32_t il_limitstart = 0;
  std::int32_t il_toprows = 0;
  bool ib_aggregate = false;
  std::vector<SelectColumn> columns;
  std::vector<FromTable> tables;
  std::vector<CorrelatedReference> references;
};

inline constexpr std::string_view kNotSelectMessage =
    "这不是一条select语句,系统不能解析!前面6个字符不是select";
inline constexpr std::string_view kNoFromMessage =
    "1: 这个select 没有from，即数据来源的表,这可能不是一个完整的SQL语句 !";

// Replaces `into` with the parts of `sql`. Answers the empty text on success
// and for a blank statement (nothing parsed), otherwise one of the messages
// above with `into` left empty.
std::string parseSelect(std::string_view sql, ParsedSelect& into);

}  // namespace nx::sql
