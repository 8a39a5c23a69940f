// Changing a parsed statement and composing it again. Where a step asks
// whether a stored text or a text being built has content, the text is
// trimmed in place first and keeps that trim; the composed layout depends on
// it (a tail that opens with a line break loses it once conditions follow).
#include "extension/sql/form_where.h"

#include <algorithm>

#include "extension/general/text_rules.h"
#include "platform/gbk_text.h"

namespace nx::sql {
namespace {

bool trimmedHasContent(std::string& text) {
  const std::string_view trimmed = trimSpace(text);
  if (trimmed.size() != text.size()) text = std::string(trimmed);
  return trimmedLength(text) > 0;
}

bool hasContent(std::string_view text) { return trimmedLength(text) > 0; }

std::string lowerWithoutTrailingWhite(std::string_view text) {
  return platform::lowerAscii(trimWhiteRight(text));
}

template <class Entries>
auto findIgnoringCase(Entries& entries, std::string_view name) {
  return std::find_if(entries.begin(), entries.end(),
                      [&](const auto& e) { return platform::equalsIgnoreCase(e.name, name); });
}

}  // namespace

std::string FormWhere::setSql(std::string_view sql) {
  is_oldsql_ = std::string(sql);
  return parseSelect(sql, parsed_);
}

void FormWhere::replaceInSql(std::string_view from, std::string_view to) {
  setSql(replaceAll(is_oldsql_, from, to));
}

// --- Conditions -----------------------------------------------------------

int FormWhere::addCondition(std::string_view name, std::string_view condition) {
  std::string key = lowerWithoutTrailingWhite(name);
  if (key.empty()) return 0;
  std::string text = lowerWithoutTrailingWhite(condition);
  auto found = std::ranges::find(conditions_, key, &Condition::name);
  if (found == conditions_.end()) {
    conditions_.push_back(Condition{std::move(key), std::move(text), true});
  } else {
    found->text = std::move(text);
    found->active = true;
  }
  return 1;
}

int FormWhere::deleteCondition(std::string_view name) {
  if (name.empty()) return 0;
  const std::string key = lowerWithoutTrailingWhite(name);
  auto found = std::ranges::find(conditions_, key, &Condition::name);
  if (found == conditions_.end()) return -1;
  found->active = false;
  return 1;
}

void FormWhere::deleteAllConditions() {
  for (Condition& c : conditions_) c.active = false;
}

int FormWhere::addHavingCondition(std::string_view name, std::string_view condition) {
  std::string key = platform::lowerAscii(name);
  std::string text = platform::lowerAscii(condition);
  if (!hasContent(text)) return 0;
  auto found = findIgnoringCase(havingConditions_, key);
  if (found == havingConditions_.end()) {
    havingConditions_.push_back(Condition{std::move(key), std::move(text), true});
  } else {
    found->text = std::move(text);
    found->active = true;
  }
  return 1;
}

int FormWhere::deleteHavingCondition(std::string_view name) {
  auto found = findIgnoringCase(havingConditions_, platform::lowerAscii(name));
  if (found == havingConditions_.end()) return -1;
  found->active = false;
  return 1;
}

void FormWhere::addRelatedTable(std::string_view table, std::string_view condition) {
  std::string name = platform::lowerAscii(table);
  auto found = std::ranges::find_if(
      relatedTables_, [&](const std::string& t) { return platform::equalsIgnoreCase(t, name); });
  if (found == relatedTables_.end()) {
    relatedTables_.push_back(name);
  } else {
    *found = name;
  }
  addCondition(name, condition);
}

void FormWhere::deleteRelatedTable(std::string_view table) {
  const std::string name = platform::lowerAscii(table);
  auto found = std::ranges::find_if(
      relatedTables_, [&](const std::string& t) { return platform::equalsIgnoreCase(t, name); });
  if (found == relatedTables_.end()) return;
  found->clear();
  deleteCondition(name);
}

void FormWhere::setAddons(std::string_view addons) { is_addons_ = std::string(trimWhite(addons)); }

// --- Columns and tables ---------------------------------------------------

int FormWhere::addColumn(std::string_view column, std::string_view alias, bool isExpression) {
  const std::string col(trimWhite(column));
  if (col.empty()) return 0;
  SelectColumn entry;
  std::string text;
  if (isExpression) {
    std::string expression(alias);
    if (!expression.starts_with('(')) expression = "(" + expression + ")";
    text = col + "=" + expression;
    entry = SelectColumn{expression, col, "=", false, {}};
  } else {
    text = col + " as " + std::string(alias);
    entry = SelectColumn{col, std::string(alias), "", true, {}};
  }
  parsed_.columns.push_back(std::move(entry));
  parsed_.is_select += "," + text;
  ib_delgroupbycol_ = true;
  return 1;
}

int FormWhere::changeColumn(std::string_view column, std::string_view newColumn,
                            bool isExpression) {
  const std::string col(trimWhite(column));
  if (col.empty()) return 0;
  auto& columns = parsed_.columns;
  auto changed = std::find_if(columns.begin(), columns.end(), [&](SelectColumn& c) {
    return platform::equalsIgnoreCase(trimmedHasContent(c.alias) ? c.alias : c.expression, col);
  });
  if (changed == columns.end()) return -1;
  changed->expression = std::string(newColumn);
  changed->alias = col;
  if (isExpression) {
    changed->aliasKind = "=";
    std::erase_if(parsed_.references, [&](const CorrelatedReference& r) {
      return platform::equalsIgnoreCase(r.columnAlias, col);
    });
  } else if (!hasContent(newColumn)) {
    parsed_.is_group.clear();
    changed->plain = false;
  }
  std::string select;
  for (auto c = columns.begin(); c != columns.end(); ++c) {
    std::string item;
    if (c == changed) {
      const std::string trimmed(trimWhite(newColumn));
      item = " (" + trimmed + ") as " + col;
      c->expression = trimmed.starts_with('(') ? trimmed : "(" + trimmed + ")";
    } else {
      item = trimmedHasContent(c->alias) ? c->expression + " as " + c->alias : c->expression;
    }
    appendItem(select, item, ",\r\n");
  }
  parsed_.is_select = std::move(select);
  return 1;
}

void FormWhere::changeTable(std::string_view oldTable, std::string_view newTable) {
  const std::string from = lowerWithoutTrailingWhite(oldTable);
  const std::string to = lowerWithoutTrailingWhite(newTable);
  std::string list;
  for (FromTable& t : parsed_.tables) {
    std::string item;
    if (platform::equalsIgnoreCase(t.table, from)) {
      if (t.alias.empty()) t.alias = from;
      t.table = to;
      item = to + " as " + t.alias;
    } else if (platform::equalsIgnoreCase(t.alias, from)) {
      item = to + " as " + t.alias;
    } else {
      item = t.alias.empty() ? t.table : t.table + " as " + t.alias;
    }
    appendItem(list, item, ",\r\n");
  }
  parsed_.is_from = std::move(list);
}

void FormWhere::setTopRows(std::int32_t rows) {
  parsed_.il_limitstart = 0;
  parsed_.il_toprows = rows;
}

// --- Composition ----------------------------------------------------------

std::string FormWhere::autoGroupBy() {
  std::string list;
  for (const SelectColumn& c : parsed_.columns) {
    if (c.plain) appendItem(list, c.expression, ",\r\n");
  }
  for (CorrelatedReference& r : parsed_.references) {
    if (trimmedHasContent(r.term)) appendItem(list, r.term, ",\r\n");
  }
  return list;
}

std::string FormWhere::compose() {
  ParsedSelect& p = parsed_;
  std::string conditions;
  for (const Condition& c : conditions_) {
    if (!c.active || c.text.empty()) continue;
    conditions += conditions.empty() ? "(" : " \r\n     and (";
    conditions += c.text;
    conditions += ")";
  }
  appendItem(conditions, is_addons_, " \r\n and");

  std::string select;
  if (ib_delgroupbycol_) {
    for (SelectColumn& c : p.columns) {
      std::string item = c.expression;
      if (trimmedHasContent(c.alias)) {
        const std::string_view kind = trimWhiteRight(c.aliasKind);
        if (kind.empty()) {
          item = c.expression + " as " + c.alias;
        } else if (kind == "=") {
          item = " " + c.expression + " as " + c.alias;
        } else {
          item = c.expression + " " + std::string(kind) + " " + c.alias;
        }
      }
      appendItem(select, item, ", \r\n ");
    }
  } else {
    select = p.is_select;
  }
  select = "select " + select;

  std::string tail;
  if (trimmedHasContent(p.is_where)) tail = " \r\n  where " + p.is_where;
  if (trimmedHasContent(conditions)) {
    tail =
        trimmedHasContent(tail) ? tail + " \r\n  and " + conditions : " \r\n   where " + conditions;
  }
  const bool grouping = p.ib_aggregate || ib_needautogroup_;
  if (!trimmedHasContent(p.is_group)
          ? grouping
          : !p.references.empty() && p.ib_aggregate && ib_needautogroup_) {
    p.is_group = autoGroupBy();
  }
  if (trimmedHasContent(p.is_group)) tail += " \r\n group by " + p.is_group;
  if (trimmedHasContent(p.is_having)) tail += " \r\n having " + p.is_having;
  if (trimmedHasContent(p.is_order)) tail += " \r\n order by " + p.is_order;
  if (trimmedHasContent(p.is_limit)) {
    tail += " \r\n limit ";
    if (p.il_limitstart >= 1) tail += std::to_string(p.il_limitstart) + ",";
    tail += std::to_string(p.il_toprows);
  }

  std::string related;
  for (std::string& table : relatedTables_) {
    if (trimmedHasContent(table)) appendItem(related, "\r\n" + table, ",");
  }
  if (!trimmedHasContent(related)) return select + "\r\n  from " + p.is_from + " " + tail;
  return select + "\r\n from " + p.is_from + "," + related + "  \r\n" + tail;
}

std::string FormWhere::composeWith(std::string_view field, std::string_view op,
                                   std::string_view value) {
  addCondition("createcond", std::string(field) + std::string(op) + std::string(value));
  std::string statement = compose();
  deleteCondition("createcond");
  return statement;
}

std::string FormWhere::onlyWhere() {
  std::string where;
  for (Condition& c : conditions_) {
    if (!c.active || !trimmedHasContent(c.text)) continue;
    // The test trims `where`, so only a single condition keeps its line break.
    where += trimmedHasContent(where) ? " \r\n and (" : " \r\n (";
    where += c.text;
    where += ")";
  }
  return appendWithSeparator(where, is_addons_, " \r\n and");
}

void FormWhere::retrieveWith(std::string_view field, std::string_view op, std::string_view value) {
  // No DataWindow is ever attached, so the retrieval itself does nothing.
  addCondition("retrieve_cond", std::string(field) + std::string(op) + std::string(value));
  deleteCondition("retrieve_cond");
}

}  // namespace nx::sql
