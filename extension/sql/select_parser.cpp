// The parser in the order it works: prepare the working text, cut it into
// tokens, check the statement, walk the tokens through the clauses (cutting
// clause texts, select columns and FROM entries on the way), then analyse
// each column and FROM entry. Searches are byte-exact; keyword comparisons
// ignore letter case, comparing double-byte characters whole.
#include "extension/sql/select_parser.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "extension/general/text_rules.h"
#include "platform/gbk_text.h"

namespace nx::sql {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// "Occurs after the first byte": the first occurrence from the second byte on.
std::size_t findAfterFirst(std::string_view text, std::string_view what) {
  return text.size() < 2 ? npos : text.find(what, 1);
}

// Keywords are ASCII, so no double-byte character can match one and a
// byte-wise letter-case fold gives the multi-byte aware answer.
bool is(std::string_view token, std::string_view keyword) {
  if (token.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    char c = token[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != keyword[i]) return false;
  }
  return true;
}

std::string_view withoutTrailingComma(std::string_view text) {
  return text.ends_with(',') ? text.substr(0, text.size() - 1) : text;
}

// --- Tokenizing -----------------------------------------------------------

// The byte after a matching ")" or a closing quote, or the end of the text.
std::size_t afterBracket(std::string_view text, std::size_t open) {
  int depth = 1;
  for (std::size_t i = open + 1; i < text.size(); ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth == 0) return i + 1;
  }
  return text.size();
}

std::size_t afterQuote(std::string_view text, std::size_t open) {
  const std::size_t close = text.find(text[open], open + 1);
  return close == npos ? text.size() : close + 1;
}

struct Scan {
  std::size_t end;  // one past the scanned range
  bool skipsWhite;  // false when a "," ended the scan (or followed a "*")
};

Scan scanToken(std::string_view text, std::size_t start) {
  const std::size_t n = text.size();
  for (std::size_t i = start; i < n; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (isWhiteByte(b) || b == ',' || b == '=') return {i + 1, b != ','};
    if (b == '(') return {afterBracket(text, i), true};
    if (b == '\'' || b == '"') return {afterQuote(text, i), true};
    if (b == '*') {
      const char next = i + 1 < n ? text[i + 1] : '\0';
      if (next == '=') return {i == start ? i + 2 : i, true};
      return {i + 1, next != ','};
    }
  }
  return {n, true};
}

}  // namespace

namespace {

// Fills `token` in place: a token is built once, never copied or moved.
void readToken(std::string_view text, std::size_t start, Token& token) {
  const Scan scan = scanToken(text, start);
  token.text.assign(trimWhite(text.substr(start, scan.end - start)));
  std::size_t next = scan.end;
  if (scan.skipsWhite) {
    while (next < text.size() && isWhiteByte(static_cast<unsigned char>(text[next]))) ++next;
    if (next < text.size() && text[next] == ',') {
      token.text += ',';
      ++next;
    }
  }
  token.end = next;
}

}  // namespace

Token nextToken(std::string_view text, std::size_t start) {
  Token token;
  readToken(text, start, token);
  return token;
}

std::vector<Token> tokenize(std::string_view text) {
  std::vector<Token> tokens;
  tokens.reserve(text.size() / 8 + 1);  // a shop statement's tokens average some 8 bytes
  for (std::size_t start = 0; start < text.size(); start = tokens.back().end) {
    readToken(text, start, tokens.emplace_back());
  }
  return tokens;
}

