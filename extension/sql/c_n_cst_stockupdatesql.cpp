// c_n_cst_stockupdatesql: the clients only ask it for one fixed number, so
// the object holds no state.
#include "extension/sql/c_n_cst_stockupdatesql.h"

#include <new>

namespace nx {

IPBX_NonVisualObject* c_n_cst_stockupdatesql::create(IPB_Session*, pbobject) {
  return new (std::nothrow) c_n_cst_stockupdatesql();
}

void c_n_cst_stockupdatesql::of_columncount(const Call& call) { call.returnInt(1110); }

}  // namespace nx
