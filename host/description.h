// The class description text of an extension, taken apart: class blocks
// with their methods in id order, and the global functions.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pbni/pbni.h"

namespace host {

struct Parameter {
  std::string type;
  std::string name;  // without "[]"
  bool byReference = false;
  bool readOnly = false;
  bool isArray = false;
};

struct Method {
  std::string returnType;  // empty for a subroutine
  std::string name;
  std::vector<Parameter> parameters;
};

struct ClassBlock {
  std::string name;
  std::string ancestor;
  std::vector<Method> methods;  // index = method id
};

struct Description {
  std::vector<ClassBlock> classes;
  std::vector<Method> globals;

  // Names compare ignoring letter case, as the script language does.
  const ClassBlock* findClass(std::string_view name) const;
  const Method* findGlobal(std::string_view name) const;
};

class DescriptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws DescriptionError naming the line that does not parse.
Description parseDescription(std::string_view text);

// The id of the method of that name with that many parameters (overloads
// differ by count); nullopt when the class has none.
std::optional<pbmethodID> findMethodId(const ClassBlock& block, std::string_view name,
                                       std::size_t argumentCount);

}  // namespace host
