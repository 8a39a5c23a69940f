// Backups of a shop database on the test run's server: the files a good
// backup leaves and what it records, dumps that fail, the room check, the
// backup folders, and the five-hour schedule that launchers share.
#include "launcher/backup/database_backup.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "launcher/core/daily_log.h"
#include "launcher/core/main_window.h"
#include "launcher/support/connection_helpers.h"
#include "launcher/ui/headless/headless_backend.h"
#include "platform/gbk.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "tests/launcher/fake_window_system.h"
#include "tests/support/database_server.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::runTool;
using testsupport::writeFile;

namespace fs = std::filesystem;

std::string timeText(std::time_t when) {
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&when));
  return text;
}

// A launcher of the shop: its application values and its main window.
struct Launcher {
  testsupport::FakeWindowSystem windows;
  ui::Desktop desktop{windows};
  launcher::App app;
  std::unique_ptr<launcher::TFMain> main;
  explicit Launcher(const std::string& appDir)
      : app(appDir, desktop, platform::Processes::Default()) {}
  ~Launcher() { main.reset(); }
  launcher::TDatabaseBackup& backup() { return main->backup(); }
  // The texts of the status blocks in Memo1.
  std::vector<std::string> blocks() const {
    std::vector<std::string> texts;
    const std::vector<std::string>& lines = main->control("Memo1").lines;
    for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
      if (lines[i].size() == 16 && lines[i][4] == '-' && lines[i + 2] == std::string(34, '-')) {
        texts.push_back(lines[i + 1]);
        i += 2;
      }
    }
    return texts;
  }
};

class Backup : public ::testing::Test {
 protected:
  void SetUp() override {
    appDir = temp.path() + "app/";
    backupRoot = temp.path() + "backup/";
    for (const std::string& dir :
         {appDir + "config", appDir + "mysql/bin", temp.path() + "data", temp.path() + "system"})
      fs::create_directories(dir);
    fs::create_symlink(MARIADB_LIBRARY, appDir + "config/libmysql.so");
    fs::create_symlink("/usr/bin/mysqldump", appDir + "mysql/bin/mysqldump");
    setenv("NORVEX_DATA_ROOT", (temp.path() + "data/").c_str(), 1);
    setenv("NORVEX_SYSTEM_ROOT", (temp.path() + "system/").c_str(), 1);
    writeFile(appDir + "config/config.ini", "[backup]\r\nbackpath=" + backupRoot + "\r\n");
    previous = fs::current_path();
    fs::current_path(appDir);

    db.run(*platform::utf8ToGbk(readFile(SHOP_SQL)));
    db.run(
        "update subcom set bossmobile='13900000000', address='西湖路1号' where subno='01';\n"
        "create table goods (id int primary key, name varchar(50)) default charset=gbk;\n"
        "insert into goods values (1,'会员积分卡'),(2,'茶叶');");
    shop = open();
  }
  void TearDown() override {
    shop.reset();
    fs::current_path(previous);
    unsetenv("NORVEX_DATA_ROOT");
    unsetenv("NORVEX_SYSTEM_ROOT");
  }

  std::unique_ptr<Launcher> open() {
    const testsupport::DatabaseServer& server = testsupport::databaseServer();
    auto opened = std::make_unique<Launcher>(appDir);
    launcher::App& a = opened->app;
    a.ServerIp = server.host;
    a.Port = server.port;
    a.DbName = db.name();
    a.DbUser = server.user;
    a.DbPassword = server.password;
    a.MysqlDir = "mysql/";
    a.LoginUser = "店长";
    a.ComName = "C01";
    a.InstallationId = "A1B2C3";
    a.CurrentBranchCode = "01";
    a.BranchName.set("总店");
    a.sharedConnection.Replace(std::make_unique<launcher::TMySqliConn>(
        server.host, server.user, server.password, db.name(), server.port));
    opened->main = std::make_unique<launcher::TFMain>(a);
    opened->desktop.show(*opened->main);
    return opened;
  }

