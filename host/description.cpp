// Parsing the class description: "class X from Y" ... "end class" blocks,
// then "globalfunctions" ... "end globalfunctions"; one declaration a line.
#include "host/description.h"

#include <sstream>

#include "platform/gbk_text.h"

namespace host {
namespace {

std::string_view trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string> words(std::string_view text) {
  std::vector<std::string> result;
  std::istringstream in{std::string(text)};
  for (std::string word; in >> word;) result.push_back(word);
  return result;
}

Parameter parseParameter(std::string_view text, std::string_view line) {
  std::vector<std::string> parts = words(text);
  Parameter parameter;
  std::size_t at = 0;
  if (at < parts.size() && platform::equalsIgnoreCase(parts[at], "ref")) {
    parameter.byReference = true;
    ++at;
  } else if (at < parts.size() && platform::equalsIgnoreCase(parts[at], "readonly")) {
    parameter.readOnly = true;
    ++at;
  }
  if (parts.size() != at + 2) throw DescriptionError("bad parameter in: " + std::string(line));
  parameter.type = parts[at];
  parameter.name = parts[at + 1];
  if (parameter.name.size() > 2 && parameter.name.ends_with("[]")) {
    parameter.isArray = true;
    parameter.name.resize(parameter.name.size() - 2);
  }
  return parameter;
}

Method parseMethod(std::string_view line) {
  const std::size_t open = line.find('(');
  const std::size_t close = line.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open ||
      !trim(line.substr(close + 1)).empty()) {
    throw DescriptionError("bad declaration: " + std::string(line));
  }
  std::vector<std::string> head = words(line.substr(0, open));
  Method method;
  if (head.size() == 3 && head[0] == "function") {
    method.returnType = head[1];
    method.name = head[2];
  } else if (head.size() == 2 && head[0] == "subroutine") {
    method.name = head[1];
  } else {
    throw DescriptionError("bad declaration: " + std::string(line));
  }
  std::string_view list = trim(line.substr(open + 1, close - open - 1));
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    method.parameters.push_back(parseParameter(list.substr(0, comma), line));
    if (comma == std::string_view::npos) break;
    list = list.substr(comma + 1);
    if (trim(list).empty()) throw DescriptionError("bad parameter list: " + std::string(line));
  }
  return method;
}

}  // namespace

const ClassBlock* Description::findClass(std::string_view name) const {
  for (const ClassBlock& block : classes)
    if (platform::equalsIgnoreCase(block.name, name)) return &block;
  return nullptr;
}

const Method* Description::findGlobal(std::string_view name) const {
  for (const Method& method : globals)
    if (platform::equalsIgnoreCase(method.name, name)) return &method;
  return nullptr;
}

Description parseDescription(std::string_view text) {
  enum class Where { Outside, InClass, InGlobals, Done } where = Where::Outside;
  Description description;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) throw DescriptionError("last line has no line feed");
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    const std::vector<std::string> parts = words(line);
    if (parts.empty()) continue;
    if (where == Where::Outside) {
      if (parts.size() == 4 && parts[0] == "class" && parts[2] == "from") {
        description.classes.push_back({parts[1], parts[3], {}});
        where = Where::InClass;
      } else if (parts.size() == 1 && parts[0] == "globalfunctions") {
        where = Where::InGlobals;
      } else {
        throw DescriptionError("unexpected line: " + std::string(line));
      }
    } else if (where == Where::InClass) {
      if (parts.size() == 2 && parts[0] == "end" && parts[1] == "class") {
        where = Where::Outside;
      } else {
        description.classes.back().methods.push_back(parseMethod(line));
      }
    } else if (where == Where::InGlobals) {
      if (parts.size() == 2 && parts[0] == "end" && parts[1] == "globalfunctions") {
        where = Where::Done;
      } else {
        description.globals.push_back(parseMethod(line));
      }
    } else {
      throw DescriptionError("text after end globalfunctions: " + std::string(line));
    }
  }
  if (where == Where::InClass || where == Where::InGlobals) {
    throw DescriptionError("description ends inside a block");
  }
  return description;
}

std::optional<pbmethodID> findMethodId(const ClassBlock& block, std::string_view name,
                                       std::size_t argumentCount) {
  for (std::size_t id = 0; id < block.methods.size(); ++id) {
    const Method& method = block.methods[id];
    if (platform::equalsIgnoreCase(method.name, name) &&
        method.parameters.size() == argumentCount) {
      return static_cast<pbmethodID>(id);
    }
  }
  return std::nullopt;
}

}  // namespace host