namespace {

// --- Clause walk ----------------------------------------------------------

enum class Clause { Select, From, Where, GroupBy, Having, OrderBy, Limit };

struct Keyword {
  Clause next;
  std::size_t length;  // tokens the keyword takes: 1, or 2 with "by"
};

// The keyword that token k makes in the current clause, if any.
std::optional<Keyword> keywordAt(const std::vector<Token>& tokens, std::size_t k, Clause current) {
  const std::string& t = tokens[k].text;
  const bool last = k + 1 == tokens.size();
  auto withBy = [&] { return !last && is(tokens[k + 1].text, "by"); };
  const bool from = current == Clause::Select;
  const bool limit = !last && current != Clause::Select && current != Clause::Limit;
  if (from) return is(t, "from") ? std::optional<Keyword>({Clause::From, 1}) : std::nullopt;
  if (limit && is(t, "limit")) return Keyword{Clause::Limit, 1};
  if (current == Clause::From && !last && is(t, "where")) return Keyword{Clause::Where, 1};
  const bool groupAllowed = current == Clause::From || current == Clause::Where;
  if (groupAllowed && is(t, "group") && withBy()) return Keyword{Clause::GroupBy, 2};
  if (current == Clause::GroupBy && !last && is(t, "having")) return Keyword{Clause::Having, 1};
  const bool orderAllowed = current != Clause::Limit && current != Clause::OrderBy;
  if (orderAllowed && is(t, "order") && withBy()) return Keyword{Clause::OrderBy, 2};
  return std::nullopt;
}

// A keyword word of the FROM row, kept out of the last FROM entry even where
// it ended no clause.
bool isFromKeywordWord(std::string_view token) {
  return is(token, "where") || is(token, "group") || is(token, "order") || is(token, "limit");
}

// The raw texts that the walk cuts; analysed afterwards.
struct Pieces {
  std::vector<std::string> columns;
  std::vector<std::string> fromEntries;
  std::string limitText;
  bool hasLimit = false;
};

// Tokens joined by single blanks, so a blank stands wherever a token ended.
class Joiner {
 public:
  void add(const std::string& token) {
    if (count_++ > 0) text_ += ' ';
    text_ += token;
  }
  bool empty() const { return count_ == 0; }
  std::string take() {
    count_ = 0;
    return std::exchange(text_, std::string());
  }

 private:
  std::string text_;
  std::size_t count_ = 0;
};

std::string* clauseField(ParsedSelect& parsed, Clause clause, std::string& limitText) {
  switch (clause) {
    case Clause::Select:
      return &parsed.is_select;
    case Clause::From:
      return &parsed.is_from;
    case Clause::Where:
      return &parsed.is_where;
    case Clause::GroupBy:
      return &parsed.is_group;
    case Clause::Having:
      return &parsed.is_having;
    case Clause::OrderBy:
      return &parsed.is_order;
    case Clause::Limit:
      return &limitText;
  }
  return nullptr;
}

Pieces walkClauses(std::string_view text, const std::vector<Token>& tokens, ParsedSelect& parsed) {
  Pieces pieces;
  auto startOf = [&](std::size_t k) { return k == 0 ? 0 : tokens[k - 1].end; };
  Clause current = Clause::Select;
  std::size_t clauseStart = startOf(1);
  Joiner piece;
  auto endPiece = [&](std::vector<std::string>& into) {
    if (!piece.empty()) into.push_back(piece.take());
  };
  for (std::size_t k = 1; k < tokens.size(); ++k) {
    const std::string& token = tokens[k].text;
    std::string* field = clauseField(parsed, current, pieces.limitText);
    if (const std::optional<Keyword> keyword = keywordAt(tokens, k, current)) {
      const std::size_t end = startOf(k);
      if (end > clauseStart) *field = std::string(text.substr(clauseStart, end - 1 - clauseStart));
      if (current == Clause::Select) endPiece(pieces.columns);
      if (current == Clause::From) endPiece(pieces.fromEntries);
      current = keyword->next;
      k += keyword->length - 1;
      clauseStart = startOf(std::min(k + 1, tokens.size()));
      continue;
    }
    const bool last = k + 1 == tokens.size();
    if (current == Clause::Select || current == Clause::From) {
      if (!(last && current == Clause::From && isFromKeywordWord(token))) piece.add(token);
      if (token.ends_with(',') || last) {
        endPiece(current == Clause::Select ? pieces.columns : pieces.fromEntries);
      }
    }
    if (last) {
      *field = std::string(text.substr(std::min(clauseStart, text.size())));
      pieces.hasLimit = current == Clause::Limit;
    }
  }
  return pieces;
}

// --- Analysis -------------------------------------------------------------

void readLimit(std::string_view limitText, ParsedSelect& parsed) {
  parsed.is_limit = "limit";
  const std::string_view text = trimWhite(limitText);
  const std::size_t comma = text.find(',');
  if (comma == npos) {
    parsed.il_limitstart = 0;
    parsed.il_toprows = leadingInteger(text);
  } else {
    parsed.il_limitstart = leadingInteger(text.substr(0, comma));
    parsed.il_toprows = leadingInteger(text.substr(comma + 1));
  }
}

FromTable analyseFromEntry(std::string_view raw) {
  const std::string entry = platform::lowerAscii(trimWhite(withoutTrailingComma(raw)));
  const std::string_view view = entry;
  std::size_t cut = findAfterFirst(view, " as ");
  std::size_t skip = 4;
  if (cut == npos) {
    cut = findAfterFirst(view, " ");
    skip = 1;
  }
  if (cut == npos) return FromTable{entry, {}};
  return FromTable{std::string(trimWhiteRight(view.substr(0, cut))),
                   std::string(trimWhiteRight(view.substr(cut + skip)))};
}

// A decimal number at the start (after blanks): sign, digits, fraction.
double leadingDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  double sign = 1;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) sign = text[i++] == '-' ? -1 : 1;
  double value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + (text[i] - '0');
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10) {
      value += (text[i] - '0') * scale;
    }
  }
  return sign * value;
}

