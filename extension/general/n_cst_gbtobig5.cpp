// n_cst_gbtobig5: a null argument reads as the empty text.
#include "extension/general/n_cst_gbtobig5.h"

#include <new>
#include <string>

#include "extension/general/gb_big5.h"

namespace nx {

IPBX_NonVisualObject* n_cst_gbtobig5::create(IPB_Session* session, pbobject object) {
  return new (std::nothrow) n_cst_gbtobig5(session, object);
}

void n_cst_gbtobig5::gbtobig5(const Call& call) {
  call.returnText(gbToBig5(call.text(0).value_or(std::string())));
}

void n_cst_gbtobig5::big5togb(const Call& call) {
  call.returnText(big5ToGb(call.text(0).value_or(std::string())));
}

void n_cst_gbtobig5::isbig5(const Call& call) {
  call.returnBool(isBig5(call.text(0).value_or(std::string())));
}

void n_cst_gbtobig5::isgb(const Call& call) {
  call.returnBool(isGb(call.text(0).value_or(std::string())));
}

}  // namespace nx
