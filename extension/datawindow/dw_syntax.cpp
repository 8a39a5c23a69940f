// Loading cuts the syntax at its markers; producing writes a fixed frame
// around the parts. Searches are exact and byte-wise; names are compared
// ignoring case.
#include "extension/datawindow/dw_syntax.h"

#include <algorithm>
#include <array>
#include <optional>

#include "extension/general/text_rules.h"
#include "extension/sql/select_parser.h"
#include "platform/gbk_text.h"

namespace nx::dw {
namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view kTableMarker = "table(";
constexpr std::string_view kRetrieveMarker = "retrieve=";
constexpr std::string_view kTailMarker = "htmltable(";

std::string withoutBytes(std::string_view text, std::string_view bytes) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (bytes.find(c) == npos) out += c;
  }
  return out;
}

std::string unquoted(std::string_view value) {
  if (value.starts_with('"')) value.remove_prefix(1);
  if (value.ends_with('"')) value.remove_suffix(1);
  return std::string(value);
}

std::string quoted(std::string_view value) { return "\"" + std::string(value) + "\""; }

// The earliest display object marker at or after `from`.
std::size_t firstDisplayObject(std::string_view text, std::size_t from) {
  std::size_t first = npos;
  for (std::string_view marker : {"text(", "column(", "compute("}) {
    first = std::min(first, text.find(marker, from));
  }
  return first;
}

std::string_view slice(std::string_view text, std::size_t from, std::size_t to) {
  to = std::min(to, text.size());
  return from < to ? text.substr(from, to - from) : std::string_view();
}

bool isLowerLetter(char c) { return c >= 'a' && c <= 'z'; }

// Sets `key` in a column definition "prefix(key=value key=value ...)";
// values run to the next blank. Keys are compared without the blanks around
// them, so a definition written by an earlier edit is found again.
std::string withDefinitionProperty(std::string_view definition, std::string_view key,
                                   std::string_view value) {
  const std::size_t open = definition.find('(');
  if (open == npos) return std::string(definition);
  std::string_view properties = trimSpaceRight(definition.substr(open + 1));
  if (!properties.empty()) properties.remove_suffix(1);
  properties = trimWhite(properties);
  for (std::size_t pair = 0; pair < properties.size();) {
    const std::size_t equals = properties.find('=', pair);
    if (equals == npos) break;
    const std::size_t blank = properties.find(' ', equals + 1);
    if (platform::equalsIgnoreCase(trimWhite(properties.substr(pair, equals - pair)), key)) {
      std::string out(definition.substr(0, open));
      out += "(";
      out += properties.substr(0, pair);
      out += " ";
      out += key;
      out += "=";
      out += value;
      if (blank != npos) {
        out += " ";
        out += properties.substr(blank + 1);
      }
      return out + ")";
    }
    if (blank == npos) break;
    pair = blank + 1;
  }
  return std::string(definition);
}

// The field a property fills, read without the value's quotes.
void readField(DisplayObject& object, const Property& property) {
  const std::string value = unquoted(property.value);
  const std::string_view key = property.key;
  if (platform::equalsIgnoreCase(key, "name")) object.name = value;
  if (platform::equalsIgnoreCase(key, "x")) object.x = leadingInteger(value);
  if (platform::equalsIgnoreCase(key, "y")) object.y = leadingInteger(value);
  if (platform::equalsIgnoreCase(key, "width")) object.width = leadingInteger(value);
  if (platform::equalsIgnoreCase(key, "height")) object.height = leadingInteger(value);
  if (platform::equalsIgnoreCase(key, "id")) object.id = leadingInteger(value);
  if (platform::equalsIgnoreCase(key, "text")) object.text = value;
  if (platform::equalsIgnoreCase(key, "band")) object.band = value;
}

// Sets the first property named `key` and the field it fills, so that a
// copy is found by its new name and a moved object is shifted from where it
// now stands.
bool setProperty(DisplayObject& object, std::string_view key, std::string_view value) {
  auto found =
      std::find_if(object.properties.begin(), object.properties.end(),
                   [&](const Property& p) { return platform::equalsIgnoreCase(p.key, key); });
  if (found == object.properties.end()) return false;
  found->value = std::string(value);
  readField(object, *found);
  object.changed = true;
  return true;
}

std::string textOf(DisplayObject& object) {
  if (object.changed) {
    std::string list;
    for (const Property& p : object.properties) {
      appendItem(list, p.key + "=" + p.value, " ");
    }
    object.rawText = object.type + "(" + list + ")";
    object.changed = false;
  }
  return object.rawText;
}

bool isShiftedBand(std::string_view band) {
  return platform::equalsIgnoreCase(band, "detail") || platform::equalsIgnoreCase(band, "header") ||
         platform::equalsIgnoreCase(band, "summary");
}

}  // namespace