  std::string monthFolder() const { return backupRoot + launcher::LocalTimeText("%Y%m") + "/"; }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    if (fs::exists(monthFolder()))
      for (const auto& entry : fs::directory_iterator(monthFolder()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string history() { return db.query("select backupman, backfileName from backdb_his"); }

  TempDir temp;
  std::string appDir, backupRoot;
  fs::path previous;
  testsupport::ScratchDatabase db{"backup"};
  std::unique_ptr<Launcher> shop;
};

TEST_F(Backup, AGoodBackupLeavesItsFilesAndRecordsThem) {
  const std::string started = launcher::LocalTimeText("%Y-%m-%d-%H%M");
  ASSERT_EQ(shop->backup().BackupDatabase(false), 1) << ::testing::PrintToString(shop->blocks());
  const std::vector<std::string> names = files();
  ASSERT_EQ(names.size(), 3u);  // the dump, its archive, the description
  const std::string dumpName = names[0];
  // database, time, boss's mobile, "#", 16 random characters
  EXPECT_TRUE(std::regex_match(dumpName, std::regex(db.name() + "\\d{4}-\\d\\d-\\d\\d-\\d{4}-"
                                                                "13900000000#[0-9A-Z]{16}\\.SQL")))
      << dumpName;
  EXPECT_NE(dumpName.find(started), std::string::npos);
  const std::string stem = dumpName.substr(0, dumpName.size() - 3);
  EXPECT_EQ(names[1], stem + "zip");
  EXPECT_EQ(names[2], "readme.txt");
  const std::string readme =
      "公司名称：C01\r\n硬盘序列号：A1B2C3\r\n手机号码：13900000000\r\n分店代码：01\r\n"
      "分店名称：总店\r\n地址：西湖路1号\r\n\r\n";
  EXPECT_EQ(readFile(monthFolder() + "readme.txt"), readme);

  const std::string dumpPath = monthFolder() + dumpName, archive = monthFolder() + names[1];
  const std::string dump = readFile(dumpPath);
  EXPECT_NE(dump.find(reinterpret_cast<const char*>(u8"会员积分卡")), std::string::npos);
  EXPECT_NE(dump.find("-- Dump completed"), std::string::npos);
  EXPECT_EQ(runTool({"unzip", "-Z1", archive}).first, dumpName + "\nreadme.txt\n");
  EXPECT_EQ(runTool({"unzip", "-p", archive, dumpName}).first, dump);
  EXPECT_EQ(runTool({"unzip", "-p", archive, "readme.txt"}).first, readme);

  EXPECT_EQ(history(), "店长\t" + dumpPath + "\n");
  const std::string lastdate =
      platform::readProfileString(appDir + "config/config.ini", "backup", "lastdate", "");
  EXPECT_EQ(lastdate.size(), 16u);
  EXPECT_EQ(shop->app.LastDate, lastdate);
  EXPECT_EQ(launcher::GetSysSetting(shop->app.sharedConnection, "backup", "lastbackup", ""),
            lastdate);
  // Every vendor host of the test points where nothing listens.
  EXPECT_EQ(shop->blocks(),
            (std::vector<std::string>{"备份文件到:" + dumpPath, "压缩到:" + archive,
                                      "上传网络U盘:" + archive + "请稍后...",
                                      "上传失败:Couldn't connect to server"}));
  EXPECT_FALSE(shop->app.BackupRunning);
  EXPECT_TRUE(shop->windows.messages.empty());  // an automatic backup asks nothing
  EXPECT_EQ(shop->main->findTimer("Timer_backdbEx")->interval, 3600000);
}

TEST_F(Backup, AFailedDumpIsNeitherKeptNorPackedNorRecorded) {
  struct Row {
    const char* name;
    std::function<void(launcher::App&)> spoil;
    const char* reason;  // in the status block
  };
  const std::vector<Row> rows = {
      {"a wrong password", [](launcher::App& a) { a.DbPassword += "x"; }, "Access denied"},
      {"a server that does not run", [](launcher::App& a) { a.Port = 1; }, "2002"},
  };
  for (const Row& row : rows) {
    for (const bool manual : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (manual ? ", manual" : ", automatic"));
      shop = open();
      row.spoil(shop->app);
      shop->windows.onFileDialog = [](const std::string& folder, const std::string& file) {
        return std::optional<std::string>(folder + file);
      };
      EXPECT_EQ(shop->backup().BackupDatabase(manual), -1);
      const std::vector<std::string> blocks = shop->blocks();
      ASSERT_EQ(blocks.size(), 2u);
      EXPECT_TRUE(blocks[1].starts_with("备份失败:mysqldump 退出代码 2：")) << blocks[1];
      EXPECT_NE(blocks[1].find(row.reason), std::string::npos) << blocks[1];
      EXPECT_EQ(shop->windows.messages.size(), manual ? 1u : 0u);
      if (manual) {
        EXPECT_EQ(shop->windows.messages[0].caption, "提示");
        EXPECT_EQ(shop->windows.messages[0].text, blocks[1]);
      }
      EXPECT_EQ(files(), std::vector<std::string>{});
      EXPECT_EQ(history(), "");
      EXPECT_EQ(platform::readProfileString(appDir + "config/config.ini", "backup", "lastdate", ""),
                "");
      EXPECT_FALSE(shop->app.BackupRunning);
    }
  }
}

TEST_F(Backup, ALauncherThatClosesStopsItsDump) {
  shop->app.Closing = true;
  EXPECT_EQ(shop->backup().BackupDatabase(false), -1);
  EXPECT_EQ(shop->blocks().back(), "备份失败:启动器正在关闭，备份已中止");
  EXPECT_EQ(files(), std::vector<std::string>{});
  EXPECT_EQ(history(), "");
}

TEST_F(Backup, ManualBackupsAskForTheFileAndWarnOfASmallDump) {
  // The dialog proposes the name in the month folder; the user may take another.
  std::string proposedFolder, proposedFile;
  shop->windows.onFileDialog = [&](const std::string& folder, const std::string& file) {
    proposedFolder = folder;
    proposedFile = file;
    return std::optional<std::string>(temp.path() + "chosen.dat");
  };
  EXPECT_EQ(shop->backup().BackupDatabase(true), 1);
  EXPECT_EQ(proposedFolder, monthFolder());
  EXPECT_TRUE(proposedFile.ends_with(".SQL")) << proposedFile;
  EXPECT_TRUE(fs::exists(temp.path() + "chosen.dat"));
  EXPECT_TRUE(fs::exists(temp.path() + "chosen.zip"));
  EXPECT_TRUE(fs::exists(monthFolder() + "readme.txt"));  // the description stays in the folder
  // This shop's dump is small: the manual backup says so and goes on.
  ASSERT_EQ(shop->windows.messages.size(), 1u);
  EXPECT_EQ(shop->windows.messages[0].text, "备份文件太小，请检查是否备份正常");
  EXPECT_EQ(shop->blocks()[1], "备份文件太小，请检查是否备份正常");

  // Cancelled, nothing happens at all.
  shop = open();
  shop->windows.onFileDialog = nullptr;
  EXPECT_EQ(shop->backup().BackupDatabase(true), -1);
  EXPECT_TRUE(shop->blocks().empty());
  EXPECT_FALSE(shop->app.BackupRunning);
}

TEST_F(Backup, ABackupNeedsRoomForItself) {
  const std::string small = temp.path() + "small/";
  fs::create_directories(small);
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "no small file system can be mounted here: " << std::strerror(errno);
  }
  struct Unmount {
    std::string path;
    ~Unmount() { umount(path.c_str()); }
  } unmount{small};
  writeFile(appDir + "config/config.ini", "[backup]\r\nbackpath=" + small + "\r\n");
  for (const bool manual : {false, true}) {
    SCOPED_TRACE(manual);
    shop = open();
    shop->windows.onFileDialog = [](const std::string& folder, const std::string& file) {
      return std::optional<std::string>(folder + file);
    };
    EXPECT_EQ(shop->backup().BackupDatabase(manual), -1);
    const std::vector<std::string> blocks = shop->blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(blocks[0].starts_with("备份失败:备份文件夹 " + small)) << blocks[0];
    EXPECT_NE(blocks[0].find("空间不足"), std::string::npos);
    EXPECT_EQ(shop->windows.messages.size(), manual ? 1u : 0u);
  }
  std::size_t entries = 0;
  for (const auto& entry : fs::recursive_directory_iterator(small))
    entries += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(entries, 0u);
}

