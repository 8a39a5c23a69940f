// Window messages from outside: main --send-message hands one to the
// launcher that runs on the folder, through the folder's local socket.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/launcher_online/online_fixture.h"
#include "tests/support/files.h"
#include "tests/support/line_process.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::runTool;
using testsupport::writeFile;

TEST(SendMessage, AnotherProgramHasTheRunningLauncherRepairItsClients) {
  testsupport::OnlineFolder folder;
  writeFile(folder.dir + "config/config.ini",
            "[Exe]\r\ntitle=pos\r\nrunexe=pos\r\npath=pos\r\n[jxc]\r\ntitle=jxc\r\nrunexe=jxc\r\n"
            "path=jxc\r\n");
  writeFile(folder.dir + "jxc/nxclass_mysql.pbx", "core library");

  // Nobody runs on the folder yet.
  auto [output, status] = runTool({MAIN_PATH, "--appdir", folder.dir, "--send-message", "1030"});
  EXPECT_NE(status, 0);
  EXPECT_NE(output.find("no launcher runs on " + folder.dir), std::string::npos) << output;

  testsupport::LineProcess launcher({MAIN_PATH, "--appdir", folder.dir, "--headless"});
  launcher.send(R"({"op":"dump","window":"FMain","id":1})");
  ASSERT_TRUE(launcher.receive());
  std::tie(output, status) = runTool({MAIN_PATH, "--appdir", folder.dir, "--send-message", "1030"});
  EXPECT_EQ(status, 0) << output;
  for (int i = 0; i < 100 && !fs::exists(folder.dir + "pos/nxclass_mysql.pbx"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(readFile(folder.dir + "pos/nxclass_mysql.pbx"), "core library");

  // Not a number: refused before anything is sent.
  std::tie(output, status) = runTool({MAIN_PATH, "--appdir", folder.dir, "--send-message", "x"});
  EXPECT_EQ(status, 2);
  EXPECT_EQ(launcher.finish(), 0);
  EXPECT_FALSE(fs::exists(folder.dir + "launcher.sock"));
}

}  // namespace
