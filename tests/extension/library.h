// The real nxclass.pbx, loaded once by the host for all tests of this program,
// and shorthands for calling a global function with a row of arguments.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

namespace nxtest {

inline host::Host& library() {
  static host::Host loaded(NXCLASS_PATH);
  return loaded;
}

inline host::CallResult callGlobal(const std::string& name, std::vector<host::Value> args) {
  return library().callFunction(name, std::move(args));
}

// A text argument, or a null one for std::nullopt-like rows.
inline host::Value textOrNull(const char* text) {
  return text != nullptr ? host::Value::string(text) : host::Value::null(host::ValueType::String);
}

}  // namespace nxtest
