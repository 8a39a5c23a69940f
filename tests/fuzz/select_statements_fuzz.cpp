// libFuzzer harness for the SELECT parser and composer. The input is a
// statement, optionally followed by a NUL byte and an extra text, and by a
// second NUL byte and a second extra text; the extra texts serve as condition,
// column, table and replacement texts. Every operation runs on every input;
// a failed property aborts, so libFuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "extension/sql/form_where.h"
#include "extension/general/text_rules.h"
#include "extension/sql/select_parser.h"
#include "tests/fuzz/fuzz_checks.h"

namespace {

using fuzz::require;
using fuzz::touch;

void checkTokens(std::string_view text) {
  const std::vector<nx::sql::Token> tokens = nx::sql::tokenize(text);
  std::size_t previous = 0;
  for (const nx::sql::Token& token : tokens) {
    require(token.end >= previous, "token ends never go back");
    require(token.end <= text.size(), "token ends stay within the text");
    previous = token.end;
    touch(token.text);
    if (!token.text.empty()) {
      require(!nx::isWhiteByte(static_cast<unsigned char>(token.text.front())) &&
                  !nx::isWhiteByte(static_cast<unsigned char>(token.text.back())),
              "token texts are white-trimmed");
    }
  }
}

// Everything the parse hands out, with the properties that hold for any
// statement.
std::size_t readOut(const nx::sql::FormWhere& form, const std::string& message) {
  const nx::sql::ParsedSelect& p = form.parsed();
  std::size_t sum = touch(form.is_oldsql()) + touch(p.is_select) + touch(p.is_from) +
                    touch(p.is_where) + touch(p.is_group) + touch(p.is_having) +
                    touch(p.is_order) + touch(p.is_limit);
  sum += static_cast<std::size_t>(p.il_limitstart) + static_cast<std::size_t>(p.il_toprows) +
         p.ib_aggregate;
  for (const nx::sql::SelectColumn& c : p.columns) {
    sum += touch(c.expression) + touch(c.alias) + touch(c.aliasKind) + touch(c.comment) + c.plain;
  }
  for (const nx::sql::FromTable& t : p.tables) sum += touch(t.table) + touch(t.alias);
  for (const nx::sql::CorrelatedReference& r : p.references)
    sum += touch(r.term) + touch(r.columnAlias);

  require(p.is_limit.empty() || p.is_limit == "limit", "is_limit is empty or limit");
  if (!message.empty()) {
    require(message == nx::sql::kNotSelectMessage || message == nx::sql::kNoFromMessage,
            "a failed parse answers one of the two messages");
    require(p.is_select.empty() && p.is_from.empty() && p.is_where.empty() &&
                p.columns.empty() && p.tables.empty() && p.references.empty(),
            "a failed parse leaves the parts empty");
  }
  return sum;
}

std::size_t parse(nx::sql::FormWhere& form, std::string_view sql) {
  const std::string message = form.setSql(sql);
  require(form.is_oldsql() == sql, "the statement is kept as given");
  for (const nx::sql::SelectColumn& c : form.parsed().columns) {
    require(c.aliasKind.empty() || c.aliasKind == " as " || c.aliasKind == "as" ||
                c.aliasKind == " " || c.aliasKind == "=",
            "alias kinds are the five forms");
    require(c.comment.empty(), "parsing fills no comment");
  }
  return readOut(form, message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> parts = fuzz::splitAtNul(input, 3);
  const std::string_view sql = parts[0];
  const std::string_view extra = parts.size() > 1 ? parts[1] : "";
  const std::string_view extra2 = parts.size() > 2 ? parts[2] : extra;

  checkTokens(input);
  checkTokens(sql);

  nx::sql::FormWhere form;
  std::size_t sum = parse(form, sql);
  sum += touch(form.onlyWhere()) + touch(form.autoGroupBy()) + touch(form.compose());

  // The extra texts in every role; the first byte picks the flags.
  const unsigned char flags = extra.empty() ? 0 : static_cast<unsigned char>(extra[0]);
  form.setNeedAutoGroup(flags & 1);
  form.setDeleteGroupByColumns(flags & 2);
  form.setTopRows(static_cast<std::int32_t>(flags) - 100);
  form.addCondition(extra, extra2);
  form.addCondition("shop", "shopid = '01'");
  form.addHavingCondition(extra2, extra);
  form.setAddons(extra2);
  form.addColumn(extra, extra2, flags & 4);
  form.addColumn(extra2, extra, !(flags & 4));
  form.changeColumn(extra, extra2, flags & 8);
  form.changeColumn(extra2, "", false);
  form.changeTable(extra, extra2);
  form.addRelatedTable(extra, extra2);
  form.addRelatedTable(extra2, extra);
  sum += touch(form.compose()) + touch(form.onlyWhere()) + touch(form.autoGroupBy());
  sum += touch(form.composeWith(extra, "=", extra2));
  form.retrieveWith(extra2, "<>", extra);

  // A short replacement keeps the replaced statement small enough to fuzz fast.
  form.replaceInSql(extra, extra2.substr(0, 64));
  sum += readOut(form, "") + touch(form.compose());
  form.deleteCondition(extra);
  form.deleteHavingCondition(extra2);
  form.deleteRelatedTable(extra);
  sum += touch(form.compose());

  // The conditions outlive the statement: a second one composes with them.
  sum += parse(form, extra);
  sum += touch(form.compose()) + touch(form.onlyWhere());
  form.deleteAllConditions();
  sum += touch(form.compose());

  nx::sql::ParsedSelect direct;
  const std::string message = nx::sql::parseSelect(sql, direct);
  require(message.empty() || message == nx::sql::kNotSelectMessage ||
              message == nx::sql::kNoFromMessage,
          "parseSelect answers empty or one of the two messages");
  sum += touch(direct.is_select) + direct.columns.size();
  // Keeps the reads from being dropped as unused.
  volatile std::size_t sink = sum;
  (void)sink;
  return 0;
}
