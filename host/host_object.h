// Host objects: objects of the host whose functions an extension can call
// through GetClass, GetMethodID, InitCallInfo, InvokeObjectFunction and
// FreeCallInfo. Each function is a C++ callable that gets the argument
// values and the return value.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/value.h"

namespace host {

struct HostFunction {
  std::string name;
  std::string signature;  // matched exactly when the caller gives one
  int argumentCount = 0;
  std::function<void(std::vector<Value>& arguments, Value& result)> body;
};

}  // namespace host

struct pbclass_ {
  std::string name;
  std::vector<host::HostFunction> functions;  // index = method id
};

struct pbobject_ {
  pbclass_ cls;
};

namespace host {

class HostObject {
 public:
  HostObject(std::string className, std::vector<HostFunction> functions);
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

  pbobject handle() { return &object_; }

 private:
  pbobject_ object_;
};

}  // namespace host
