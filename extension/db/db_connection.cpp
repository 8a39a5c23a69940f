// Process-wide connection state: a namespace-scope object, so it exists from
// library load and its destructor closes the connection at unload.
#include "extension/db/db_connection.h"

#include <mysql.h>

#include <utility>

namespace nx::db {
namespace {

struct SharedConnection {
  MYSQL* handle = nullptr;
  MYSQL_RES* stored = nullptr;  // last query's result until a cursor takes it
  bool connected = false;
  std::string databaseType;

  void close() {
    if (stored != nullptr) mysql_free_result(stored);
    stored = nullptr;
    if (handle != nullptr) mysql_close(handle);
    handle = nullptr;
  }
  ~SharedConnection() { close(); }
};

SharedConnection shared;

int simpleCommand(const char* statement) {
  if (shared.handle == nullptr) return -1;
  return mysql_query(shared.handle, statement) == 0 ? 0 : -1;
}

}  // namespace

int connect(const std::string& server, const std::string& user, const std::string& password,
            const std::string& database, unsigned int port) {
  shared.close();  // a replaced connection would otherwise stay open, unused
  shared.handle = mysql_init(nullptr);
  if (shared.handle == nullptr) return -2;
  // The client side must know the texts are GBK, or escaping could split a
  // double-byte character whose second byte is a backslash.
  mysql_options(shared.handle, MYSQL_SET_CHARSET_NAME, "gbk");
  if (mysql_real_connect(shared.handle, server.c_str(), user.c_str(), password.c_str(),
                         database.c_str(), port, nullptr, 0) == nullptr) {
    shared.close();
    return -3;
  }
  mysql_select_db(shared.handle, database.c_str());
  return 0;
}

ResultCursor query(std::string_view statement) {
  if (shared.handle == nullptr) return ResultCursor();
  mysql_query(shared.handle, "set names gbk");
  if (mysql_real_query(shared.handle, statement.data(), statement.size()) == 0) {
    if (shared.stored != nullptr) mysql_free_result(shared.stored);
    shared.stored = mysql_store_result(shared.handle);
  }
  return ResultCursor(std::exchange(shared.stored, nullptr));
}

std::int64_t execute(std::string_view statement) {
  if (shared.handle == nullptr || statement.empty()) return -1;
  if (mysql_real_query(shared.handle, statement.data(), statement.size()) != 0) return -1;
  // A statement with rows must have them read, or the next command is out of sync.
  if (MYSQL_RES* rows = mysql_store_result(shared.handle); rows != nullptr) {
    mysql_free_result(rows);
  }
  return static_cast<std::int64_t>(mysql_affected_rows(shared.handle));
}

int begin() { return simpleCommand("START TRANSACTION"); }
int commit() { return simpleCommand("COMMIT"); }
int rollback() { return simpleCommand("ROLLBACK"); }

int shutDown() {
  if (shared.handle == nullptr) return -1;
  return mysql_shutdown(shared.handle, SHUTDOWN_DEFAULT) == 0 ? 0 : -1;
}

std::string escape(std::string_view text) {
  if (shared.handle == nullptr) return std::string(text);
  std::string escaped(text.size() * 2 + 1, '\0');
  const unsigned long length =
      mysql_real_escape_string(shared.handle, escaped.data(), text.data(), text.size());
  escaped.resize(length);
  return escaped;
}

unsigned int lastErrorNumber() { return shared.handle != nullptr ? mysql_errno(shared.handle) : 0; }

bool connected() { return shared.connected; }
void setConnected() { shared.connected = true; }

const std::string& databaseType() { return shared.databaseType; }
void setDatabaseType(std::string type) { shared.databaseType = std::move(type); }

}  // namespace nx::db
