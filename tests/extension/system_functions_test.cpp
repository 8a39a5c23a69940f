// The process and system functions through the host, against real files,
// real processes, a real PAM stack (rules of the test's own in a folder of
// service files) and a real X server (Xvfb) for windows.
#include "extension/general/system_functions.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/system_info.h"
#include "tests/extension/library.h"
#include "tests/extension/x_window.h"
#include "tests/support/files.h"
#include "tests/support/line_process.h"
#include "tests/support/scoped_setting.h"
#include "tests/support/temp_dir.h"

namespace {

using host::Value;
using host::ValueType;
using nxtest::callGlobal;
using nxtest::textOrNull;
using testsupport::readFile;
using testsupport::ScopedSetting;
using testsupport::writeFile;

namespace fs = std::filesystem;

// Works in `folder` for one scope.
class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::string& folder) : old_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~ScopedCurrentFolder() { fs::current_path(old_); }

 private:
  fs::path old_;
};

void writeProgram(const std::string& path, const std::string& script) {
  writeFile(path, script);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

// Waits (at most 10 s) until the file exists and is not empty; its content.
std::string awaitFile(const std::string& path) {
  for (int i = 0; i < 200; ++i) {
    if (fs::exists(path) && fs::file_size(path) > 0) return readFile(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return std::string();
}

pbint intResult(const char* function, std::vector<Value> args) {
  host::CallResult r = callGlobal(function, std::move(args));
  EXPECT_EQ(r.result.type(), ValueType::Int) << function;
  return static_cast<pbint>(r.result.integer());
}

std::string textResult(const char* function, std::vector<Value> args = {}) {
  return callGlobal(function, std::move(args)).result.text();
}

TEST(GfWritefile, ReplacesOrAppendsAndReportsNullAndUnopenableFiles) {
  TempDir temp;
  const std::string file = temp.path() + "out.txt";
  const auto write = [&](const char* name, const char* text, bool append) {
    return intResult("gf_writefile", {textOrNull(name), textOrNull(text), Value::boolean(append)});
  };
  EXPECT_EQ(write(file.c_str(), "第一\r\n", false), 1);
  EXPECT_EQ(write(file.c_str(), "second", true), 1);
  EXPECT_EQ(readFile(file), "第一\r\nsecond");
  EXPECT_EQ(write(file.c_str(), "third", false), 1);
  EXPECT_EQ(readFile(file), "third");
  EXPECT_EQ(write(nullptr, "x", false), -1);
  EXPECT_EQ(write(file.c_str(), nullptr, false), -2);
  EXPECT_EQ(readFile(file), "third");
  EXPECT_EQ(write((temp.path() + "missing/out.txt").c_str(), "x", false), -1);

  // A Windows name lands under the data root.
  ScopedSetting root("NORVEX_DATA_ROOT", temp.path() + "data");
  fs::create_directories(temp.path() + "data/shop");
  EXPECT_EQ(write("d:\\shop\\note.txt", "x", false), 1);
  EXPECT_EQ(readFile(temp.path() + "data/shop/note.txt"), "x");
}

TEST(GfReadfiletostring, KeepsEachBlockUpToItsZeroByte) {
  TempDir temp;
  const std::string file = temp.path() + "in.bin";
  std::string content(2048, 'a');
  content[10] = '\0';
  content += std::string(100, 'b') + '\0' + "tail";
  writeFile(file, content);
  EXPECT_EQ(textResult("gf_readfiletostring", {Value::string(file)}),
            std::string(10, 'a') + std::string(100, 'b'));

  writeFile(file, "中文\r\n" + std::string(5000, 'x'));
  EXPECT_EQ(textResult("gf_readfiletostring", {Value::string(file)}),
            "中文\r\n" + std::string(5000, 'x'));
  EXPECT_EQ(textResult("gf_readfiletostring", {Value::string(temp.path() + "missing")}), "");
  EXPECT_EQ(textResult("gf_readfiletostring", {Value::string(temp.path())}), "");
  host::CallResult null = callGlobal("gf_readfiletostring", {Value::null(ValueType::String)});
  ASSERT_TRUE(null.result.wasSet());
  EXPECT_EQ(null.result.text(), "");
}

TEST(GfCreatefile, CreatesOnlyWhatNoNameOrPatternMatches) {
  TempDir temp;
  writeFile(temp.path() + "kept.txt", "content");
  struct Row {
    std::string name;
    std::vector<std::string> filesAfter;
  };
  const std::vector<Row> rows = {
      {"kept.txt", {"kept.txt"}},
      {"*.txt", {"kept.txt"}},
      {"k?pt.*", {"kept.txt"}},
      {"*.log", {"kept.txt"}},  // a pattern matching nothing names no file
      {"new.txt", {"kept.txt", "new.txt"}},
      {"[x].txt", {"[x].txt", "kept.txt", "new.txt"}},  // '[' is no wildcard
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(intResult("gf_createfile", {Value::string(temp.path() + row.name)}), 1);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(temp.path()))
      files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, row.filesAfter);
  }
  EXPECT_EQ(readFile(temp.path() + "kept.txt"), "content");
  EXPECT_EQ(fs::file_size(temp.path() + "new.txt"), 0u);
  EXPECT_EQ(intResult("gf_createfile", {Value::null(ValueType::String)}), -1);
  EXPECT_EQ(intResult("gf_createfile", {Value::string(temp.path() + "no/such.txt")}), 1);
}

TEST(GfDispdatabytext, WritesTempTxtHereAndOpensItWithTheEditor) {
  TempDir temp;
  writeProgram(temp.path() + "editor",
               "#!/bin/sh\nprintf '%s|%s|' \"$PWD\" \"$1\" > opened.tmp\n"
               "cat \"$1\" >> opened.tmp\nmv opened.tmp opened\n");
  ScopedSetting editor("NORVEX_OPEN_COMMAND", temp.path() + "editor");
  ScopedCurrentFolder here(temp.path());
  writeFile("temp.txt", "an older and much longer text");
  host::CallResult r = callGlobal("gf_dispdatabytext", {Value::string("select 1\r\n中文")});
  EXPECT_FALSE(r.result.wasSet());
  const std::string folder = fs::path(temp.path()).lexically_normal().parent_path().string();
  EXPECT_EQ(awaitFile(temp.path() + "opened"), folder + "|temp.txt|select 1\r\n中文");

  fs::remove(temp.path() + "opened");
  EXPECT_EQ(intResult("gf_dispdatabytext", {Value::null(ValueType::String)}), 0);
  EXPECT_EQ(readFile("temp.txt"), "select 1\r\n中文");
}

TEST(GfGetselfprintlist, KeepsTheLinesOfThisProcess) {
  const std::string mine = "会话 " + std::to_string(getpid()) + " ";
  const std::string other = "会话 " + std::to_string(getpid()) + "1 ";
  struct Row {
    std::optional<std::string> list;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {std::nullopt, ""},
      {"", "\r\n长度为0"},
      {"printer A " + other + "x\r\nprinter B", "printer A " + other + "x\r\nprinter B"},
      {"P1 " + mine + "a\r\nP2 " + other + "b\r\nP3 " + mine + "c", mine + "a\r\n" + mine + "c"},
      {mine + "last", mine + "last"},
      {"x" + mine + "\r\n", mine},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(textResult("gf_getselfprintlist",
                         {row.list ? Value::string(*row.list) : Value::null(ValueType::String)}),
              row.expected);
  }
}

TEST(HostProcessId, NeverComesOutZeroOrNegative) {
  const std::vector<std::pair<long, pbint>> rows = {
      {1, 1}, {4242, 4242}, {32767, 32767}, {32768, 32767}, {65536, 32767}, {4194303, 32767}};
  for (const auto& [pid, expected] : rows) EXPECT_EQ(nx::hostProcessId(pid), expected) << pid;
  EXPECT_EQ(intResult("gf_GetSessionID", {}), nx::hostProcessId(getpid()));
}

class RunningProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = temp_.path() + "NxSleepProbe";
    fs::copy_file("/bin/sleep", program_);
    fs::permissions(program_, fs::perms::owner_all);
    child_ = std::make_unique<testsupport::LineProcess>(std::vector<std::string>{program_, "60"});
    // Until the new process shows its program.
    for (int i = 0; i < 100 && !shows(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  bool shows() const {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::error_code error;
      if (fs::read_symlink(entry.path() / "exe", error).string() == program_) return true;
    }
    return false;
  }

  TempDir temp_;
  std::string program_;
  std::unique_ptr<testsupport::LineProcess> child_;
};

TEST_F(RunningProgram, IsFoundByPathOrFileNameInAnyCaseButNotInAnotherFolder) {
  const pbint found = intResult("gf_is_running", {Value::string("nxsleepprobe")});
  EXPECT_GT(found, 0);
  std::string upper = program_;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(intResult("gf_is_running", {Value::string(upper)}), found);
  EXPECT_EQ(intResult("gf_is_running", {Value::string(program_)}), found);
  EXPECT_EQ(intResult("gf_is_running", {Value::string("/tmp/elsewhere/NxSleepProbe")}), 0);
  EXPECT_EQ(intResult("gf_is_running", {Value::string("NxSleepProb")}), 0);
  EXPECT_EQ(intResult("gf_is_running", {Value::null(ValueType::String)}), -1);
}

// The program goes on only once the call has returned: had the call waited
// for it, it would give up after 5 s and say so.
TEST(GfRunProcess, StartsInTheProgramsFolderWithoutWaiting) {
  TempDir temp;
  fs::create_directories(temp.path() + "bin");
  writeProgram(temp.path() + "bin/prog",
               "#!/bin/sh\nfor i in $(seq 100); do [ -e ../returned ] && break; sleep 0.05; done\n"
               "if [ -e ../returned ]; then pwd; else echo waited; fi > started.tmp\n"
               "mv started.tmp started\n");
  EXPECT_EQ(intResult("gf_run_process", {Value::string(temp.path() + "bin/prog")}), 1);
  writeFile(temp.path() + "returned", "");
  EXPECT_EQ(awaitFile(temp.path() + "bin/started"), temp.path() + "bin\n");

  EXPECT_EQ(intResult("gf_run_process", {Value::string(temp.path() + "bin/missing")}), -1);
  EXPECT_EQ(intResult("gf_run_process", {Value::string(temp.path() + "bin")}), -1);
  EXPECT_EQ(intResult("gf_run_process", {Value::null(ValueType::String)}), -1);
  // An application name is no search: a bare name is not looked for in PATH.
  EXPECT_EQ(intResult("gf_run_process", {Value::string("true")}), -1);
}

// PAM with the test's own rules: the password is right when a check program
// reads "right-pass" from pam_exec.
class RunAs : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!platform::maySwitchUsers()) GTEST_SKIP() << "this process may not switch users";
    if (getpwnam("nobody") == nullptr) GTEST_SKIP() << "no account nobody on this machine";
    fs::permissions(temp_.path(), fs::perms::all);
    fs::create_directories(temp_.path() + "pam");
    writeProgram(temp_.path() + "check", "#!/bin/sh\n[ \"$(tr -d '\\000')\" = right-pass ]\n");
    writeFile(temp_.path() + "pam/nxclass-runas",
              "auth required pam_exec.so expose_authtok quiet " + temp_.path() + "check\n" +
                  "account required pam_permit.so\n");
    for (const char* name : {"refused", "ran"}) {
      writeProgram(temp_.path() + name + ".sh",
                   "#!/bin/sh\necho \"$(id -u) $HOME $USER\" >> " + temp_.path() + name + "\n");
    }
  }

  void runAs(const char* user, const char* password, const char* program) {
    host::CallResult r = callGlobal("gf_RunAs", {textOrNull(user), textOrNull(password),
                                                 Value::string(temp_.path() + program)});
    EXPECT_FALSE(r.result.wasSet());
    EXPECT_TRUE(r.messages.empty());
  }

  TempDir temp_;
};

