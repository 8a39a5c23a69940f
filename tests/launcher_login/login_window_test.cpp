// The login window against the real server: the user list, every refusal
// of the login attempt, administrator and ordinary logins, the branch
// identity and the first-run creation of the shop database.
#include "launcher/login/login_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "launcher/core/installation_id.h"
#include "launcher/core/main_window.h"
#include "launcher/login/credential_file.h"
#include "launcher/support/connection_helpers.h"
#include "launcher/support/text_cipher.h"
#include "platform/gbk.h"
#include "platform/system_info.h"
#include "tests/launcher/fake_window_system.h"
#include "tests/support/database_server.h"
#include "tests/support/line_process.h"
#include "tests/support/temp_dir.h"

namespace {

using launcher::TfLogin;

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string credentials(const std::string& user, const std::string& password) {
  return "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<Root><dbuser>" + user +
         "</dbuser><dbpass>" +
         (password.empty() ? "" : launcher::EncryptText(password, launcher::kCredentialKey)) +
         "</dbpass><dbuserRead></dbuserRead><dbpassRead></dbpassRead></Root>\r\n";
}

std::string shopScript() {
  std::ifstream in(SHOP_SQL, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class LoginWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    appDir = temp.path();
    platform::createFolders(appDir + "config");
    ASSERT_EQ(symlink(MARIADB_LIBRARY, (appDir + "config/libmysql.so").c_str()), 0);
    previous = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(appDir.c_str()), 0);
    db.run(*platform::utf8ToGbk(shopScript()));
  }
  void TearDown() override {
    login.reset();
    main.reset();
    app.reset();
    ASSERT_EQ(chdir(previous), 0);
    std::free(previous);
  }

  TfLogin& open(const std::string& stored, const std::string& database = "") {
    writeFile(appDir + "config/config.xml", stored);
    login.reset();  // the windows go before the application values they use
    main.reset();
    app = std::make_unique<launcher::App>(appDir, desktop, processes);
    app->ServerIp = server.host;
    app->Port = server.port;
    app->DbName = database.empty() ? db.name() : database;
    app->MysqlDir = appDir + "mysql/";
    main = std::make_unique<launcher::TFMain>(*app);
    login = std::make_unique<TfLogin>(*app, *main);
    login->FormCreate();
    return *login;
  }

  // Types a user and a password and presses the login button.
  void attempt(const std::string& user, const std::string& password) {
    windows.messages.clear();
    login->control("cbx_userName").setText(user);
    login->control("txt_password").setText(password);
    login->bt_loginClick();
  }

  std::string lastMessage() const {
    return windows.messages.empty() ? std::string() : windows.messages.back().text;
  }

  const testsupport::DatabaseServer& server = testsupport::databaseServer();
  testsupport::ScratchDatabase db{"login"};
  TempDir temp;
  std::string appDir;
  char* previous = nullptr;
  testsupport::FakeWindowSystem windows;
  ui::Desktop desktop{windows};
  testsupport::RecordingProcesses processes;
  std::unique_ptr<launcher::App> app;
  std::unique_ptr<launcher::TFMain> main;
  std::unique_ptr<TfLogin> login;
};

TEST_F(LoginWindow, ListsTheShopUsersWithTheStoredAccount) {
  TfLogin& window = open(credentials(server.user, server.password));
  EXPECT_EQ(window.control("cbx_userName").items, (std::vector<std::string>{"root", "店长"}));
  EXPECT_EQ(window.control("lbl_server").text(), "");
  EXPECT_EQ(window.caption, "登录");
  EXPECT_TRUE(window.control("Label1").visible);
  EXPECT_EQ(window.control("Label1").text(), "初始密码：123 ");
}

TEST_F(LoginWindow, NewInstallationListsOnlyRoot) {
  TfLogin& window = open(credentials("", ""));
  EXPECT_EQ(window.control("cbx_userName").items, (std::vector<std::string>{"root"}));
  EXPECT_EQ(window.control("cbx_userName").text(), "root");
  EXPECT_EQ(window.caption, "登录");
  attempt("店长", "123");
  EXPECT_EQ(lastMessage(), "本机首次登录程序，就使用root或admin用户登录");
  EXPECT_EQ(app->LoginUser, "");
}

