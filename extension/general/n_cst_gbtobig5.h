// n_cst_gbtobig5: converts texts between GB2312 and Big5 and guesses a
// text's encoding from its first two bytes. The code tables are the
// library's own constant data, so they are there whatever the file is called.
#pragma once

#include <array>

#include "extension/frame/extension_object.h"

namespace nx {

class n_cst_gbtobig5 final : public ExtensionObject<n_cst_gbtobig5> {
 public:
  static IPBX_NonVisualObject* create(IPB_Session* session, pbobject object);

  void gbtobig5(const Call& call);
  void big5togb(const Call& call);
  void isbig5(const Call& call);
  void isgb(const Call& call);

  static constexpr std::array<Operation, 5> kOperations = {
      &n_cst_gbtobig5::gbtobig5, &n_cst_gbtobig5::big5togb, &n_cst_gbtobig5::isbig5,
      &n_cst_gbtobig5::isgb, nullptr};

 private:
  n_cst_gbtobig5(IPB_Session* session, pbobject object) : session_(session), object_(object) {}

  IPB_Session* session_;
  pbobject object_;
};

}  // namespace nx
