// main --headless end to end: requests and replies, events, modal answers
// and the end of input, on an application folder made by the test.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/system_info.h"
#include "tests/support/line_process.h"
#include "tests/support/temp_dir.h"

namespace {

using nlohmann::json;

// The protocol is UTF-8, while plain literals here are GBK bytes.
std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

class Headless : public ::testing::Test {
 protected:
  void SetUp() override {
    appDir = temp.path() + "app/";
    platform::createFolders(appDir + "config");
    platform::createFolders(appDir + "sysdll");
    setenv("NORVEX_DATA_ROOT", (temp.path() + "data/").c_str(), 1);
    setenv("NORVEX_SYSTEM_ROOT", (temp.path() + "system/").c_str(), 1);
    setenv("NORVEX_REGISTRY_FILE", (temp.path() + "registry.ini").c_str(), 1);
    setenv("NORVEX_OPEN_COMMAND", "/bin/true", 1);
  }

  void launch(const std::string& config) {
    writeFile(appDir + "config/config.ini", config);
    process = std::make_unique<testsupport::LineProcess>(
        std::vector<std::string>{MAIN_PATH, "--appdir", appDir, "--headless"});
  }

  // The next line that is not an event; events met on the way are kept.
  json ask(const std::string& request) {
    process->send(request);
    for (;;) {
      std::optional<std::string> line = process->receive();
      if (!line) throw std::runtime_error("no reply to " + request);
      json j = json::parse(*line);
      if (j.contains("event")) {
        events.push_back(j);
        continue;
      }
      return j;
    }
  }

  TempDir temp;
  std::string appDir;
  std::unique_ptr<testsupport::LineProcess> process;
  std::vector<json> events;
};

TEST_F(Headless, DumpShowsTheMainWindowFilledFromTheConfiguration) {
  launch("[db]\r\nname=shop\r\nport=3310\r\n[Exe]\r\ntitle=收银软件\r\n");
  const json r = ask(R"({"op":"dump","window":"FMain","id":7})");
  EXPECT_EQ(r["ok"], true);
  EXPECT_EQ(r["id"], 7);
  const json& w = r["window"];
  EXPECT_EQ(w["name"], "FMain");
  EXPECT_EQ(w["caption"], utf8(u8"运行会员收银软件"));
  EXPECT_EQ(w["visible"], true);
  EXPECT_EQ(w["controls"]["ed_dbname"]["text"], "shop");
  EXPECT_EQ(w["controls"]["ed_port"]["text"], "3310");
  EXPECT_EQ(w["controls"]["BitBtn1"]["caption"], utf8(u8"收银软件"));
  EXPECT_EQ(w["controls"]["BitBtn1"]["tag"], 1);
  EXPECT_EQ(w["controls"]["bt_jxc"]["visible"], false);
  EXPECT_EQ(w["controls"]["cbk_u"]["checked"], true);
  EXPECT_TRUE(w["controls"]["Memo1"]["lines"].is_array());
  EXPECT_EQ(w["controls"]["stat"]["kind"], "statusbar");
  // The class name names the window too.
  EXPECT_EQ(ask(R"({"op":"dump","window":"TFMain"})")["window"]["name"], "FMain");
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0], json::parse(R"({"event":"show","window":"FMain","modal":false})"));
  // End of input closes the main window as by the user.
  EXPECT_EQ(process->finish(), 0);
}

TEST_F(Headless, MessagesTimersAnswersAndProcesses) {
  writeFile(appDir + "sysdll/Netfx20", "");
  launch("[db]\r\ncomname=C01\r\n");
  EXPECT_EQ(ask(R"({"op":"answer","reply":"yes"})")["ok"], true);
  EXPECT_EQ(ask(R"({"op":"timer","window":"FMain","name":"Timer_checkodbc"})")["ok"], true);
  ASSERT_EQ(events.size(), 3u);  // show, then the question, then the installer
  EXPECT_EQ(events[1]["event"], "message");
  EXPECT_EQ(events[1]["caption"], utf8(u8"提示"));
  EXPECT_EQ(events[1]["icon"], "information");
  EXPECT_EQ(events[1]["buttons"], "yesno");
  EXPECT_EQ(events[1]["answer"], "yes");
  EXPECT_EQ(events[2], json({{"event", "process"}, {"argv", {appDir + "sysdll/Netfx20"}}}));

  // Without a queued answer a Yes/No question takes No.
  EXPECT_EQ(ask(R"({"op":"timer","window":"FMain","name":"Timer_checkodbc"})")["ok"], true);
  EXPECT_EQ(events.back()["answer"], "no");

  // WM_USER+4 posted from outside enables the launch buttons.
  EXPECT_EQ(ask(R"({"op":"post","window":"FMain","message":1028,"wparam":0})")["ok"], true);
  const json w = ask(R"({"op":"dump","window":"FMain"})")["window"];
  EXPECT_EQ(w["controls"]["BitBtn1"]["enabled"], true);
  const json lines = w["controls"]["Memo1"]["lines"];
  EXPECT_NE(std::find(lines.begin(), lines.end(), utf8(u8"开始登录:   C01")), lines.end());

  EXPECT_EQ(ask(R"({"op":"close","window":"FMain"})")["ok"], true);
  EXPECT_EQ(process->finish(), 0);
}

TEST_F(Headless, WaitRunsTheTimersInRealTime) {
  launch("[db]\r\ncomname=C01\r\n[jxc]\r\nrunexe=jxc\r\n");
  EXPECT_EQ(ask(R"({"op":"wait","ms":1300})")["ok"], true);
  const json w = ask(R"({"op":"dump","window":"FMain"})")["window"];
  EXPECT_EQ(w["controls"]["sp_del"]["tag"], 1);  // the deferred step ran once
  EXPECT_EQ(
      ask(utf8(
          u8R"({"op":"post","window":"FMain","message":1025,"wparam":0,"text":"再见"})"))["ok"],
      true);
  // The info box, then the window closes and the program ends.
  EXPECT_EQ(process->finish(), 0);
}

TEST_F(Headless, BadRequestsAreAnsweredAndTheProgramGoesOn) {
  launch("");
  const char* requests[] = {
      "{not json",
      R"({"op":"fly","window":"FMain"})",
      R"({"op":"click","window":"nowhere","control":"x"})",
      R"({"op":"click","window":"FMain","control":"nothing"})",
      R"({"op":"click","window":"FMain","control":"bt_jxc"})",
      R"({"op":"set","window":"FMain","control":"ed_port"})",
      R"({"op":"timer","window":"FMain","name":"no_timer"})",
      R"({"op":"wait"})",
  };
  for (const char* request : requests) {
    const json r = ask(request);
    EXPECT_EQ(r["ok"], false) << request;
    EXPECT_TRUE(r["error"].is_string()) << request;
  }
  EXPECT_EQ(ask(R"({"op":"set","window":"FMain","control":"ed_port","text":"3311","id":"a"})"),
            json::parse(R"({"ok":true,"id":"a"})"));
  EXPECT_EQ(ask(R"({"op":"dump","window":"FMain"})")["window"]["controls"]["ed_port"]["text"],
            "3311");
}

}  // namespace
