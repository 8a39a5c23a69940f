// The three entry points the host finds by name. None of them lets an
// exception reach the host.
#include "extension/frame/class_description.h"
#include "extension/frame/class_table.h"
#include "extension/frame/host_call.h"

#define NX_EXPORT extern "C" __attribute__((visibility("default")))

NX_EXPORT const char* PBX_GetDescription() { return nx::kClassDescription; }

NX_EXPORT PBXRESULT PBX_CreateNonVisualObject(IPB_Session* session, pbobject object,
                                              const char* className,
                                              IPBX_NonVisualObject** created) {
  *created = nullptr;
  nx::Factory factory = nx::findFactory(className != nullptr ? className : "");
  if (factory == nullptr) return PBX_E_NO_SUCH_CLASS;
  *created = factory(session, object);
  return PBX_OK;
}

NX_EXPORT PBXRESULT PBX_InvokeGlobalFunction(IPB_Session* session, const char* functionName,
                                             PBCallInfo* info) {
  nx::GlobalOperation operation =
      nx::findGlobalFunction(functionName != nullptr ? functionName : "");
  if (operation == nullptr) return PBX_OK;
  try {
    operation(nx::Call(session, info));
  } catch (...) {
    // Out of memory mid-operation: the host sees no result.
  }
  return PBX_OK;
}
