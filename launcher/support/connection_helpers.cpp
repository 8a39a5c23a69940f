// Statement helpers on the shared connection. Each creates and frees its own statement,
// and catches every error into its failure value, so callers never see one raised.
// Every text put into a statement goes through QuoteText.
#include "launcher/support/connection_helpers.h"

#include <charconv>
#include <memory>

#include "platform/gbk_text.h"

namespace launcher {
namespace {

// Doubles every `quote` byte (and `also`, when given) that stands as a character of its
// own; a double-byte GBK character is copied whole, because the server does the same.
std::string enclose(std::string_view text, char quote, char also) {
  std::string out;
  out.reserve(text.size() + 2);
  out += quote;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = platform::characterLength(text, at);
    if (length == 1 && (text[at] == quote || (also != '\0' && text[at] == also))) {
      out += text[at];
    }
    out.append(text, at, length);
    at += length;
  }
  out += quote;
  return out;
}

std::string lookupStatement(const std::string& itemType, const std::string& itemName) {
  return "Select itemvalue from mysysset where itemtype=" + QuoteText(itemType) +
         " and itemName=" + QuoteText(itemName);
}

// Blanks and control characters at either end do not count as a value.
bool blank(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > ' ') return false;
  }
  return true;
}

// The whole text as a 32-bit integer with an optional sign, or 0.
int toInt(const std::string& text) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  int value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && first != last ? value : 0;
}

// The first row's value of `column`, or `noRow` when the statement gave no row or was
// rejected. Raises what the statement or the reading raises.
std::string firstValue(TMySqliConn& connection, const std::string& sql, const std::string& column,
                       const std::string& noRow) {
  TMySqli statement(connection);
  statement.SetSQL(sql);
  std::unique_ptr<TMySqliQueryResult> result = statement.Open();
  if (!result || result->RowCount() == 0) return noRow;
  result->First();
  return result->GetDataByFieldName(column);
}

}  // namespace

std::string QuoteText(std::string_view text) { return enclose(text, '\'', '\\'); }

std::string QuoteIdentifier(std::string_view name) { return enclose(name, '`', '\0'); }

int ExecSQL(const SharedConnection& shared, const std::string& sql) {
  if (!shared.Usable()) return -1;
  try {
    TMySqli statement(*shared.Get());
    statement.SetSQL(sql);
    statement.Execute();  // a rejected statement still counts as sent
    return 1;
  } catch (...) {
    return -1;
  }
}

std::string QueryValue(const SharedConnection& shared, const std::string& sql,
                       const std::string& column) {
  if (!shared.Usable()) return std::string();
  try {
    return firstValue(*shared.Get(), sql, column, std::string());
  } catch (...) {
    return std::string();
  }
}

int QueryInt(const SharedConnection& shared, const std::string& sql, const std::string& column) {
  if (!shared.Usable()) return 0;
  try {
    return toInt(firstValue(*shared.Get(), sql, column, "0"));
  } catch (...) {
    return 0;
  }
}

std::string GetSysSetting(const SharedConnection& shared, const std::string& itemType,
                          const std::string& itemName, const std::string& defaultValue) {
  if (!shared.Usable()) return std::string();
  std::string value;
  try {
    value =
        firstValue(*shared.Get(), lookupStatement(itemType, itemName), "itemvalue", std::string());
  } catch (...) {
    value.clear();
  }
  return blank(value) ? defaultValue : value;
}

int SetSysSetting(const SharedConnection& shared, const std::string& itemType,
                  const std::string& itemName, const std::string& value) {
  if (!shared.Usable()) return -1;
  try {
    TMySqli lookup(*shared.Get());
    lookup.SetSQL(lookupStatement(itemType, itemName));
    const int found = lookup.Execute();  // for a SELECT: the number of rows
    if (found == -1) return -1;
    TMySqli write(*shared.Get());
    if (found > 0) {
      write.SetSQL(" update mysysset set itemvalue=" + QuoteText(value) + " where itemtype=" +
                   QuoteText(itemType) + " and itemName=" + QuoteText(itemName));
    } else {
      write.SetSQL("insert into mysysset(itemtype,itemname,itemvalue) values(" +
                   QuoteText(itemType) + "," + QuoteText(itemName) + "," + QuoteText(value) + ")");
    }
    return write.Execute();
  } catch (...) {
    return -1;
  }
}

}  // namespace launcher
