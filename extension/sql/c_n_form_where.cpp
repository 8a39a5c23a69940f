// A null text argument reads as the empty text and a null flag as false.
// The two overloads of of_form_where and of of_retrieve share one operation
// each and are told apart by the argument count.
#include "extension/sql/c_n_form_where.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace nx {
namespace {

std::string textOf(const Call& call, int position) {
  return call.text(position).value_or(std::string());
}

bool flagOf(const Call& call, int position) { return call.boolean(position).value_or(false); }

pbint countOf(std::size_t count) {
  return static_cast<pbint>(std::min<std::size_t>(count, std::numeric_limits<pbint>::max()));
}

// A null array is left as the host passed it.
void setArrayUnlessNull(const Call& call, int position, const std::vector<std::string>& items) {
  IPB_Value* value = call.arg(position);
  if (value != nullptr && !value->IsNull()) call.setTextArray(position, items);
}

}  // namespace

IPBX_NonVisualObject* c_n_form_where::create(IPB_Session*, pbobject) {
  return new (std::nothrow) c_n_form_where();
}

void c_n_form_where::of_add_ons(const Call& call) {
  call.returnInt(static_cast<pbint>(statement_.addCondition(textOf(call, 0), textOf(call, 1))));
}

void c_n_form_where::of_SetSQL(const Call& call) {
  call.returnText(statement_.setSql(textOf(call, 0)));
}

void c_n_form_where::of_getsqlselect(const Call& call) { call.returnText(statement_.compose()); }

// Declared as a string result; the number is what the clients test.
void c_n_form_where::of_add_havingons(const Call& call) {
  call.returnInt(
      static_cast<pbint>(statement_.addHavingCondition(textOf(call, 0), textOf(call, 1))));
}

void c_n_form_where::of_addcol(const Call& call) {
  call.returnInt(
      static_cast<pbint>(statement_.addColumn(textOf(call, 0), textOf(call, 1), flagOf(call, 2))));
}

void c_n_form_where::of_addrelatable(const Call& call) {
  statement_.addRelatedTable(textOf(call, 0), textOf(call, 1));
  call.returnInt(1);
}

void c_n_form_where::of_changecol(const Call& call) {
  call.returnInt(static_cast<pbint>(
      statement_.changeColumn(textOf(call, 0), textOf(call, 1), flagOf(call, 2))));
}

void c_n_form_where::of_changetable(const Call& call) {
  statement_.changeTable(textOf(call, 0), textOf(call, 1));
  call.returnInt(1);
}

void c_n_form_where::of_del_ons(const Call& call) {
  call.returnInt(static_cast<pbint>(statement_.deleteCondition(textOf(call, 0))));
}

void c_n_form_where::of_del_allons(const Call& call) {
  statement_.deleteAllConditions();
  call.returnInt(1);
}

void c_n_form_where::of_del_havingons(const Call& call) {
  call.returnInt(static_cast<pbint>(statement_.deleteHavingCondition(textOf(call, 0))));
}

void c_n_form_where::of_delrelatable(const Call& call) {
  statement_.deleteRelatedTable(textOf(call, 0));
  call.returnInt(1);
}

void c_n_form_where::of_form_where(const Call& call) {
  if (call.count() == 0) {
    call.returnText(statement_.compose());
    return;
  }
  call.returnText(statement_.composeWith(textOf(call, 0), textOf(call, 1), textOf(call, 2)));
}

void c_n_form_where::of_getautogroupby(const Call& call) {
  call.returnText(statement_.autoGroupBy());
}

void c_n_form_where::of_getoldsql(const Call& call) { call.returnText(statement_.is_oldsql()); }

void c_n_form_where::of_getonlywhere(const Call& call) { call.returnText(statement_.onlyWhere()); }

// Declared as a string result, like the three-argument of_retrieve; the
// number is delivered.
void c_n_form_where::of_replacesq(const Call& call) {
  statement_.replaceInSql(textOf(call, 0), textOf(call, 1));
  call.returnInt(1);
}

void c_n_form_where::of_retrieve(const Call& call) {
  if (call.count() == 0) {
    call.returnInt(-1);
    return;
  }
  statement_.retrieveWith(textOf(call, 0), textOf(call, 1), textOf(call, 2));
  call.returnInt(1);
}

void c_n_form_where::of_set_add_ons(const Call& call) {
  statement_.setAddons(textOf(call, 0));
  call.returnInt(1);
}

void c_n_form_where::of_setdelgroupbycol(const Call& call) {
  statement_.setDeleteGroupByColumns(flagOf(call, 0));
  call.returnInt(1);
}

void c_n_form_where::of_setneedautogroup(const Call& call) {
  statement_.setNeedAutoGroup(flagOf(call, 0));
  call.returnInt(1);
}

void c_n_form_where::of_settoprows(const Call& call) {
  statement_.setTopRows(call.long32(0).value_or(0));
  call.returnInt(1);
}

void c_n_form_where::of_GetFrom(const Call& call) { call.returnText(statement_.parsed().is_from); }

void c_n_form_where::of_GetTables(const Call& call) {
  call.returnInt(countOf(statement_.parsed().tables.size()));
}

void c_n_form_where::of_GetWhereGroupValue(const Call& call) {
  const sql::ParsedSelect& p = statement_.parsed();
  call.setInt(0, countOf(p.tables.size()));
  call.setText(1, p.is_select);
  call.setText(2, "");
  call.setText(3, p.is_from);
  call.setText(4, p.is_where);
  call.setText(5, p.is_group);
  call.setText(6, p.is_having);
  call.setText(7, p.is_order);
  call.returnInt(1);
}

void c_n_form_where::of_GetColumns(const Call& call) {
  const sql::ParsedSelect& p = statement_.parsed();
  std::vector<std::string> expressions, aliases, comments, tables, tableAliases;
  for (const sql::SelectColumn& c : p.columns) {
    expressions.push_back(c.expression);
    aliases.push_back(c.alias);
    comments.push_back(c.comment);
  }
  for (const sql::FromTable& t : p.tables) {
    tables.push_back(t.table);
    tableAliases.push_back(t.alias);
  }
  call.setInt(0, countOf(p.columns.size()));
  setArrayUnlessNull(call, 1, expressions);
  setArrayUnlessNull(call, 2, expressions);
  setArrayUnlessNull(call, 3, aliases);
  setArrayUnlessNull(call, 4, comments);
  setArrayUnlessNull(call, 5, tables);
  setArrayUnlessNull(call, 6, tableAliases);
  call.returnInt(1);
}

}  // namespace nx