std::vector<std::size_t> matchBrackets(std::string_view text) {
  // A walk from "(" sees a later byte outside quotes when an even number of
  // quotes lies between them, so brackets are matched separately for the
  // two parities of the quotes before them: one pass, no walk per bracket.
  std::vector<std::size_t> match(text.size(), npos);
  std::array<std::vector<std::size_t>, 2> open;
  std::size_t quotes = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      ++quotes;
    } else if (c == '(') {
      open[quotes % 2].push_back(i);
    } else if (c == ')' && !open[quotes % 2].empty()) {
      match[open[quotes % 2].back()] = i;
      open[quotes % 2].pop_back();
    }
  }
  return match;
}

DisplayObject parseObject(std::string text) {
  DisplayObject object;
  object.rawText = std::move(text);
  const std::string_view raw = object.rawText;
  if (raw.size() < 2 || raw.find('(', 1) == npos) return object;
  const std::size_t open = raw.find('(');
  object.type = std::string(raw.substr(0, open));
  std::string_view inner = raw.substr(open + 1);
  if (!inner.empty()) inner.remove_suffix(1);
  inner = trimWhite(inner);

  std::size_t keyStart = 0;
  for (std::size_t equals = inner.find('='); equals != npos;) {
    Property property;
    property.key = std::string(trimWhite(slice(inner, keyStart, equals)));
    std::size_t at = equals + 1;
    while (at < inner.size() && inner[at] == ' ') ++at;
    // The value's last byte: its closing quote or the blank that ends it.
    const bool quotedValue = at < inner.size() && inner[at] == '"';
    const std::size_t last =
        std::min(quotedValue ? inner.find('"', at + 1) : inner.find(' ', at), inner.size());
    property.value = std::string(trimWhiteRight(slice(inner, equals + 1, last + 1)));

    readField(object, property);
    object.properties.push_back(std::move(property));

    keyStart = last + 1;
    equals = last < inner.size() ? inner.find('=', last) : npos;
  }
  return object;
}

// --- Loading --------------------------------------------------------------

void SyntaxEditor::load(std::string_view syntax) {
  syntax_ = std::string(syntax);
  head_.clear();
  tableBody_.clear();
  retrievePart_.clear();
  retrieveRest_.clear();
  objectsPart_.clear();
  tail_.clear();

  const std::string_view text = syntax_;
  const std::size_t table = text.find(kTableMarker);
  const std::size_t retrieve = table == npos ? npos : text.find(kRetrieveMarker, table);
  std::size_t objects;
  if (retrieve == npos) {
    // No statement to edit: everything before the display objects is kept
    // as head, so nothing of it reaches the statement or is lost.
    objects = firstDisplayObject(text, 0);
    head_ = std::string(slice(text, 0, objects));
  } else {
    head_ = std::string(text.substr(0, table));
    tableBody_ = std::string(slice(text, table + kTableMarker.size(), retrieve));
    objects = firstDisplayObject(text, retrieve);
    const std::size_t retrieveEnd = objects != npos ? objects : text.find(kTailMarker, retrieve);
    retrievePart_ = std::string(slice(text, retrieve + kRetrieveMarker.size(), retrieveEnd));
    if (objects == npos && retrieveEnd != npos) tail_ = std::string(text.substr(retrieveEnd));
  }
  if (objects != npos) {
    const std::size_t tail = text.find(kTailMarker, objects);
    objectsPart_ = std::string(slice(text, objects, tail));
    if (tail != npos) tail_ = std::string(text.substr(tail));
  }
  readTableBody();
  readRetrievePart();
  readObjects();
}

void SyntaxEditor::readTableBody() {
  definitions_.clear();
  columnNames_.clear();
  const std::string_view body = tableBody_;
  const std::vector<std::size_t> match = matchBrackets(body);
  for (std::size_t at = 0; at < body.size(); ++at) {
    if (body[at] != '(') continue;
    const std::size_t end = match[at] != npos ? match[at] : at;
    const std::size_t start = at >= 7 ? at - 7 : 0;
    std::string definition = withoutBytes(slice(body, start, end + 1), "\n") + "\n";
    std::string name;
    const std::size_t key = definition.find("name=");
    if (key != npos) {
      const std::size_t blank = definition.find(' ', key + 5);
      name = definition.substr(key + 5, blank == npos ? npos : blank - key - 5);
    }
    definitions_.push_back(std::move(definition));
    columnNames_.push_back(std::move(name));
    at = end;
  }
}

void SyntaxEditor::readRetrievePart() {
  if (retrievePart_.empty()) return;
  const sql::Token first = sql::nextToken(retrievePart_, 0);
  retrieveRest_ = std::string(slice(retrievePart_, first.end, npos));
  const std::string_view token = first.text;
  std::string_view statement;
  const std::size_t open = token.find('"');
  if (open != npos) {
    const std::size_t close = token.find('"', open + 1);
    statement = slice(token, open + 1, close);
  }
  statement_.setSql(statement);
}

