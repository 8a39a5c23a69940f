// The real MariaDB server of a test run. CTest starts one server for the
// whole run (the fixture "mariadb", see tests/support/CMakeLists.txt) on a
// free loopback port with a throw-away data folder and a root password, and
// stops it at the end; a test program run by hand without it starts a
// private server of its own on first use and stops it at exit.
#pragma once

#include <string>

namespace testsupport {

struct DatabaseServer {
  std::string host;      // "127.0.0.1"
  int port = 0;
  std::string user;      // "root"
  std::string password;  // the root password
  std::string dataDir;   // the server's data folder
};

// The server of this run; throws std::runtime_error when none can be had.
// Reads $NORVEX_TEST_MARIADB/server.info when the fixture wrote one;
// otherwise starts a private server on first use (thread-safe) and stops it
// when the process exits normally.
const DatabaseServer& databaseServer();

// Starts a fresh server whose files all live in `dir` (created; a leftover
// server of `dir` is stopped and the folder emptied first): option file
// my.cnf, data/, error.log, mysqld.sock, mysqld.pid, and server.info with the
// result; the server runs detached. Throws std::runtime_error with the
// server's log on failure.
DatabaseServer startDatabaseServer(const std::string& dir);

// Stops every server started with `dir` and removes `dir`; nothing to do when
// `dir` is missing. Throws std::runtime_error when a server will not exit.
void stopDatabaseServer(const std::string& dir);

// A database of its own for one test, created empty with the gbk character
// set under a name made unique from `hint` (tests run in parallel); dropped
// when the object goes.
class ScratchDatabase {
 public:
  explicit ScratchDatabase(const std::string& hint);
  ~ScratchDatabase();
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;

  const std::string& name() const { return name_; }
  // Runs statements (separated by ';' at line ends) in this database with
  // the mysql client; throws std::runtime_error with the client's message.
  void run(const std::string& sql) const;
  // As run(), and returns what the statements select: one line per row,
  // values separated by tabs, no column names, values unescaped (GBK bytes),
  // NULL as the text NULL.
  std::string query(const std::string& sql) const;

 private:
  std::string name_;
};

}  // namespace testsupport
