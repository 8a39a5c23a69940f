// Base of the library's classes: Invoke dispatches the low 16 bits of the
// method id into the class's operation table, which has one entry per line
// of the class block of the description (null where a method has no
// operation). Nothing is thrown to the host; Invoke always answers PBX_OK.
#pragma once

#include <cstddef>

#include "extension/frame/host_call.h"
#include "pbni/pbni.h"

namespace nx {

template <class Derived>
class ExtensionObject : public IPBX_NonVisualObject {
 public:
  using Operation = void (Derived::*)(const Call&);

  PBXRESULT Invoke(IPB_Session* session, pbobject /*object*/, pbmethodID method,
                   PBCallInfo* info) override {
    const auto& operations = Derived::kOperations;
    const std::size_t id = method & 0xffffu;
    if (id < operations.size() && operations[id] != nullptr) {
      try {
        (static_cast<Derived*>(this)->*operations[id])(Call(session, info));
      } catch (...) {
        // Out of memory mid-operation: the host sees no result.
      }
    }
    return PBX_OK;
  }

  void Destroy() override { delete this; }
};

}  // namespace nx
