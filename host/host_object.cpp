#include "host/host_object.h"

namespace host {

HostObject::HostObject(std::string className, std::vector<HostFunction> functions) {
  object_.cls.name = std::move(className);
  object_.cls.functions = std::move(functions);
}

}  // namespace host
