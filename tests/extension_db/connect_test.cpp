// Opening the shared connection: explicit parameters, the remote configuration
// files (data root first, then the current folder), the failure box and codes,
// the stored-password cipher, and shutting the server down.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "extension/db/password_cipher.h"
#include "tests/extension_db/db_object.h"
#include "tests/support/temp_dir.h"

namespace {

using dbtest::Value;
using dbtest::ValueType;

constexpr const char* kPasswordKey = "&+hkxvq%?";

class DbFuncConnect : public dbtest::DbObject {};

TEST_F(DbFuncConnect, ConnectAnswersOneOrTheFailureCodeWithTheBox) {
  testsupport::ScratchDatabase db("dbfunc_connect");
  const testsupport::DatabaseServer& s = testsupport::databaseServer();
  struct Row {
    std::string password;
    int port;
    int expected;
  };
  const int closed = dbtest::closedPort();
  const std::vector<Row> rows = {
      {s.password, s.port, 1},
      {s.password, closed, -3},        // nobody listens
      {s.password + "x", s.port, -3},  // refused
      {s.password, s.port, 1},         // again after a failure
  };
  for (const Row& row : rows) {
    host::CallResult r = connect(s.host, db.name(), s.user, row.password, row.port);
    EXPECT_EQ(r.result.integer(), row.expected) << row.port;
    if (row.expected == 1) {
      EXPECT_TRUE(r.messages.empty());
      EXPECT_EQ(getString("select database() as c"), db.name());
    } else {
      ASSERT_EQ(r.messages.size(), 1u);
      EXPECT_EQ(r.messages[0].caption, "show");
      EXPECT_EQ(r.messages[0].text, "open failure");
      // The failed attempt left no connection behind, not even the earlier one.
      EXPECT_EQ(getString("select 1 as c"), "");
    }
  }
}

TEST_F(DbFuncConnect, ConnectWithANullTextAnswersNothingAndSendsNothing) {
  disconnect();
  const testsupport::DatabaseServer& s = testsupport::databaseServer();
  for (int nullAt = 0; nullAt < 4; ++nullAt) {
    std::vector<Value> args = {Value::string(s.host), Value::string("mysql"), Value::string(s.user),
                               Value::string(s.password), Value::int16(static_cast<pbint>(s.port))};
    args[static_cast<std::size_t>(nullAt)] = Value::null(ValueType::String);
    host::CallResult r = call("of_ConnectMySQL", args);
    EXPECT_FALSE(r.result.wasSet()) << nullAt;
    EXPECT_TRUE(r.messages.empty()) << nullAt;
  }
  EXPECT_EQ(getString("select 1 as c"), "");
}

// The remote configuration files of of_AutoConnect, in a data root and a
// current folder of the test's own.
class DbFuncAutoConnect : public dbtest::DbObject {
 protected:
  void SetUp() override {
    dbtest::DbObject::SetUp();
    std::filesystem::create_directories(dataRoot());
    std::filesystem::create_directories(currentDir());
    setenv("NORVEX_DATA_ROOT", dataRoot().c_str(), 1);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(currentDir());
    disconnect();
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    dbtest::DbObject::TearDown();
  }
  std::string dataRoot() const { return temp_.path() + "root/"; }
  std::string currentDir() const { return temp_.path() + "cwd/"; }

  static void writeIni(const std::string& path, const std::string& keys) {
    std::ofstream(path) << "[other]\r\nserver=nowhere\r\n[nxremote]\r\n" << keys;
  }
  static std::string keys(const std::string& server, const std::string& user,
                          const std::string& plainPassword, std::optional<int> port) {
    std::string text;
    if (!server.empty()) text += "server=" + server + "\r\n";
    if (!user.empty()) text += "userid=" + user + "\r\n";
    if (!plainPassword.empty())
      text += "password=" + nx::db::encryptStoredPassword(plainPassword, kPasswordKey) + "\r\n";
    if (port) text += "port=" + std::to_string(*port) + "\r\n";
    return text;
  }

