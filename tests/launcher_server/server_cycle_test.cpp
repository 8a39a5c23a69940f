// The main window controlling the real server of an application folder: the
// service cycle and the command-line cycle, a server found running, a stale
// pid file, and a port that another program holds.
#include <gtest/gtest.h>

#include <fstream>

#include "launcher/server/child_programs.h"
#include "platform/server_probe.h"
#include "platform/system_info.h"
#include "tests/launcher_server/server_folder.h"

namespace {

using servertest::ApplicationFolder;
using servertest::inOrder;
using servertest::MainWindow;
using servertest::serversOf;

bool answers(int port) {
  return platform::mysqlServerAnswers("127.0.0.1", port, std::chrono::milliseconds(1000));
}

struct Look {
  const char* text;
  const char* color;
  const char* background;
  // left of sp_start, sp_stop, sp_del; -1 for a hidden one
  int start, stop, remove;
};

void expectLook(MainWindow& main, const Look& look) {
  const ui::Control& status = main.item("ed_status");
  EXPECT_EQ(status.text(), look.text);
  EXPECT_EQ(status.color, look.color);
  EXPECT_EQ(status.background, look.background);
  const std::pair<const char*, int> buttons[] = {
      {"sp_start", look.start}, {"sp_stop", look.stop}, {"sp_del", look.remove}};
  for (const auto& [name, left] : buttons) {
    const ui::Control& button = main.item(name);
    EXPECT_EQ(button.visible, left >= 0) << name;
    EXPECT_EQ(button.enabled, left >= 0) << name;
    if (left >= 0) {
      EXPECT_EQ(button.bounds.left, left) << name;
    }
  }
}

const Look kNotInstalled{"未安装服务", "#000000", "#ff0000", 239, -1, -1};
const Look kRunning{"已启动服务", "#008000", "#fffbf0", -1, 239, 273};
const Look kStopped{"未启动服务", "#ff0000", "#fffbf0", 239, 273, 309};

class ServerCycle : public ::testing::Test {
 protected:
  std::string serverDir() const { return folder.path() + "mysql/"; }
  std::string shutdownLine(const char* label) const {
    return std::string(label) + "  " + serverDir() +
           "/bin/mysqladmin -uroot -h127.0.0.1 -p****** -P" + std::to_string(folder.port()) +
           " shutdown";
  }
  void writeDbIni(const std::string& extra) {
    std::ofstream(folder.path() + "config/db.ini", std::ios::binary)
        << "[db]\r\nname=shop\r\nserverip=127.0.0.1\r\nport=" << folder.port() << "\r\n"
        << extra;
  }

  // A start while the port is held by a program that greets as a database
  // server does, or says nothing.
  void startOnAHeldPort(bool greets);

