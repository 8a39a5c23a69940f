// libFuzzer harness for the DataWindow syntax editor. The input is a syntax,
// optionally followed by NUL-separated argument texts (a column name, a
// property key, a property value). Every operation runs on every input; a
// failed property aborts, so libFuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "extension/datawindow/dw_syntax.h"
#include "tests/fuzz/fuzz_checks.h"

namespace {

using fuzz::require;
using fuzz::touch;

// The values after "name=" in a text: column and object names the loaded
// syntax knows, so the copies hit existing columns and objects.
std::vector<std::string> namesIn(const std::string& text) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (names.size() < 3 && (at = text.find("name=", at)) != std::string::npos) {
    at += 5;
    const std::size_t end = text.find_first_of(" )\n", at);
    names.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
  }
  return names;
}

void checkProduced(const std::string& produced) {
  require(produced.find("table(") != std::string::npos, "the frame always holds table(");
  require(produced.find(" retrieve=\"") != std::string::npos, "the frame always holds retrieve=");
  touch(produced);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts = fuzz::splitAtNul(input, 4);
  parts.resize(4);
  const std::string_view syntax = parts[0];
  const std::string name(parts[1]);
  const std::string key(parts[2]);
  const std::string value(parts[3]);
  const unsigned char flags = size == 0 ? 0 : data[size - 1];

  nx::dw::SyntaxEditor editor;
  editor.load(syntax);
  const std::string first = editor.produce();
  checkProduced(first);
  require(editor.produce() == first, "producing twice gives the same text");

  std::vector<std::string> names = namesIn(first);
  names.push_back(name);
  editor.setDirection(flags & 1);

  for (std::size_t i = 0; i < names.size(); ++i) {
    nx::dw::AddedColumn column;
    column.type = (flags & 2) ? "computer" : "char(20)";
    column.name = name.empty() ? "fz" + std::to_string(i) : name;
    column.sqlColumn = key;
    column.dbName = value;
    column.labelText = (flags & 4) ? std::string() : value;
    column.copyColumn = names[i];
    column.placeAt = names[(i + 1) % names.size()];
    column.isExpression = (flags & 8) != 0;
    const int added = editor.addColumn(column);
    require(added == 1 || added == -1, "of_addcol answers 1 or -1");
  }

  for (const std::string& object : names) {
    const int set = editor.updateProperty(object, key.empty() ? "x" : key, value);
    require(set == 1 || set == -1, "of_updateProp answers 1 or -1");
  }
  require(editor.updateProperty(name, key, value) == editor.updateProperty(name, key, value),
          "setting the same property twice answers the same");

  editor.setDirection(static_cast<std::int32_t>(flags) - 128);
  const std::string second = editor.produce();
  checkProduced(second);
  require(editor.produce() == second, "producing after changes is stable");

  // Loading the produced text again must be harmless as well.
  editor.load(second);
  checkProduced(editor.produce());
  return 0;
}
