// The FTP control library as the launcher uses it: loaded with dlopen, its five functions
// looked up by name, talking to the FTP stand-in on a loopback address of each test's own.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/ftp_server.h"
#include "tests/support/loopback.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

// The library's answers that are not the server's reply codes (curl's error codes).
constexpr int kNotConnected = -1;
constexpr int kCouldNotConnect = 7;
constexpr int kReadError = 26;
constexpr int kBadName = 3;  // curl's "malformed URL"
const char* const kUser = "nxadmin";
const char* const kPassword = "秘密pw1";  // GBK bytes, as the launcher's profile holds them

struct FtpLibrary {
  int (*connect)(const char*, const char*, const char*, const char*, const char*);
  void (*disconnect)();
  int (*changeDir)(const char*);
  int (*upFile)(const char*, const char*, int);
  int (*downLoadFile)(const char*, const char*, int);
};

const FtpLibrary& ftp() {
  static const FtpLibrary loaded = [] {
    void* handle = dlopen(FTP_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(dlerror());
    const auto symbol = [handle](const char* name) {
      void* address = dlsym(handle, name);
      if (address == nullptr) throw std::runtime_error(std::string("missing ") + name);
      return address;
    };
    FtpLibrary functions{};
    functions.connect = reinterpret_cast<decltype(functions.connect)>(symbol("of_Connect"));
    functions.disconnect =
        reinterpret_cast<decltype(functions.disconnect)>(symbol("of_DisConnect"));
    functions.changeDir = reinterpret_cast<decltype(functions.changeDir)>(symbol("of_ChangeDir"));
    functions.upFile = reinterpret_cast<decltype(functions.upFile)>(symbol("of_UpFile"));
    functions.downLoadFile =
        reinterpret_cast<decltype(functions.downLoadFile)>(symbol("of_DownLoadFile"));
    return functions;
  }();
  return loaded;
}

std::string allByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

std::string randomBytes(std::size_t size) {
  std::mt19937 random(size);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

// A user folder and an anonymous folder served by a stand-in, a local folder, a log folder.
class FtpFixture : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"root", "anonymous", "local", "log"}) {
      fs::create_directories(dir_.path() + folder);
    }
    writeFile(root("hello.txt"), "user folder");
    writeFile(dir_.path() + "anonymous/hello.txt", "anonymous folder");
  }
  void TearDown() override { ftp().disconnect(); }

  const std::string& start(long long dropAfter = -1) {
    server_ = std::make_unique<testsupport::FtpServer>(
        FTP_STANDIN, testsupport::FtpServerOptions{.root = root(),
                                                   .user = kUser,
                                                   .password = kPassword,
                                                   .anonymousRoot = dir_.path() + "anonymous",
                                                   .dropAfter = dropAfter});
    return server_->address();
  }
  int connect(const std::string& logFolder = "") {
    return ftp().connect(server_->address().c_str(), "21", kUser, kPassword, logFolder.c_str());
  }

  std::string root(const std::string& name = "") const { return dir_.path() + "root/" + name; }
  std::string local(const std::string& name) const { return dir_.path() + "local/" + name; }
  std::string logFolder() const { return dir_.path() + "log"; }

  TempDir dir_;
  std::unique_ptr<testsupport::FtpServer> server_;
};

using FtpConnect = FtpFixture;
using FtpChangeDir = FtpFixture;
using FtpUpload = FtpFixture;
using FtpDownload = FtpFixture;
using FtpSession = FtpFixture;