  ApplicationFolder folder;
};

TEST_F(ServerCycle, ServiceIsInstalledStartedStoppedAndRemoved) {
  MainWindow main(folder.path());
  main.create();
  expectLook(main, kNotInstalled);
  EXPECT_FALSE(main.window->findTimer("Timer_backdbEx")->enabled);

  main.window->sp_startClick();
  EXPECT_TRUE(inOrder(main.memo(), {"安装Mysql服务  " + serverDir() +
                                        "bin/mysqld --install MySQL_norvex "
                                        "--defaults-file=" +
                                        serverDir() + "my.ini",
                                    "执行结果:Service successfully installed.", "服务启动成功！"}));
  expectLook(main, kRunning);
  EXPECT_TRUE(main.window->findTimer("Timer_backdbEx")->enabled);
  EXPECT_TRUE(answers(folder.port()));
  EXPECT_TRUE(main.app.ServiceInstalled);
  EXPECT_TRUE(main.app.ServiceRunning);
  EXPECT_EQ(serversOf(folder.optionFile()).size(), 1u);
  // The server's folders in its options are absolute, so it finds its data.
  EXPECT_EQ(platform::readProfileString(folder.optionFile(), "mysqld", "datadir", ""),
            serverDir() + "data");
  EXPECT_EQ(platform::readProfileString(folder.optionFile(), "mysqld", "basedir", ""), serverDir());
  EXPECT_TRUE(platform::fileExists(serverDir() + "data/" + platform::computerName() + ".err"));

  main.window->Timer_checkodbcTimer();  // the deferred step allows the removal
  main.memo().clear();
  main.window->sp_stopClick();
  EXPECT_TRUE(inOrder(main.memo(), {shutdownLine("关闭mysql服务"), "执行结果:", "服务已经停止!"}));
  EXPECT_TRUE(serversOf(folder.optionFile()).empty());
  EXPECT_FALSE(answers(folder.port()));
  expectLook(main, kStopped);
  EXPECT_TRUE(main.window->findTimer("Timer_checkodbc")->enabled);

  main.window->Timer_checkodbcTimer();
  main.memo().clear();
  main.window->sp_delClick();
  EXPECT_TRUE(
      inOrder(main.memo(), {shutdownLine("停止MySQL"),
                            "取消mysql服务  " + serverDir() + "bin/mysqld -remove MySQL_norvex",
                            "执行结果:Service successfully removed.", "取消服务完成"}));
  expectLook(main, kNotInstalled);
  EXPECT_EQ(main.item("sp_del").tag, -1);
  EXPECT_FALSE(main.app.ServiceInstalled);
  EXPECT_TRUE(main.windows.messages.empty());
}

TEST_F(ServerCycle, CommandLineModeStartsAtStartUpAndStopsWithTheFullRemoval) {
  writeDbIni("cmdrun=1\r\n");
  MainWindow main(folder.path());
  main.create();
  const std::vector<std::string> started = {
      "命令行启动服务！",
      "启动服务  " + serverDir() + "bin/mysqld --defaults-file=" + serverDir() + "my.ini",
      "服务启动成功！"};
  EXPECT_TRUE(inOrder(main.memo(), started));
  expectLook(main, kRunning);
  EXPECT_TRUE(answers(folder.port()));
  EXPECT_FALSE(platform::fileExists(folder.path() + "services/MySQL_norvex.service"));

  // Before the deferred step, a stop is a removal and is refused.
  main.window->sp_stopClick();
  EXPECT_EQ(main.windows.texts(), std::vector<std::string>{"请稍等15秒后，才可以停止服务"});
  EXPECT_TRUE(answers(folder.port()));

  main.window->Timer_checkodbcTimer();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    main.memo().clear();
    main.window->sp_stopClick();
    EXPECT_TRUE(inOrder(main.memo(), {shutdownLine("取消服务完成"), "执行结果:", "取消服务完成"}));
    EXPECT_TRUE(serversOf(folder.optionFile()).empty());
    expectLook(main, kNotInstalled);
    // Started again, it can be stopped again.
    main.memo().clear();
    main.window->sp_startClick();
    EXPECT_TRUE(inOrder(main.memo(), started));
    expectLook(main, kRunning);
  }
  EXPECT_EQ(main.windows.messages.size(), 1u);
}

TEST_F(ServerCycle, AServerFoundRunningIsShownAndNotStartedAgain) {
  {
    MainWindow first(folder.path());
    first.create();
    first.window->sp_startClick();
    ASSERT_TRUE(answers(folder.port()));
  }
  // The server outlives the launcher that started it.
  ASSERT_EQ(serversOf(folder.optionFile()).size(), 1u);
  MainWindow second(folder.path());
  second.create();
  expectLook(second, kRunning);
  second.memo().clear();
  second.control().StartAction();
  EXPECT_EQ(second.memo(), std::vector<std::string>{"服务已经安装并且启动!"});
  EXPECT_EQ(serversOf(folder.optionFile()).size(), 1u);
}

TEST_F(ServerCycle, AStalePidFileDoesNotPassForTheServer) {
  {
    MainWindow first(folder.path());
    first.create();
    first.window->sp_startClick();
    first.window->Timer_checkodbcTimer();
    first.window->sp_stopClick();
  }
  // The pid file names a process that lives but is no server of ours.
  std::ofstream(folder.path() + "services/MySQL_norvex.pid") << getpid() << "\n";
  MainWindow main(folder.path());
  main.create();
  expectLook(main, kStopped);
  main.window->sp_startClick();
  EXPECT_EQ(main.memo().back(), "服务启动成功！");
  expectLook(main, kRunning);
  EXPECT_TRUE(answers(folder.port()));
}

TEST_F(ServerCycle, APortHeldByAnotherProgramIsAFailedStart) { startOnAHeldPort(false); }

// Its answers are not the folder's server's.
TEST_F(ServerCycle, APortHeldByAnotherServerIsAFailedStart) { startOnAHeldPort(true); }

void ServerCycle::startOnAHeldPort(bool greets) {
  servertest::HeldPort holder(greets, folder.port());
  MainWindow main(folder.path());
  main.create();
  main.window->sp_startClick();
  EXPECT_TRUE(
      inOrder(main.memo(), {"执行结果:Service successfully installed.", "服务启动失败！",
                            "服务未启动,转成命令行启动...", "命令行启动服务！", "服务启动失败！"}));
  EXPECT_EQ(std::count(main.memo().begin(), main.memo().end(), "服务启动成功！"), 0);
  EXPECT_TRUE(serversOf(folder.optionFile()).empty());
  EXPECT_TRUE(main.app.CmdRun);
  expectLook(main, kNotInstalled);
}

}  // namespace
