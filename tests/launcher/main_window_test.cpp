// The main window through the forms model: start-up from INI fixtures, the
// deferred start-up step, status blocks, the private messages and the
// error-log viewer.
#include "launcher/core/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "launcher/core/builtin.h"
#include "launcher/core/daily_log.h"
#include "launcher/core/installation_id.h"
#include "launcher/support/error.h"
#include "platform/profile.h"
#include "platform/system_info.h"
#include "tests/launcher/fake_window_system.h"
#include "tests/support/temp_dir.h"

namespace {

using launcher::TFMain;
using testsupport::FakeWindowSystem;

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    appDir = temp.path() + "app/";
    platform::createFolders(appDir + "config");
    platform::createFolders(temp.path() + "data");
    platform::createFolders(temp.path() + "system");
    setenv("NORVEX_DATA_ROOT", (temp.path() + "data/").c_str(), 1);
    setenv("NORVEX_SYSTEM_ROOT", (temp.path() + "system/").c_str(), 1);
    setenv("NORVEX_REGISTRY_FILE", (temp.path() + "registry.ini").c_str(), 1);
    setenv("NORVEX_MACHINE_ID_FILE", (temp.path() + "machine-id").c_str(), 1);
    setenv("NORVEX_OPEN_COMMAND", "opener", 1);
    writeFile(temp.path() + "machine-id", "0123456789abcdef0123456789abcdef\n");
    previous = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(appDir.c_str()), 0);
  }
  void TearDown() override {
    // As the program ends: a branch query still running gets no window.
    desktop.shutDown();
    main.reset();
    app.reset();
    ASSERT_EQ(chdir(previous), 0);
    std::free(previous);
    for (const char* name : {"NORVEX_DATA_ROOT", "NORVEX_SYSTEM_ROOT", "NORVEX_REGISTRY_FILE",
                             "NORVEX_MACHINE_ID_FILE", "NORVEX_OPEN_COMMAND"}) {
      unsetenv(name);
    }
  }

  TFMain& start(const std::string& config, const std::string& db = "") {
    writeFile(appDir + "config/config.ini", config);
    if (!db.empty()) writeFile(appDir + "config/db.ini", db);
    main.reset();  // a window goes before the application values it uses
    app = std::make_unique<launcher::App>(appDir, desktop, processes);
    app->Title = app->ReadConfigValue("form", "title", launcher::builtin::kApplicationTitle);
    main = std::make_unique<TFMain>(*app);
    main->FormCreate();
    desktop.show(*main);
    return *main;
  }

  std::string text(const char* control) { return main->control(control).text(); }

  TempDir temp;
  std::string appDir;
  char* previous = nullptr;
  FakeWindowSystem windows;
  ui::Desktop desktop{windows};
  testsupport::RecordingProcesses processes;
  std::unique_ptr<launcher::App> app;
  std::unique_ptr<TFMain> main;
};

