// A real FTP server on a loopback address of its own for one test: the pyftpdlib stand-in
// (vendor/ftp_standin.py, whose path each test program passes), serving a folder of the test.
// It runs until the object goes; a test that dies takes it along (its stdin closes).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/line_process.h"
#include "tests/support/loopback.h"

namespace testsupport {

struct FtpServerOptions {
  std::string address = freeLoopbackAddress(21);
  int port = 21;
  // Every member has a default, so a designated initializer may leave out any of them.
  std::string root{};  // the named user's folder, full rights
  std::string user{};  // none: only anonymous logins, if anonymousRoot is set
  std::string password{};
  std::string anonymousRoot{};  // read-only folder of anonymous logins; none: refused
  long long dropAfter = -1;     // >= 0: cut every data connection after that many bytes
};

class FtpServer {
 public:
  // Starts the script at `standinScript` with /usr/bin/python3 and waits for it to listen;
  // throws std::runtime_error with its reason when it does not within 10 s.
  FtpServer(const std::string& standinScript, const FtpServerOptions& options)
      : options_(options), process_(arguments(standinScript, options)) {
    const std::optional<std::string> line = process_.receive(10000);
    if (line != std::optional<std::string>("ready")) {
      throw std::runtime_error("FTP stand-in on " + options.address + " did not start: " +
                               line.value_or("no answer within 10 s (see its stderr)"));
    }
  }
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;
  // Closing its input stops the server; LineProcess kills it if it is still there.
  ~FtpServer() = default;

  const std::string& address() const { return options_.address; }
  std::string port() const { return std::to_string(options_.port); }

 private:
  static std::vector<std::string> arguments(const std::string& script, const FtpServerOptions& o) {
    std::vector<std::string> argv = {"/usr/bin/python3", script,   "--address",
                                     o.address,          "--port", std::to_string(o.port),
                                     "--root",           o.root};
    if (!o.user.empty()) argv.insert(argv.end(), {"--user", o.user, "--password", o.password});
    if (!o.anonymousRoot.empty()) argv.insert(argv.end(), {"--anonymous-root", o.anonymousRoot});
    if (o.dropAfter >= 0) argv.insert(argv.end(), {"--drop-after", std::to_string(o.dropAfter)});
    return argv;
  }

  FtpServerOptions options_;
  LineProcess process_;
};

}  // namespace testsupport
