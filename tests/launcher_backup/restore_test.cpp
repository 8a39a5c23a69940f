// The restore window on the test run's server: its refusals in order, a
// restore into a new database, over an existing one (whose safety dump goes
// only after a good import), a failing import that keeps the old data at
// hand, a restore straight from a backup archive, and names that are no
// plain identifiers. Every restore is checked table by table with CHECKSUM
// TABLE against the database the dump came from.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "launcher/backup/database_backup.h"
#include "launcher/backup/restore_window.h"
#include "launcher/core/main_window.h"
#include "platform/gbk.h"
#include "platform/process.h"
#include "tests/launcher/fake_window_system.h"
#include "tests/support/database_server.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::runTool;
using testsupport::writeFile;

namespace fs = std::filesystem;

const char kTables[] = "mysysset, myuser, subcom, store, goods, stocknum";

// Each table's checksum, without the database's name.
std::string checksums(const testsupport::ScratchDatabase& db) {
  std::istringstream rows(db.query(std::string("CHECKSUM TABLE ") + kTables));
  std::string out;
  for (std::string row; std::getline(rows, row);) out += row.substr(row.find('.') + 1) + "\n";
  return out;
}

class Restore : public ::testing::Test {
 protected:
  void SetUp() override {
    appDir = temp.path() + "app/";
    for (const std::string& dir :
         {appDir + "config", appDir + "mysql/bin", temp.path() + "data", temp.path() + "system"})
      fs::create_directories(dir);
    fs::create_symlink(MARIADB_LIBRARY, appDir + "config/libmysql.so");
    for (const char* tool : {"mysql", "mysqldump"})
      fs::create_symlink(std::string("/usr/bin/") + tool, appDir + "mysql/bin/" + tool);
    setenv("NORVEX_DATA_ROOT", (temp.path() + "data/").c_str(), 1);
    setenv("NORVEX_SYSTEM_ROOT", (temp.path() + "system/").c_str(), 1);
    previous = fs::current_path();
    fs::current_path(appDir);

    source.run(*platform::utf8ToGbk(readFile(SHOP_SQL)));
    source.run(
        "create table goods (id int primary key, name varchar(50), price decimal(10,2)) "
        "default charset=gbk;\n"
        "insert into goods values (1,'会员积分卡',10.00),(2,'茶叶''s \\\\ 包',3.50),(3,NULL,0);\n"
        "insert into stocknum (goo_code, stockcode, stocknum) values ('1','01',5),('2','01',-1);");
    dump = temp.path() + "shop.SQL";
    dumpSource(dump);

    const testsupport::DatabaseServer& server = testsupport::databaseServer();
    app.ServerIp = server.host;
    app.Port = server.port;
    app.DbName = source.name();
    app.MysqlDir = "mysql/";
    app.BackupPath = temp.path() + "safety/";
    main = std::make_unique<launcher::TFMain>(app);
    main->control("sp_start").visible = false;  // the server runs
    desktop.show(*main);
  }
  void TearDown() override {
    main.reset();
    fs::current_path(previous);
    unsetenv("NORVEX_DATA_ROOT");
    unsetenv("NORVEX_SYSTEM_ROOT");
  }

  void dumpSource(const std::string& path) {
    const testsupport::DatabaseServer& server = testsupport::databaseServer();
    ASSERT_EQ(launcher::RunDumpTool(
                  app,
                  launcher::DumpArguments("/usr/bin/mysqldump", server.host, server.user,
                                          server.port, source.name()),
                  server.password, path, [](std::string_view) {}, [](long long) {}),
              "");
  }