TEST_F(MainWindow, StartUpShowsTheConfiguredSettings) {
  struct Row {
    const char* name;
    const char* config;
    const char* db;
    std::map<std::string, std::string> texts;
    std::map<std::string, bool> visible;
  };
  const std::string qq =
      std::string("澜岳会员软件客户服务QQ群：") + launcher::builtin::kServiceQQGroup;
  const std::string tel =
      std::string("澜岳会员软件客户服务热线：") + launcher::builtin::kServiceTelephone;
  const std::vector<Row> rows = {
      {"nothing configured",
       "",
       "",
       {{"ed_port", "3309"},
        {"ed_dbname", ""},
        {"ed_sysno", "MySQL_norvex"},
        {"ed_path", "mysql/"},
        {"lbl_url", launcher::builtin::kProductWebAddress},
        {"lbQQGroupValue", qq},
        {"lbServerTelValue", tel},
        {"lbl_status", "服务状态"},
        {"ed_status", "未安装服务"},
        {"lbl_SoftType", ""}},
       {{"BitBtn1", false}, {"bt_jxc", false}, {"sp_start", true}, {"sp_del", false}}},
      {"db.ini wins for the connection keys; an empty port falls back",
       "[db]\r\nname=fromconfig\r\nport=3310\r\n",
       "[db]\r\nname=shop\r\nport=\r\n",
       {{"ed_dbname", "shop"}, {"ed_port", "3310"}},
       {}},
      {"an empty db.ini port and no config port show the default",
       "[db]\r\nname=x\r\n",
       "[DB]\r\nPort=\r\n",
       {{"ed_port", "3309"}},
       {}},
      {"a remote server hides the service buttons",
       "[db]\r\nserverip=192.0.2.10\r\n",
       "",
       {{"lbl_status", "服务器IP"}, {"ed_status", "192.0.2.10"}},
       {{"sp_start", false}, {"sp_stop", false}, {"sp_del", false}}},
      {"db.ini's local address wins over config's remote one",
       "[db]\r\nserverip=192.0.2.10\r\n",
       "[db]\r\nserverip=127.0.0.1\r\n",
       {{"lbl_status", "服务状态"}},
       {{"sp_start", true}}},
      {"clients: a title shows the cashier, a program shows the stock keeper",
       "[Exe]\r\ntitle=会员收银\r\nrunexe=pos\r\n[jxc]\r\nruneXe=jxc\r\ntitle=进销存管理\r\n",
       "",
       {{"BitBtn1", "会员收银"}, {"bt_jxc", "进销存管理"}},
       {{"BitBtn1", true}, {"bt_jxc", true}}},
      {"a program without a title leaves the cashier hidden",
       "[Exe]\r\nrunexe=pos\r\n",
       "",
       {},
       {{"BitBtn1", false}}},
      {"the form section",
       "[form]\r\ntitle=我的店\r\nwww=http://shop.example.org/\r\nqqGroup=12345\r\n"
       "serverTel=010-0000\r\nsofttype=旗舰版\r\n[mysql]\r\nSERVICENAME=MySQL_shop\r\n",
       "",
       {{"lbl_url", "http://shop.example.org/"},
        {"lbQQGroupValue", "12345"},
        {"lbServerTelValue", "010-0000"},
        {"lbl_SoftType", "旗舰版"},
        {"ed_sysno", "MySQL_shop"}},
       {}},
      {"the MySQL folder under a set-up path",
       "[mysql]\r\nsetuppath=db\\mysql5\r\n",
       "",
       {{"ed_path", "db/mysql5/"}},
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::remove((appDir + "config/db.ini").c_str());
    TFMain& window = start(row.config, row.db);
    for (const auto& [name, expected] : row.texts) EXPECT_EQ(text(name.c_str()), expected) << name;
    for (const auto& [name, expected] : row.visible)
      EXPECT_EQ(window.control(name).visible, expected) << name;
    EXPECT_EQ(text("ed_no"), launcher::ObtainInstallationId(appDir));
    EXPECT_TRUE(windows.messages.empty());
  }
}

TEST_F(MainWindow, StartUpSettingsInMemory) {
  start(
      "[backup]\r\nserver=1\r\npath=d:\\bak\\\r\n[db]\r\nurl=svc.example.com:8080\r\n"
      "comname=C01\r\ncmdrun=1\r\ndefaultsubcom=001\r\n[form]\r\ntitle=我的店\r\n");
  EXPECT_EQ(app->BackupFtpHost, launcher::builtin::BackupFtpHost1());
  EXPECT_EQ(app->BackupPath, temp.path() + "data/bak/");
  EXPECT_EQ(app->Url, "svc.example.com:8080");
  EXPECT_EQ(app->ComName, "C01");
  EXPECT_TRUE(app->CmdRun);
  EXPECT_EQ(app->DefaultSubcom, "001");
  EXPECT_EQ(app->ServerIp, "127.0.0.1");
  EXPECT_EQ(app->Port, 3309);
  EXPECT_EQ(main->caption, "我的店");
  EXPECT_EQ(app->Title, "我的店");
  EXPECT_TRUE(platform::folderExists(appDir + "Log"));

  start("[backup]\r\nserver=2\r\n");
  EXPECT_EQ(app->BackupFtpHost, launcher::builtin::BackupFtpHost2());
  EXPECT_EQ(main->caption, "运行会员收银软件");
  EXPECT_EQ(app->BackupPath, temp.path() + "data/backup/");
}

// What the settings window saves into db.ini is what the next start uses.
TEST_F(MainWindow, SavedServerChoicesWinAtStartUp) {
  struct Row {
    const char* config;
    const char* db;
    bool cmdRun;
    std::string host;
  };
  const std::vector<Row> rows = {
      {"[db]\r\ncmdrun=0\r\n[backup]\r\nserver=2\r\n",
       "[db]\r\ncmdrun=1\r\n[backup]\r\nserver=1\r\n", true, launcher::builtin::BackupFtpHost1()},
      {"[db]\r\ncmdrun=1\r\n[backup]\r\nserver=1\r\n",
       "[db]\r\ncmdrun=0\r\n[backup]\r\nserver=2\r\n", false, launcher::builtin::BackupFtpHost2()},
      {"[db]\r\ncmdrun=1\r\n[backup]\r\nserver=1\r\n", "[db]\r\ncmdrun=\r\n[backup]\r\nserver=\r\n",
       true, launcher::builtin::BackupFtpHost1()},
      {"", "[db]\r\nname=x\r\n", false, launcher::builtin::BackupFtpHost2()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.config) + " | " + row.db);
    start(row.config, row.db);
    EXPECT_EQ(app->CmdRun, row.cmdRun);
    EXPECT_EQ(app->BackupFtpHost, row.host);
  }
}

