// The launcher's thin layer over the MySQL client library, which is bound at run time from
// config/libmysql.so (relative to the current folder): a connection, a statement on it, a
// stored result with a row cursor, and the holder of the launcher's one shared connection.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct st_mysql;
struct st_mysql_res;

namespace launcher {

// Thread safety: loading, releasing and entry-point lookups of the client library are
// serialized, so any thread may call them. The objects below carry no locks: a connection,
// its statements and its results belong to one thread at a time, and SharedConnection is
// used on the window thread only.
//
// Every operation that calls into the library looks its entry point up on first use and
// may raise "MySQL: libmysql not loaded" or
// "MySQL: Procedure \"NAME\"  not found in library \"FULL FILE NAME\"" (two blanks).

inline constexpr const char* kClientLibraryPath = "config/libmysql.so";

// Makes sure the client library is loaded; nothing happens when one already is (from
// whatever path). Raises LauncherError with
//   "MySQL: Library \"PATH\" not found"          when there is no such file,
//   "SYSTEM TEXT - PATH"                         when the file does not load,
//   "MySQL: libmysql INFO is not compatible"     when its client version is 6.1.0 or later
//                                                (the library is released again),
// or the missing-procedure text above when it lacks mysql_get_client_version.
void LoadClientLibrary(const std::string& path = kClientLibraryPath);

// Releases the library and empties every entry-point slot; the next use loads again.
// Returns false, and releases nothing, while a connection or a result set is alive.
// The launcher itself never calls it: the library goes at process exit. Tests do.
bool ReleaseClientLibrary();

bool ClientLibraryLoaded();

// mysql_get_client_version and mysql_get_client_info of the loaded library. Raise
// "MySQL: libmysql not loaded" when none is loaded.
int ClientLibraryVersion();
std::string ClientLibraryInfo();

// One connection to the server. On construction it logs in without a default database,
// then selects the database and switches the connection to the "gbk" character set.
class TMySqliConn {
 public:
  // Raises LauncherError: the library errors of LoadClientLibrary (default path),
  // "mysql_init failed", or the client's error text when the login fails (the handle is
  // closed again). When the database cannot be selected there is no error: Connected is
  // false and ErrorText "notdb".
  TMySqliConn(const std::string& host, const std::string& user, const std::string& password,
              const std::string& database, int port);
  // Closes the connection.
  ~TMySqliConn();
  TMySqliConn(const TMySqliConn&) = delete;
  TMySqliConn& operator=(const TMySqliConn&) = delete;

  st_mysql* GetHandle() const { return Handle; }

  // Whether the server answers, after logging in anew with the same account
  // when the session was lost (the server was restarted, or ended it). False
  // when it does not answer, or when Connected is false.
  bool Answers();

  // True only when the login succeeded and the database was selected. The main window
  // sets it to false when it closes, so that no further statement is sent.
  bool Connected = false;
  // Empty after full success, "notdb" when the database was not selected.
  std::string ErrorText;
  // For tests: when set, every statement text sent on this connection is appended.
  std::vector<std::string>* StatementLog = nullptr;

 private:
  st_mysql* Handle = nullptr;
  std::string host_, user_, password_, database_;
  int port_ = 0;
};

// A stored result set with a row cursor that starts on the first row.
class TMySqliQueryResult {
 public:
  // Takes over the result set; absent for statements without rows.
  explicit TMySqliQueryResult(st_mysql_res* resultSet);
  // Frees the result set unless Close already did.
  ~TMySqliQueryResult();
  TMySqliQueryResult(const TMySqliQueryResult&) = delete;
  TMySqliQueryResult& operator=(const TMySqliQueryResult&) = delete;

  int RowCount() const;    // 0 without a result set
  int FieldCount() const;  // 0 without a result set
  // Named Bof/Eof because EOF is a macro of <cstdio>.
  bool Bof() const { return RowIndex < 0; }
  bool Eof() const { return RowIndex >= RowCount(); }
  void First() { RowIndex = 0; }
  void Next();  // stays put at the end

  // Raises "TMysqliQueryResult GetFieldNameByIndex unknow index" outside 0..FieldCount-1.
  std::string GetFieldNameByIndex(int index) const;
  // The first column named exactly `name` (letter case counts), or -1.
  int GetFieldIndexByName(const std::string& name) const;
  // The value in the current row, NULL read as empty. Raises
  // "TMysqli GetDataByFieldName qryResult = nil" without a result set,
  // "TMysqli GetDataByFieldName BOF or EOF" outside the rows,
  // "TMysqli GetDataByFieldName Field not exist" for an unknown column.
  std::string GetDataByFieldName(const std::string& name) const;
  void Close();

 private:
  st_mysql_res* ResultSet = nullptr;
  int RowIndex = 0;
};

// One statement on a connection, which it uses but does not own.
class TMySqli {
 public:
  explicit TMySqli(TMySqliConn& connection);

  void SetSQL(const std::string& sql) { SQL = sql; }
  // The stored result of the statement (without a result set for statements without
  // rows), or nullptr when the server rejected it; the server's text is not passed on.
  std::unique_ptr<TMySqliQueryResult> Open();
  // -1 when the server rejected the statement, else mysql_affected_rows (for a SELECT
  // the number of rows).
  int Execute();

 private:
  TMySqliConn& Connection;
  st_mysql* Handle;
  std::string SQL;
};

// The launcher's one shared connection: absent at first, put in place by the login
// window, used as found by everyone else. Window thread only.
class SharedConnection {
 public:
  SharedConnection() = default;
  SharedConnection(const SharedConnection&) = delete;
  SharedConnection& operator=(const SharedConnection&) = delete;

  TMySqliConn* Get() const { return connection_.get(); }
  // Present, Connected and answering (a lost session is renewed): statements
  // may be sent.
  bool Usable() const { return connection_ && connection_->Answers(); }
  // Stores the new connection (or none); the one it replaces is closed.
  void Replace(std::unique_ptr<TMySqliConn> connection);

 private:
  std::unique_ptr<TMySqliConn> connection_;
};

}  // namespace launcher