TEST_F(RunAs, StartsTheProgramAsTheAccountOnlyWithItsPassword) {
  ScopedSetting rules("NORVEX_PAM_CONFDIR", temp_.path() + "pam");
  runAs("nobody", "wrong-pass", "refused.sh");
  runAs("no-such-user-here", "right-pass", "refused.sh");
  runAs("nobody", nullptr, "refused.sh");
  runAs(nullptr, "right-pass", "refused.sh");
  // Started last: had a refused call started its program, that would show by now.
  runAs("nobody", "right-pass", "ran.sh");
  const passwd* nobody = getpwnam("nobody");
  EXPECT_EQ(awaitFile(temp_.path() + "ran"),
            std::to_string(nobody->pw_uid) + " " + nobody->pw_dir + " nobody\n");
  EXPECT_FALSE(fs::exists(temp_.path() + "refused"));
}

TEST(MachineFacts, NamesAndFolders) {
  const passwd* me = getpwuid(geteuid());
  ASSERT_NE(me, nullptr);
  EXPECT_EQ(textResult("GetUserName"), me->pw_name);
  const std::string computer = platform::computerName();
  EXPECT_EQ(textResult("GetComputerName"), computer.substr(0, 15));
  EXPECT_EQ(textResult("GetWindowsDirectory"), "/etc");
  EXPECT_EQ(textResult("GetSystemDirectory"), "/usr/lib");
}

