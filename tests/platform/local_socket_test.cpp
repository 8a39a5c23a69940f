// The local socket: requests and replies, the owner-only file, a socket
// left behind by a server that is gone, a second server on the same path,
// and a peer of another user.
#include "platform/local_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

TEST(LocalSocket, AnswersItsOwnersRequestsFromAFileOnlyTheOwnerMayUse) {
  TempDir temp;
  const std::string path = temp.path() + "launcher.sock";
  {
    platform::LocalSocketServer server;
    std::string error;
    ASSERT_TRUE(server.listen(
        path, [](const std::string& r) { return "re:" + r; }, &error))
        << error;
    struct stat file;
    ASSERT_EQ(stat(path.c_str(), &file), 0);
    EXPECT_TRUE(S_ISSOCK(file.st_mode));
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    for (const std::string request : {"send-message 1030", "a b c", "会员"}) {
      EXPECT_EQ(platform::askLocalSocket(path, request, 5s, &error), "re:" + request) << error;
    }
    // A second server on the same path does not take it over.
    platform::LocalSocketServer second;
    EXPECT_FALSE(second.listen(
        path, [](const std::string&) { return ""; }, &error));
    EXPECT_NE(error.find("another program"), std::string::npos) << error;
    EXPECT_EQ(platform::askLocalSocket(path, "still", 5s, &error), "re:still");
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  std::string error;
  EXPECT_EQ(platform::askLocalSocket(path, "anyone?", 1s, &error), std::nullopt);
  EXPECT_NE(error.find(path), std::string::npos) << error;
}

TEST(LocalSocket, ASocketLeftByAServerThatIsGoneIsReplaced) {
  TempDir temp;
  const std::string path = temp.path() + "launcher.sock";
  // A bound socket nobody listens on, as a killed server leaves it.
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  platform::LocalSocketServer server;
  std::string error;
  ASSERT_TRUE(server.listen(
      path, [](const std::string&) { return "ok"; }, &error))
      << error;
  EXPECT_EQ(platform::askLocalSocket(path, "x", 5s, &error), "ok");
}

TEST(LocalSocket, APathLongerThanASocketAddressIsRefused) {
  platform::LocalSocketServer server;
  std::string error;
  EXPECT_FALSE(server.listen(
      "/tmp/" + std::string(200, 'x'), [](const std::string&) { return ""; }, &error));
  EXPECT_NE(error.find("too long"), std::string::npos) << error;
}

TEST(LocalSocket, APeerOfAnotherUserIsNotServed) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can be another user here";
  TempDir temp;
  chmod(temp.path().c_str(), 0755);
  const std::string path = temp.path() + "launcher.sock";
  int handled = 0;
  platform::LocalSocketServer server;
  std::string error;
  ASSERT_TRUE(server.listen(
      path,
      [&](const std::string&) {
        ++handled;
        return "ok";
      },
      &error));
  // Another user: even with the file opened to everyone, the server refuses.
  chmod(path.c_str(), 0666);
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    std::string reason;
    const auto reply = platform::askLocalSocket(path, "send-message 1030", 5s, &reason);
    _exit(reply && *reply == "ok" ? 0 : reply ? 1 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 1);  // answered with a refusal
  EXPECT_EQ(handled, 0);
}

}  // namespace
