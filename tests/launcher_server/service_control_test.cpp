// Server control against a scripted service manager and a clock that only
// counts: how long the start waits and what it concludes, the refusals, the
// status display, the password masking and which processes count as the
// folder's server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "launcher/login/credential_file.h"
#include "launcher/server/child_programs.h"
#include "launcher/support/text_cipher.h"
#include "tests/launcher_server/server_folder.h"

namespace {

using namespace std::chrono_literals;
using servertest::CountingClock;
using servertest::HeldPort;
using servertest::inOrder;

// After a start the service runs from `runsAfter` on, for `runsFor`.
class ScriptedServices final : public platform::ServiceManager {
 public:
  explicit ScriptedServices(platform::Clock& clock) : clock_(clock) {}
  bool install(const std::string&, const platform::ServiceProgram&, std::string*) override {
    installed = true;
    return true;
  }
  bool start(const std::string&, std::string*) override {
    started_ = true;
    startedAt_ = clock_.now();
    return true;
  }
  bool stop(const std::string&, std::string*) override {
    if (!ignoresStop) started_ = false;
    return true;
  }
  int state(const std::string&) override {
    if (!installed) return platform::kServiceNotInstalled;
    const auto since = clock_.now() - startedAt_;
    return started_ && since >= runsAfter && since < runsAfter + runsFor
               ? platform::kServiceRunning
               : platform::kServiceStopped;
  }
  bool remove(const std::string& name, std::string*) override {
    if (state(name) == platform::kServiceRunning) return false;
    installed = false;
    return true;
  }

  std::chrono::milliseconds runsAfter{0};
  std::chrono::milliseconds runsFor{std::chrono::hours(1)};
  bool installed = false;
  bool ignoresStop = false;  // the stop control is accepted, and changes nothing

 private:
  platform::Clock& clock_;
  bool started_ = false;
  std::chrono::steady_clock::time_point startedAt_{};
};

class ServiceControl : public ::testing::Test {
 protected:
  void SetUp() override {
    appDir = temp.path();
    std::filesystem::create_directories(appDir + "mysql/data");
    std::filesystem::create_directories(appDir + "config");
    std::ofstream(appDir + launcher::kCredentialFileName)
        << "<?xml version=\"1.0\"?><Root><dbuser>root</dbuser><dbpass></dbpass></Root>";
    main.app.MysqlDir = "mysql/";
    main.app.ServiceName = "MySQL_norvex";
    auto scripted = std::make_unique<ScriptedServices>(clock);
    services = scripted.get();
    main.app.services = std::move(scripted);
    main.window = std::make_unique<launcher::TFMain>(main.app);
    main.desktop.show(*main.window);
  }
  void writeOptions(const std::string& text) {
    std::ofstream(appDir + "mysql/my.ini", std::ios::binary) << text;
  }

