// n_cst_dbfunc, schema and object tools: column size and type, whether an
// object exists, an object's creation text, and the repair of the column
// types in a data window definition. All ask the server over the shared connection.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extension/db/db_connection.h"
#include "extension/db/n_cst_dbfunc.h"
#include "extension/general/text_rules.h"
#include "platform/gbk_text.h"

namespace nx {
namespace {

// Keywords of the definition text match in any letter case.
std::size_t findKeyword(std::string_view text, std::string_view keyword, std::size_t from = 0) {
  return platform::findCharacters(platform::lowerAscii(text), platform::lowerAscii(keyword), from);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         platform::equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// The first row's "type" of "desc"; nullopt when the column is missing. Only a
// connection whose type is exactly "mysql" is asked.
std::optional<std::string> describedType(const std::string& table, const std::string& column) {
  if (db::databaseType() != "mysql") return std::nullopt;
  const db::ResultCursor cursor = db::query("desc " + table + " " + column);
  if (cursor.rowCount() == 0) return std::nullopt;
  return cursor.value("type", "");
}

int sizeOfType(std::string_view t) {
  if (startsWithIgnoringCase(t, "char") || startsWithIgnoringCase(t, "varchar")) {
    const std::size_t open = t.find('(');
    if (open == std::string_view::npos || open + 1 >= t.size()) return 0;
    return leadingInteger(t.substr(open + 1, t.size() - 1 - (open + 1)));
  }
  const auto is = [t](std::string_view name) { return platform::equalsIgnoreCase(t, name); };
  if (is("decimal") || is("numeric")) return 0;
  if (is("smallint") || is("int")) return 2;
  if (is("date")) return 4;
  if (is("datetime") || is("smalldatetime")) return 8;
  if (is("image")) return 16;
  return 4;
}

// The declared character length of table.column in the connected database; 0 when the
// server has none (no connection, no such column, not a text column).
int declaredLength(std::string_view dbname) {
  const std::size_t dot = dbname.rfind('.');
  std::string_view table = dbname.substr(0, dot);
  if (const std::size_t owner = table.rfind('.'); owner != std::string_view::npos)
    table = table.substr(owner + 1);
  const std::string_view column = dbname.substr(dot + 1);
  const std::string statement =
      "select character_maximum_length as len from information_schema.columns "
      "where table_schema=database() and table_name='" +
      db::escape(table) + "' and column_name='" + db::escape(column) + "'";
  return db::query(statement).wholeNumber("len", 0);
}

// One column piece of the definition; true when its type was changed.
bool repairPiece(std::string& piece) {
  const std::size_t name = findKeyword(piece, "dbname=");
  if (name == std::string::npos) return false;
  const std::size_t open = piece.find('"', name + 7);
  if (open == std::string::npos) return false;
  const std::size_t close = piece.find('"', open + 1);
  if (close == std::string::npos) return false;
  const std::string dbname = piece.substr(open + 1, close - open - 1);
  const std::size_t typeAt = findKeyword(piece, "type=");
  if (typeAt == std::string::npos) return false;
  const std::size_t valueAt = typeAt + 5;
  std::size_t blank = piece.find(' ', valueAt);
  if (blank == std::string::npos) blank = piece.size();
  const std::string type = piece.substr(valueAt, blank - valueAt);
  if (type.compare(0, 4, "char") != 0) return false;
  std::string wanted;
  if (dbname.find('.', 1) == std::string::npos) {
    wanted = "char(255)";
  } else {
    // A column of a table keeps its own type unless the table's column is wider.
    const std::size_t lengthAt = type.find('(');
    const int current = lengthAt == std::string::npos
                            ? 0
                            : leadingInteger(std::string_view(type).substr(lengthAt + 1));
    const int declared = declaredLength(dbname);
    if (declared <= current) return false;
    wanted = "char(" + std::to_string(declared) + ")";
  }
  piece = piece.substr(0, typeAt) + "type=" + wanted + " " +
          std::string(trimSpace(std::string_view(piece).substr(blank)));
  return true;
}

// The column block cut before every "column=" but a leading one.
std::vector<std::string> splitColumns(std::string_view block) {
  std::vector<std::string> pieces;
  std::string_view rest = trimSpace(block);
  while (!rest.empty()) {
    const std::size_t next = findKeyword(rest, "column=", 1);
    if (next == std::string::npos) {
      pieces.emplace_back(rest);
      break;
    }
    pieces.emplace_back(rest.substr(0, next));
    rest = trimSpace(rest.substr(next));
  }
  return pieces;
}

std::string upperAscii(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); i += platform::characterLength(out, i)) {
    if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
  }
  return out;
}

}  // namespace

