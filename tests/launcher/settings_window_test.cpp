// The server settings window through the forms model, on an application
// folder of real INI files: what it shows, what it saves (byte for byte), what
// it refuses, its pages; and the tab bar it is built on, in the model and
// driven by the headless protocol.
#include "launcher/server/settings_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "launcher/ui/headless/headless_backend.h"
#include "platform/profile.h"
#include "platform/system_info.h"
#include "tests/launcher/fake_window_system.h"
#include "tests/support/temp_dir.h"

namespace {

using launcher::TfrmSQL;
using testsupport::FakeWindowSystem;

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// The whole file, or nullopt when there is none.
std::optional<std::string> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A key present with this value, or (nullopt) absent.
using Value = std::optional<std::string>;

std::string iniWith(const char* section, const char* key, const Value& value) {
  return value ? "[" + std::string(section) + "]\r\n" + key + "=" + *value + "\r\n" : "";
}

// What a control shows, as one text: an edit's text, a check box "1" or "0",
// the backup host by the name of its selected radio button.
std::string shown(TfrmSQL& window, const std::string& name) {
  if (name == "server") {
    EXPECT_NE(window.control("rb_tel").checked, window.control("rb_bgp").checked);
    return window.control("rb_tel").checked ? "rb_tel" : "rb_bgp";
  }
  const ui::Control& c = window.control(name);
  if (c.kind() == ui::Kind::CheckBox) return c.checked ? "1" : "0";
  return c.text();
}

// The user's click as the backends deliver it.
void click(ui::Control& c) {
  if (c.kind() == ui::Kind::CheckBox) c.checked = !c.checked;
  if (c.kind() == ui::Kind::RadioButton) c.checked = true;
  if (c.onClick) c.onClick();
}

void pick(TfrmSQL& window, const std::string& caption) {
  ui::Control& tabs = window.control("PageControl1");
  tabs.setText(caption);
  tabs.onChange();
}

std::vector<std::string> visibleControls(const TfrmSQL& window) {
  std::vector<std::string> names;
  for (const auto& c : window.controls())
    if (c->visible) names.push_back(c->name());
  std::sort(names.begin(), names.end());
  return names;
}

class SettingsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    appDir = temp.path() + "app/";
    platform::createFolders(appDir + "config");
    platform::createFolders(appDir + "mysql");
    myIni = appDir + "mysql/my.ini";
    dbIni = appDir + "config/db.ini";
    configIni = appDir + "config/config.ini";
    app.MysqlDir = "mysql/";
    app.ServerIp = "127.0.0.1";
  }

  // A window as the toolbar opens it: created, filled, shown.
  TfrmSQL& open() {
    window = std::make_unique<TfrmSQL>(app);
    window->FormCreate();
    desktop.show(*window);
    return *window;
  }

  void set(const std::string& name, const std::string& text) {
    window->control(name).setText(text);
  }

  TempDir temp;
  std::string appDir, myIni, dbIni, configIni;
  FakeWindowSystem windows;
  ui::Desktop desktop{windows};
  launcher::App app{temp.path() + "app/", desktop, platform::Processes::Default()};
  std::unique_ptr<TfrmSQL> window;
};