  // Opens the window, fills it in as a user would and starts the restore.
  std::vector<std::string> restore(const std::string& name, const std::string& file,
                                   const std::string& password) {
    launcher::TfrmRestore window(app, *main);
    window.FormCreate();
    window.control("ed_password").setText(password);
    window.control("ed_dbname").setText(name);
    window.ed_dbnameChange();
    window.control("ed_fileName").setText(file);
    window.control("ed_username").setText(testsupport::databaseServer().user);
    windows.answers.push_back(ui::Answer::Yes);
    window.bt_restoreClick();
    windows.answers.clear();
    std::vector<std::string> lines = window.control("memo_exe").lines;
    lines.erase(lines.begin());  // the preview
    return lines;
  }
  std::vector<std::string> safetyFiles() const {
    std::vector<std::string> names;
    if (fs::exists(app.BackupPath))
      for (const auto& entry : fs::directory_iterator(app.BackupPath))
        names.push_back(entry.path().filename().string());
    return names;
  }

  TempDir temp;
  std::string appDir, dump;
  fs::path previous;
  testsupport::ScratchDatabase source{"restore_source"};
  testsupport::FakeWindowSystem windows;
  ui::Desktop desktop{windows};
  launcher::App app{temp.path() + "app/", desktop, platform::Processes::Default()};
  std::unique_ptr<launcher::TFMain> main;
};

TEST_F(Restore, PreconditionsAreCheckedInOrderBeforeAnythingChanges) {
  const std::string password = testsupport::databaseServer().password;
  struct Row {
    const char* name;
    std::function<void(launcher::TfrmRestore&)> prepare;
    std::string message;
    ui::Icon icon;
  };
  const std::string client = appDir + "mysql/bin/mysql";
  const std::vector<Row> rows = {
      {"the service does not run, and nothing is filled in",
       [this](launcher::TfrmRestore& w) {
         main->control("sp_start").visible = true;
         w.control("ed_fileName").setText("");
       },
       "数据库服务未启动，不能执行还原数据库操作，\r\n请启动数据库服务后重试！", ui::Icon::Warning},
      {"no file", [](launcher::TfrmRestore& w) { w.control("ed_fileName").setText("  "); },
       "请选择需要还原的备份文件！", ui::Icon::Warning},
      {"a file that is not there",
       [this](launcher::TfrmRestore& w) {
         w.control("ed_fileName").setText(temp.path() + "gone.SQL");
       },
       "输入的文件名" + temp.path() + "gone.SQL不存在", ui::Icon::Warning},
      {"no password", [](launcher::TfrmRestore& w) { w.control("ed_password").setText(""); },
       "密码不能为空！", ui::Icon::Warning},
      {"no client program", [&client](launcher::TfrmRestore&) { fs::remove(client); },
       client + " 还原程序不存在", ui::Icon::Warning},
      {"a wrong password",
       [&client](launcher::TfrmRestore& w) {
         fs::create_symlink("/usr/bin/mysql", client);
         w.control("ed_password").setText("wrong");
       },
       "用户名或密码不正确，连接数据库失败", ui::Icon::Error},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    launcher::TfrmRestore window(app, *main);
    window.FormCreate();
    window.control("ed_password").setText(password);
    window.control("ed_fileName").setText(dump);
    row.prepare(window);
    windows.messages.clear();
    windows.answers = {ui::Answer::Yes};
    const std::vector<std::string> shown = window.control("memo_exe").lines;
    window.bt_restoreClick();
    ASSERT_FALSE(windows.messages.empty());
    EXPECT_EQ(windows.messages.back().text, row.message);
    EXPECT_EQ(windows.messages.back().caption, "提示");
    EXPECT_EQ(windows.messages.back().icon, row.icon);
    EXPECT_EQ(window.control("memo_exe").lines, shown);  // no progress at all
    main->control("sp_start").visible = false;
  }
  // Saying no to the question changes nothing either.
  launcher::TfrmRestore window(app, *main);
  window.FormCreate();
  window.control("ed_password").setText(password);
  window.control("ed_fileName").setText(dump);
  windows.messages.clear();
  windows.answers = {ui::Answer::No};
  window.bt_restoreClick();
  ASSERT_EQ(windows.messages.size(), 1u);
  EXPECT_EQ(windows.messages[0].buttons, ui::Buttons::YesNo);
  EXPECT_EQ(window.control("memo_exe").lines.size(), 1u);
}