TEST_F(Backup, FoldersFallBackToTheDriveRoots) {
  const std::string month = launcher::LocalTimeText("%Y%m") + "/";
  const std::string data = temp.path() + "data/", system = temp.path() + "system/";
  struct Row {
    const char* name;
    std::string root;
    std::string folder;
  };
  const std::vector<Row> rows = {
      {"an existing root", temp.path(), temp.path() + month},
      {"a root one level down is made", temp.path() + "new/", temp.path() + "new/" + month},
      {"a root two levels down is not", temp.path() + "a/b/", data + "backup/" + month},
      {"no root", "", data + "backup/" + month},
      {"a root without a separator gives a sibling", temp.path() + "bak",
       temp.path() + "bak" + month},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(shop->backup().ResolveBackupFolder(row.root), row.folder);
    EXPECT_TRUE(fs::is_directory(row.folder));
  }
  // Without the data root the system root takes the backups.
  fs::remove_all(data);
  std::ofstream(temp.path() + "data") << "a file, no folder";
  EXPECT_EQ(shop->backup().ResolveBackupFolder(""), system + "backup/" + month);
}

TEST_F(Backup, AutomaticBackupsKeepFiveHoursApartAcrossLaunchers) {
  const std::time_t now = std::time(nullptr);
  struct Row {
    const char* name;
    std::string stored;
    bool backs;
    long hours;
  };
  const std::vector<Row> rows = {
      {"never before", "", true, 100},
      {"4 hours 59 minutes ago", timeText(now - 4 * 3600 - 59 * 60), false, 4},
      {"5 hours ago", timeText(now - 5 * 3600 - 5), true, 5},
      {"6 hours ahead", timeText(now + 6 * 3600 + 5), true, 6},
      {"an unreadable time", "yesterday", true, 100},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    shop = open();
    launcher::SetSysSetting(shop->app.sharedConnection, "backup", "lastbackupex", row.stored);
    shop->main->RunAutoBackup();
    const std::vector<std::string> blocks = shop->blocks();
    ASSERT_FALSE(blocks.empty());
    if (row.backs) {
      EXPECT_EQ(blocks.front(), "系统正在自动备份...,上次备份时间:" + row.stored +
                                    "  时间差:" + std::to_string(row.hours) + "小时");
      EXPECT_EQ(blocks.back(), "自动备份完毕！");
      const std::string stored =
          launcher::GetSysSetting(shop->app.sharedConnection, "backup", "lastbackupex", "");
      // The start of this backup, stored before its dump.
      std::tm when{};
      ASSERT_NE(strptime(stored.c_str(), "%Y-%m-%d %H:%M:%S", &when), nullptr) << stored;
      when.tm_isdst = -1;
      EXPECT_LE(std::abs(std::difftime(now, std::mktime(&when))), 60);
    } else {
      EXPECT_EQ(blocks, std::vector<std::string>{"上次自动备份时间！" + row.stored +
                                                 ",无需再次备份 时间差:4小时"});
    }
  }

  // A second launcher on the same database skips what the first just did.
  launcher::SetSysSetting(shop->app.sharedConnection, "backup", "lastbackupex", "");
  shop->main->RunAutoBackup();
  auto other = open();
  other->main->RunAutoBackup();
  ASSERT_EQ(other->blocks().size(), 1u);
  EXPECT_TRUE(other->blocks()[0].starts_with("上次自动备份时间！")) << other->blocks()[0];

  // A remote server is never backed up from here.
  auto remote = open();
  remote->app.ServerIp = "192.0.2.7";
  remote->main->RunAutoBackup();
  EXPECT_TRUE(remote->blocks().empty());
}

