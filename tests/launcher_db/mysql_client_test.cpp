// The client layer: which libraries it accepts and with which texts it refuses the rest
// (stand-in libraries), and logins, statements and the result cursor against the real
// server through the system's client library.
#include "launcher/support/mysql_client.h"

#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <vector>

#include "launcher/support/connection_helpers.h"
#include "launcher/support/error.h"
#include "tests/launcher_db/client_fixture.h"

namespace launcher_db_test {
namespace {

using launcher::LauncherError;
using launcher::TMySqli;
using launcher::TMySqliConn;
using launcher::TMySqliQueryResult;

// The text of the LauncherError that `action` raises, or "(nothing raised)".
std::string raisedText(const std::function<void()>& action) {
  try {
    action();
  } catch (const LauncherError& error) {
    return error.what();
  }
  return "(nothing raised)";
}

std::unique_ptr<TMySqliQueryResult> open(TMySqliConn& connection, const std::string& sql) {
  TMySqli statement(connection);
  statement.SetSQL(sql);
  return statement.Open();
}

int execute(TMySqliConn& connection, const std::string& sql) {
  TMySqli statement(connection);
  statement.SetSQL(sql);
  return statement.Execute();
}

// The value of `column` in the first row of `sql`.
std::string firstValue(TMySqliConn& connection, const std::string& sql, const std::string& column) {
  std::unique_ptr<TMySqliQueryResult> result = open(connection, sql);
  if (!result) return "(rejected)";
  return result->GetDataByFieldName(column);
}

// ---- the library binding ----

using MySqlLibrary = ClientTest;

TEST_F(MySqlLibrary, RefusesWhatCannotServeWithItsTextAndStaysUnloaded) {
  TempDir dir;
  std::ofstream(dir.path() + "junk.so") << "not a library";
  std::filesystem::create_directory(dir.path() + "config");
  std::filesystem::create_symlink(dir.path() + "gone.so", dir.path() + "config/libmysql.so");
  // The loader's own text for the junk file, as this system words it.
  dlerror();
  EXPECT_EQ(dlopen((dir.path() + "junk.so").c_str(), RTLD_NOW | RTLD_LOCAL), nullptr);
  const std::string junkText = dlerror();

  struct Case {
    const char* name;
    std::string path;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"no such file", dir.path() + "none.so",
       "MySQL: Library \"" + dir.path() + "none.so\" not found"},
      {"broken link", dir.path() + "config/libmysql.so",
       "MySQL: Library \"" + dir.path() + "config/libmysql.so\" not found"},
      {"not a library", dir.path() + "junk.so", junkText + " - " + dir.path() + "junk.so"},
      {"version 6.1.0", FAKE_CLIENT_60100, "MySQL: libmysql 6.1.0 is not compatible"},
      {"no version entry point", FAKE_CLIENT_NOVERSION,
       "MySQL: Procedure \"mysql_get_client_version\"  not found in library \"" +
           std::string(FAKE_CLIENT_NOVERSION) + "\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(raisedText([&] { launcher::LoadClientLibrary(c.path); }), c.expected);
    EXPECT_FALSE(launcher::ClientLibraryLoaded());
    EXPECT_EQ(raisedText([] { launcher::ClientLibraryVersion(); }), "MySQL: libmysql not loaded");
  }
}

TEST_F(MySqlLibrary, AcceptsVersionsBelow6_1AndLooksEntryPointsUpOnFirstUse) {
  launcher::LoadClientLibrary(FAKE_CLIENT_60099);
  EXPECT_EQ(launcher::ClientLibraryVersion(), 60099);
  EXPECT_EQ(launcher::ClientLibraryInfo(), "6.0.99");
  // Loaded already, so the default path (absent in this folder) is not tried.
  EXPECT_EQ(raisedText([] { TMySqliConn("127.0.0.1", "u", "p", "d", 1); }),
            "MySQL: Procedure \"mysql_init\"  not found in library \"" +
                std::string(FAKE_CLIENT_60099) + "\"");
}

TEST_F(MySqlLibrary, LoadsConfigLibmysqlOfTheCurrentFolderByDefault) {
  AppFolder folder;
  launcher::LoadClientLibrary();
  EXPECT_TRUE(launcher::ClientLibraryLoaded());
  // The system's MariaDB Connector/C reports 3.x and passes the version rule.
  EXPECT_GE(launcher::ClientLibraryVersion(), 30000);
  EXPECT_LT(launcher::ClientLibraryVersion(), 60100);
}

// ---- logins ----

using MySqlLogin = ServerTest;

TEST_F(MySqlLogin, SelectsTheDatabaseOrReportsNotdbAndAlwaysSpeaksGbk) {
  struct Case {
    std::string database;
    bool connected;
    std::string errorText;
  };
  const std::vector<Case> cases = {
      {db_.name(), true, ""},
      {db_.name() + "_missing", false, "notdb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.database);
    std::unique_ptr<TMySqliConn> connection = connect(c.database);
    EXPECT_EQ(connection->Connected, c.connected);
    EXPECT_EQ(connection->ErrorText, c.errorText);
    EXPECT_NE(connection->GetHandle(), nullptr);
    const std::string charsets =
        firstValue(*connection,
                   "select concat_ws(',', @@character_set_client, @@character_set_connection, "
                   "@@character_set_results) as cs",
                   "cs");
    EXPECT_EQ(charsets, "gbk,gbk,gbk");
    EXPECT_EQ(firstValue(*connection, "select '提示' as t, hex('提示') as h", "h"), "CCE1CABE");
  }
}

TEST_F(MySqlLogin, FailuresRaiseTheClientText) {
  const testsupport::DatabaseServer& server = testsupport::databaseServer();
  // The server words a refused login with the client's address as it sees it.
  std::string seenAs;
  {
    std::unique_ptr<TMySqliConn> probe = connect(db_.name());
    const std::string user = firstValue(*probe, "select user() as u", "u");
    seenAs = user.substr(user.find('@') + 1);
  }
  // Bound but not listening: connections to it are refused, and no one else can take it.
  const int socketFd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  getsockname(socketFd, reinterpret_cast<sockaddr*>(&address), &length);
  const int closedPort = ntohs(address.sin_port);

  struct Case {
    const char* name;
    std::string password;
    int port;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"wrong password", server.password + "x", server.port,
       "Access denied for user '" + server.user + "'@'" + seenAs + "' (using password: YES)"},
      // Connector/C 3.3 reports the errno of its non-blocking connect (EINPROGRESS).
      {"closed port", server.password, closedPort,
       "Can't connect to server on '" + server.host + "' (115)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(
        raisedText([&] { TMySqliConn(server.host, server.user, c.password, db_.name(), c.port); }),
        c.expected);
  }
  close(socketFd);
}

// ---- statements and the result cursor ----

class MySqlCursor : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    db_.run(
        "create table people (Username varchar(20), amount int, note varchar(20) null) "
        "default charset=gbk;");
  }
};