TEST_F(Restore, TheWindowShowsThePreviewWithoutThePassword) {
  launcher::TfrmRestore window(app, *main);
  window.FormCreate();
  EXPECT_EQ(window.control("ed_dbname").text(), source.name());
  window.control("ed_password").setText("s3cret");
  window.control("ed_fileName").setText(dump);
  window.control("ed_dbname").setText("other");
  window.ed_dbnameChange();
  EXPECT_EQ(window.control("memo_exe").text(),
            ">> " + appDir +
                "mysql/bin/mysql --default-character-set=utf8 -h127.0.0.1 -uroot "
                "-p******   -P" +
                std::to_string(app.Port) + "  other < " + dump);
}

TEST_F(Restore, IntoANewDatabaseWithoutSafetyDump) {
  testsupport::ScratchDatabase target("restore_new");
  target.run("drop database `" + target.name() + "`");
  const std::string password = testsupport::databaseServer().password;
  EXPECT_EQ(restore(target.name(), dump, password),
            (std::vector<std::string>{">> 正在创建还原的数据库" + target.name(),
                                      ">> 正在还原数据库" + target.name(), ">> 还原完成"}));
  EXPECT_EQ(windows.texts().back(), "还原完成！");
  EXPECT_EQ(checksums(target), checksums(source));
  EXPECT_TRUE(safetyFiles().empty());
}

TEST_F(Restore, OverAnExistingDatabaseItsSafetyDumpGoesAfterAGoodImport) {
  testsupport::ScratchDatabase target("restore_old");
  target.run("create table goods (id int primary key);\ninsert into goods values (42);");
  const std::vector<std::string> lines =
      restore(target.name(), dump, testsupport::databaseServer().password);
  ASSERT_EQ(lines.size(), 5u) << ::testing::PrintToString(lines);
  EXPECT_TRUE(lines[0].starts_with(">> 正在备份原有的数据库" + target.name() + "。备份的文件名：" +
                                   app.BackupPath + target.name() + "-"))
      << lines[0];
  EXPECT_TRUE(lines[0].ends_with("-del.bak"));
  EXPECT_EQ(lines[1], ">> 正在删除原有的数据库" + target.name());
  EXPECT_EQ(lines[4], ">> 还原完成");
  EXPECT_EQ(checksums(target), checksums(source));
  EXPECT_TRUE(safetyFiles().empty());
}

TEST_F(Restore, AFailingImportKeepsTheOldDataInItsSafetyDump) {
  testsupport::ScratchDatabase target("restore_keep");
  target.run(
      "create table goods (id int primary key, name varchar(20)) default charset=gbk;\n"
      "insert into goods values (7,'旧数据');");
  const std::string before = target.query("select * from goods");
  const std::string broken = temp.path() + "broken.SQL";
  std::ofstream(broken) << readFile(dump).substr(0, 2000) << "\nTHIS IS NO STATEMENT;\n";
  const std::vector<std::string> lines =
      restore(target.name(), broken, testsupport::databaseServer().password);
  ASSERT_GE(lines.size(), 5u) << ::testing::PrintToString(lines);
  EXPECT_TRUE(std::find(lines.begin(), lines.end(),
                        ">> 还原数据库" + target.name() + "时失败！还原数据库操作终止！") !=
              lines.end())
      << ::testing::PrintToString(lines);
  EXPECT_EQ(std::find(lines.begin(), lines.end(), ">> 还原完成"), lines.end());
  const std::vector<std::string> kept = safetyFiles();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(lines.back(), ">> 原有的数据在：" + app.BackupPath + kept[0]);
  EXPECT_NE(windows.texts().empty() ? "" : windows.texts().back(), "还原完成！");

  // The old data comes back from the safety dump.
  testsupport::ScratchDatabase recovered("restore_back");
  recovered.run(readFile(app.BackupPath + kept[0]));
  EXPECT_EQ(recovered.query("select * from goods"), before);
}

