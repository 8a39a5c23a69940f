// n_create_sql: statement texts are fixed pieces around the caller's values,
// with CR LF and fixed indentation; values are not escaped (the caller's
// script owns their content).
#include "extension/sql/n_create_sql.h"

#include <algorithm>
#include <new>

#include "extension/general/text_rules.h"
#include "platform/gbk_text.h"

namespace nx {

IPBX_NonVisualObject* n_create_sql::create(IPB_Session*, pbobject) {
  return new (std::nothrow) n_create_sql();
}

// A null argument is a failure (-1) that leaves the state as it was.
void n_create_sql::of_SetTable(const Call& call) {
  const std::optional<std::string> table = call.text(0);
  if (!table) {
    call.returnInt(-1);
    return;
  }
  table_ = *table;
  call.returnInt(1);
}

void n_create_sql::of_SetWhere(const Call& call) {
  const std::optional<std::string> where = call.text(0);
  if (!where) {
    call.returnInt(-1);
    return;
  }
  where_ = *where;
  call.returnInt(1);
}

// Declared as a string result, but the clients test the number, so an integer
// is delivered.
void n_create_sql::of_AddUpdateSet(const Call& call) {
  const std::optional<std::string> name = call.text(0);
  const std::optional<std::string> value = call.text(1);
  const std::optional<std::string> flag = call.text(2);
  if (!name || !value || !flag) {
    call.returnInt(-1);
    return;
  }
  std::string column(trimWhiteRight(platform::lowerAscii(*name)));
  if (column.empty()) {
    call.returnInt(0);
    return;
  }
  const std::string quoteFlag = flag->empty() ? std::string("Y") : *flag;
  auto found = std::find_if(assignments_.begin(), assignments_.end(),
                            [&](const Assignment& a) { return a.column == column; });
  if (found == assignments_.end()) {
    assignments_.push_back(Assignment{std::move(column), *value, quoteFlag});
  } else {
    found->value = *value;
    found->quoteFlag = quoteFlag;
  }
  call.returnInt(1);
}

void n_create_sql::of_GetUpdateSQL(const Call& call) {
  std::string sets;
  for (const Assignment& a : assignments_) {
    const std::string item = a.quoteFlag == "Y" ? "\r\n     " + a.column + "='" + a.value + "'"
                                                : "\r\n      " + a.column + "=" + a.value;
    appendItem(sets, item, ",");
  }
  call.returnText("Update " + table_ + " \r\nset " + sets + " \r\nwhere " + where_);
}

// A bare empty value is skipped by the append rule, so the value list can be
// one short of the column list; kept so, as the clients' statements were.
void n_create_sql::of_GetInsertSQL(const Call& call) {
  std::string columns;
  std::string values;
  for (std::size_t k = 0; k < assignments_.size(); ++k) {
    const Assignment& a = assignments_[k];
    appendItem(columns, a.column, ",");
    appendItem(values, a.quoteFlag == "Y" ? "'" + a.value + "'" : a.value, ",");
    if ((k + 1) % 3 == 0) {
      columns += "\r\n";
      values += "\r\n";
    }
  }
  call.returnText(" insert into " + table_ + "(\r\n" + columns + "\r\n) \r\nvalues(\r\n" + values +
                  "\r\n)");
}

}  // namespace nx
