// mariadb_fixture start DIR | stop DIR: the CTest fixture "mariadb". start
// leaves one detached server and DIR/server.info for the whole test run; stop
// ends that server and removes DIR. Exit status 0, or 1 with a message.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "tests/support/database_server.h"

int main(int argc, char** argv) {
  const std::string action = argc == 3 ? argv[1] : "";
  if (action != "start" && action != "stop") {
    std::fprintf(stderr, "usage: mariadb_fixture start|stop DIR\n");
    return 2;
  }
  const std::string dir = argv[2];
  const auto begin = std::chrono::steady_clock::now();
  const auto elapsedMs = [&] {
    return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - begin)
                                      .count());
  };
  try {
    if (action == "start") {
      const testsupport::DatabaseServer server = testsupport::startDatabaseServer(dir);
      std::printf("mariadb_fixture: server on %s:%d, data in %s, ready after %lld ms\n",
                  server.host.c_str(), server.port, server.dataDir.c_str(), elapsedMs());
    } else {
      testsupport::stopDatabaseServer(dir);
      std::printf("mariadb_fixture: server of %s stopped and folder removed after %lld ms\n",
                  dir.c_str(), elapsedMs());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mariadb_fixture %s %s: %s\n", action.c_str(), dir.c_str(), e.what());
    return 1;
  }
  return 0;
}
