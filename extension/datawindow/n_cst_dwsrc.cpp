// A null text argument reads as the empty text, a null number as 0 and a
// null flag as false.
#include "extension/datawindow/n_cst_dwsrc.h"

#include <new>
#include <string>

namespace nx {
namespace {

std::string textOf(const Call& call, int position) {
  return call.text(position).value_or(std::string());
}

}  // namespace

// Created without the host's session and object: it calls nothing of the host.
IPBX_NonVisualObject* n_cst_dwsrc::create(IPB_Session*, pbobject) {
  return new (std::nothrow) n_cst_dwsrc();
}

void n_cst_dwsrc::of_SetDwSyntax(const Call& call) { editor_.load(textOf(call, 0)); }

void n_cst_dwsrc::of_GetDwSyntax(const Call& call) { call.returnText(editor_.produce()); }

void n_cst_dwsrc::of_addcol(const Call& call) {
  dw::AddedColumn column;
  column.type = textOf(call, 0);
  column.name = textOf(call, 1);
  column.sqlColumn = textOf(call, 2);
  column.dbName = textOf(call, 3);
  column.labelText = textOf(call, 4);
  column.copyColumn = textOf(call, 5);
  column.placeAt = textOf(call, 6);
  // Argument 7, the side of placement, is not used: of_Setdirection decides it.
  column.isExpression = call.boolean(8).value_or(false);
  call.returnInt(static_cast<pbint>(editor_.addColumn(column)));
}

// The statement of the produced syntax comes from the statement object, so a
// new statement goes there; no result is set.
void n_cst_dwsrc::of_setSQL(const Call& call) { editor_.statement().setSql(textOf(call, 0)); }

void n_cst_dwsrc::of_updateProp(const Call& call) {
  call.returnInt(static_cast<pbint>(
      editor_.updateProperty(textOf(call, 0), textOf(call, 1), textOf(call, 2))));
}

void n_cst_dwsrc::of_Setdirection(const Call& call) {
  editor_.setDirection(call.integer(0).value_or(0));
  call.returnInt(1);
}

}  // namespace nx