pbulong moduleHandle(std::optional<std::string> name) {
  host::CallResult r =
      callGlobal("GetModuleHandle", {name ? Value::string(*name) : Value::null(ValueType::String)});
  EXPECT_EQ(r.result.type(), ValueType::Ulong);
  return static_cast<pbulong>(r.result.integer());
}

TEST(GetModuleHandle, NamesLoadedModulesByFileNameOrPath) {
  const pbulong program = moduleHandle(std::nullopt);
  EXPECT_NE(program, 0u);
  EXPECT_EQ(moduleHandle(fs::read_symlink("/proc/self/exe").string()), program);
  const pbulong library = moduleHandle("NXCLASS.PBX");
  EXPECT_NE(library, 0u);
  EXPECT_NE(library, program);
  EXPECT_EQ(moduleHandle(NXCLASS_PATH), library);
  EXPECT_NE(moduleHandle("libc.so.6"), 0u);
  EXPECT_EQ(moduleHandle("no_such_module.so"), 0u);
  EXPECT_EQ(moduleHandle(""), 0u);
}

// An X server of the test's own, with one top-level window of a known class
// and title.
class DesktopWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
    window_ = std::make_unique<nxtest::XWindow>("NxCashier", "cashier", "Till 1");
    ASSERT_TRUE(window_->ready()) << "no window on a display of our own";
  }

  pbulong find(const char* className, const char* title) {
    ScopedSetting display("DISPLAY", window_->display());
    host::CallResult r = callGlobal("FindWindow", {textOrNull(className), textOrNull(title)});
    EXPECT_EQ(r.result.type(), ValueType::Ulong);
    return static_cast<pbulong>(r.result.integer());
  }

  std::unique_ptr<nxtest::XWindow> window_;
};

TEST_F(DesktopWindow, IsFoundByClassAndTitleAndNotOtherwise) {
  const pbulong id = static_cast<pbulong>(window_->id());
  EXPECT_EQ(find("NxCashier", "Till 1"), id);
  EXPECT_EQ(find("nxcashier", "till 1"), id);
  EXPECT_EQ(find("cashier", nullptr), id);
  EXPECT_EQ(find(nullptr, "Till 1"), id);
  EXPECT_EQ(find("NxCashier", "Till 2"), 0u);
  EXPECT_EQ(find("NxStock", "Till 1"), 0u);
  ScopedSetting noDisplay("DISPLAY", std::nullopt);
  EXPECT_EQ(callGlobal("FindWindow", {Value::string("NxCashier"), Value::string("Till 1")})
                .result.integer(),
            0);
}

}  // namespace
