// The service managers: the supervisor's life cycle of a real daemon, the
// pid file that must not be believed, refusals; systemd through a stand-in
// systemctl that records its calls.
#include "platform/service.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::runTool;
using testsupport::writeFile;

using namespace std::chrono_literals;
using platform::kServiceNotInstalled;
using platform::kServiceRunning;
using platform::kServiceStopped;

template <class Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 300; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return condition();
}

class Supervisor : public ::testing::Test {
 protected:
  TempDir temp;
  std::string folder = temp.path() + "services/";
  std::unique_ptr<platform::ServiceManager> services = platform::ServiceManager::Supervisor(folder);
  platform::ServiceProgram program{{"/bin/sleep", "300"}, temp.path() + "server.err"};
  std::string error;

  void TearDown() override {
    // No daemon outlives its test.
    if (services->state("db") == kServiceRunning) {
      services->stop("db", &error);
      eventually([&] { return services->state("db") != kServiceRunning; });
    }
  }
};

TEST_F(Supervisor, InstallStartStopRemove) {
  EXPECT_EQ(services->state("db"), kServiceNotInstalled);
  EXPECT_FALSE(services->start("db", &error));
  ASSERT_TRUE(services->install("db", program, &error)) << error;
  EXPECT_EQ(services->state("db"), kServiceStopped);
  EXPECT_FALSE(services->install("db", program, &error));  // exists already
  EXPECT_FALSE(services->stop("db", &error));              // does not run

  ASSERT_TRUE(services->start("db", &error)) << error;
  EXPECT_EQ(services->state("db"), kServiceRunning);
  EXPECT_FALSE(services->start("db", &error));   // runs already
  EXPECT_FALSE(services->remove("db", &error));  // still runs
  const int pid = std::stoi(readFile(folder + "db.pid"));
  EXPECT_EQ(readFile("/proc/" + std::to_string(pid) + "/comm"), "sleep\n");

  ASSERT_TRUE(services->stop("db", &error)) << error;
  EXPECT_TRUE(eventually([&] { return services->state("db") == kServiceStopped; }));
  // Started again after a stop, it is a new process.
  ASSERT_TRUE(services->start("db", &error)) << error;
  EXPECT_EQ(services->state("db"), kServiceRunning);
  EXPECT_NE(std::stoi(readFile(folder + "db.pid")), pid);
  ASSERT_TRUE(services->stop("db", &error));
  EXPECT_TRUE(eventually([&] { return services->state("db") == kServiceStopped; }));

  ASSERT_TRUE(services->remove("db", &error)) << error;
  EXPECT_EQ(services->state("db"), kServiceNotInstalled);
  EXPECT_FALSE(services->remove("db", &error));
}

TEST_F(Supervisor, APidFileOfAnotherProcessIsNotRunning) {
  ASSERT_TRUE(services->install("db", program, &error)) << error;
  // This test program's own id, and the id of init: alive, but not the service.
  for (const std::string& stale : {std::to_string(getpid()), std::string("1"), std::string("x")}) {
    writeFile(folder + "db.pid", stale + "\n");
    EXPECT_EQ(services->state("db"), kServiceStopped) << stale;
    EXPECT_FALSE(services->stop("db", &error)) << stale;
  }
  // A stale pid file does not keep the service from starting.
  ASSERT_TRUE(services->start("db", &error)) << error;
  EXPECT_EQ(services->state("db"), kServiceRunning);
}

TEST_F(Supervisor, RefusesWhatItCannotRecord) {
  for (const char* name : {"", "../db", "a/b", "a b", ".hidden", "db\n"}) {
    EXPECT_FALSE(services->install(name, program, &error)) << name;
    EXPECT_EQ(services->state(name), kServiceNotInstalled) << name;
  }
  EXPECT_FALSE(services->install("db", {{"/bin/sleep", "1\n2"}, program.logFile}, &error));
  EXPECT_FALSE(services->install("db", {{}, program.logFile}, &error));
  EXPECT_EQ(services->state("db"), kServiceNotInstalled);
}