constexpr std::array<std::string_view, 5> kAggregates = {"sum", "avg", "count", "max", "min"};

bool isAggregateName(std::string_view word, bool ignoreCase) {
  return std::any_of(kAggregates.begin(), kAggregates.end(), [&](std::string_view name) {
    return ignoreCase ? is(word, name) : word == name;
  });
}

bool isZeroLiteral(std::string_view text) {
  return text == "0" || text == "0.0" || text == "0.00" || text == "0.000" || text == "0.0000";
}

// Decides the plain flag of a column without alias-equals form, from its
// expression; sets the aggregate flag on the way.
bool isPlainExpression(std::string_view expression, bool& aggregate) {
  if (isZeroLiteral(expression) || leadingDecimal(expression) > 0) return false;
  const std::size_t paren = findAfterFirst(expression, "(");
  if (paren != npos) {
    if (isAggregateName(trimWhite(expression.substr(0, paren)), false)) {
      aggregate = true;
      return false;
    }
  }
  const std::string_view trimmed = trimWhite(expression);
  std::size_t lastWhite = trimmed.size();
  while (lastWhite > 0 && !isWhiteByte(static_cast<unsigned char>(trimmed[lastWhite - 1]))) {
    --lastWhite;
  }
  if (lastWhite > 0 && isAggregateName(trimWhite(trimmed.substr(0, lastWhite - 1)), true)) {
    aggregate = true;
    return false;
  }
  return true;
}

// The earliest of "=", " and ", " or " in `lower` within [from, end).
struct Delimiter {
  std::size_t at = npos;
  std::size_t length = 0;
};

Delimiter findDelimiter(std::string_view lower, std::size_t from, std::size_t end) {
  Delimiter found;
  const std::string_view domain = lower.substr(0, end);
  for (std::string_view d :
       {std::string_view("="), std::string_view(" and "), std::string_view(" or ")}) {
    const std::size_t at = from < domain.size() ? domain.find(d, from) : npos;
    if (at < found.at) found = Delimiter{at, d.size()};
  }
  return found;
}

bool isOutsideReference(std::string_view term, std::string_view tableList) {
  const std::size_t dot = findAfterFirst(term, ".");
  if (dot == npos) return false;
  const std::string q(term.substr(0, dot));
  return q != tableList && tableList.find(q + ",") == npos && tableList.find("," + q) == npos &&
         tableList.find("as " + q) == npos;
}