TEST_F(FtpConnect, AnswersWhetherTheLoginSucceeded) {
  start();
  const std::string nobodyListens = testsupport::freeLoopbackAddress(21);
  struct Case {
    const char* what;
    std::string host, port;
    const char *user, *password;
    int result;
    std::string served;  // what hello.txt holds for this login; "" when not connected
    int upload;          // of_UpFile's answer then
  } cases[] = {
      {"right login", server_->address(), "21", kUser, kPassword, 1, "user folder", 1},
      {"empty port means 21", server_->address(), "", kUser, kPassword, 1, "user folder", 1},
      {"anonymous", server_->address(), "21", "anonymous", "kite.exe", 1, "anonymous folder", 550},
      {"wrong password", server_->address(), "21", kUser, "secret", 530, "", kNotConnected},
      {"unknown user", server_->address(), "21", "guest", kPassword, 530, "", kNotConnected},
      {"null password", server_->address(), "21", kUser, nullptr, 530, "", kNotConnected},
      {"nothing listens on the port", server_->address(), "2121", kUser, kPassword,
       kCouldNotConnect, "", kNotConnected},
      {"nothing listens on the address", nobodyListens, "21", kUser, kPassword, kCouldNotConnect,
       "", kNotConnected},
  };
  writeFile(local("upload.txt"), "uploaded");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ftp().connect(c.host.c_str(), c.port.c_str(), c.user, c.password, ""), c.result);
    const int download = ftp().downLoadFile("hello.txt", local("hello.txt").c_str(), 1);
    EXPECT_EQ(download, c.served.empty() ? kNotConnected : 1);
    EXPECT_EQ(readFile(local("hello.txt")), c.served);
    EXPECT_EQ(ftp().upFile("upload.txt", local("upload.txt").c_str(), 1), c.upload);
    fs::remove(local("hello.txt"));
    fs::remove(root("upload.txt"));
  }
}

TEST_F(FtpChangeDir, FollowsFoldersAndKeepsTheCurrentOneWhenMissing) {
  for (const std::string folder : {"", "a", "a/b", "a/b/c", "x", "资料"}) {
    fs::create_directories(root(folder));
    writeFile(root(folder) + "/where.txt", folder.empty() ? "/" : folder);
  }
  start();
  ASSERT_EQ(connect(), 1);
  struct Step {
    const char* folder;
    int result;
    const char* current;  // the folder afterwards, by its where.txt
  } steps[] = {
      {"a", 1, "a"},           {"b/c", 1, "a/b/c"},      {".", 1, "a/b/c"},
      {"", 1, "a/b/c"},        {nullptr, 1, "a/b/c"},    {"..", 1, "a/b"},
      {"missing", 550, "a/b"}, {"/x", 1, "x"},           {"where.txt", 550, "x"},
      {"/a/nope/b", 550, "x"}, {"/a/b/", 1, "a/b"},      {"../../资料", 1, "资料"},
      {"/", 1, "/"},           {"a//b/./c", 1, "a/b/c"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.folder != nullptr ? step.folder : "(null)");
    EXPECT_EQ(ftp().changeDir(step.folder), step.result);
    ASSERT_EQ(ftp().downLoadFile("where.txt", local("where.txt").c_str(), 1), 1);
    EXPECT_EQ(readFile(local("where.txt")), step.current);
  }
}

TEST_F(FtpUpload, StoresTheFileByteForByte) {
  fs::create_directories(root("a"));
  start();
  ASSERT_EQ(connect(), 1);
  ASSERT_EQ(ftp().changeDir("a"), 1);
  struct Case {
    std::string name, content;
    int mode;
    std::string stored;
  } cases[] = {
      {"bytes.bin", allByteValues(), 1, allByteValues()},
      {"empty.bin", "", 1, ""},
      {"big.bin", randomBytes(3 << 20), 1, randomBytes(3 << 20)},
      {"报表 #1%.dat", "GBK name", 1, "GBK name"},
      {"mode2.txt", "a\r\nb\n", 2, "a\r\nb\n"},
      // Lines travel as CRLF in ASCII mode and a POSIX server stores them as they were.
      {"ascii.txt", "a\nb\r\n", 0, "a\nb\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(local("source"), c.content);
    EXPECT_EQ(ftp().upFile(c.name.c_str(), local("source").c_str(), c.mode), 1);
    EXPECT_TRUE(fs::exists(root("a/" + c.name)));
    EXPECT_TRUE(readFile(root("a/" + c.name)) == c.stored);  // no 3 MB diff on failure
    EXPECT_FALSE(fs::exists(root("a/" + c.name + ".part")));
  }
}

TEST_F(FtpUpload, ReplacesTheRemoteFile) {
  writeFile(root("report.txt"), std::string(5000, 'o'));
  start();
  ASSERT_EQ(connect(), 1);
  writeFile(local("report.txt"), "new");
  EXPECT_EQ(ftp().upFile("report.txt", local("report.txt").c_str(), 1), 1);
  EXPECT_EQ(readFile(root("report.txt")), "new");
}

TEST_F(FtpUpload, NothingToSendSendsNothing) {
  writeFile(local("here.txt"), "here");
  start();
  ASSERT_EQ(connect(), 1);
  struct Case {
    const char* remote;
    std::string local;
    int result;
  } cases[] = {
      {"ghost.txt", local("ghost.txt"), kReadError},
      {"ghost.txt", "", kReadError},
      {"", local("here.txt"), kBadName},
      {"ghost/", local("here.txt"), kBadName},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.local);
    EXPECT_EQ(ftp().upFile(c.remote, c.local.empty() ? nullptr : c.local.c_str(), 1), c.result);
    EXPECT_FALSE(fs::exists(root("ghost.txt")));
    EXPECT_FALSE(fs::exists(root("ghost")));
  }
}