  TempDir temp;
  std::string appDir;
  CountingClock clock;
  servertest::MainWindow main{temp.path(), clock};
  ScriptedServices* services = nullptr;
};

TEST_F(ServiceControl, StartWaitsUntilTheServerAnswersOnItsPort) {
  struct Row {
    const char* name;
    std::chrono::milliseconds runsAfter, runsFor;
    bool greets;
    const char* verdict;
    std::chrono::milliseconds slept;  // by the service start's checks
    bool console;                     // the start went on on the console
  };
  // A server that is not running after the checks is started on the
  // console instead, which cannot run here (there is no server program); one
  // whose service runs but does not answer is shown running, start failed.
  const std::vector<Row> rows = {
      {"running at the first check", 0ms, 1h, true, "服务启动成功！", 0ms, false},
      {"first running at the seventieth check", 69s, 1h, true, "服务启动成功！", 69s, false},
      {"not running within seventy checks", 100s, 1h, true, "服务启动失败！", 70s, true},
      {"running but never answering", 0ms, 1h, false, "服务启动失败！", 70s, false},
      {"running for a moment, then gone", 0ms, 2s, false, "服务启动失败！", 2s, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HeldPort port(row.greets);
    writeOptions("[mysqld]\nport=" + std::to_string(port.port()) + "\n");
    main.item("ed_port").setText(std::to_string(port.port()));
    services->installed = false;
    services->runsAfter = row.runsAfter;
    services->runsFor = row.runsFor;
    main.app.ServiceInstalled = main.app.ServiceRunning = false;
    main.app.CmdRun = false;
    main.memo().clear();
    clock.slept = 0ms;

    main.control().StartAction();
    std::vector<std::string> expected = {"执行结果:Service successfully installed.", row.verdict};
    if (row.console) {
      expected.insert(expected.end(),
                      {"服务未启动,转成命令行启动...", "命令行启动服务！", "服务启动失败！"});
    }
    EXPECT_TRUE(inOrder(main.memo(), expected));
    EXPECT_EQ(main.memo().size(), 3 + (row.console ? 5 : 0));
    EXPECT_EQ(clock.slept, row.slept + (row.console ? 1000ms : 0ms));
    EXPECT_EQ(main.app.CmdRun, row.console);
    EXPECT_EQ(main.item("ed_status").text(), row.console ? "未安装服务" : "已启动服务");
  }
}

TEST_F(ServiceControl, RefusalsChangeNothing) {
  writeOptions("[mysqld]\nport=3309\n");
  const std::string serverDir = appDir + "mysql/";
  struct Row {
    const char* name;
    std::function<void()> prepare;
    void (launcher::TServiceControl::*action)();
    const char* message;
    ui::Icon icon;
  };
  const std::vector<Row> rows = {
      {"no data folder", [&] { std::filesystem::remove(serverDir + "data"); },
       &launcher::TServiceControl::StartAction, "data  目录不存在，请重新安装一次本软件",
       ui::Icon::None},
      {"no option file",
       [&] {
         std::filesystem::create_directory(serverDir + "data");
         std::filesystem::remove(serverDir + "my.ini");
       },
       &launcher::TServiceControl::StartAction, "my.ini  文件不存在，请重新安装一次本软件",
       ui::Icon::None},
      {"a removal before the deferred start-up step", [&] { main.item("sp_del").tag = 0; },
       &launcher::TServiceControl::RemoveAction, "请稍等15秒后，才可以停止服务", ui::Icon::Warning},
      {"a stop while a backup runs",
       [&] {
         main.item("sp_del").tag = 1;
         main.app.BackupRunning = true;
       },
       &launcher::TServiceControl::StopAction, "当前正在自动备份数据，请稍后重试！     ",
       ui::Icon::Warning},
      {"a command-line stop while a backup runs", [&] { main.app.CmdRun = true; },
       &launcher::TServiceControl::StopAction, "当前正在自动备份数据，请稍后重试！     ",
       ui::Icon::Warning},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    row.prepare();
    main.windows.messages.clear();
    main.memo().clear();
    (main.control().*row.action)();
    ASSERT_EQ(main.windows.messages.size(), 1u);
    const testsupport::ShownMessage& shown = main.windows.messages[0];
    const bool startMessage = row.icon == ui::Icon::None;
    EXPECT_EQ(shown.text, (startMessage ? serverDir : std::string()) + row.message);
    EXPECT_EQ(shown.caption, startMessage ? main.app.Title : std::string("提示"));
    EXPECT_EQ(shown.icon, row.icon);
    EXPECT_FALSE(services->installed);
    EXPECT_TRUE(main.processes.started.empty());
    EXPECT_TRUE(main.memo().empty());
  }
  EXPECT_EQ(main.item("sp_del").tag, 1);  // the refused stop did not begin a removal
}

TEST_F(ServiceControl, StatusShowsTheStateAndThePortOfTheOptionFile) {
  struct Row {
    const char* name;
    bool installed;
    bool started;
    const char* options;  // nullptr: no my.ini
    const char* text;
    const char* port;
    bool backupTimer;
  };
  const std::vector<Row> rows = {
      {"not installed", false, false, "[mysqld]\nport=3311\n", "未安装服务", "3311", false},
      {"installed, stopped", true, false, "[mysqld]\nport=3312\n", "未启动服务", "3312", false},
      {"running", true, true, "[mysqld]\nport=3313\n", "已启动服务", "3313", true},
      {"an option file without port empties the field", true, false, "[mysqld]\n", "未启动服务", "",
       false},
      {"no option file keeps the field", true, false, nullptr, "未启动服务", "keep", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(appDir + "mysql/my.ini");
    if (row.options != nullptr) writeOptions(row.options);
    services->installed = row.installed;
    std::string error;
    if (row.started) services->start("", &error);
    if (!row.started) services->stop("", &error);
    main.item("ed_port").setText("keep");
    ui::Timer& backup = *main.window->findTimer("Timer_backdbEx");
    backup.enabled = false;

    main.control().RefreshServiceStatus();
    EXPECT_EQ(main.item("ed_status").text(), row.text);
    EXPECT_EQ(main.item("ed_port").text(), row.port);
    EXPECT_EQ(backup.enabled, row.backupTimer);
    EXPECT_EQ(main.app.ServiceRunning, row.started);

    // The flags alone give the same picture but never start the backup timer.
    backup.enabled = false;
    main.control().ShowServiceFlags();
    EXPECT_EQ(main.item("ed_status").text(), row.text);
    EXPECT_FALSE(backup.enabled);
  }
}

// A server that will not go keeps the stop and the removal waiting only as
// long as they allow, and a removal that did not happen is said to have failed.
TEST_F(ServiceControl, StopAndRemoveWaitsAreBounded) {
  writeOptions("[mysqld]\nport=3309\n");
  struct Row {
    const char* name;
    bool commandLine;
    void (launcher::TServiceControl::*action)();
    bool serverStays;
    std::chrono::milliseconds slept;
    const char* last;  // the last line in Memo1
  };
  const std::vector<Row> rows = {
      {"a stop that ends the server", false, &launcher::TServiceControl::StopAction, false, 0ms,
       "服务已经停止!"},
      // 50 checks of the process and 20 of the service, a second each
      {"a stop the server ignores", false, &launcher::TServiceControl::StopAction, true, 70s,
       "执行结果:"},
      {"a removal that ends the server", false, &launcher::TServiceControl::RemoveAction, false,
       0ms, "取消服务完成"},
      // 50 and 50 checks of 100 ms for the process and the stop, 20 for the removal
      {"a removal the server ignores", false, &launcher::TServiceControl::RemoveAction, true, 12s,
       "取消服务失败"},
      {"a command-line removal that ends the server", true,
       &launcher::TServiceControl::RemoveAction, false, 0ms, "取消服务完成"},
      {"a command-line removal the server ignores", true, &launcher::TServiceControl::RemoveAction,
       true, 5s, "取消服务失败"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    services->installed = !row.commandLine;
    services->ignoresStop = row.serverStays;
    std::string error;
    services->start("", &error);
    main.processes.fakeServer = row.serverStays ? appDir + "mysql/bin/mysqld" : "";
    main.app.CmdRun = row.commandLine;
    main.app.ServiceInstalled = main.app.ServiceRunning = true;
    main.item("sp_del").tag = 1;
    main.memo().clear();
    clock.slept = 0ms;

    (main.control().*row.action)();
    EXPECT_EQ(clock.slept, row.slept);
    ASSERT_FALSE(main.memo().empty());
    EXPECT_EQ(main.memo().back(), row.last);
    const bool removal = row.action == &launcher::TServiceControl::RemoveAction;
    // A failed removal may be tried again; a finished one has begun for good.
    EXPECT_EQ(main.item("sp_del").tag, removal && !row.serverStays ? -1 : 1);
    EXPECT_EQ(services->installed, !row.commandLine && (!removal || row.serverStays));
  }
}

// The shutdown's command line as shown, and the arguments the tool gets:
// neither ever holds the password, whatever it looks like.
TEST_F(ServiceControl, ThePasswordNeverShows) {
  writeOptions("[mysqld]\nport=3309\n");
  for (const std::string password : {"s3cret", "ab cd", "-p x", ""}) {
    SCOPED_TRACE(password);
    std::ofstream(appDir + launcher::kCredentialFileName, std::ios::trunc)
        << "<?xml version=\"1.0\"?><Root><dbuser>root</dbuser><dbpass>"
        << launcher::EncryptText(password, launcher::kCredentialKey) << "</dbpass></Root>";
    main.memo().clear();
    main.processes.started.clear();
    main.item("ed_port").setText("3309");
    main.item("sp_del").tag = 1;
    main.app.CmdRun = true;
    main.control().StopAction();  // a command-line stop: the removal's shutdown
    ASSERT_FALSE(main.memo().empty());
    EXPECT_EQ(main.memo()[0],
              "取消服务完成  " + appDir +
                  "mysql//bin/mysqladmin -uroot -h127.0.0.1 -p****** -P3309 shutdown");
    ASSERT_EQ(main.processes.started.size(), 1u);
    const std::vector<std::string>& argv = main.processes.started[0];
    EXPECT_EQ(argv[0], appDir + "mysql/bin/mysqladmin");
    if (!password.empty()) {
      for (const std::string& line : main.memo()) EXPECT_EQ(line.find(password), std::string::npos);
      for (const std::string& arg : argv) EXPECT_EQ(arg.find(password), std::string::npos) << arg;
    }
    EXPECT_EQ(std::count(argv.begin(), argv.end(), "-uroot"), 1);
  }
}

TEST(MaskPassword, HidesThePasswordOptionOnly) {
  struct Row {
    std::string line, shown;
  };
  const std::vector<Row> rows = {
      {"mysqladmin -uroot -h127.0.0.1 -psecret -P3309 shutdown",
       "mysqladmin -uroot -h127.0.0.1 -p****** -P3309 shutdown"},
      {"mysqladmin -uroot -psecret", "mysqladmin -uroot -p******"},
      {"mysqladmin -uroot -p -P3309", "mysqladmin -uroot -p****** -P3309"},
      // "-p" inside a folder name is no option; the password still is hidden.
      {"/srv/my-programs/mysql//bin/mysqladmin -uroot -pabc -P1 shutdown",
       "/srv/my-programs/mysql//bin/mysqladmin -uroot -p****** -P1 shutdown"},
      {"mysqld --defaults-file=/x/my.ini", "mysqld --defaults-file=/x/my.ini"},
      {"-ptop", "-p******"},
  };
  for (const Row& row : rows) EXPECT_EQ(launcher::MaskPassword(row.line), row.shown) << row.line;
}

// Copies of a shell under the name of the server, in this folder's server
// place and elsewhere, each waiting a while.
TEST(ServerProcess, OnlyTheFoldersOwnServerCounts) {
  TempDir temp;
  const std::string ours = temp.path() + "app/mysql/", other = temp.path() + "other/mysql/";
  for (const std::string& dir : {ours, other}) {
    std::filesystem::create_directories(dir + "bin");
    std::filesystem::copy_file("/bin/sh", dir + "bin/mysqld");
  }
  const std::string wait = "sleep 30; :";
  struct Row {
    const char* name;
    std::vector<std::string> argv;
    bool counts;
  };
  const std::vector<Row> rows = {
      {"the program of our folder", {ours + "bin/mysqld", "-c", wait}, true},
      {"another folder's server", {other + "bin/mysqld", "-c", wait}, false},
      {"another folder's program with our option file",
       {other + "bin/mysqld", "-c", wait, "--defaults-file=" + ours + "my.ini"},
       true},
      {"our folder, but another program", {"/bin/sh", "-c", wait, ours + "bin/mysqld"}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string error;
    auto child = platform::Processes::Default().startCaptured(row.argv, {}, &error);
    ASSERT_TRUE(child) << error;
    // A new process shows its arguments a moment after it has started.
    int pid = 0;
    for (int i = 0; i < 200 && pid == 0; ++i) {
      for (const auto& process : platform::Processes::Default().snapshot())
        if (process.arguments == row.argv) pid = process.pid;
      if (pid == 0) std::this_thread::sleep_for(10ms);
    }
    ASSERT_NE(pid, 0);
    EXPECT_EQ(launcher::IsProcessRunning(platform::Processes::Default(), "MYSQLD", ours),
              row.counts);
    // The shell may have forked already: its whole group goes, and the next
    // row starts once no copy of the shell shows any more (under load a
    // killed process lingers a moment).
    kill(-getpgid(pid), SIGKILL);
    child->wait();
    const auto copyShows = [&] {
      for (const auto& process : platform::Processes::Default().snapshot())
        if (process.executable.rfind(temp.path(), 0) == 0) return true;
      return false;
    };
    for (int i = 0; i < 300 && copyShows(); ++i) std::this_thread::sleep_for(10ms);
  }
}

}  // namespace