TEST_F(MainWindow, GlyphsAndIconAreTakenWhenTheirFilesExist) {
  writeFile(appDir + "pos.bmp", "BM");
  writeFile(temp.path() + "shop.ico", "ico");
  start(
      "[Exe]\r\ntitle=x\r\nbmp=pos.bmp\r\n[jxc]\r\nrunexe=j\r\nbmp=missing.bmp\r\n[form]\r\nicon="
      " " +
      temp.path() + "shop.ico\r\n");
  EXPECT_EQ(main->control("BitBtn1").glyph, "pos.bmp");  // relative to the application folder
  EXPECT_EQ(main->control("bt_jxc").glyph, "");
  EXPECT_EQ(main->icon, temp.path() + "shop.ico");
}

TEST_F(MainWindow, MysqlFolderPrefersTheDataRoot) {
  platform::createFolders(temp.path() + "system/norvex");
  start("");
  EXPECT_EQ(app->MysqlDir, temp.path() + "system/norvex/mysql/");
  platform::createFolders(temp.path() + "data/norvex");
  start("[mysql]\r\nsetuppath=m\r\n");
  EXPECT_EQ(app->MysqlDir, temp.path() + "data/norvex/m/");
}

TEST_F(MainWindow, DebugModeShowsTheNumberedSteps) {
  start("[debug]\r\ndebug=1\r\n");
  std::vector<std::string> texts;
  for (const auto& m : windows.messages) {
    texts.push_back(m.text);
    EXPECT_EQ(m.caption, launcher::builtin::kApplicationTitle);
    EXPECT_EQ(m.icon, ui::Icon::None);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "1 begin", "3 ed_dbname", "4 gs_jxc_Exe", "4 gs_AppPath", "5 LoadOptions",
                       "6 gs_driverNo:" + launcher::ObtainInstallationId(appDir), "7 open ok"}));
}

TEST_F(MainWindow, APortThatIsNoNumberStopsTheLaterSteps) {
  start("[db]\r\nport=33o9\r\n");
  ASSERT_EQ(windows.messages.size(), 1u);
  EXPECT_NE(windows.messages[0].text.find("'33o9'"), std::string::npos);
  EXPECT_EQ(text("ed_no"), "");
  // The identifier is there all the same, for the vendor service and the clients.
  EXPECT_EQ(app->InstallationId, launcher::ObtainInstallationId(appDir));
  EXPECT_FALSE(app->InstallationId.empty());
  EXPECT_FALSE(platform::folderExists(appDir + "Log"));
  EXPECT_EQ(windows.shown, (std::vector<std::string>{"FMain"}));
}

TEST_F(MainWindow, MissingFtpLibraryIsNotedInTheMessageArea) {
  start("");
  EXPECT_EQ(main->control("Memo1").lines,
            (std::vector<std::string>{"sysdll\\NxFtpContrlVc.dll文件不存在，无法自动备份到网盘"}));
  platform::createFolders(appDir + "sysdll");
  writeFile(appDir + "sysdll/NxFtpContrlVc.so", "");
  start("");
  EXPECT_TRUE(main->control("Memo1").lines.empty());
}

TEST_F(MainWindow, StatusBlocksFromAnyThread) {
  start("");
  ui::Control& memo = main->control("Memo1");
  memo.lines.clear();
  main->AddStatus("第一行\r\nsecond");
  ASSERT_EQ(memo.lines.size(), 4u);
  EXPECT_EQ(memo.lines[0].size(), std::string("yyyy-mm-dd hh:mm").size());
  EXPECT_EQ(memo.lines[1], "第一行");
  EXPECT_EQ(memo.lines[2], "second");
  EXPECT_EQ(memo.lines[3], std::string(34, '-'));

  // Blocks sent by workers while the window thread runs stay whole.
  memo.lines.clear();
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i) {
    workers.emplace_back([this, i] {
      for (int n = 0; n < 25; ++n) main->AddStatus("worker " + std::to_string(i));
    });
  }
  ASSERT_TRUE(windows.pump(desktop, [&memo] { return memo.lines.size() == 300; }));
  for (auto& worker : workers) worker.join();
  for (std::size_t block = 0; block < 100; ++block) {
    EXPECT_EQ(memo.lines[block * 3 + 1].rfind("worker ", 0), 0u);
    EXPECT_EQ(memo.lines[block * 3 + 2], std::string(34, '-'));
  }
}

