// Child programs: captured output and exit codes, daemons that are nobody's
// child and write into their log, and the process table.
#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
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
platform::Processes& processes() { return platform::Processes::Default(); }

const platform::ProcessEntry* findProcess(const std::vector<platform::ProcessEntry>& table,
                                          int pid) {
  for (const auto& entry : table)
    if (entry.pid == pid) return &entry;
  return nullptr;
}

bool alive(int pid) { return findProcess(processes().snapshot(), pid) != nullptr; }

void endDaemon(int pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 200 && alive(pid); ++i) std::this_thread::sleep_for(10ms);
}

TEST(CapturedChild, CollectsBothOutputsAndTheExitCode) {
  struct Row {
    std::vector<std::string> argv;
    platform::Environment environment;
    std::string output;
    int code;
  };
  const std::vector<Row> rows = {
      {{"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, {}, "out\nerr\n", 3},
      {{"sh", "-c", "printf %s \"$SECRET\""}, {{"SECRET", "p w"}}, "p w", 0},
      // Standard input is empty, so nothing ever waits for a typed answer.
      {{"/bin/sh", "-c", "read line; echo \"[$line]\""}, {}, "[]\n", 0},
      {{"/bin/sh", "-c", "kill -TERM $$"}, {}, "", 128 + SIGTERM},
  };
  for (const Row& row : rows) {
    std::string error;
    auto child = processes().startCaptured(row.argv, row.environment, &error);
    ASSERT_TRUE(child) << error;
    std::string output;
    while (child->read(&output, 1000ms)) {
    }
    EXPECT_EQ(output, row.output) << row.argv.back();
    EXPECT_EQ(child->wait(), row.code) << row.argv.back();
  }
}

TEST(CapturedChild, KeepsErrorsApartAndEndsOnRequest) {
  std::string error, output;
  auto child = processes().startReading(
      {"/bin/sh", "-c", "echo out; echo err >&2; head -c 300000 /dev/zero; exit 2"}, {}, &error);
  ASSERT_TRUE(child) << error;
  while (child->read(&output, 1000ms)) {
  }
  EXPECT_EQ(output.size(), 4 + 300000u);
  EXPECT_TRUE(output.starts_with("out\n"));
  EXPECT_EQ(child->wait(), 2);
  EXPECT_EQ(child->errors(), "err\n");

  auto sleeper = processes().startReading({"/bin/sleep", "30"}, {}, &error);
  ASSERT_TRUE(sleeper) << error;
  sleeper->terminate();
  while (sleeper->read(&output, 1000ms)) {
  }
  EXPECT_EQ(sleeper->wait(), 128 + SIGTERM);
}

TEST(CapturedChild, IsFedItsInputWhileItsOutputIsCollected) {
  std::string error, output;
  // It answers as it reads, so a feeder that did not read would wait for ever.
  auto child = processes().startFeeding({"/bin/sh", "-c", "cat; echo end >&2"}, {}, &error);
  ASSERT_TRUE(child) << error;
  const std::string input(3 << 20, 'x');
  EXPECT_TRUE(child->feed(input, &output));
  child->endInput();
  while (child->read(&output, 1000ms)) {
  }
  EXPECT_EQ(child->wait(), 0);
  EXPECT_EQ(output, input + "end\n");

  // One that stops reading early ends the feeding, not this program.
  auto early = processes().startFeeding({"/bin/sh", "-c", "head -c 10 >/dev/null"}, {}, &error);
  ASSERT_TRUE(early) << error;
  EXPECT_FALSE(early->feed(input, &output));
  EXPECT_EQ(early->wait(), 0);
}

TEST(CapturedChild, AProgramThatCannotStartGivesNoChild) {
  std::string error;
  EXPECT_EQ(processes().startCaptured({"/nonexistent/program"}, {}, &error), nullptr);
  EXPECT_NE(error.find("/nonexistent/program"), std::string::npos);
}

TEST(Daemon, OutlivesNoParentHereAndAppendsToItsLog) {
  TempDir temp;
  const std::string log = temp.path() + "server.err";
  std::ofstream(log) << "earlier\n";
  std::string error;
  const int pid = processes().startDaemon(
      {"/bin/sh", "-c", "echo started; echo trouble >&2; exec sleep 30", "daemon-test"},
      {{"NORVEX_TEST_MARK", "1"}}, log, &error);
  ASSERT_GT(pid, 0) << error;
  const platform::ProcessEntry* entry = nullptr;
  for (int i = 0; i < 200; ++i) {
    const auto table = processes().snapshot();
    entry = findProcess(table, pid);
    if (entry != nullptr && entry->name == "sleep") break;
    std::this_thread::sleep_for(10ms);
  }
  // Not our child: it must not be reapable from here.
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), -1);
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const std::size_t paren = line.rfind(')');
  std::istringstream fields(line.substr(paren + 2));
  std::string state;
  int parent = 0, session = 0, group = 0;
  fields >> state >> parent >> group >> session;
  EXPECT_NE(parent, getpid());
  EXPECT_NE(session, getsid(0));  // out of our terminal's reach
  endDaemon(pid);
  EXPECT_EQ(readFile(log), "earlier\nstarted\ntrouble\n");
}

TEST(Daemon, AProgramThatCannotRunIsReported) {
  TempDir temp;
  std::string error;
  EXPECT_EQ(processes().startDaemon({temp.path() + "missing"}, {}, temp.path() + "log", &error),
            -1);
  EXPECT_NE(error.find("missing"), std::string::npos);
  std::ofstream(temp.path() + "script") << "not a program";
  EXPECT_EQ(processes().startDaemon({temp.path() + "script"}, {}, temp.path() + "log", &error), -1);
  EXPECT_EQ(processes().startDaemon({"/bin/true"}, {}, temp.path() + "no/such/folder/log", &error),
            -1);
  EXPECT_NE(error.find("no/such/folder/log"), std::string::npos);
}

TEST(ProcessTable, ListsNamesProgramsAndArguments) {
  std::string error;
  auto child = processes().startCaptured({"/bin/sleep", "5"}, {}, &error);
  ASSERT_TRUE(child) << error;
  // A new process shows its arguments a moment after it has started.
  const std::vector<std::string> sleepArguments = {"/bin/sleep", "5"};
  std::vector<platform::ProcessEntry> table;
  for (int i = 0; i < 200; ++i) {
    table = processes().snapshot();
    bool shown = false;
    for (const auto& entry : table) shown = shown || entry.arguments == sleepArguments;
    if (shown) break;
    std::this_thread::sleep_for(10ms);
  }
  const platform::ProcessEntry* self = findProcess(table, getpid());
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(self->name, "platform_tests");
  EXPECT_TRUE(self->executable.ends_with("/platform_tests")) << self->executable;
  bool sleeper = false;
  std::string sleepers;
  for (const auto& entry : table) {
    if (entry.name != "sleep") continue;
    sleeper = sleeper || entry.arguments == sleepArguments;
    for (const std::string& arg : entry.arguments) sleepers += arg + " ";
    sleepers += "| ";
  }
  EXPECT_TRUE(sleeper) << sleepers;
}

}  // namespace
