// n_cst_dwsrc: edits a DataWindow syntax for the client: adds a column with
// its display field and label, changes one property of a display object and
// hands the syntax back with the statement as its own statement object
// composes it.
#pragma once

#include <array>

#include "extension/datawindow/dw_syntax.h"
#include "extension/frame/extension_object.h"

namespace nx {

class n_cst_dwsrc final : public ExtensionObject<n_cst_dwsrc> {
 public:
  static IPBX_NonVisualObject* create(IPB_Session* session, pbobject object);

  void of_SetDwSyntax(const Call& call);
  void of_GetDwSyntax(const Call& call);
  void of_addcol(const Call& call);
  void of_setSQL(const Call& call);
  void of_updateProp(const Call& call);
  void of_Setdirection(const Call& call);

  using S = n_cst_dwsrc;
  static constexpr std::array<Operation, 12> kOperations = {
      &S::of_SetDwSyntax, &S::of_GetDwSyntax, &S::of_addcol, nullptr, &S::of_setSQL,
      &S::of_updateProp,  &S::of_Setdirection, nullptr,      nullptr, nullptr,
      nullptr,            nullptr};

 private:
  n_cst_dwsrc() = default;

  dw::SyntaxEditor editor_;
};

}  // namespace nx