void SyntaxEditor::readObjects() {
  objects_.clear();
  const std::string_view part = objectsPart_;
  const std::vector<std::size_t> match = matchBrackets(part);
  std::size_t scanned = 0;  // objects never reach back before this
  for (std::size_t at = 0; at < part.size(); ++at) {
    if (part[at] != '(') continue;
    std::size_t start = at;
    while (start > scanned && isLowerLetter(part[start - 1])) --start;
    const std::size_t end = match[at] != npos ? match[at] : at;
    objects_.push_back(parseObject(withoutBytes(slice(part, start, end + 1), "\r\n")));
    at = end;
    scanned = end + 1;
  }
}

// --- Producing ------------------------------------------------------------

std::string SyntaxEditor::produce() {
  std::string body;
  for (const std::string& d : definitions_) body += d;
  std::string objects;
  for (DisplayObject& o : objects_) objects += textOf(o) + "\r\n";
  composedStatement_ = statement_.compose();
  const std::string result = head_ + "\r\n" + "table(" + body + " \r\n " + " retrieve=" + "\"" +
                             composedStatement_ + "\"" + "  " + "\r\n" + retrieveRest_ + "  \r\n" +
                             objects + "\r\n" + tail_;
  produced_ = replaceAll(result, "\r\n", "\n");
  return produced_;
}

// --- Changing -------------------------------------------------------------

DisplayObject* SyntaxEditor::findObject(std::string_view name) {
  auto found = std::find_if(objects_.begin(), objects_.end(), [&](const DisplayObject& o) {
    return platform::equalsIgnoreCase(o.name, name);
  });
  return found == objects_.end() ? nullptr : &*found;
}

int SyntaxEditor::updateProperty(std::string_view objectName, std::string_view key,
                                 std::string_view value) {
  DisplayObject* object = findObject(objectName);
  return object != nullptr && setProperty(*object, key, value) ? 1 : -1;
}

int SyntaxEditor::addColumn(const AddedColumn& column) {
  auto source = std::find_if(columnNames_.begin(), columnNames_.end(), [&](const std::string& n) {
    return platform::equalsIgnoreCase(n, column.copyColumn);
  });
  if (source == columnNames_.end()) return -1;
  lastAdded_ = column;

  std::string definition = definitions_[static_cast<std::size_t>(source - columnNames_.begin())];
  definition = withDefinitionProperty(definition, "dbname", quoted(column.sqlColumn));
  definition = withDefinitionProperty(definition, "type", column.type);
  definition = withDefinitionProperty(definition, "name", column.name);
  definitions_.push_back(std::move(definition));
  columnNames_.push_back(column.name);

  statement_.addColumn(column.dbName, column.name, column.isExpression);
  composedStatement_ = statement_.compose();

  // Both places are taken before the shift moves the objects they refer to,
  // so the label stays above its column.
  const std::string label = column.copyColumn + "_t";
  const std::optional<Position> columnAt = positionFor(column.copyColumn, column.placeAt);
  const std::optional<Position> labelAt = positionFor(label, column.placeAt);
  const bool computed = platform::equalsIgnoreCase(column.type, "computer");
  if (columnAt)
    copyObject(column.copyColumn, *columnAt, column.name, computed ? "computer" : "column");
  if (labelAt && !trimWhite(column.labelText).empty()) {
    copyObject(label, *labelAt, column.name + "_t", "text");
  }
  return 1;
}

std::optional<SyntaxEditor::Position> SyntaxEditor::positionFor(std::string_view sourceName,
                                                                std::string_view placement) {
  const DisplayObject* source = findObject(sourceName);
  if (source == nullptr) return std::nullopt;
  // Without the placement object the copy lands on its source.
  if (const DisplayObject* place = findObject(placement)) {
    return Position{place->x + (direction_ == 1 ? std::int64_t{place->width} : 0), place->y};
  }
  return Position{source->x, source->y};
}

void SyntaxEditor::copyObject(std::string_view sourceName, Position at, std::string_view newName,
                              std::string_view kind) {
  const DisplayObject* source = findObject(sourceName);
  const std::int64_t width = source->width;
  DisplayObject copy = parseObject(source->rawText);
  setProperty(copy, "X", quoted(std::to_string(at.x)));
  setProperty(copy, "Y", quoted(std::to_string(at.y)));
  setProperty(copy, "name", newName);
  if (kind == "column") setProperty(copy, "ID", std::to_string(definitions_.size()));
  if (kind == "text") setProperty(copy, "text", quoted(lastAdded_.labelText));
  if (kind == "column" || kind == "computer") {
    for (DisplayObject& o : objects_) {
      if (isShiftedBand(o.band) && o.x >= at.x)
        setProperty(o, "X", quoted(std::to_string(o.x + width)));
    }
  }
  objects_.push_back(std::move(copy));
}

}  // namespace nx::dw