TEST_F(SettingsWindow, ControlsHaveTheirKindsTextsAndLabelsBesideThem) {
  TfrmSQL w(app);  // as created, before FormCreate fills it
  EXPECT_EQ(w.name(), "frmSQL");
  EXPECT_EQ(w.className(), "TfrmSQL");
  EXPECT_EQ(w.caption, "参数设置");
  EXPECT_EQ(w.clientWidth, 531);
  EXPECT_EQ(w.clientHeight, 404);

  struct Row {
    const char* name;
    ui::Kind kind;
    const char* text;
    bool checked;
  };
  const Row rows[] = {{"chk_127", ui::Kind::CheckBox, "仅限本机访问MySQL数据库", false},
                      {"cbk_CmdRun", ui::Kind::CheckBox, "以命令行方式运行", false},
                      {"ed_serverip", ui::Kind::Edit, "", false},
                      {"cbb_start", ui::Kind::ComboBox, "0", false},
                      {"ed_port", ui::Kind::Edit, "3306", false},
                      {"ed_tempsize", ui::Kind::Edit, "50M", false},
                      {"ed_dbname", ui::Kind::Edit, "", false},
                      {"ed_max_allowed_packet", ui::Kind::Edit, "20M", false},
                      {"ed_url", ui::Kind::Edit, "", false},
                      {"ed_comname", ui::Kind::Edit, "", false},
                      {"rb_tel", ui::Kind::RadioButton, "电信联通双线机房", true},
                      {"rb_bgp", ui::Kind::RadioButton, "BGP机房", false},
                      {"bt_save", ui::Kind::Button, "保存", false},
                      {"bt_close", ui::Kind::Button, "关闭", false},
                      {"PageControl1", ui::Kind::TabBar, "网络版设置", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(w.control(row.name).kind(), row.kind);
    EXPECT_EQ(w.control(row.name).text(), row.text);
    EXPECT_EQ(w.control(row.name).checked, row.checked);
  }
  EXPECT_EQ(w.control("PageControl1").items,
            (std::vector<std::string>{"数据库设置", "网络版设置", "云端备份"}));
  EXPECT_TRUE(w.control("cbb_start").editable);
  EXPECT_EQ(w.control("cbb_start").items,
            (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6"}));

  // Each field's label stands on its row, left of it.
  const std::map<std::string, std::string> labels = {
      {"ed_serverip", "局域网服务器IP："}, {"cbb_start", "MySQL启动方式："},
      {"ed_port", "使用端口号："},         {"ed_tempsize", "临时表内存大小："},
      {"ed_dbname", "联结数据库："},       {"ed_max_allowed_packet", "最大允许包："},
      {"ed_url", "服务器地址："},          {"ed_comname", "公司编码："}};
  for (const auto& [field, caption] : labels) {
    SCOPED_TRACE(field);
    const ui::Geometry& f = w.control(field).bounds;
    const auto label = std::find_if(w.controls().begin(), w.controls().end(), [&](const auto& c) {
      return c->kind() == ui::Kind::Label && c->text() == caption;
    });
    ASSERT_NE(label, w.controls().end());
    const ui::Geometry& l = (*label)->bounds;
    EXPECT_LE(l.left + l.width, f.left);
    EXPECT_EQ(l.top, f.top);
  }
  // The explanations stand right of the start-mode box, from its row down.
  const ui::Geometry& start = w.control("cbb_start").bounds;
  int below = start.top - 1;
  for (const char* note :
       {"说明：", "0-- 正常启动", "1-- 少量数据出错，跳过启动",
        "4-- MySQL崩溃，跳过主线程，直接启动", "6-- 保存MySQL启动，先导出数据"}) {
    SCOPED_TRACE(note);
    const auto label = std::find_if(w.controls().begin(), w.controls().end(),
                                    [&](const auto& c) { return c->text() == note; });
    ASSERT_NE(label, w.controls().end());
    const ui::Geometry& l = (*label)->bounds;
    EXPECT_GE(l.left, start.left + start.width);
    EXPECT_LE(l.left + l.width, w.clientWidth);
    EXPECT_GT(l.top, below);
    below = l.top;
  }
  // The buttons sit in the bottom right corner, save before close.
  const ui::Geometry& save = w.control("bt_save").bounds;
  const ui::Geometry& close = w.control("bt_close").bounds;
  EXPECT_LE(save.left + save.width, close.left);
  EXPECT_GE(close.left + close.width, w.clientWidth - 16);
  EXPECT_LE(close.left + close.width, w.clientWidth);
  EXPECT_GE(close.top + close.height, w.clientHeight - 16);
  EXPECT_LE(close.top + close.height, w.clientHeight);
}

// Only a local server's my.ini is shown; otherwise the initial texts stay.
TEST_F(SettingsWindow, LoadsMyIniOnlyForALocalServer) {
  struct Row {
    const char* name;
    const char* serverIp;
    Value myIni;
    const char* tempsize;
    bool local;
    const char* start;
    int startIndex;
    const char* packet;
  };
  const std::string full =
      "[mysqld]\r\ntmp_table_size=64M\r\nbind-address=127.0.0.1\r\ninnodb_force_recovery=4\r\n"
      "max_allowed_packet=32M\r\n";
  const Row rows[] = {
      {"local, every key", "127.0.0.1", full, "64M", true, "4", 4, "32M"},
      {"local, keys looked up ignoring case", "127.0.0.1",
       "[MySQLD]\nTMP_TABLE_SIZE=1G\nBind-Address = 127.0.0.1\nInnodb_Force_Recovery=6\n", "1G",
       true, "6", 6, "10M"},
      {"local, bound to every address", "127.0.0.1",
       "[mysqld]\r\nbind-address=0.0.0.0\r\ninnodb_force_recovery=9\r\n", "10M", false, "9", -1,
       "10M"},
      {"local, keys of another section", "127.0.0.1",
       "[client]\r\ntmp_table_size=64M\r\nbind-address=127.0.0.1\r\n", "10M", false, "0", 0, "10M"},
      {"local, no my.ini", "127.0.0.1", std::nullopt, "10M", false, "0", 0, "10M"},
      {"remote", "192.168.1.20", full, "50M", false, "0", 0, "20M"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::remove(myIni.c_str());
    if (row.myIni) writeFile(myIni, *row.myIni);
    app.ServerIp = row.serverIp;
    TfrmSQL& w = open();
    EXPECT_EQ(w.control("ed_tempsize").text(), row.tempsize);
    EXPECT_EQ(w.control("chk_127").checked, row.local);
    EXPECT_EQ(w.control("cbb_start").text(), row.start);
    EXPECT_EQ(w.control("cbb_start").itemIndex, row.startIndex);
    EXPECT_EQ(w.control("ed_max_allowed_packet").text(), row.packet);
    EXPECT_EQ(w.control("ed_port").text(), "");  // the port is the launcher's, never my.ini's
  }
}

// db.ini is read first for every key; an empty or missing value there falls
// back to config.ini, then to the default.
TEST_F(SettingsWindow, DbIniWinsOverConfigIniForEveryKey) {
  struct Row {
    const char* section;
    const char* key;
    const char* control;
    Value db;
    Value config;
    const char* expected;
  };
  const Row rows[] = {
      {"db", "name", "ed_dbname", "shop", "other", "shop"},
      {"db", "name", "ed_dbname", std::nullopt, "other", "other"},
      {"db", "name", "ed_dbname", "", "other", "other"},
      {"db", "name", "ed_dbname", std::nullopt, std::nullopt, ""},
      {"db", "serverip", "ed_serverip", "10.0.0.2", "10.0.0.3", "10.0.0.2"},
      {"db", "serverip", "ed_serverip", "", "10.0.0.3", "10.0.0.3"},
      {"db", "serverip", "ed_serverip", std::nullopt, std::nullopt, "127.0.0.1"},
      {"db", "serverip", "ed_serverip", std::nullopt, "", ""},
      {"db", "url", "ed_url", "a.example:81", "b.example", "a.example:81"},
      {"db", "url", "ed_url", std::nullopt, "b.example", "b.example"},
      {"db", "comname", "ed_comname", "C01", "C02", "C01"},
      {"db", "comname", "ed_comname", "", "C02", "C02"},
      {"db", "port", "ed_port", "3310", "3311", "3310"},
      {"db", "port", "ed_port", "", "3311", "3311"},
      {"db", "port", "ed_port", std::nullopt, std::nullopt, ""},
      {"db", "cmdrun", "cbk_CmdRun", "1", "0", "1"},
      {"db", "cmdrun", "cbk_CmdRun", "0", "1", "0"},
      {"db", "cmdrun", "cbk_CmdRun", std::nullopt, "1", "1"},
      {"db", "cmdrun", "cbk_CmdRun", "", "2", "1"},
      {"db", "cmdrun", "cbk_CmdRun", std::nullopt, "yes", "0"},
      {"db", "cmdrun", "cbk_CmdRun", std::nullopt, std::nullopt, "0"},
      {"backup", "server", "server", "2", "1", "rb_bgp"},
      {"backup", "server", "server", "1", "2", "rb_tel"},
      {"backup", "server", "server", std::nullopt, "2", "rb_bgp"},
      {"backup", "server", "server", "", "3", "rb_bgp"},
      {"backup", "server", "server", std::nullopt, std::nullopt, "rb_tel"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.key) + " db=" + row.db.value_or("(none)") +
                 " config=" + row.config.value_or("(none)"));
    writeFile(dbIni, iniWith(row.section, row.key, row.db));
    writeFile(configIni, iniWith(row.section, row.key, row.config));
    EXPECT_EQ(shown(open(), row.control), row.expected);
  }
}

TEST_F(SettingsWindow, RadioButtonsExcludeEachOther) {
  TfrmSQL& w = open();
  pick(w, "云端备份");
  for (const char* chosen : {"rb_bgp", "rb_tel", "rb_bgp"}) {
    SCOPED_TRACE(chosen);
    click(w.control(chosen));
    EXPECT_EQ(shown(w, "server"), chosen);
  }
}

// my.ini: the five keys replaced or added in [mysqld], bind-address by the
// check box, every other byte as it was, whatever the server address.
TEST_F(SettingsWindow, SaveWritesTheServerOptionsAndKeepsTheRestOfMyIni) {
  struct Row {
    const char* name;
    const char* serverIp;
    Value before;
    std::map<std::string, std::string> typed;
    bool local;
    std::string after;
  };
  const std::string head =
      "; written by the installer\r\n[client]\r\nport=3309\r\n\r\n[mysqld]\r\n"
      "basedir=\"/opt/norvex/mysql/\"\r\ndatadir=\"/opt/norvex/mysql/data\"\r\n";
  const std::string tail = "\r\n[mysqldump]\r\nquick\r\nmax_allowed_packet = 16M\r\n";
  const Row rows[] = {
      {"local, the box cleared removes bind-address",
       "127.0.0.1",
       head +
           "port=3309\r\ntmp_table_size=64M\r\nbind-address=127.0.0.1\r\n"
           "innodb_force_recovery=0\r\nmax_allowed_packet=32M\r\n" +
           tail,
       {{"ed_port", "3310"}, {"ed_tempsize", "128M"}},
       false,
       head +
           "port=3310\r\ntmp_table_size=128M\r\ninnodb_force_recovery=0\r\n"
           "max_allowed_packet=32M\r\n" +
           tail},
      {"local, the box checked adds bind-address after the last key",
       "127.0.0.1",
       head + "Port = 3309\r\nsql_mode=\"\"\r\n" + tail,
       {{"ed_port", "3306"}, {"cbb_start", "1"}, {"ed_max_allowed_packet", "64m"}},
       true,
       head +
           "port=3306\r\nsql_mode=\"\"\r\ntmp_table_size=10M\r\nbind-address=127.0.0.1\r\n"
           "innodb_force_recovery=1\r\nmax_allowed_packet=64m\r\n" +
           tail},
      {"remote, the shown initial texts go into the local my.ini",
       "192.168.1.20",
       "[mysqld]\n# keep me\nport=3309\n",
       {{"ed_port", "3309"}},
       false,
       "[mysqld]\n# keep me\nport=3309\ntmp_table_size=50M\ninnodb_force_recovery=0\n"
       "max_allowed_packet=20M\n"},
      {"no my.ini yet: the first save creates it",
       "127.0.0.1",
       std::nullopt,
       {{"ed_port", "3309"}},
       true,
       "[mysqld]\r\nport=3309\r\ntmp_table_size=10M\r\nbind-address=127.0.0.1\r\n"
       "innodb_force_recovery=0\r\nmax_allowed_packet=10M\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::remove(myIni.c_str());
    if (row.before) writeFile(myIni, *row.before);
    app.ServerIp = row.serverIp;
    TfrmSQL& w = open();
    for (const auto& [name, text] : row.typed) set(name, text);
    w.control("chk_127").checked = row.local;
    w.bt_saveClick();
    EXPECT_EQ(fileBytes(myIni), row.after);
    EXPECT_TRUE(w.closed);
  }
}

TEST_F(SettingsWindow, SaveWritesTheConnectionEntriesAndTheTwoValuesInMemory) {
  struct Row {
    const char* choice;
    bool cmdRun;
    const char* server;
    const char* cmdrun;
  };
  const Row rows[] = {{"rb_bgp", true, "2", "1"}, {"rb_tel", false, "1", "0"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.choice);
    windows.messages.clear();
    writeFile(dbIni, "; connection\r\n[db]\r\nname=old\r\ndefaultsubcom=01\r\n");
    writeFile(configIni, "[db]\r\nurl=config.example\r\n");
    app.CmdRun = !row.cmdRun;
    app.Url = "before.example";
    app.ServerIp = "127.0.0.1";
    app.DbName = "old";
    TfrmSQL& w = open();
    set("ed_dbname", "shop");
    set("ed_serverip", "192.168.1.9");
    set("ed_url", "svc.example:8080");
    set("ed_port", "3310");
    set("ed_comname", "门店01");
    w.control("cbk_CmdRun").checked = row.cmdRun;
    click(w.control(row.choice));
    w.bt_saveClick();

    EXPECT_EQ(fileBytes(dbIni),
              std::string("; connection\r\n[db]\r\nname=shop\r\ndefaultsubcom=01\r\n"
                          "serverip=192.168.1.9\r\nurl=svc.example:8080\r\nport=3310\r\n"
                          "comname=门店01\r\ncmdrun=") +
                  row.cmdrun + "\r\n[backup]\r\nserver=" + row.server + "\r\n");
    EXPECT_EQ(fileBytes(configIni), "[db]\r\nurl=config.example\r\n");
    EXPECT_EQ(app.CmdRun, row.cmdRun);
    EXPECT_EQ(app.Url, "svc.example:8080");
    // The rest waits for the next start.
    EXPECT_EQ(app.ServerIp, "127.0.0.1");
    EXPECT_EQ(app.DbName, "old");
    ASSERT_EQ(windows.messages.size(), 1u);
    EXPECT_EQ(windows.messages[0].caption, "提示");
    EXPECT_EQ(windows.messages[0].text, "保存成功！");
    EXPECT_EQ(windows.messages[0].icon, ui::Icon::Information);
    EXPECT_TRUE(w.closed);
  }
}

TEST_F(SettingsWindow, WithoutAMysqlFolderOnlyDbIniIsWritten) {
  app.MysqlDir.clear();
  TfrmSQL& w = open();
  set("ed_port", "3309");
  w.bt_saveClick();
  EXPECT_EQ(fileBytes(appDir + "my.ini"), std::nullopt);
  EXPECT_EQ(fileBytes(myIni), std::nullopt);
  EXPECT_NE(fileBytes(dbIni), std::nullopt);
  EXPECT_EQ(windows.texts(), std::vector<std::string>{"保存成功！"});
}

// A value the server would not start with is refused by its field's label:
// nothing is written, the window stays open on the field.
TEST_F(SettingsWindow, RefusesBadValuesWithoutWritingAnything) {
  struct Row {
    const char* control;
    std::vector<std::string> bad;
    const char* message;
  };
  const Row rows[] = {
      {"ed_port",
       {"abc", "0", "65536", "", " ", "-1", "+80", "80a", "33 06", "3306.0", "99999999999"},
       "使用端口号必须是1到65535之间的整数"},
      {"ed_tempsize",
       {"abc", "10X", "", "M", "10MB", "-5M", "1.5M", "10 M", "K10"},
       "临时表内存大小必须是整数，可带单位K、M或G，例如20M"},
      {"ed_max_allowed_packet",
       {"10X", "", "G", "20T"},
       "最大允许包必须是整数，可带单位K、M或G，例如20M"},
      {"cbb_start", {"7", "", "a", "-1", "01", "0 1", "4M"}, "MySQL启动方式必须是0到6之间的整数"},
  };
  const std::string myIniBefore = "[mysqld]\r\nport=3309\r\nbind-address=127.0.0.1\r\n";
  const std::string dbIniBefore = "[db]\r\nport=3309\r\n";
  for (const Row& row : rows) {
    for (const std::string& bad : row.bad) {
      SCOPED_TRACE(std::string(row.control) + " = '" + bad + "'");
      writeFile(myIni, myIniBefore);
      writeFile(dbIni, dbIniBefore);
      windows.messages.clear();
      app.CmdRun = false;
      app.Url = "kept.example";
      TfrmSQL& w = open();
      set("ed_url", "new.example");
      w.control("cbk_CmdRun").checked = true;
      set(row.control, bad);
      w.bt_saveClick();

      EXPECT_EQ(fileBytes(myIni), myIniBefore);
      EXPECT_EQ(fileBytes(dbIni), dbIniBefore);
      ASSERT_EQ(windows.messages.size(), 1u);
      EXPECT_EQ(windows.messages[0].caption, "提示");
      EXPECT_EQ(windows.messages[0].text, row.message);
      EXPECT_EQ(windows.messages[0].icon, ui::Icon::Warning);
      EXPECT_FALSE(w.closed);
      EXPECT_FALSE(app.CmdRun);
      EXPECT_EQ(app.Url, "kept.example");
      // The field is shown, wherever the user was.
      EXPECT_EQ(w.control("PageControl1").text(), "数据库设置");
      EXPECT_TRUE(w.control(row.control).visible);
      EXPECT_EQ(w.focus, row.control);
    }
  }
}

// The edges that are still good are saved, without the blanks around them.
TEST_F(SettingsWindow, AcceptsGoodValuesAtTheEdgesTrimmed) {
  struct Row {
    const char* control;
    const char* typed;
    const char* key;
    const char* written;
  };
  const Row rows[] = {
      {"ed_port", "1", "port", "1"},
      {"ed_port", "65535", "port", "65535"},
      {"ed_port", " 3307 ", "port", "3307"},
      {"ed_tempsize", "1024", "tmp_table_size", "1024"},
      {"ed_tempsize", "16k", "tmp_table_size", "16k"},
      {"ed_tempsize", "\t2G ", "tmp_table_size", "2G"},
      {"ed_max_allowed_packet", "512K", "max_allowed_packet", "512K"},
      {"ed_max_allowed_packet", "0", "max_allowed_packet", "0"},
      {"cbb_start", "6", "innodb_force_recovery", "6"},
      {"cbb_start", " 0", "innodb_force_recovery", "0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.control) + " = '" + row.typed + "'");
    windows.messages.clear();
    TfrmSQL& w = open();
    set("ed_port", "3309");
    set(row.control, row.typed);
    w.bt_saveClick();
    EXPECT_EQ(windows.texts(), std::vector<std::string>{"保存成功！"});
    EXPECT_EQ(platform::readProfileString(myIni, "mysqld", row.key, "(none)"), row.written);
    if (std::string(row.key) == "port") {
      EXPECT_EQ(platform::readProfileString(dbIni, "db", "port", "(none)"), row.written);
    }
  }
}

// A file that cannot be written is named; nothing claims success and the
// window stays open with what was typed.
TEST_F(SettingsWindow, AFileThatCannotBeWrittenIsNamed) {
  struct Row {
    const char* name;
    const char* mysqlDir;
    const char* configFolder;
    std::string message;
    bool myIniWritten;
  };
  const Row rows[] = {
      {"no MySQL folder", "nowhere/", "config",
       "保存失败，无法写入文件 " + appDir + "nowhere/my.ini", false},
      {"no config folder", "mysql/", "gone", "保存失败，无法写入文件 " + appDir + "config/db.ini",
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::remove(myIni.c_str());
    std::filesystem::remove_all(appDir + "config");
    platform::createFolders(appDir + row.configFolder);
    windows.messages.clear();
    app.MysqlDir = row.mysqlDir;
    app.CmdRun = false;
    TfrmSQL& w = open();
    set("ed_port", "3309");
    w.control("cbk_CmdRun").checked = true;
    w.bt_saveClick();
    ASSERT_EQ(windows.messages.size(), 1u);
    EXPECT_EQ(windows.messages[0].caption, "提示");
    EXPECT_EQ(windows.messages[0].text, row.message);
    EXPECT_EQ(windows.messages[0].icon, ui::Icon::Warning);
    EXPECT_EQ(fileBytes(myIni).has_value(), row.myIniWritten);
    EXPECT_EQ(fileBytes(dbIni), std::nullopt);
    EXPECT_FALSE(w.closed);
    EXPECT_FALSE(app.CmdRun);
  }
}

TEST_F(SettingsWindow, CloseLeavesTheFilesAlone) {
  writeFile(myIni, "[mysqld]\r\nport=3309\r\n");
  TfrmSQL& w = open();
  set("ed_port", "4000");
  set("ed_dbname", "changed");
  w.bt_closeClick();
  EXPECT_TRUE(w.closed);
  EXPECT_EQ(fileBytes(myIni), "[mysqld]\r\nport=3309\r\n");
  EXPECT_EQ(fileBytes(dbIni), std::nullopt);
  EXPECT_TRUE(windows.messages.empty());
}

TEST_F(SettingsWindow, ReopeningShowsWhatWasSaved) {
  // config.ini says otherwise for every key: what the window saved must win.
  writeFile(configIni,
            "[db]\r\nname=cfg\r\nserverip=10.9.9.9\r\nurl=cfg.example\r\nport=3399\r\n"
            "comname=CFG\r\ncmdrun=0\r\n[backup]\r\nserver=1\r\n");
  const std::map<std::string, std::string> typed = {
      {"ed_dbname", "shop"}, {"ed_serverip", "127.0.0.1"},    {"ed_url", "svc.example"},
      {"ed_port", "3310"},   {"ed_comname", "C07"},           {"ed_tempsize", "96M"},
      {"cbb_start", "2"},    {"ed_max_allowed_packet", "48M"}};
  TfrmSQL& first = open();
  for (const auto& [name, text] : typed) set(name, text);
  first.control("chk_127").checked = true;
  first.control("cbk_CmdRun").checked = true;
  click(first.control("rb_bgp"));
  first.bt_saveClick();
  ASSERT_TRUE(first.closed);

  TfrmSQL& again = open();
  for (const auto& [name, text] : typed) EXPECT_EQ(again.control(name).text(), text) << name;
  EXPECT_TRUE(again.control("chk_127").checked);
  EXPECT_EQ(shown(again, "cbk_CmdRun"), "1");
  EXPECT_EQ(shown(again, "server"), "rb_bgp");
  EXPECT_EQ(again.control("cbb_start").itemIndex, 2);
}

TEST_F(SettingsWindow, PagesShowOnlyTheirOwnControls) {
  const std::vector<std::string> always = {"PageControl1", "bt_close", "bt_save"};
  struct Row {
    const char* caption;
    std::vector<std::string> page;
  };
  const Row rows[] = {
      {"数据库设置",
       {"chk_127", "cbk_CmdRun", "ed_serverip", "cbb_start", "ed_port", "ed_tempsize", "ed_dbname",
        "ed_max_allowed_packet", "Label1", "Label2", "Label3", "Label4", "Label5", "Label6",
        "Label7", "Label8", "Label9", "Label10", "Label11"}},
      {"网络版设置", {"Label12", "ed_url", "Label13", "Label14", "ed_comname"}},
      {"云端备份", {"rb_tel", "rb_bgp"}},
      {"no such page", {"rb_tel", "rb_bgp"}},  // stays where it was
      {"网络版设置", {"Label12", "ed_url", "Label13", "Label14", "ed_comname"}},
  };
  const auto withAlways = [&always](std::vector<std::string> names) {
    names.insert(names.end(), always.begin(), always.end());
    std::sort(names.begin(), names.end());
    return names;
  };
  TfrmSQL& w = open();
  EXPECT_EQ(visibleControls(w), withAlways(rows[1].page));  // it opens on the second page
  std::vector<std::string> onSomePage;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.caption);
    pick(w, row.caption);
    EXPECT_EQ(visibleControls(w), withAlways(row.page));
    onSomePage.insert(onSomePage.end(), row.page.begin(), row.page.end());
  }
  // Every control is on a page, or always there.
  onSomePage = withAlways(onSomePage);
  onSomePage.erase(std::unique(onSomePage.begin(), onSomePage.end()), onSomePage.end());
  std::vector<std::string> all;
  for (const auto& c : w.controls()) all.push_back(c->name());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(onSomePage, all);
}

TEST(TabBar, TextIsTheCurrentCaptionAndACaptionSelectsItsPage) {
  struct Row {
    int index;
    const char* set;
    int expectedIndex;
    const char* expectedText;
  };
  const Row rows[] = {
      {1, "甲", 0, "甲"}, {0, "丙", 2, "丙"}, {2, "丁", 2, "丙"},
      {-1, "", -1, ""},   {5, "乙", 1, "乙"}, {-1, "x", -1, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.set);
    ui::Control tabs("tabs", ui::Kind::TabBar);
    tabs.items = {"甲", "乙", "丙"};
    tabs.itemIndex = row.index;
    tabs.setText(row.set);
    EXPECT_EQ(tabs.itemIndex, row.expectedIndex);
    EXPECT_EQ(tabs.text(), row.expectedText);
  }
  EXPECT_STREQ(ui::kindName(ui::Kind::TabBar), "tabbar");
}

// The window on the headless backend, as a script drives it: dump shows the
// pages, set picks one by its caption, a control of a hidden page refuses.
TEST_F(SettingsWindow, HeadlessSetPicksAPageByItsCaption) {
  using json = nlohmann::json;
  const auto utf8 = [](const char8_t* text) {
    return std::string(reinterpret_cast<const char*>(text));
  };
  std::istringstream in(
      R"({"op":"dump","window":"frmSQL"})"
      "\n" +
      utf8(u8R"({"op":"set","window":"frmSQL","control":"PageControl1","text":"云端备份"})") +
      "\n"
      R"({"op":"click","window":"frmSQL","control":"rb_bgp"})"
      "\n"
      R"({"op":"click","window":"frmSQL","control":"ed_port"})"
      "\n"
      R"({"op":"dump","window":"frmSQL"})"
      "\n");
  std::ostringstream out;
  {
    ui::HeadlessBackend backend(in, out);
    ui::Desktop headless(backend);
    backend.attach(headless);
    launcher::App headlessApp(appDir, headless, platform::Processes::Default());
    TfrmSQL w(headlessApp);
    w.FormCreate();
    headless.show(w);
    backend.run(w);  // until the input ends and the window closes
  }
  std::vector<json> replies;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    json j = json::parse(line);
    if (!j.contains("event")) replies.push_back(j);
  }
  ASSERT_EQ(replies.size(), 5u);
  const json& before = replies[0]["window"]["controls"];
  EXPECT_EQ(before["PageControl1"]["kind"], "tabbar");
  EXPECT_EQ(before["PageControl1"]["items"],
            json::array({utf8(u8"数据库设置"), utf8(u8"网络版设置"), utf8(u8"云端备份")}));
  EXPECT_EQ(before["PageControl1"]["itemIndex"], 1);
  EXPECT_EQ(before["PageControl1"]["text"], utf8(u8"网络版设置"));
  EXPECT_EQ(before["rb_tel"]["visible"], false);
  EXPECT_EQ(replies[1]["ok"], true);
  EXPECT_EQ(replies[2]["ok"], true);
  EXPECT_EQ(replies[3]["ok"], false);  // ed_port is on a hidden page
  const json& after = replies[4]["window"]["controls"];
  EXPECT_EQ(after["PageControl1"]["itemIndex"], 2);
  EXPECT_EQ(after["rb_bgp"]["visible"], true);
  EXPECT_EQ(after["rb_bgp"]["checked"], true);
  EXPECT_EQ(after["rb_tel"]["checked"], false);
  EXPECT_EQ(after["ed_url"]["visible"], false);
}

}  // namespace
