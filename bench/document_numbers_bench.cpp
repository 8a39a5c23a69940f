// Document numbers per second through the host against a private MariaDB
// server: one client alone, then four client processes drawing at once; the
// numbers handed out twice are counted and printed (they must be 0).
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "platform/gbk.h"
#include "tests/support/database_server.h"

namespace {

constexpr int kDrawsPerClient = 400;

// A forked client: its own host and connection, started when `start` closes;
// writes each first number to `out`. Leaves with _exit so that only the parent
// stops the server.
[[noreturn]] void runClient(const testsupport::DatabaseServer& server, const std::string& database,
                            int start, const std::string& out) {
  host::Host library(NXCLASS_PATH);
  library.create("n_cst_dbfunc", "db");
  const host::CallResult connected =
      library.call("db", "of_ConnectMySQL",
                   {host::Value::string(server.host), host::Value::string(database),
                    host::Value::string(server.user), host::Value::string(server.password),
                    host::Value::int16(static_cast<pbint>(server.port))});
  if (connected.result.integer() != 1) _exit(2);
  char buffer[8];
  while (read(start, buffer, sizeof buffer) > 0) {
  }
  std::ofstream numbers(out);
  for (int i = 0; i < kDrawsPerClient; ++i) {
    numbers << library
                   .call("db", "of_findnextid",
                         {host::Value::string("bench"), host::Value::string("2024-05-06"),
                          host::Value::int16(1)})
                   .result.integer()
            << '\n';
  }
  numbers.close();
  _exit(0);
}

// Draws with `clients` processes at once; prints the rate and the duplicates.
void measure(const testsupport::DatabaseServer& server, const std::string& database, int clients) {
  int start[2];
  if (pipe(start) != 0) return;
  std::vector<pid_t> pids;
  std::vector<std::string> outs;
  for (int c = 0; c < clients; ++c) {
    outs.push_back("/tmp/document_numbers_bench." + std::to_string(getpid()) + "." +
                   std::to_string(c));
    const pid_t pid = fork();
    if (pid == 0) {
      close(start[1]);
      runClient(server, database, start[0], outs.back());
    }
    pids.push_back(pid);
  }
  close(start[0]);
  sleep(1);  // lets every client connect, so only drawing is timed
  const auto begun = std::chrono::steady_clock::now();
  close(start[1]);
  bool allOk = true;
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    allOk = allOk && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
  std::map<long long, int> seen;
  long long drawn = 0;
  for (const std::string& out : outs) {
    std::ifstream in(out);
    long long number = 0;
    while (in >> number) {
      ++seen[number];
      ++drawn;
    }
    std::remove(out.c_str());
  }
  long long duplicates = 0;
  for (const auto& entry : seen) duplicates += entry.second - 1;
  std::printf("%d client(s): %lld numbers in %.3f s, %.0f numbers/s, duplicates %lld%s\n", clients,
              drawn, seconds, static_cast<double>(drawn) / seconds, duplicates,
              allOk ? "" : " (a client failed)");
}

}  // namespace

int main() {
  const testsupport::DatabaseServer& server = testsupport::databaseServer();
  std::ifstream in(NORVEX_SOURCE_DIR "/appdir/shop.SQL", std::ios::binary);
  std::stringstream script;
  script << in.rdbuf();
  for (int clients : {1, 4}) {
    testsupport::ScratchDatabase database("numbers_bench");
    database.run(platform::utf8ToGbk(script.str()).value_or(""));
    measure(server, database.name(), clients);
  }
  return 0;
}