TEST_F(Backup, TheTimerWaitsForTheConnectionObject) {
  ui::Timer& timer = *shop->main->findTimer("Timer_backdbEx");
  timer.enabled = true;
  timer.interval = 10000;
  shop->app.sharedConnection.Replace(nullptr);
  shop->main->Timer_backdbExTimer();
  EXPECT_TRUE(shop->blocks().empty());
  EXPECT_EQ(timer.interval, 10000);

  shop = open();
  ui::Timer& ticking = *shop->main->findTimer("Timer_backdbEx");
  shop->main->Timer_backdbExTimer();
  EXPECT_EQ(shop->blocks().back(), "自动备份完毕！");
  EXPECT_TRUE(ticking.enabled);
  EXPECT_EQ(ticking.interval, 3600000);
}

// Driven headless, a script takes the proposed file with "ok", and the dump
// reports how far it is as it runs.
TEST_F(Backup, HeadlessTakesTheProposedFileAndReportsProgress) {
  db.run(
      "create table big (id int primary key, note varchar(200)) default charset=gbk;\n"
      "insert into big select seq, repeat('会员积分',40) from seq_1_to_20000;");
  std::istringstream in(
      "{\"op\":\"answer\",\"reply\":\"ok\"}\n"
      "{\"op\":\"click\",\"window\":\"FMain\",\"control\":\"bt_backup_set\"}\n");
  std::ostringstream out;
  {
    ui::HeadlessBackend backend(in, out);
    ui::Desktop desktop(backend);
    backend.attach(desktop);
    launcher::App headless(appDir, desktop, platform::Processes::Default());
    headless.ServerIp = shop->app.ServerIp;
    headless.Port = shop->app.Port;
    headless.DbName = db.name();
    headless.DbUser = shop->app.DbUser;
    headless.DbPassword = shop->app.DbPassword;
    headless.MysqlDir = "mysql/";
    headless.LoginUser = "店长";
    const testsupport::DatabaseServer& server = testsupport::databaseServer();
    headless.sharedConnection.Replace(std::make_unique<launcher::TMySqliConn>(
        server.host, server.user, server.password, db.name(), server.port));
    launcher::TFMain main(headless);
    desktop.show(main);
    backend.run(main);
  }
  std::vector<nlohmann::json> events;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    nlohmann::json j = nlohmann::json::parse(line);
    if (j.contains("event")) events.push_back(j);
  }
  std::string chosen;
  long long lastDone = 0;
  int progress = 0;
  for (const nlohmann::json& event : events) {
    if (event["event"] == "dialog") chosen = event["answer"];
    if (event["event"] != "progress") continue;
    ++progress;
    EXPECT_EQ(event["what"], "backup");
    EXPECT_GT(event["total"].get<long long>(), 0);
    EXPECT_GE(event["done"].get<long long>(), lastDone);
    lastDone = event["done"];
  }
  EXPECT_TRUE(chosen.starts_with(monthFolder())) << chosen;
  EXPECT_TRUE(fs::exists(chosen));
  EXPECT_GE(progress, 1) << out.str();
}

TEST_F(Backup, AManualBackupIsRefusedWhileOneRuns) {
  shop->app.BackupRunning = true;
  shop->main->bt_backup_setClick();
  ASSERT_EQ(shop->windows.messages.size(), 1u);
  EXPECT_EQ(shop->windows.messages[0].text,
            "当前正在自动备份数据，不允许使用手动备份功能。\r\n请稍后重试！");
  EXPECT_EQ(shop->windows.messages[0].icon, ui::Icon::Information);
  EXPECT_TRUE(files().empty());
  EXPECT_EQ(shop->backup().BackupDatabase(false), -1);  // and an automatic one does nothing
  EXPECT_TRUE(shop->blocks().empty());

  shop->app.BackupRunning = false;
  shop->windows.onFileDialog = [](const std::string& folder, const std::string& file) {
    return std::optional<std::string>(folder + file);
  };
  shop->main->bt_backup_setClick();
  EXPECT_EQ(shop->windows.texts().back(), "备份完毕");
}

}  // namespace
