// The class-name table of object creation and the name table of the global
// functions, each searched in order ignoring letter case.
#pragma once

#include <string_view>

#include "extension/frame/host_call.h"
#include "pbni/pbni.h"

namespace nx {

using Factory = IPBX_NonVisualObject* (*)(IPB_Session* session, pbobject object);
using GlobalOperation = void (*)(const Call&);

// Null when no class of that name can be created.
Factory findFactory(std::string_view className);

// Null when the name is not in the table or has no operation.
GlobalOperation findGlobalFunction(std::string_view functionName);

}  // namespace nx
