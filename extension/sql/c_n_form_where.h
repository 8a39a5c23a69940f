// c_n_form_where: the client's handle on one SELECT statement. Reads the
// arguments, hands them to the statement object and delivers its answers.
#pragma once

#include <array>

#include "extension/frame/extension_object.h"
#include "extension/sql/form_where.h"

namespace nx {

class c_n_form_where final : public ExtensionObject<c_n_form_where> {
 public:
  static IPBX_NonVisualObject* create(IPB_Session* session, pbobject object);

  void of_add_ons(const Call& call);
  void of_SetSQL(const Call& call);
  void of_getsqlselect(const Call& call);
  void of_add_havingons(const Call& call);
  void of_addcol(const Call& call);
  void of_addrelatable(const Call& call);
  void of_changecol(const Call& call);
  void of_changetable(const Call& call);
  void of_del_ons(const Call& call);
  void of_del_allons(const Call& call);
  void of_del_havingons(const Call& call);
  void of_delrelatable(const Call& call);
  void of_form_where(const Call& call);
  void of_getautogroupby(const Call& call);
  void of_getoldsql(const Call& call);
  void of_getonlywhere(const Call& call);
  void of_replacesq(const Call& call);
  void of_retrieve(const Call& call);
  void of_set_add_ons(const Call& call);
  void of_setdelgroupbycol(const Call& call);
  void of_setneedautogroup(const Call& call);
  void of_settoprows(const Call& call);
  void of_GetFrom(const Call& call);
  void of_GetTables(const Call& call);
  void of_GetWhereGroupValue(const Call& call);
  void of_GetColumns(const Call& call);

  using W = c_n_form_where;
  static constexpr std::array<Operation, 29> kOperations = {
      nullptr,  // of_SetDw: no DataWindow is attached to a statement
      &W::of_add_ons,        &W::of_SetSQL,           &W::of_getsqlselect,
      &W::of_add_havingons,  &W::of_addcol,           &W::of_addrelatable,
      &W::of_changecol,      &W::of_changetable,      &W::of_del_ons,
      &W::of_del_allons,     &W::of_del_havingons,    &W::of_delrelatable,
      &W::of_form_where,     &W::of_form_where,       &W::of_getautogroupby,
      &W::of_getoldsql,      &W::of_getonlywhere,     &W::of_replacesq,
      &W::of_retrieve,       &W::of_retrieve,         &W::of_set_add_ons,
      &W::of_setdelgroupbycol, &W::of_setneedautogroup, &W::of_settoprows,
      &W::of_GetFrom,        &W::of_GetTables,        &W::of_GetWhereGroupValue,
      &W::of_GetColumns};

 private:
  c_n_form_where() = default;

  sql::FormWhere statement_;
};

}  // namespace nx