TEST_F(MainWindow, PrivateMessages) {
  start("[Exe]\r\ntitle=收银\r\n");
  main->control("BitBtn1").enabled = false;
  desktop.postMessage(*main, launcher::kWmEnableLaunch, 0);
  desktop.postMessage(*main, launcher::kWmNothing3, 0);
  desktop.postMessage(*main, launcher::kWmNothing7, 0);
  desktop.drain();
  EXPECT_TRUE(main->control("BitBtn1").enabled);
  EXPECT_TRUE(main->control("bt_jxc").enabled);
  EXPECT_FALSE(main->control("bt_jxc").visible);  // enabling never shows a hidden button
  EXPECT_TRUE(windows.messages.empty());

  // WM_USER+6 queues work on the pool, which starts its minimum of workers.
  desktop.postMessage(*main, launcher::kWmQueueSelfRepair, 0);
  desktop.drain();
  EXPECT_EQ(app->pool().ThreadCount(), 20);

  desktop.postMessage(*main, launcher::kWmShowAndClose, 0, "数据库已损坏");
  desktop.drain();
  ASSERT_EQ(windows.messages.size(), 1u);
  EXPECT_EQ(windows.messages[0].caption, "提示");
  EXPECT_EQ(windows.messages[0].text, "数据库已损坏");
  EXPECT_EQ(windows.messages[0].icon, ui::Icon::Information);
  EXPECT_TRUE(main->closed);
  EXPECT_TRUE(app->Closing);
}

// The toolbar's settings button: the window saves into db.ini, while the
// main window shows the name of config.ini and keeps working with its own.
TEST_F(MainWindow, SettingsWindowOpensModallyAndTheNameShownIsConfigs) {
  struct Row {
    const char* config;
    const char* shown;
  };
  platform::createFolders(appDir + "mysql");
  for (const Row& row : {Row{"[db]\r\nname=fromconfig\r\n", "fromconfig"}, Row{"", ""}}) {
    start(row.config, "[db]\r\nname=shop\r\nport=3310\r\n");
    windows.onModal = [](ui::Form& settings) {
      EXPECT_EQ(settings.name(), "frmSQL");
      settings.control("ed_dbname").setText("renamed");
      settings.control("bt_save").onClick();
    };
    main->RzToolButton2Click();
    windows.onModal = nullptr;
    EXPECT_EQ(platform::readProfileString(appDir + "config/db.ini", "db", "name", ""), "renamed");
    EXPECT_EQ(text("ed_dbname"), row.shown);
    EXPECT_EQ(app->DbName, "shop");
    EXPECT_EQ(windows.texts().back(), "保存成功！");
  }
}

TEST_F(MainWindow, DeferredStartUpStep) {
  // A stock-keeping client is configured, so the step does not press the
  // cashier button by itself.
  start(
      "[db]\r\ncomname=C01\r\nurl=127.0.2.1\r\n[debug]\r\ndebug=1\r\n"
      "[jxc]\r\nruneXe=jxc\r\n");
  windows.messages.clear();
  ui::Control& memo = main->control("Memo1");
  memo.lines.clear();
  main->findTimer("Timer_checkodbc")->onTimer();
  EXPECT_FALSE(main->findTimer("Timer_checkodbc")->enabled);
  ASSERT_EQ(memo.lines.size(), 6u);
  EXPECT_EQ(memo.lines[1], "开始check:C01");
  EXPECT_EQ(memo.lines[4], "开始登录:127.0.2.1   C01");
  EXPECT_EQ(app->pool().ThreadCount(), 20);  // the branch query was queued
  EXPECT_EQ(main->control("sp_del").tag, 1);
  EXPECT_TRUE(windows.messages.empty());
  // In debug mode the pool's diagnostics reach the daily log.
  std::string log;
  for (const auto& entry : std::filesystem::directory_iterator(appDir + "Log")) {
    std::ifstream in(entry.path(), std::ios::binary);
    log += std::string((std::istreambuf_iterator<char>(in)), {});
  }
  EXPECT_NE(log.find("->AddRequest("), std::string::npos);
}

