// c_n_cst_stockupdatesql: a one-operation class of the SQL family that
// answers the constant 1110.
#pragma once

#include <array>

#include "extension/frame/extension_object.h"

namespace nx {

class c_n_cst_stockupdatesql final : public ExtensionObject<c_n_cst_stockupdatesql> {
 public:
  static IPBX_NonVisualObject* create(IPB_Session* session, pbobject object);

  void of_columncount(const Call& call);

  static constexpr std::array<Operation, 1> kOperations = {&c_n_cst_stockupdatesql::of_columncount};

 private:
  c_n_cst_stockupdatesql() = default;
};

}  // namespace nx