TEST_F(LoginWindow, RefusalsOfTheLoginAttempt) {
  struct Row {
    const char* name;
    std::string stored;
    std::string user;
    std::string password;
    std::string message;
    ui::Icon icon;
  };
  const std::vector<Row> rows = {
      {"blank password", credentials(server.user, server.password), "店长", "   ",
       "请输入登录密码！", ui::Icon::Warning},
      {"unreadable credential file", "<Root><dbuser>", "店长", "123", "读XML配置文件错误！",
       ui::Icon::Warning},
      {"wrong password", credentials(server.user, server.password), "店长", "124",
       "你输入的用户名或密码不正确!", ui::Icon::None},
      {"unknown user", credentials(server.user, server.password), "nobody", "123",
       "你输入的用户名或密码不正确!", ui::Icon::None},
      {"a blank around root makes an ordinary user", credentials(server.user, server.password),
       " root", server.password, "你输入的用户名或密码不正确!", ui::Icon::None},
      {"the server refuses the administrator", credentials("", ""), "root", "not-the-password",
       "数据库联结不了，用户名或密码不正确！", ui::Icon::Error},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    open(row.stored);
    attempt(row.user, row.password);
    ASSERT_FALSE(windows.messages.empty());
    EXPECT_EQ(lastMessage(), row.message);
    EXPECT_EQ(windows.messages.back().icon, row.icon);
    EXPECT_EQ(app->LoginUser, "");
  }
}

TEST_F(LoginWindow, OrdinaryUserLogsInAndTheBranchIsRecorded) {
  TfLogin& window = open(credentials(server.user, server.password));
  desktop.show(window);
  // Enter in the name box moves on; Enter in the password box logs in.
  window.control("cbx_userName").setText("店长");
  window.control("cbx_userName").onKey(13);
  EXPECT_EQ(window.focus, "txt_password");
  window.control("txt_password").setText("123");
  window.control("txt_password").onKey(13);
  EXPECT_TRUE(windows.messages.empty()) << lastMessage();
  EXPECT_EQ(app->LoginUser, "店长");
  EXPECT_EQ(app->LoginPassword, "123");
  EXPECT_TRUE(window.closed);
  EXPECT_EQ(
      launcher::GetSysSetting(app->sharedConnection, "locallogin", platform::computerName(), "")
          .size(),
      std::string("yyyy-mm-dd hh:mm:ss").size());
  EXPECT_EQ(db.query("select itemName from mysysset where ItemType='company' order by itemName"),
            "name\nno\n");

  // The same user again is refused before any check.
  attempt("店长", "123");
  EXPECT_EQ(lastMessage(), "该用户已经登录！");
}

TEST_F(LoginWindow, AdministratorLoginStoresTheAccount) {
  open(credentials("", ""));
  attempt("ROOT", server.password);
  EXPECT_TRUE(windows.messages.empty()) << lastMessage();
  EXPECT_EQ(login->control("cbx_userName").text(), "root");
  EXPECT_EQ(app->LoginUser, "root");
  const launcher::StoredCredentials stored = launcher::LoadStoredCredentials(appDir);
  EXPECT_EQ(stored.DbUser, "root");
  EXPECT_EQ(stored.DbPassword, server.password);

  // With the connection open, a wrong administrator password is refused by
  // the server's own account check.
  app->LoginUser.clear();
  attempt("root", "wrong");
  EXPECT_EQ(lastMessage(), "你输入的用户名或密码不正确!");
  EXPECT_EQ(app->LoginUser, "");
}

TEST_F(LoginWindow, OnlineModeWithoutBranchCodeRefusesTheLogin) {
  TfLogin& window = open(credentials(server.user, server.password));
  app->ComName = "C01";
  app->Url = "svc.example.com";
  attempt("店长", "123");
  EXPECT_EQ(lastMessage(), "暂未取到分店代码，不能登录");
  EXPECT_EQ(app->LoginUser, "");
  EXPECT_TRUE(window.closed);
  EXPECT_EQ(main->control("ed_subName").text(), "() 未联网");
  EXPECT_EQ(main->control("Memo1").lines.back(), "svc.example.com   C01 未能正常联结 ");
}

