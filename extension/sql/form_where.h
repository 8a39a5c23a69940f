// One SELECT statement taken apart, with the named conditions, related
// tables, extra columns and grouping rules that are composed into it again.
// The conditions, related tables, extra condition and the two grouping flags
// belong to the object and survive a new statement; the parsed parts do not.
// Composed texts have fixed CR LF line breaks and indentation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "extension/sql/select_parser.h"

namespace nx::sql {

class FormWhere {
 public:
  // Parsing: an empty text, or the parser's message.
  std::string setSql(std::string_view sql);
  // Replaces every exact occurrence in the stored statement and parses the
  // result again.
  void replaceInSql(std::string_view from, std::string_view to);

  const std::string& is_oldsql() const { return is_oldsql_; }
  const ParsedSelect& parsed() const { return parsed_; }

  // 1 stored, 0 for an empty name.
  int addCondition(std::string_view name, std::string_view condition);
  // 1 deactivated, -1 no such name, 0 for an empty name.
  int deleteCondition(std::string_view name);
  void deleteAllConditions();
  // 1 stored, 0 for a condition without content.
  int addHavingCondition(std::string_view name, std::string_view condition);
  // 1 deactivated, -1 no such name.
  int deleteHavingCondition(std::string_view name);
  void addRelatedTable(std::string_view table, std::string_view condition);
  void deleteRelatedTable(std::string_view table);
  void setAddons(std::string_view addons);

  // 1 added, 0 for an empty column.
  int addColumn(std::string_view column, std::string_view alias, bool isExpression);
  // 1 changed, -1 no such column, 0 for an empty column.
  int changeColumn(std::string_view column, std::string_view newColumn, bool isExpression);
  void changeTable(std::string_view oldTable, std::string_view newTable);

  void setNeedAutoGroup(bool value) { ib_needautogroup_ = value; }
  void setDeleteGroupByColumns(bool value) { ib_delgroupbycol_ = value; }
  void setTopRows(std::int32_t rows);

  // The whole statement; stores the automatic GROUP BY it decides on.
  std::string compose();
  // The statement with field + op + value as a condition for this one text.
  std::string composeWith(std::string_view field, std::string_view op, std::string_view value);
  // The active conditions and the extra condition, without the statement's
  // own WHERE text.
  std::string onlyWhere();
  std::string autoGroupBy();
  // Runs the (absent) retrieval with a condition for this one call.
  void retrieveWith(std::string_view field, std::string_view op, std::string_view value);

 private:
  struct Condition {
    std::string name;
    std::string text;
    bool active = true;
  };

  std::string is_oldsql_;
  ParsedSelect parsed_;
  bool ib_needautogroup_ = false;
  bool ib_delgroupbycol_ = false;
  std::string is_addons_;
  std::vector<Condition> conditions_;
  std::vector<Condition> havingConditions_;
  std::vector<std::string> relatedTables_;
};

}  // namespace nx::sql