TEST_F(MainWindow, DotNetRuntimeCheck) {
  platform::createFolders(appDir + "sysdll");
  writeFile(appDir + "sysdll/Netfx20", "");
  struct Row {
    const char* registry;
    std::vector<ui::Answer> answers;
    bool asked;
    bool installerStarted;
  };
  const std::vector<Row> rows = {
      {"", {ui::Answer::Yes}, true, true},
      {"", {ui::Answer::No}, true, false},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\NET Framework "
       "Setup\\NDP\\v4\\Full]\r\nInstall=1\r\n",
       {},
       false,
       false},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.5]\r\nInstall=0\r\n",
       {ui::Answer::No},
       true,
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.registry);
    writeFile(temp.path() + "registry.ini", row.registry);
    start("[jxc]\r\nrunexe=jxc\r\n");
    windows.messages.clear();
    windows.answers.assign(row.answers.begin(), row.answers.end());
    const std::size_t startedBefore = processes.startedSoFar().size();
    main->findTimer("Timer_checkodbc")->onTimer();
    ASSERT_EQ(windows.messages.size(), row.asked ? 1u : 0u);
    if (row.asked) {
      EXPECT_EQ(windows.messages[0].text, "当前系统没有安装Net 2.0 的环境，现在开始安装吗？");
      EXPECT_EQ(windows.messages[0].buttons, ui::Buttons::YesNo);
    }
    // A refused or missing runtime stops the step before its last steps.
    EXPECT_EQ(main->control("sp_del").tag, row.asked ? 0 : 1);
    const auto started = processes.startedSoFar();
    EXPECT_EQ(started.size() - startedBefore, row.installerStarted ? 1u : 0u);
    if (row.installerStarted) {
      EXPECT_EQ(started.back(), (std::vector<std::string>{appDir + "sysdll/Netfx20"}));
    }
  }
}

TEST_F(MainWindow, ErrorLogViewer) {
  start("");
  const std::string path = app->MysqlDir + "/data/" + platform::computerName() + ".err";
  main->lbLookSQLLogClick();
  ASSERT_EQ(windows.messages.size(), 1u);
  EXPECT_EQ(windows.messages[0].text, path + "日志文件不存在！");
  EXPECT_TRUE(processes.startedSoFar().empty());

  platform::createFolders(appDir + "mysql/data");
  writeFile(appDir + "mysql/data/" + platform::computerName() + ".err", "log");
  main->lbLookSQLLogClick();
  EXPECT_EQ(processes.startedSoFar(), (std::vector<std::vector<std::string>>{{"opener", path}}));
}

TEST_F(MainWindow, WebAddressesOpenInTheBrowser) {
  start("[form]\r\nwww=http://shop.example.org/\r\n");
  main->lbl_urlClick();
  main->RzToolButton1Click();
  EXPECT_EQ(processes.startedSoFar(),
            (std::vector<std::vector<std::string>>{
                {"opener", "http://shop.example.org/"},
                {"opener", "http://shop.example.org/vediolist_104.html"}}));
}

TEST(DailyLog, AppendsTimedLinesAndFailsWithoutTheFolder) {
  TempDir temp;
  EXPECT_THROW(launcher::WriteDailyLog(temp.path(), "x"), launcher::LauncherError);
  platform::createFolders(temp.path() + "Log");
  launcher::WriteDailyLog(temp.path(), "第一条");
  launcher::WriteDailyLog(temp.path(), "second");
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(temp.path() + "Log"))
    files.push_back(entry.path().filename().string());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].size(), std::string("yyyy-mm-dd_log.txt").size());
  EXPECT_TRUE(files[0].ends_with("_log.txt"));
  std::ifstream in(temp.path() + "Log/" + files[0], std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), {});
  const std::size_t stamp = std::string("yyyy-mm-dd hh:nn:ss").size();
  ASSERT_EQ(content.size(), 2 * (stamp + 2) + std::string("第一条").size() + 6 + 4);
  EXPECT_EQ(content.substr(stamp, 2 + std::string("第一条").size() + 2), "->第一条\r\n");
  EXPECT_TRUE(content.ends_with("->second\r\n"));
}

TEST(TextFile, CreatesAppendsAndReplaces) {
  TempDir temp;
  const std::string file = temp.path() + "readme.txt";
  launcher::WriteTextFile(file, "a", true);
  launcher::WriteTextFile(file, "b", true);
  std::ifstream first(file, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(first)), {}), "a\r\nb\r\n");
  launcher::WriteTextFile(file, "c", false);
  std::ifstream second(file, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(second)), {}), "c\r\n");
  launcher::WriteTextFile(temp.path() + "missing/x.txt", "c", false);  // swallowed
}

}  // namespace