// The part [begin, end) of a text, with white moved out of both ends.
struct Range {
  std::size_t begin;
  std::size_t end;
  void trim(std::string_view text) {
    while (begin < end && isWhiteByte(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && isWhiteByte(static_cast<unsigned char>(text[end - 1]))) --end;
  }
};

// Records the terms of a sub-select's WHERE that qualify a column with a
// name that is not one of the sub-select's own tables.
void scanCorrelatedReferences(std::string_view expression, const std::string& columnAlias,
                              std::vector<CorrelatedReference>& references) {
  const std::size_t where = findAfterFirst(expression, "where ");
  if (where == npos) return;
  const std::size_t from = expression.find("from ");
  const std::size_t listStart = from == npos ? 4 : from + 5;
  const std::string tableList = platform::lowerAscii(
      trimWhite(listStart < where ? expression.substr(listStart, where - listStart) : ""));

  if (expression.ends_with(')')) expression.remove_suffix(1);
  std::string_view condition = where + 6 < expression.size() ? expression.substr(where + 6) : "";
  const std::size_t groupBy = findAfterFirst(condition, "group by");
  if (groupBy != npos) condition = condition.substr(0, groupBy - 1);
  condition = trimWhite(condition);

  // Delimiters are looked for in a lower-case copy of the same length.
  const std::string lowerCopy = platform::lowerAscii(condition);
  const std::string_view lower = lowerCopy;
  Range rest{0, condition.size()};
  Delimiter delimiter;
  auto nextTerm = [&] {
    delimiter = findDelimiter(lower, rest.begin + 1, rest.end);
    Range term{rest.begin, delimiter.at == npos ? rest.end : delimiter.at};
    term.trim(condition);
    // "(" and the white after it go, so "( t.id" and "(t.id" both read t.id.
    if (term.begin < term.end && condition[term.begin] == '(') {
      ++term.begin;
      term.trim(condition);
    }
    if (term.begin < term.end && condition[term.end - 1] == ')') --term.end;
    return condition.substr(term.begin, term.end - term.begin);
  };
  for (std::string_view term = nextTerm(); !term.empty(); term = nextTerm()) {
    if (isOutsideReference(term, tableList)) {
      references.push_back(CorrelatedReference{std::string(term), columnAlias});
    }
    if (delimiter.at == npos || delimiter.at + delimiter.length >= rest.end) return;
    rest.begin = delimiter.at + delimiter.length;
    rest.trim(condition);
    // A quoted value is passed over with its closing quote and the delimiter
    // after it, so "=" inside the literal starts no term.
    const char quote = rest.begin < rest.end ? condition[rest.begin] : '\0';
    if (quote == '\'' || quote == '"') {
      const std::size_t close = condition.substr(0, rest.end).find(quote, rest.begin + 2);
      if (close != npos) {
        rest.begin = close + 1;
        const Delimiter after = findDelimiter(lower, rest.begin, rest.end);
        if (after.at != npos) rest.begin = after.at + after.length;
        rest.trim(condition);
      }
    }
  }
}

SelectColumn analyseColumn(std::string_view raw, ParsedSelect& parsed) {
  SelectColumn column;
  const std::string_view text = trimWhite(withoutTrailingComma(raw));
  const std::size_t closing = findAfterFirst(text, ")");
  if (text.starts_with("(") && closing != npos) {
    const std::size_t last = text.rfind(')');
    column.expression = std::string(trimWhite(text.substr(0, last + 1)));
    std::string_view alias = trimWhite(text.substr(last + 1));
    column.aliasKind = " ";
    if (is(alias.substr(0, 3), "as ")) {
      alias.remove_prefix(3);
      column.aliasKind = "as";
    }
    column.alias = std::string(alias);
    return column;
  }
  const std::size_t equals = findAfterFirst(text, "=");
  if (equals != npos) {
    column.alias = std::string(trimWhite(text.substr(0, equals)));
    column.expression = std::string(trimWhite(text.substr(equals + 1)));
    column.aliasKind = "=";
    column.plain = false;
    scanCorrelatedReferences(column.expression, column.alias, parsed.references);
    return column;
  }
  if (text.starts_with("'") || text.starts_with("\"") || text.starts_with("$@")) {
    column.plain = false;
  }
  std::string_view expression = text;
  const std::size_t as = findAfterFirst(text, " as ");
  if (as != npos) {
    column.alias = std::string(trimWhite(text.substr(as + 4)));
    expression = trimWhite(text.substr(0, as));
    column.aliasKind = " as ";
  }
  if (column.plain) column.plain = isPlainExpression(expression, parsed.ib_aggregate);
  column.expression = std::string(expression);
  return column;
}

}  // namespace

std::string parseSelect(std::string_view sql, ParsedSelect& into) {
  into = ParsedSelect();
  const std::string working = removeComments(trimWhite(sql));
  const std::string_view text = trimSpace(working);
  if (trimmedLength(text) == 0) return {};

  const std::vector<Token> tokens = tokenize(text);
  if (tokens.empty() || !is(tokens[0].text, "select")) return std::string(kNotSelectMessage);
  const bool hasFrom = std::any_of(tokens.begin() + 1, tokens.end(),
                                   [](const Token& t) { return is(t.text, "from"); });
  if (!hasFrom) return std::string(kNoFromMessage);

  const Pieces pieces = walkClauses(text, tokens, into);
  for (const std::string& raw : pieces.columns) {
    if (trimWhite(withoutTrailingComma(raw)).empty()) continue;
    into.columns.push_back(analyseColumn(raw, into));
  }
  for (const std::string& raw : pieces.fromEntries) {
    if (trimWhite(withoutTrailingComma(raw)).empty()) continue;
    into.tables.push_back(analyseFromEntry(raw));
  }
  if (pieces.hasLimit) readLimit(pieces.limitText, into);
  return {};
}

}  // namespace nx::sql
