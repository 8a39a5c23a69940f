// Faults of a shop's folder met at the login: the stored account unreadable
// or garbled, and the cashier program not executable. Each is said in a box
// or a status block, no cashier runs, and the configuration files stay as
// they were for the technician to see.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "tests/faults/shop_launcher.h"
#include "tests/support/demo_folder.h"

namespace {

namespace fs = std::filesystem;
using faults::json;
using faults::utf8;

struct Case {
  const char* name;
  std::function<void(const std::string& app)> fault;
  std::vector<std::string> boxes;  // texts of the message boxes, "" for any
  std::string status;              // a line of Memo1 ("<app>" for the folder), or ""
};

TEST(ConfigurationFaults, AreReportedAtTheLoginAndChangeNothing) {
  const Case cases[] = {
      {"config.xml unreadable (a folder in its place)",
       [](const std::string& app) {
         fs::remove(app + "config/config.xml");
         fs::create_directory(app + "config/config.xml");
       },
       {"<app>config/config.xml: Is a directory", utf8(u8"读XML配置文件错误！")},
       ""},
      {"config.xml with a password that is no hexadecimal text",
       [](const std::string& app) {
         std::string xml = testsupport::readFile(app + "config/config.xml");
         xml.replace(xml.find("<dbpass>") + 8, 4, "zz!!");
         testsupport::writeFile(app + "config/config.xml", xml);
       },
       {utf8(u8"本机首次登录程序，就使用root或admin用户登录")},
       ""},
      {"the cashier program not executable",
       [](const std::string& app) {
         fs::remove(app + "pos/pos");
         testsupport::writeFile(app + "pos/pos", "#!/bin/sh\necho \"$@\" > \"$0.args\"\n");
         chmod((app + "pos/pos").c_str(), 0644);
       },
       {},
       "<app>pos/pos: Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    faults::ShopFolder shop("config");
    const std::string& app = shop.appDir();
    c.fault(app);
    const auto snapshot = [&] {
      std::map<std::string, std::string> files;
      for (const char* name : {"config.ini", "config.xml"}) {
        const std::string path = app + "config/" + name;
        files[path] = fs::is_regular_file(path) ? testsupport::readFile(path) : "/";
      }
      return files;
    };
    const auto before = snapshot();
    faults::HeadlessLauncher launcher(shop);
    // The login window closes by itself only after a good login.
    launcher.send(R"({"op":"click","window":"FMain","control":"BitBtn1"})");
    launcher.send(R"({"op":"set","window":"fLogin","control":"cbx_userName","text":")" +
                  utf8(u8"店长") + R"("})");
    launcher.send(R"({"op":"set","window":"fLogin","control":"txt_password","text":"123"})");
    launcher.send(R"({"op":"key","window":"TfLogin","control":"txt_password","key":13})");
    launcher.send(R"({"op":"close","window":"fLogin"})");
    for (int replies = 0; replies < 5; ++replies) launcher.reply("the login");
    const auto fill = [&](std::string text) {
      if (const auto at = text.find("<app>"); at != std::string::npos) text.replace(at, 5, app);
      return text;
    };
    std::vector<std::string> boxes, expected;
    for (const json& event : launcher.events)
      if (event["event"] == "message") boxes.push_back(event["text"]);
    for (const std::string& box : c.boxes) expected.push_back(fill(box));
    EXPECT_EQ(boxes, expected);
    if (!c.status.empty()) {
      const std::vector<std::string> memo = launcher.lines("FMain", "Memo1");
      EXPECT_NE(std::find(memo.begin(), memo.end(), fill(c.status)), memo.end());
    }
    EXPECT_FALSE(fs::exists(app + "pos/pos.args"));  // no cashier ran
    EXPECT_EQ(launcher.finish(), 0);
    EXPECT_EQ(snapshot(), before);
  }
}

// config.ini saved as UTF-8 by an editor: it reads as the text it stands for.
TEST(ConfigurationFaults, AConfigurationSavedAsUtf8ReadsAsItsText) {
  faults::ShopFolder shop("utf8ini");
  const std::string ini = shop.appDir() + "config/config.ini";
  testsupport::writeFile(ini, *platform::gbkToUtf8(testsupport::readFile(ini)));
  faults::HeadlessLauncher launcher(shop);
  EXPECT_EQ(
      launcher.ask(R"({"op":"dump","window":"FMain"})")["window"]["controls"]["BitBtn1"]["caption"],
      utf8(u8"收银软件"));
  launcher.logIn(utf8(u8"店长"), "123");
  EXPECT_EQ(launcher.finish(), 0);
  const auto cashier =
      std::find_if(launcher.events.begin(), launcher.events.end(), [&](const json& e) {
        return e["event"] == "process" && e["argv"][0] == shop.appDir() + "pos/pos";
      });
  EXPECT_NE(cashier, launcher.events.end());
}

// The server's data folder read-only (a disk gone read-only, a wrong
// owner): the server cannot start, and the launcher says so and goes on.
TEST(ConfigurationFaults, ADataFolderThatCannotBeWrittenIsAFailedStart) {
  testsupport::DemoFolder folder(CREATE_APPDIR, CLIENT_STANDIN);
  const std::string data = folder.app() + "mysql/data";
  if (!faults::privateMounts() || mount(data.c_str(), data.c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "mounting needs root";
  ASSERT_EQ(mount(nullptr, data.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
  testsupport::ScopedSetting dataRoot("NORVEX_DATA_ROOT", folder.temp() + "data/"),
      systemRoot("NORVEX_SYSTEM_ROOT", folder.temp() + "system/");
  testsupport::HeadlessLauncher launcher(MAIN_PATH, folder.app());
  EXPECT_EQ(launcher.ask(R"({"op":"click","window":"FMain","control":"sp_start"})")["ok"], true);
  const std::vector<std::string> memo = launcher.lines("FMain", "Memo1");
  EXPECT_TRUE(std::any_of(memo.begin(), memo.end(), [&](const std::string& line) {
    return line.starts_with(data + "/") && line.ends_with(": Read-only file system");
  }));
  ASSERT_FALSE(memo.empty());
  EXPECT_EQ(memo.back(), utf8(u8"服务启动失败！"));
  EXPECT_NE(
      launcher.ask(R"({"op":"dump","window":"FMain"})")["window"]["controls"]["ed_status"]["text"],
      utf8(u8"已启动服务"));
  EXPECT_FALSE(folder.serverAnswers());
  EXPECT_EQ(launcher.finish(), 0);
  umount2(data.c_str(), MNT_DETACH);
}

}  // namespace
