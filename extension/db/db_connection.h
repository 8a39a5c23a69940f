// The library's one MySQL connection, shared by every n_cst_dbfunc object of
// the process, with the primitives every database operation goes through.
// Script-thread only: no locks. Closed when the library is unloaded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "extension/db/result_cursor.h"

namespace nx::db {

// 0 on success; -2 when no client handle can be made; -3 when the server
// refuses or cannot be reached (no client handle remains then). Any earlier
// connection is closed first. A database that cannot be selected still counts.
int connect(const std::string& server, const std::string& user, const std::string& password,
            const std::string& database, unsigned int port);

// Sends "set names gbk" and the statement; a cursor over its result, empty
// when there is no connection, the statement failed or returned no rows.
ResultCursor query(std::string_view statement);

// Affected rows; -1 without connection, for an empty text or a failure.
std::int64_t execute(std::string_view statement);

// 0 on success, -1 on failure or without connection.
int begin();
int commit();
int rollback();
int shutDown();

// The connection's escaping for a value between single quotes; the text as
// it is without connection (nothing can be sent then anyway).
std::string escape(std::string_view text);

// The server's error number of the last statement (0 for success or without
// connection): lets a transaction tell a deadlock or duplicate key from failure.
unsigned int lastErrorNumber();

bool connected();
void setConnected();

const std::string& databaseType();
void setDatabaseType(std::string type);

}  // namespace nx::db