TEST_F(Supervisor, AServiceThatCannotStartIsReported) {
  ASSERT_TRUE(services->install("db", {{temp.path() + "missing"}, program.logFile}, &error));
  EXPECT_FALSE(services->start("db", &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
  EXPECT_EQ(services->state("db"), kServiceStopped);
}

TEST_F(Supervisor, TheDaemonsOutputGoesToTheLog) {
  program.command = {"/bin/sh", "-c", "echo ready >&2; exec sleep 300"};
  ASSERT_TRUE(services->install("db", program, &error)) << error;
  ASSERT_TRUE(services->start("db", &error)) << error;
  EXPECT_TRUE(eventually([&] { return readFile(program.logFile) == "ready\n"; }));
  const int pid = std::stoi(readFile(folder + "db.pid"));
  kill(pid, SIGTERM);
}

// systemctl as a script on the PATH: it logs its arguments, keeps "active"
// as a file per unit, and fails with $SYSTEMCTL_FAIL_ON for that command.
class Systemd : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir((temp.path() + "bin").c_str(), 0755);
    mkdir((temp.path() + "units").c_str(), 0755);
    mkdir((temp.path() + "state").c_str(), 0755);
    const std::string script = temp.path() + "bin/systemctl";
    writeFile(script,
              "#!/bin/sh\n"
              "echo \"$*\" >> '" +
                  temp.path() +
                  "calls'\n"
                  "[ \"$1\" = \"$SYSTEMCTL_FAIL_ON\" ] && { echo \"$1 refused\" >&2; exit 1; }\n"
                  "state='" +
                  temp.path() +
                  "state'\n"
                  "case \"$1\" in\n"
                  "  is-active) if [ -f \"$state/$2\" ]; then echo active; else echo inactive; "
                  "exit 3; fi;;\n"
                  "  start) touch \"$state/$3\";;\n"
                  "  stop) rm -f \"$state/$3\";;\n"
                  "esac\n"
                  "exit 0\n");
    chmod(script.c_str(), 0755);
    path_ = std::getenv("PATH");
    setenv("PATH", (temp.path() + "bin:" + path_).c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", path_.c_str(), 1);
    unsetenv("SYSTEMCTL_FAIL_ON");
  }
  // The calls since the last look, without the state queries.
  std::string calls() {
    std::istringstream text(readFile(temp.path() + "calls"));
    std::remove((temp.path() + "calls").c_str());
    std::string changes;
    for (std::string line; std::getline(text, line);)
      if (!line.starts_with("is-active")) changes += line + "\n";
    return changes;
  }

  TempDir temp;
  std::string path_;
  std::unique_ptr<platform::ServiceManager> services =
      platform::ServiceManager::Systemd(temp.path() + "units");
  std::string error;
};

TEST_F(Systemd, InstallWritesAUnitAndEnablesIt) {
  const platform::ServiceProgram program{
      {"/srv/my shop/mysql/bin/mysqld", "--defaults-file=/srv/50%\"off\"/my.ini"},
      "/srv/my shop/mysql/data/host.err"};
  ASSERT_TRUE(services->install("MySQL_norvex", program, &error)) << error;
  EXPECT_EQ(readFile(temp.path() + "units/MySQL_norvex.service"),
            "[Unit]\n"
            "Description=MySQL_norvex database server\n"
            "After=network.target\n"
            "\n"
            "[Service]\n"
            "Type=simple\n"
            "ExecStart=\"/srv/my shop/mysql/bin/mysqld\" "
            "\"--defaults-file=/srv/50%%\\\"off\\\"/my.ini\"\n"
            "StandardOutput=append:/srv/my shop/mysql/data/host.err\n"
            "StandardError=append:/srv/my shop/mysql/data/host.err\n"
            "Restart=on-failure\n"
            "TimeoutStopSec=120\n"
            "\n"
            "[Install]\n"
            "WantedBy=multi-user.target\n");
  EXPECT_EQ(calls(), "daemon-reload\nenable MySQL_norvex.service\n");
  EXPECT_FALSE(services->install("MySQL_norvex", program, &error));
}

TEST_F(Systemd, StartStopStateAndRemoveGoThroughSystemctl) {
  EXPECT_EQ(services->state("db"), kServiceNotInstalled);
  EXPECT_FALSE(services->start("db", &error));
  ASSERT_TRUE(services->install("db", {{"/bin/sleep", "300"}, "/tmp/log"}, &error)) << error;
  calls();
  EXPECT_EQ(services->state("db"), kServiceStopped);
  ASSERT_TRUE(services->start("db", &error)) << error;
  EXPECT_EQ(services->state("db"), kServiceRunning);
  EXPECT_FALSE(services->remove("db", &error));
  ASSERT_TRUE(services->stop("db", &error)) << error;
  EXPECT_EQ(services->state("db"), kServiceStopped);
  EXPECT_EQ(calls(), "start --no-block db.service\nstop --no-block db.service\n");
  ASSERT_TRUE(services->remove("db", &error)) << error;
  EXPECT_EQ(calls(), "disable db.service\ndaemon-reload\n");
  EXPECT_EQ(services->state("db"), kServiceNotInstalled);
}

TEST_F(Systemd, AFailedInstallLeavesNoUnit) {
  setenv("SYSTEMCTL_FAIL_ON", "enable", 1);
  EXPECT_FALSE(services->install("db", {{"/bin/sleep", "300"}, "/tmp/log"}, &error));
  EXPECT_EQ(error, "systemctl enable db.service failed (1): enable refused");
  EXPECT_EQ(services->state("db"), kServiceNotInstalled);
  struct stat st {};
  EXPECT_NE(stat((temp.path() + "units/db.service").c_str(), &st), 0);
}

}  // namespace