// A dump cut short right after a whole statement imports without error; the
// old data's only copy must not go with it.
TEST_F(Restore, ADumpCutShortKeepsTheSafetyDumpAndSaysSo) {
  testsupport::ScratchDatabase target("restore_cut");
  target.run("create table goods (id int primary key);\ninsert into goods values (42);");
  const std::string whole = readFile(dump);
  const std::size_t insert = whole.find("INSERT INTO");
  ASSERT_NE(insert, std::string::npos);
  const std::string cut = temp.path() + "cut.SQL";
  std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.find(";\n", insert) + 2);
  const std::vector<std::string> lines =
      restore(target.name(), cut, testsupport::databaseServer().password);
  const std::vector<std::string> kept = safetyFiles();
  ASSERT_EQ(kept.size(), 1u) << ::testing::PrintToString(lines);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2],
            ">> 还原的文件没有备份完成标记，可能不完整。原有的数据仍在：" + app.BackupPath + kept[0]);
  EXPECT_EQ(lines.back(), ">> 还原完成");
  ASSERT_FALSE(windows.texts().empty());
  EXPECT_EQ(windows.texts().back(),
            "还原完成，但还原的文件没有备份完成标记，可能不完整，请检查数据。\r\n原有的数据仍在：" +
                app.BackupPath + kept[0]);
  testsupport::ScratchDatabase recovered("restore_cut_back");
  recovered.run(readFile(app.BackupPath + kept[0]));
  EXPECT_EQ(recovered.query("select id from goods"), "42\n");
}

TEST_F(Restore, WithoutAGoodSafetyDumpNothingIsDropped) {
  testsupport::ScratchDatabase target("restore_safe");
  target.run("create table goods (id int primary key);\ninsert into goods values (42);");
  // The safety dump's folder cannot be made: a file stands in its place.
  std::ofstream(temp.path() + "blocked") << "x";
  app.BackupPath = temp.path() + "blocked/";
  const std::vector<std::string> lines =
      restore(target.name(), dump, testsupport::databaseServer().password);
  ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[1], ">> 备份原有的数据库" + target.name() + "失败。还原数据库操作终止！");
  EXPECT_EQ(target.query("select id from goods"), "42\n");
}

TEST_F(Restore, StraightFromABackupArchive) {
  // The shop's own backup makes the archive.
  const testsupport::DatabaseServer& server = testsupport::databaseServer();
  app.DbUser = server.user;
  app.DbPassword = server.password;
  std::ofstream(appDir + "config/config.ini")
      << "[backup]\r\nbackpath=" << temp.path() << "backup/\r\n";
  ASSERT_EQ(main->backup().BackupDatabase(false), 1);
  std::string archive;
  for (const auto& entry : fs::recursive_directory_iterator(temp.path() + "backup"))
    if (entry.path().extension() == ".zip") archive = entry.path().string();
  ASSERT_FALSE(archive.empty());
  const std::size_t filesBefore = std::distance(
      fs::directory_iterator(fs::path(archive).parent_path()), fs::directory_iterator());

  testsupport::ScratchDatabase target("restore_zip");
  target.run("drop database `" + target.name() + "`");
  EXPECT_EQ(restore(target.name(), archive, server.password).back(), ">> 还原完成");
  EXPECT_EQ(checksums(target), checksums(source));
  // Nothing was unpacked beside the archive.
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(archive).parent_path()),
                          fs::directory_iterator()),
            static_cast<std::ptrdiff_t>(filesBefore));
}

TEST_F(Restore, ANameThatIsNoPlainIdentifierStaysOneName) {
  const std::string name = "restore x`y;z" + std::to_string(getpid());
  EXPECT_EQ(restore(name, dump, testsupport::databaseServer().password).back(), ">> 还原完成");
  testsupport::ScratchDatabase observer("restore_observer");
  EXPECT_EQ(observer.query("select count(*) from information_schema.schemata where "
                           "schema_name='" +
                           name + "'"),
            "1\n");
  EXPECT_EQ(
      observer.query("select count(*) from `restore x``y;z" + std::to_string(getpid()) + "`.goods"),
      "3\n");
  observer.run("drop database `restore x``y;z" + std::to_string(getpid()) + "`");
}

}  // namespace