TEST_F(LoginWindow, FirstRunCreatesTheShopDatabaseFromTheScript) {
  const std::string fresh = db.name() + "_first";
  platform::createFolders(appDir + "mysql/bin");
  ASSERT_EQ(symlink("/usr/bin/mysql", (appDir + "mysql/bin/mysql").c_str()), 0);
  writeFile(appDir + "config/" + fresh + ".SQL", shopScript());
  TfLogin& window = open(credentials(server.user, server.password), fresh);
  attempt("root", server.password);
  EXPECT_EQ(window.caption, "建立套帐成功");
  EXPECT_EQ(app->LoginUser, "");
  EXPECT_EQ(db.query("select Username from `" + fresh + "`.myuser"), "店长\n");

  // The next attempt constructs a new connection, which finds the database.
  open(credentials(server.user, server.password), fresh);
  EXPECT_EQ(login->control("cbx_userName").items, (std::vector<std::string>{"root", "店长"}));
  db.run("DROP DATABASE `" + fresh + "`");
}

TEST_F(LoginWindow, FirstRunNeverDropsADatabaseWhoseFolderCouldNotBeMovedAside) {
  const std::string name = db.name() + "_kept";
  db.run("CREATE DATABASE `" + name + "`");
  platform::createFolders(appDir + "mysql/bin");
  ASSERT_EQ(symlink("/usr/bin/mysql", (appDir + "mysql/bin/mysql").c_str()), 0);
  writeFile(appDir + "config/" + name + ".SQL", shopScript());
  // The folder of the database, and in the way of its moved-aside name (for
  // this minute and the next) a folder that is not empty.
  const std::string folder = appDir + "mysql/data/" + name;
  platform::createFolders(folder);
  for (int minute = 0; minute < 2; ++minute) {
    const std::time_t when = std::time(nullptr) + 60 * minute;
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M", &local);
    platform::createFolders(folder + stamp + "/in-the-way");
  }
  // The attempt reaches the first run: the database is there but not usable
  // as the shop database, which the test imitates by dropping its access.
  TfLogin& window = open(credentials(server.user, server.password), name + "_missing");
  app->DbName = name;
  app->sharedConnection.Get()->ErrorText = "notdb";
  window.vf_restore();
  EXPECT_NE(lastMessage().find("数据库未重建"), std::string::npos) << lastMessage();
  EXPECT_TRUE(platform::folderExists(folder));
  EXPECT_EQ(
      db.query("select count(*) from information_schema.schemata where schema_name='" + name + "'"),
      "1\n");
  db.run("DROP DATABASE `" + name + "`");
}

TEST_F(LoginWindow, FirstRunStopsWithoutTheClientOrTheScript) {
  TfLogin& window = open(credentials(server.user, server.password), db.name() + "_none");
  attempt("root", server.password);
  EXPECT_EQ(lastMessage(), appDir + "mysql/bin/mysql 还原程序不存在");
  platform::createFolders(appDir + "mysql/bin");
  ASSERT_EQ(symlink("/usr/bin/mysql", (appDir + "mysql/bin/mysql").c_str()), 0);
  attempt("root", server.password);
  EXPECT_EQ(lastMessage(), appDir + "config/" + db.name() + "_none.SQL 文件不存在，不能创建套帐");
  // The list could not be read: the caption names the account instead.
  EXPECT_EQ(window.caption, "未联结数据库" + server.user);
}

}  // namespace

