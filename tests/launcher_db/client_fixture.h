// What the client-layer tests share: an application folder whose config/libmysql.so links the
// system's client library (the current folder while it lives), and fixtures that start and
// end every test with the library released, so nothing may be left open.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "launcher/support/mysql_client.h"
#include "tests/support/database_server.h"
#include "tests/support/temp_dir.h"

namespace launcher_db_test {

class AppFolder {
 public:
  AppFolder() : previous_(std::filesystem::current_path()) {
    std::filesystem::create_directory(dir_.path() + "config");
    std::filesystem::create_symlink(MARIADB_CLIENT_LIBRARY, dir_.path() + "config/libmysql.so");
    std::filesystem::current_path(dir_.path());
  }
  ~AppFolder() { std::filesystem::current_path(previous_); }
  AppFolder(const AppFolder&) = delete;
  AppFolder& operator=(const AppFolder&) = delete;

  const std::string& path() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::filesystem::path previous_;
};

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(launcher::ReleaseClientLibrary()); }
  // False here means a connection or result set outlived its test.
  void TearDown() override { EXPECT_TRUE(launcher::ReleaseClientLibrary()); }

  static std::unique_ptr<launcher::TMySqliConn> connect(const std::string& database) {
    const testsupport::DatabaseServer& server = testsupport::databaseServer();
    return std::make_unique<launcher::TMySqliConn>(server.host, server.user, server.password,
                                                   database, server.port);
  }
};

// A test against the real server, in an application folder of its own with a fresh database.
class ServerTest : public ClientTest {
 protected:
  AppFolder folder_;
  testsupport::ScratchDatabase db_{"launcher_db"};
};

}  // namespace launcher_db_test
