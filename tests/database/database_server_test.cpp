// The server of the test run: Connector/C logs in over TCP with the password
// and nothing else, the server speaks gbk, and scratch databases are separate,
// keep GBK text byte for byte, report errors and vanish with their object.
#include <gtest/gtest.h>
#include <mysql.h>

#include <regex>
#include <stdexcept>
#include <string>

#include "tests/support/database_server.h"

namespace {

using testsupport::databaseServer;
using testsupport::ScratchDatabase;

// How many databases of that name the server has, asked from elsewhere.
std::string countSchemas(const std::string& name) {
  ScratchDatabase observer("observer");
  return observer.query("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = '" +
                        name + "'");
}

TEST(DatabaseServer, ConnectorLogsInOverTcpWithThePasswordOnly) {
  const testsupport::DatabaseServer& server = databaseServer();
  struct Row {
    std::string password;
    bool accepted;
  };
  for (const Row& row : {Row{server.password, true}, Row{server.password + "x", false},
                         Row{"", false}}) {
    MYSQL* connection = mysql_init(nullptr);
    ASSERT_NE(connection, nullptr);
    const bool connected =
        mysql_real_connect(connection, server.host.c_str(), server.user.c_str(),
                           row.password.c_str(), nullptr, static_cast<unsigned>(server.port),
                           nullptr, 0) != nullptr;
    EXPECT_EQ(connected, row.accepted) << "password '" << row.password << "': "
                                       << mysql_error(connection);
    if (connected) {
      ASSERT_EQ(mysql_query(connection, "SELECT @@character_set_server, @@collation_server"), 0)
          << mysql_error(connection);
      MYSQL_RES* result = mysql_store_result(connection);
      ASSERT_NE(result, nullptr);
      MYSQL_ROW values = mysql_fetch_row(result);
      ASSERT_NE(values, nullptr);
      EXPECT_STREQ(values[0], "gbk");
      EXPECT_STREQ(values[1], "gbk_chinese_ci");
      mysql_free_result(result);
    } else {
      EXPECT_EQ(mysql_errno(connection), 1045u) << mysql_error(connection);
    }
    mysql_close(connection);
  }
}

TEST(ScratchDatabase, KeepsGbkTextByteForByte) {
  ScratchDatabase db("gbk text");
  EXPECT_EQ(db.query("SELECT DEFAULT_CHARACTER_SET_NAME, DEFAULT_COLLATION_NAME "
                     "FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = DATABASE()"),
            "gbk\tgbk_chinese_ci\n");
  // 誠 and 乗 end in the byte of '\': the client must not take it for an escape.
  db.run("CREATE TABLE goods (id INT PRIMARY KEY, name VARCHAR(20));\n"
         "INSERT INTO goods VALUES (1, '提示'), (2, '誠乗'), (3, 'a''b');\n");
  EXPECT_EQ(db.query("SELECT HEX(name), CHAR_LENGTH(name) FROM goods ORDER BY id"),
            "CCE1CABE\t2\nD55C815C\t2\n612762\t3\n");
  EXPECT_EQ(db.query("SELECT name FROM goods ORDER BY id"), "提示\n誠乗\na'b\n");
}

TEST(ScratchDatabase, NamesAreUniqueAndDroppedWithTheObject) {
  std::string first, second;
  {
    ScratchDatabase a("Same Hint!"), b("Same Hint!");
    first = a.name();
    second = b.name();
    EXPECT_NE(first, second);
    for (const std::string& name : {first, second}) {
      EXPECT_TRUE(std::regex_match(name, std::regex("[a-z0-9_]+"))) << name;
      EXPECT_EQ(countSchemas(name), "1\n") << name;
    }
    a.run("CREATE TABLE only_in_a (x INT)");
    EXPECT_EQ(b.query("SELECT COUNT(*) FROM information_schema.TABLES "
                      "WHERE TABLE_SCHEMA = DATABASE()"),
              "0\n");
  }
  EXPECT_EQ(countSchemas(first), "0\n");
  EXPECT_EQ(countSchemas(second), "0\n");
}

TEST(ScratchDatabase, RunStopsAtTheFirstErrorAndThrowsItsMessage) {
  ScratchDatabase db("errors");
  try {
    db.run("CREATE TABLE before_error (x INT);\n"
           "INSERT INTO no_such_table VALUES (1);\n"
           "CREATE TABLE after_error (x INT);\n");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("no_such_table"), std::string::npos) << e.what();
  }
  EXPECT_EQ(db.query("SELECT TABLE_NAME FROM information_schema.TABLES "
                     "WHERE TABLE_SCHEMA = DATABASE()"),
            "before_error\n");
}

}  // namespace