namespace {

using nlohmann::json;

// The protocol is UTF-8, while plain literals here are GBK bytes.
std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// main --headless on an application folder whose server is the test run's:
// the cashier button opens the login window, the user logs in through it,
// and the cashier client is started with the launch parameters.
TEST(HeadlessLogin, CashierButtonLogsInThroughTheWindowAndStartsTheClient) {
  const testsupport::DatabaseServer& server = testsupport::databaseServer();
  testsupport::ScratchDatabase db("headless");
  db.run(*platform::utf8ToGbk(shopScript()));
  TempDir temp;
  const std::string appDir = temp.path();
  platform::createFolders(appDir + "config");
  platform::createFolders(appDir + "pos");
  ASSERT_EQ(symlink(MARIADB_LIBRARY, (appDir + "config/libmysql.so").c_str()), 0);
  ASSERT_EQ(symlink(CLIENT_STANDIN, (appDir + "pos/pos").c_str()), 0);
  writeFile(appDir + "config/config.ini",
            "[db]\r\nname=" + db.name() +
                "\r\nserverip=127.0.0.1\r\nport=" + std::to_string(server.port) +
                "\r\n[Exe]\r\nruneXe=pos\r\ntitle=收银软件\r\npath=pos\r\n"
                "[jxc]\r\nrunexe=jxc\r\n[mysql]\r\nservicemanager=systemd\r\n");
  writeFile(appDir + "config/config.xml", credentials(server.user, server.password));
  // The run's server stands for the folder's own, running as a systemd
  // service: a stand-in systemctl reports its unit active.
  platform::createFolders(temp.path() + "units");
  platform::createFolders(temp.path() + "bin");
  writeFile(temp.path() + "units/MySQL_norvex.service", "[Service]\n");
  writeFile(temp.path() + "bin/systemctl", "#!/bin/sh\necho active\n");
  ASSERT_EQ(chmod((temp.path() + "bin/systemctl").c_str(), 0755), 0);
  const std::string path = std::getenv("PATH");
  setenv("PATH", (temp.path() + "bin:" + path).c_str(), 1);
  setenv("NORVEX_SYSTEMD_UNIT_DIR", (temp.path() + "units").c_str(), 1);

  testsupport::LineProcess process({MAIN_PATH, "--appdir", appDir, "--headless"});
  setenv("PATH", path.c_str(), 1);
  unsetenv("NORVEX_SYSTEMD_UNIT_DIR");
  std::vector<json> events;
  const auto ask = [&](const std::string& request) {
    process.send(request);
    for (;;) {
      std::optional<std::string> line = process.receive();
      if (!line) throw std::runtime_error("no reply to " + request);
      json j = json::parse(*line);
      if (!j.contains("event")) return j;
      events.push_back(j);
    }
  };
  // The click's reply comes once the modal login window has closed; the
  // requests sent meanwhile drive that window.
  process.send(R"({"op":"click","window":"FMain","control":"BitBtn1","id":1})");
  process.send(utf8(u8R"({"op":"set","window":"fLogin","control":"cbx_userName","text":"店长"})"));
  process.send(R"({"op":"set","window":"fLogin","control":"txt_password","text":"123"})");
  process.send(R"({"op":"key","window":"TfLogin","control":"txt_password","key":13})");
  std::vector<json> replies;
  while (replies.size() < 4) {
    std::optional<std::string> line = process.receive();
    ASSERT_TRUE(line.has_value());
    json j = json::parse(*line);
    (j.contains("event") ? events : replies).push_back(j);
  }
  for (const json& reply : replies) EXPECT_EQ(reply["ok"], true) << reply.dump();
  EXPECT_EQ(replies.back()["id"], 1);  // the click finished last

  std::vector<std::string> argv;
  for (const json& event : events)
    if (event["event"] == "process") argv = event["argv"].get<std::vector<std::string>>();
  ASSERT_EQ(argv.size(), 2u);
  EXPECT_EQ(argv[0], appDir + "pos/pos");
  EXPECT_EQ(argv[1], utf8(u8"loginuser=店长;loginpwd=") + launcher::EncryptText("123", "K417q#58") +
                         ";dbname=" + db.name() + ";dbip=127.0.0.1;dbport=" +
                         std::to_string(server.port) + ";maindbuser=" + server.user +
                         ";maindbpass=" + launcher::EncryptText(server.password, "K417q#58") +
                         ";comname=;driverno=" + launcher::ObtainInstallationId(appDir));
  const json main = ask(R"({"op":"dump","window":"FMain"})")["window"];
  EXPECT_EQ(main["controls"]["etLoginName"]["text"], utf8(u8"店长"));
  EXPECT_EQ(process.finish(), 0);
}

}  // namespace