TEST_F(FtpUpload, CutDataConnectionIsNeverSuccess) {
  constexpr std::size_t kCut = 16 << 10;
  start(kCut);
  ASSERT_EQ(connect(), 1);
  // A file below the cut passes. One a little above it is already sent in full when the server
  // cuts, and the server confirms it (226): only the size check can tell. A large one breaks
  // while it is being sent. Neither replaces the whole file, nor stays behind cut short.
  for (const std::size_t size : {std::size_t{1000}, kCut + 4000, std::size_t{3} << 20}) {
    SCOPED_TRACE(size);
    writeFile(local("source"), randomBytes(size));
    const int result = ftp().upFile("cut.bin", local("source").c_str(), 1);
    if (size < kCut) {
      EXPECT_EQ(result, 1);
    } else {
      EXPECT_NE(result, 1);
      EXPECT_NE(result, 0);
    }
    EXPECT_EQ(fs::file_size(root("cut.bin")), 1000u);
    EXPECT_FALSE(fs::exists(root("cut.bin.part")));
  }
}

TEST_F(FtpDownload, WritesTheFileByteForByte) {
  fs::create_directories(root("b"));
  start();
  ASSERT_EQ(connect(), 1);
  ASSERT_EQ(ftp().changeDir("/b"), 1);
  struct Case {
    std::string name, content;
    int mode;
    bool localExists;  // a longer local file is there before
    std::string written;
  } cases[] = {
      {"bytes.bin", allByteValues(), 1, false, allByteValues()},
      {"empty.bin", "", 1, true, ""},
      {"big.bin", randomBytes(3 << 20), 1, false, randomBytes(3 << 20)},
      {"报表 #1%.dat", "GBK name", 1, true, "GBK name"},
      // Lines arrive as CRLF in ASCII mode and are written with LF, as this system's text files.
      {"ascii.txt", "a\r\nb\n", 0, true, "a\nb\n"},
      {"binary.txt", "a\r\nb\n", 2, true, "a\r\nb\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(root("b/" + c.name), c.content);
    if (c.localExists) writeFile(local("target"), std::string(10000, 'x'));
    EXPECT_EQ(ftp().downLoadFile(c.name.c_str(), local("target").c_str(), c.mode), 1);
    EXPECT_TRUE(readFile(local("target")) == c.written);  // no 3 MB diff on failure
    fs::remove(local("target"));
  }
}

TEST_F(FtpDownload, FailureLeavesNoLocalFile) {
  constexpr int kCut = 16 << 10;
  fs::create_directories(root("folder"));
  writeFile(root("small.bin"), randomBytes(1000));
  writeFile(root("big.bin"), randomBytes(3 << 20));
  start(kCut);
  ASSERT_EQ(connect(), 1);
  struct Case {
    const char* remote;
    int result;  // 0: any failure (where the cut strikes first)
  } cases[] = {
      {"missing.bin", 550}, {"folder", 550}, {"", kBadName}, {"folder/", kBadName}, {"big.bin", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.remote);
    const int result = ftp().downLoadFile(c.remote, local("target").c_str(), 1);
    if (c.result != 0) {
      EXPECT_EQ(result, c.result);
    }
    EXPECT_NE(result, 1);
    EXPECT_NE(result, 0);
    EXPECT_FALSE(fs::exists(local("target")));
  }

  // The connection still serves what the cut lets through.
  EXPECT_EQ(ftp().downLoadFile("small.bin", local("small.bin").c_str(), 1), 1);
  EXPECT_EQ(readFile(local("small.bin")), readFile(root("small.bin")));
}

TEST_F(FtpSession, CallsOutsideAConnectionFail) {
  writeFile(root("hello.bin"), "x");
  writeFile(local("up.bin"), "y");
  start();
  const std::vector<std::pair<const char*, std::function<int()>>> calls = {
      {"change folder", [] { return ftp().changeDir("."); }},
      {"upload", [&] { return ftp().upFile("up.bin", local("up.bin").c_str(), 1); }},
      {"download", [&] { return ftp().downLoadFile("hello.bin", local("dl.bin").c_str(), 1); }},
  };
  const auto expectAllFail = [&](const char* when) {
    for (const auto& [what, call] : calls) {
      SCOPED_TRACE(std::string(when) + ": " + what);
      EXPECT_EQ(call(), kNotConnected);
    }
    EXPECT_FALSE(fs::exists(root("up.bin")));
    EXPECT_FALSE(fs::exists(local("dl.bin")));
  };
  ftp().disconnect();  // harmless when not connected
  expectAllFail("before connecting");
  ASSERT_EQ(connect(), 1);
  ftp().disconnect();
  expectAllFail("after disconnecting");
  ftp().disconnect();
}

TEST_F(FtpSession, ConnectAgainStartsOverInTheLoginFolder) {
  fs::create_directories(root("a"));
  writeFile(root("a/hello.txt"), "folder a");
  start();
  ASSERT_EQ(connect(), 1);
  ASSERT_EQ(ftp().changeDir("a"), 1);
  ASSERT_EQ(connect(), 1);
  ASSERT_EQ(ftp().downLoadFile("hello.txt", local("hello.txt").c_str(), 1), 1);
  EXPECT_EQ(readFile(local("hello.txt")), "user folder");
}

TEST_F(FtpSession, ThreadsShareTheConnection) {
  start();
  ASSERT_EQ(connect(), 1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        const std::string name = std::to_string(t) + "-" + std::to_string(i);
        writeFile(local(name), randomBytes(1000 + t * 10 + i));
        EXPECT_EQ(ftp().upFile(name.c_str(), local(name).c_str(), 1), 1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 5; ++i) {
      const std::string name = std::to_string(t) + "-" + std::to_string(i);
      EXPECT_EQ(readFile(root(name)), randomBytes(1000 + t * 10 + i)) << name;
    }
  }
}

TEST_F(FtpSession, LogsEachOperationWithoutThePassword) {
  fs::create_directories(root("a"));
  writeFile(local("up.txt"), "up");
  start();
  ASSERT_EQ(connect(logFolder()), 1);
  ASSERT_EQ(ftp().changeDir("a"), 1);
  ASSERT_EQ(ftp().changeDir("nope"), 550);
  ASSERT_EQ(ftp().upFile("up.txt", local("up.txt").c_str(), 1), 1);
  ASSERT_EQ(ftp().downLoadFile("gone.txt", local("gone.txt").c_str(), 1), 550);
  ftp().disconnect();
  ASSERT_EQ(ftp().connect(server_->address().c_str(), "21", kUser, "wrong", logFolder().c_str()),
            530);

  const std::string log = readFile(logFolder() + "/NxFtpContrl.log");
  EXPECT_EQ(log.find(kPassword), std::string::npos);
  EXPECT_EQ(log.find("wrong"), std::string::npos);
  std::istringstream lines(log);
  std::string line;
  struct Entry {
    const char *operation, *remote, *result;
  } entries[] = {
      {"Connect", "", "1"},
      {"ChangeDir", "a", "1"},
      {"ChangeDir", "nope", "550"},
      {"UpFile", "a/up.txt", "1"},
      {"DownLoadFile", "a/gone.txt", "550"},
      {"DisConnect", "a/", "1"},
      {"Connect", "", "530"},
  };
  for (const Entry& entry : entries) {
    SCOPED_TRACE(entry.operation);
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_NE(line.find(std::string(" ") + entry.operation + " "), std::string::npos) << line;
    EXPECT_NE(line.find(std::string(kUser) + "@" + server_->address() + ":21 "), std::string::npos)
        << line;
    EXPECT_NE(line.find(std::string(" remote=") + entry.remote + " "), std::string::npos) << line;
    EXPECT_TRUE(line.ends_with(std::string(" result=") + entry.result)) << line;
  }
  EXPECT_FALSE(std::getline(lines, line)) << "more lines than operations: " << line;

  // A log that cannot be written does not get in the way.
  EXPECT_EQ(connect(root("no such folder")), 1);
  EXPECT_EQ(ftp().changeDir("a"), 1);
}

}  // namespace
