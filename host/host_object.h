// Host objects: objects of the host whose functions an extension can call
// through GetClass, GetMethodID, InitCallInfo, InvokeObjectFunction and
// FreeCallInfo. Each function is a C++ callable that gets the argument
// values and the return value.
#pragma once

#include <functional>
#include <map>
#include <optional>
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

// A function of a scripted host object: takes one text (the command) and
// answers a text from its table, or `fallback` for a command not in it.
// nullopt answers the null text.
struct ScriptedFunction {
  std::string name;
  std::map<std::string, std::optional<std::string>> answers;
  std::optional<std::string> fallback;
};

// One call of a scripted function as the extension made it.
struct Received {
  std::string function;
  std::optional<std::string> command;  // nullopt for a null argument
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