TEST_F(MySqlCursor, WalksTheRowsAndReadsColumnsByTheirExactNames) {
  std::unique_ptr<TMySqliConn> connection = connect(db_.name());
  ASSERT_EQ(execute(*connection,
                    "insert into people values ('张三', 1, 'x'), ('李四', 2, null), "
                    "('淺\\\\宍', 3, '')"),
            3);

  struct Case {
    std::string sql;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
  };
  const std::vector<Case> cases = {
      {"select Username, amount, note from people order by amount",
       {"Username", "amount", "note"},
       {{"张三", "1", "x"}, {"李四", "2", ""}, {"淺\\宍", "3", ""}}},
      {"select Username from people where amount > 3", {"Username"}, {}},
      {"select 1 as a, 2 as A, null as n", {"a", "A", "n"}, {{"1", "2", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    std::unique_ptr<TMySqliQueryResult> result = open(*connection, c.sql);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->RowCount(), static_cast<int>(c.rows.size()));
    ASSERT_EQ(result->FieldCount(), static_cast<int>(c.columns.size()));
    for (int i = 0; i < result->FieldCount(); ++i) {
      EXPECT_EQ(result->GetFieldNameByIndex(i), c.columns[i]);
      EXPECT_EQ(result->GetFieldIndexByName(c.columns[i]), i);
    }
    result->First();
    for (const std::vector<std::string>& row : c.rows) {
      ASSERT_FALSE(result->Eof());
      EXPECT_FALSE(result->Bof());
      for (std::size_t i = 0; i < row.size(); ++i) {
        EXPECT_EQ(result->GetDataByFieldName(c.columns[i]), row[i]);
      }
      result->Next();
    }
    EXPECT_TRUE(result->Eof());
    result->Next();  // at the end already: stays there
    EXPECT_TRUE(result->Eof());
    EXPECT_EQ(raisedText([&] { result->GetDataByFieldName(c.columns[0]); }),
              "TMysqli GetDataByFieldName BOF or EOF");
    if (!c.rows.empty()) {
      result->First();  // back to the first row
      EXPECT_EQ(result->GetDataByFieldName(c.columns[0]), c.rows[0][0]);
    }
    result->Close();
  }
}

TEST_F(MySqlCursor, RaisesItsTextsForReadsOutsideTheResult) {
  std::unique_ptr<TMySqliConn> connection = connect(db_.name());
  ASSERT_EQ(execute(*connection, "insert into people values ('Tom', 1, null)"), 1);
  std::unique_ptr<TMySqliQueryResult> rows = open(*connection, "select Username from people");
  // An UPDATE run with Open has no result set at all.
  std::unique_ptr<TMySqliQueryResult> none =
      open(*connection, "update people set amount = 2 where amount = 5");
  ASSERT_NE(rows, nullptr);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->RowCount(), 0);
  EXPECT_EQ(none->FieldCount(), 0);
  EXPECT_TRUE(none->Eof());

  struct Case {
    const char* name;
    std::function<void()> read;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"column in another letter case", [&] { rows->GetDataByFieldName("username"); },
       "TMysqli GetDataByFieldName Field not exist"},
      {"no result set", [&] { none->GetDataByFieldName("Username"); },
       "TMysqli GetDataByFieldName qryResult = nil"},
      {"index below 0", [&] { rows->GetFieldNameByIndex(-1); },
       "TMysqliQueryResult GetFieldNameByIndex unknow index"},
      {"index past the columns", [&] { rows->GetFieldNameByIndex(1); },
       "TMysqliQueryResult GetFieldNameByIndex unknow index"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(raisedText(c.read), c.expected);
  }
  EXPECT_EQ(rows->GetFieldIndexByName("username"), -1);
  EXPECT_EQ(rows->GetDataByFieldName("Username"), "Tom");
}

TEST_F(MySqlCursor, ExecuteCountsAffectedRowsAndRejectionsGiveMinusOne) {
  std::unique_ptr<TMySqliConn> connection = connect(db_.name());
  struct Case {
    std::string sql;
    int expected;
  };
  const std::vector<Case> cases = {
      {"insert into people values ('a', 1, null), ('b', 2, null)", 2},
      {"update people set amount = 1 where amount = 1", 0},  // changed nothing
      {"update people set note = 'n'", 2},
      {"select * from people", 2},  // a SELECT counts its rows
      {"delete from people where amount = 9", 0},
      {"selec * from people", -1},
      {"select * from no_such_table", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(execute(*connection, c.sql), c.expected);
  }
  EXPECT_EQ(open(*connection, "selec 1"), nullptr);
}

// ---- the shared connection ----

using MySqlSharedConnection = ServerTest;

TEST_F(MySqlSharedConnection, ReplacingClosesThePreviousConnection) {
  launcher::SharedConnection shared;
  EXPECT_EQ(shared.Get(), nullptr);
  EXPECT_FALSE(shared.Usable());
  const std::string lock = "'launcher_db_" + std::to_string(getpid()) + "'";

  shared.Replace(connect(db_.name()));
  ASSERT_TRUE(shared.Usable());
  ASSERT_EQ(firstValue(*shared.Get(), "select get_lock(" + lock + ", 0) as l", "l"), "1");

  shared.Replace(connect(db_.name()));
  // The server frees a user lock when its session ends, so the new connection gets it
  // once the old one is closed; a leaked old one would hold it past the wait.
  EXPECT_EQ(firstValue(*shared.Get(), "select get_lock(" + lock + ", 60) as l", "l"), "1");

  shared.Get()->Connected = false;  // what the main window does when it closes
  EXPECT_FALSE(shared.Usable());
  shared.Replace(nullptr);
  EXPECT_EQ(shared.Get(), nullptr);
}

// A session the server ended (a restarted server ends them all) is logged in
// anew, so that the launcher's statements do not fail until it restarts.
TEST_F(MySqlSharedConnection, ALostSessionIsRenewedWithTheSameAccount) {
  launcher::SharedConnection shared;
  shared.Replace(connect(db_.name()));
  const std::string first = launcher::QueryValue(shared, "select connection_id() as id", "id");
  ASSERT_FALSE(first.empty());
  std::unique_ptr<launcher::TMySqliConn> other = connect(db_.name());
  execute(*other, "kill " + first);

  ASSERT_TRUE(shared.Usable());
  const std::string second = launcher::QueryValue(shared, "select connection_id() as id", "id");
  EXPECT_FALSE(second.empty());
  EXPECT_NE(second, first);
  EXPECT_EQ(launcher::QueryValue(shared, "select database() as db", "db"), db_.name());
  EXPECT_EQ(launcher::QueryValue(shared, "select @@character_set_client as cs", "cs"), "gbk");
}

}  // namespace
}  // namespace launcher_db_test
