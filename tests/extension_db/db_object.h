// One n_cst_dbfunc object "db" of the real library for a test, and shorthands
// for its calls. The library's connection is process-wide: a test that needs
// none first closes it with a connect attempt that fails.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/extension/library.h"
#include "tests/support/database_server.h"

namespace dbtest {

using host::Value;
using host::ValueType;

// A loopback port nobody listens on: bound, read and released at once.
inline int closedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

class DbObject : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(nxtest::library().create("n_cst_dbfunc", "db"), PBX_OK); }
  void TearDown() override { nxtest::library().destroy("db"); }

  host::CallResult call(const char* method, std::vector<Value> args = {}) {
    return nxtest::library().call("db", method, std::move(args));
  }
  host::CallResult connect(const std::string& server, const std::string& database,
                           const std::string& user, const std::string& password, int port) {
    return call("of_ConnectMySQL",
                {Value::string(server), Value::string(database), Value::string(user),
                 Value::string(password), Value::int16(static_cast<pbint>(port))});
  }
  host::CallResult connectAsRoot(const std::string& database) {
    const testsupport::DatabaseServer& s = testsupport::databaseServer();
    return connect(s.host, database, s.user, s.password, s.port);
  }
  void disconnect() {
    ASSERT_EQ(connect("127.0.0.1", "x", "x", "x", closedPort()).result.integer(), -3);
  }
  std::string getString(const std::string& sql) {
    return call("of_GetString", {Value::string(sql), Value::string("c")}).result.text();
  }
};

}  // namespace dbtest
