// The launcher's small statements on the shared connection: run one, read one value or
// number, read or write one row of the settings table mysysset. None raises; each turns a
// missing connection or any error into its failure value. Window thread only.
#pragma once

#include <string>
#include <string_view>

#include "launcher/support/mysql_client.h"

namespace launcher {

// A GBK text as an SQL text literal: in single quotes, with every quote and backslash
// inside doubled. A double-byte character is copied whole, so a trail byte that happens
// to be a backslash (0x5C) is left alone, as the server reads it on a gbk connection.
std::string QuoteText(std::string_view text);

// A GBK name as an SQL identifier: in backquotes, with every backquote inside doubled
// (double-byte characters copied whole, as above).
std::string QuoteIdentifier(std::string_view name);

// 1 when the statement was sent, whether or not the server accepted it; -1 without a
// usable connection or on an error.
int ExecSQL(const SharedConnection& shared, const std::string& sql);

// The named column (letter case counts) of the first row; empty when there is no row, on
// any error, or without a usable connection.
std::string QueryValue(const SharedConnection& shared, const std::string& sql,
                       const std::string& column);

// QueryValue read as a 32-bit integer; 0 when there is no row, when the whole value is
// not such an integer (empty and NULL included), on any error, or without a usable
// connection.
int QueryInt(const SharedConnection& shared, const std::string& sql, const std::string& column);

// itemvalue of the mysysset row (itemType, itemName) as stored; defaultValue when there
// is none or it holds only blanks and control characters; empty, not the default,
// without a usable connection.
std::string GetSysSetting(const SharedConnection& shared, const std::string& itemType,
                          const std::string& itemName, const std::string& defaultValue);

// Updates the mysysset row (itemType, itemName) or inserts it. Returns what Execute
// returns for that statement; -1 when the lookup is rejected, on an error, or without a
// usable connection.
int SetSysSetting(const SharedConnection& shared, const std::string& itemType,
                  const std::string& itemName, const std::string& value);

}  // namespace launcher