  TempDir temp_;
  std::filesystem::path previous_;
};

TEST_F(DbFuncAutoConnect, ReadsTheDataRootFileFirstThenTheCurrentFolder) {
  testsupport::ScratchDatabase db("dbfunc_auto");
  const testsupport::DatabaseServer& s = testsupport::databaseServer();
  const std::string good = keys(s.host, s.user, s.password, s.port);
  const std::string noServer = keys("", s.user, s.password, s.port);
  struct Row {
    const char* what;
    std::optional<std::string> rootFile;  // nullopt: no file
    std::optional<std::string> localFile;
    int expected;
  };
  const int closed = dbtest::closedPort();
  const std::vector<Row> rows = {
      {"root file alone", good, std::nullopt, 1},
      {"local file alone", std::nullopt, good, 1},
      {"root file wins", good, keys(s.host, s.user, "wrong", s.port), 1},
      {"root file without server", noServer, good, 1},
      {"user only in the local file", keys(s.host, "", s.password, s.port), good, 0},
      {"password missing", keys(s.host, s.user, "", s.port), std::nullopt, 0},
      {"no files", std::nullopt, std::nullopt, 0},
      {"wrong password", keys(s.host, s.user, "wrong", s.port), std::nullopt, -1},
      {"nobody at the port", keys(s.host, s.user, s.password, closed), std::nullopt, -1},
  };
  for (const Row& row : rows) {
    disconnect();
    std::filesystem::remove(dataRoot() + "nxremote.ini");
    std::filesystem::remove(currentDir() + "dbconfig.ini");
    if (row.rootFile) writeIni(dataRoot() + "nxremote.ini", *row.rootFile);
    if (row.localFile) writeIni(currentDir() + "dbconfig.ini", *row.localFile);
    host::CallResult r = call("of_AutoConnect", {Value::string(db.name())});
    EXPECT_EQ(r.result.integer(), row.expected) << row.what;
    EXPECT_EQ(getString("select database() as c"), row.expected == 1 ? db.name() : "") << row.what;
    EXPECT_EQ(r.messages.size(), row.expected == -1 ? 1u : 0u) << row.what;
  }
}

TEST_F(DbFuncAutoConnect, MissingPortMeans3306AndAnEmptyNameReadsNothing) {
  const testsupport::DatabaseServer& s = testsupport::databaseServer();
  writeIni(dataRoot() + "nxremote.ini", keys(s.host, s.user, s.password, std::nullopt));
  host::CallResult r = call("of_AutoConnect", {Value::string("mysql")});
  if (s.port != 3306) {
    EXPECT_EQ(r.result.integer(), -1);
  } else {
    EXPECT_EQ(r.result.integer(), 1);
  }
  // A good file is there, yet an empty or null name answers 0 and connects nothing.
  writeIni(dataRoot() + "nxremote.ini", keys(s.host, s.user, s.password, s.port));
  for (const Value& name : {Value::string(""), Value::null(ValueType::String)}) {
    host::CallResult empty = call("of_AutoConnect", {name});
    EXPECT_EQ(empty.result.integer(), 0);
    EXPECT_TRUE(empty.messages.empty());
    EXPECT_EQ(getString("select 1 as c"), "");
  }
}

// The script that writes a configuration file must agree with the library's cipher.
TEST(DbFuncPasswordCipher, WriteDbconfigScriptMatchesTheLibrary) {
  TempDir temp;
  const std::string file = temp.path() + "dbconfig.ini";
  const std::string password = "p@ss w0rd'\\long-enough-for-3-blocks";
  const std::string command = std::string(NORVEX_SOURCE_DIR) + "/appdir/write-dbconfig '" + file +
                              "' 10.0.0.1 shopuser 'p@ss w0rd'\\''\\long-enough-for-3-blocks' 3307";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(file);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("[nxremote]"), std::string::npos);
  EXPECT_NE(text.find("server=10.0.0.1\r\n"), std::string::npos);
  EXPECT_NE(text.find("userid=shopuser\r\n"), std::string::npos);
  EXPECT_NE(text.find("port=3307\r\n"), std::string::npos);
  const std::string cipher = nx::db::encryptStoredPassword(password, kPasswordKey);
  EXPECT_NE(text.find("password=" + cipher + "\r\n"), std::string::npos) << text;
  EXPECT_EQ(nx::db::decryptStoredPassword(cipher, kPasswordKey), password);
}

TEST(DbFuncPasswordCipher, DecryptRejectsWhatIsNotWholeHexBlocks) {
  const std::string cipher = nx::db::encryptStoredPassword("secret", kPasswordKey);
  EXPECT_EQ(cipher.size(), 16u);
  const std::vector<std::pair<std::string, std::string>> rows = {
      {cipher, "secret"},
      {std::string(cipher.size(), 'z'), ""},
      {cipher.substr(0, 15), ""},
      {"", ""},
  };
  for (const auto& [stored, plain] : rows)
    EXPECT_EQ(nx::db::decryptStoredPassword(stored, kPasswordKey), plain) << stored;
  // Upper-case hex deciphers alike.
  std::string upper = cipher;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(nx::db::decryptStoredPassword(upper, kPasswordKey), "secret");
}

class DbFuncShutDown : public dbtest::DbObject {};

TEST_F(DbFuncShutDown, AnswersMinusOneWithoutConnectionOrRight) {
  disconnect();
  EXPECT_EQ(call("of_ShutDown").result.integer(), -1);
  testsupport::ScratchDatabase db("dbfunc_shut");
  const std::string user = "u" + std::to_string(getpid());
  db.run("CREATE USER '" + user + "'@'%' IDENTIFIED BY 'pw';\nGRANT ALL ON `" + db.name() +
         "`.* TO '" + user + "'@'%'");
  const testsupport::DatabaseServer& s = testsupport::databaseServer();
  ASSERT_EQ(connect(s.host, db.name(), user, "pw", s.port).result.integer(), 1);
  EXPECT_EQ(call("of_ShutDown").result.integer(), -1);
  EXPECT_EQ(getString("select 7 as c"), "7");  // the server still runs
  db.run("DROP USER '" + user + "'@'%'");
}

TEST_F(DbFuncShutDown, StopsAServerOfItsOwn) {
  TempDir temp;
  const testsupport::DatabaseServer own = testsupport::startDatabaseServer(temp.path() + "server");
  ASSERT_EQ(connect(own.host, "mysql", own.user, own.password, own.port).result.integer(), 1);
  EXPECT_EQ(call("of_ShutDown").result.integer(), 0);
  disconnect();
  testsupport::stopDatabaseServer(temp.path() + "server");
}

}  // namespace
