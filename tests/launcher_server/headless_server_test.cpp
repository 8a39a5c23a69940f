// The launcher program itself, driven headless on an application folder as a
// script would: the server is installed and started, stopped and removed
// through the main window's buttons, and no password ever stands in the
// arguments of a program it starts.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/launcher_server/server_folder.h"
#include "tests/support/line_process.h"

namespace {

using nlohmann::json;

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(HeadlessServer, ButtonsInstallStartStopAndRemoveTheServer) {
  servertest::ApplicationFolder folder;
  testsupport::LineProcess launcher({MAIN_PATH, "--appdir", folder.path(), "--headless"});
  std::vector<json> events;
  const auto ask = [&](const std::string& request) {
    launcher.send(request);
    for (;;) {
      std::optional<std::string> line = launcher.receive(120000);
      if (!line) throw std::runtime_error("no reply to " + request);
      json j = json::parse(*line);
      if (!j.contains("event")) return j;
      events.push_back(j);
    }
  };
  const auto status = [&] {
    const json controls = ask(R"({"op":"dump","window":"FMain"})")["window"]["controls"];
    return std::vector<std::string>{controls["ed_status"]["text"], controls["ed_status"]["color"],
                                    controls["ed_status"]["background"]};
  };

  EXPECT_EQ(status(), (std::vector<std::string>{utf8(u8"未安装服务"), "#000000", "#ff0000"}));
  EXPECT_EQ(ask(R"({"op":"click","window":"FMain","control":"sp_start"})")["ok"], true);
  EXPECT_EQ(status(), (std::vector<std::string>{utf8(u8"已启动服务"), "#008000", "#fffbf0"}));
  EXPECT_EQ(servertest::serversOf(folder.optionFile()).size(), 1u);
  ask(R"({"op":"timer","window":"FMain","name":"Timer_checkodbc"})");
  EXPECT_EQ(ask(R"({"op":"click","window":"FMain","control":"sp_stop"})")["ok"], true);
  EXPECT_EQ(status(), (std::vector<std::string>{utf8(u8"未启动服务"), "#ff0000", "#fffbf0"}));
  EXPECT_TRUE(servertest::serversOf(folder.optionFile()).empty());
  EXPECT_EQ(ask(R"({"op":"click","window":"FMain","control":"sp_del"})")["ok"], true);
  EXPECT_EQ(status(), (std::vector<std::string>{utf8(u8"未安装服务"), "#000000", "#ff0000"}));
  EXPECT_EQ(launcher.finish(), 0);

  int shutdowns = 0;
  for (const json& event : events) {
    if (event["event"] != "process") continue;
    const auto argv = event["argv"].get<std::vector<std::string>>();
    if (argv[0].ends_with("/mysqladmin")) ++shutdowns;
    for (const std::string& arg : argv) EXPECT_EQ(arg.find("demo"), std::string::npos) << arg;
  }
  EXPECT_EQ(shutdowns, 2);  // the stop, and the removal's own
}

}  // namespace
