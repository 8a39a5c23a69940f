// n_cst_app: seeds the runtime's random generator from the time and a key,
// and draws random identifiers from a fixed 47-character alphabet.
#pragma once

#include <array>

#include "extension/frame/extension_object.h"

namespace nx {

class n_cst_app final : public ExtensionObject<n_cst_app> {
 public:
  static IPBX_NonVisualObject* create(IPB_Session* session, pbobject object);

  void of_IniSeed(const Call& call);
  void of_GetGuid(const Call& call);

  static constexpr std::array<Operation, 2> kOperations = {&n_cst_app::of_IniSeed,
                                                           &n_cst_app::of_GetGuid};

 private:
  n_cst_app(IPB_Session* session, pbobject object) : session_(session), object_(object) {}

  IPB_Session* session_;
  pbobject object_;
};

}  // namespace nx
