// The text form of a DataWindow definition as the editor reads and writes
// it: head, table block (column definitions, then the retrieve statement and
// what follows it), display objects and tail. Only a few markers and bracket
// and quote matching are relied on; everything else stays text. The
// statement lives in a statement object, so an added column enters its
// select list too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extension/sql/form_where.h"

namespace nx::dw {

struct Property {
  std::string key;    // as written
  std::string value;  // with its quotes
};

// One display object: "text(...)", "column(...)", "compute(...)", ...
struct DisplayObject {
  std::string type;
  std::string name;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t id = 0;
  std::string text;
  std::string band;
  std::string rawText;  // as found, CR and LF removed
  std::vector<Property> properties;
  bool changed = false;  // the text is rebuilt from the properties
};

// Reads an object's text; the fields hold values without their quotes.
DisplayObject parseObject(std::string text);

// For each "(" of the text, the position of its matching ")" (brackets inside
// double quotes do not count), or npos when it has none.
std::vector<std::size_t> matchBrackets(std::string_view text);

struct AddedColumn {
  std::string type;  // "computer" copies the display object as it is
  std::string name;
  std::string sqlColumn;   // the definition's dbname
  std::string dbName;      // the select list's column
  std::string labelText;   // a label is copied only when not blank
  std::string copyColumn;  // the column whose definition and objects are copied
  std::string placeAt;     // the display object the copies are placed at
  bool isExpression = false;
};

class SyntaxEditor {
 public:
  void load(std::string_view syntax);
  std::string produce();

  // 1 added, -1 when the copied column is no column of the table block.
  int addColumn(const AddedColumn& column);
  // 1 set, -1 when the object or the property does not exist.
  int updateProperty(std::string_view objectName, std::string_view key, std::string_view value);
  // 1 places copies just after the placement object, anything else at its x.
  void setDirection(std::int32_t direction) { direction_ = direction; }

  sql::FormWhere& statement() { return statement_; }

 private:
  void readTableBody();
  void readRetrievePart();
  void readObjects();
  DisplayObject* findObject(std::string_view name);
  struct Position {
    std::int64_t x;
    std::int64_t y;
  };
  // Where a copy of `source` goes: at the placement object, or on the source
  // when there is none; nullopt when there is no source.
  std::optional<Position> positionFor(std::string_view source, std::string_view placement);
  void copyObject(std::string_view source, Position at, std::string_view newName,
                  std::string_view kind);

  sql::FormWhere statement_;
  std::string syntax_;
  std::string head_;
  std::string tableBody_;
  std::string retrievePart_;
  std::string retrieveRest_;
  std::string objectsPart_;
  std::string tail_;
  std::vector<std::string> definitions_;
  std::vector<std::string> columnNames_;
  std::vector<DisplayObject> objects_;
  std::int32_t direction_ = 0;
  AddedColumn lastAdded_;
  std::string composedStatement_;
  std::string produced_;
};

}  // namespace nx::dw
