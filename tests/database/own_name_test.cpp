// Setting up a server's data folder on a machine whose own name does not
// resolve (no /etc/hosts entry for it, as in a bare container): both the
// application folder's set-up and the test run's server must still work.
// The machine is made so in a mount namespace with an empty /etc/hosts.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/process.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(SetUpWithoutOwnName, DataFoldersInitialiseWhenTheMachinesNameDoesNotResolve) {
  TempDir temp;
  std::ofstream(temp.path() + "hosts") << "";
  const std::string script = "mount --bind '" + temp.path() +
                             "hosts' /etc/hosts || exit 91\n"
                             "getent hosts \"$(hostname)\" >/dev/null && exit 92\n"
                             "/bin/bash '" CREATE_APPDIR "' '" +
                             temp.path() +
                             "app' >/dev/null || exit 1\n"
                             "'" MARIADB_FIXTURE "' start '" +
                             temp.path() +
                             "db' || exit 2\n"
                             "'" MARIADB_FIXTURE "' stop '" +
                             temp.path() + "db' || exit 3\n";
  std::string error;
  auto child = platform::Processes::Default().startCaptured(
      {"unshare", "--mount", "/bin/sh", "-c", script}, {{"NORVEX_CLIENT_STANDIN", CLIENT_STANDIN}},
      &error);
  if (!child) GTEST_SKIP() << "unshare cannot be run here: " << error;
  std::string output;
  while (child->read(&output, std::chrono::milliseconds(1000))) {
  }
  const int code = child->wait();
  if (code == 91 || output.find("unshare failed") != std::string::npos) {
    GTEST_SKIP() << "no mount namespace with an empty /etc/hosts here: " << output;
  }
  if (code == 92) GTEST_SKIP() << "this machine resolves its name without /etc/hosts";
  EXPECT_EQ(code, 0) << output;
  EXPECT_TRUE(std::filesystem::is_directory(temp.path() + "app/mysql/data/mysql")) << output;
}

}  // namespace