void n_cst_dbfunc::of_getcolsize(const Call& call) {
  const std::optional<std::string> table = call.text(0);
  const std::optional<std::string> column = call.text(1);
  if (!table || !column) {
    call.returnInt(0);
    return;
  }
  const std::optional<std::string> type = describedType(*table, *column);
  if (!type) {
    call.returnInt(db::databaseType() == "mysql" ? -1 : 0);
    return;
  }
  call.returnInt(static_cast<pbint>(sizeOfType(*type)));
}

void n_cst_dbfunc::of_getcoltype(const Call& call) {
  const std::optional<std::string> table = call.text(0);
  const std::optional<std::string> column = call.text(1);
  std::optional<std::string> type;
  if (table && column) type = describedType(*table, *column);
  call.returnText(type.value_or(""));
}

void n_cst_dbfunc::of_isexisttable(const Call& call) {
  const std::optional<std::string> given = call.text(0);
  if (!given) {
    call.returnBool(false);
    return;
  }
  const std::string name = db::escape(trimSpace(*given));
  const std::string schema = db::escape(database_);
  const std::string statements[] = {
      "SHOW TABLES LIKE '" + name + "'",
      "Select routine_name from information_schema.routines  where routine_name='" + name + "'" +
          " and routine_schema='" + schema + "'  ",
      "Select table_name from information_schema.VIEWS  where table_name='" + name + "'" +
          " and table_schema='" + schema + "'  ",
      "Select TRIGGER_name from information_schema.TRIGGERS  where TRIGGER_name='" + name + "'" +
          " and TRIGGER_schema='" + schema + "'  ",
  };
  for (const std::string& statement : statements) {
    if (db::query(statement).rowCount() > 0) {
      call.returnBool(true);
      return;
    }
  }
  call.returnBool(false);
}

void n_cst_dbfunc::of_Helptext(const Call& call) {
  const std::optional<std::string> name = call.text(0);
  const std::optional<std::string> type = call.text(1);
  if (!name || !type) return;
  std::string word = upperAscii(type->substr(0, 4));
  if (word == "FUNC") word = "FUNCTION";
  if (word == "PROC") word = "PROCEDURE";
  if (word == "TRIG") word = "TRIGGER";
  const bool routine = word == "FUNCTION" || word == "PROCEDURE" || word == "TRIGGER";
  const db::ResultCursor cursor = db::query("SHOW CREATE " + word + " " + *name);
  call.returnText(cursor.value(std::size_t{routine ? 2u : 1u}, ""));
}

void n_cst_dbfunc::of_setDwRepairSyntax(const Call& call) {
  const std::optional<std::string> given = call.text(0);
  if (!given) {
    call.returnInt(-1);
    return;
  }
  const std::string& text = *given;
  const std::size_t tableAt = findKeyword(text, "table(");
  if (tableAt == std::string::npos) {
    call.returnInt(-1);
    return;
  }
  const std::size_t retrieveAt = findKeyword(text, "retrieve=");
  const std::size_t blockAt = tableAt + 6;
  if (retrieveAt == std::string::npos || retrieveAt <= blockAt) {
    call.returnInt(0);
    return;
  }
  std::vector<std::string> pieces =
      splitColumns(std::string_view(text).substr(blockAt, retrieveAt - 1 - blockAt));
  bool repaired = false;
  for (std::string& piece : pieces) repaired = repairPiece(piece) || repaired;
  if (!repaired) {
    call.returnInt(0);
    return;
  }
  std::string joined;
  for (const std::string& piece : pieces) {
    const std::string_view trimmed = trimSpace(piece);
    if (trimmed.empty()) continue;
    if (!joined.empty()) joined += " \r\n ";
    joined += trimmed;
  }
  const std::string_view head = std::string_view(text).substr(0, tableAt == 0 ? 0 : tableAt - 1);
  std::string result(trimSpace(head));
  result += "\r\ntable(";
  result += joined;
  result += "\r\n";
  result += trimSpace(std::string_view(text).substr(retrieveAt));
  call.setText(0, result);
  call.returnInt(1);
}

}  // namespace nx
