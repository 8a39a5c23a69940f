// vendor-standin: the vendor's web service for the demo, on one address until SIGTERM or SIGINT.
// It answers the branch query, the FTP access query and the upload confirmation with GBK texts
// and writes every request (target, a blank, the body as received) as a line to stdout and --log.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "launcher/support/text_cipher.h"
#include "platform/gbk.h"
#include "vendor/http_standin.h"

namespace {

constexpr char kAccessKey[] = "36^tR&74";

const char kUsage[] =
    "usage: vendor-standin --address A [--port 80] --branch TEXT --ftp-access TEXT [--log FILE]\n"
    "  --branch      the branch query's answer after \"OK\", e.g. \"012,name\"\n"
    "  --ftp-access  \"user,password,host1:21|host2:21,folder\", sent enciphered\n"
    "  --log         a file that every request is appended to, as on stdout\n";

struct Options {
  std::string address;
  int port = 80;
  std::string branch;
  std::string ftpAccess;
  std::string logFile;  // none when empty
};

// nullopt on anything but the options above, each given at most once with a value
// ("--name value" or "--name=value").
std::optional<Options> parseOptions(int argc, char** argv) {
  std::optional<std::string> address, port, branch, ftpAccess, logFile;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::optional<std::string> value;
    if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != name.npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    } else if (i + 1 < argc) {
      value = argv[++i];
    }
    std::optional<std::string>* slot = name == "--address"      ? &address
                                       : name == "--port"       ? &port
                                       : name == "--branch"     ? &branch
                                       : name == "--ftp-access" ? &ftpAccess
                                       : name == "--log"        ? &logFile
                                                                : nullptr;
    if (slot == nullptr || *slot || !value) return std::nullopt;
    *slot = std::move(value);
  }
  if (!address || address->empty() || !branch || !ftpAccess) return std::nullopt;
  if (logFile && logFile->empty()) return std::nullopt;
  Options options{*address, 80, *branch, *ftpAccess, logFile.value_or("")};
  if (port) {
    if (port->empty() || port->size() > 5 || port->find_first_not_of("0123456789") != port->npos) {
      return std::nullopt;
    }
    options.port = std::stoi(*port);
    if (options.port > 65535) return std::nullopt;
  }
  return options;
}

// Request lines from several connection threads must not interleave.
class RequestLog {
 public:
  explicit RequestLog(std::FILE* file) : file_(file) {}

  void write(const vendor::HttpRequest& request) {
    std::string line = request.target + " " + request.body + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    if (file_ != nullptr) {
      std::fwrite(line.data(), 1, line.size(), file_);
      std::fflush(file_);
    }
  }

 private:
  std::mutex mutex_;
  std::FILE* file_;
};

bool samePath(std::string_view target, std::string_view path) {
  // IIS ignores the letter case of paths, and a query string does not change the page.
  target = target.substr(0, target.find('?'));
  if (target.size() != path.size()) return false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(target[i]) != lower(path[i])) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = parseOptions(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  // A text that is not UTF-8, or has characters GBK lacks, goes out as the bytes it was given.
  const std::string branch = "OK" + platform::utf8ToGbk(options->branch).value_or(options->branch);
  std::string access;
  try {
    access = "OK:" + launcher::EncryptText(options->ftpAccess, kAccessKey);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vendor-standin: --ftp-access: %s\n", error.what());
    return 2;
  }

  std::FILE* logFile = nullptr;
  if (!options->logFile.empty()) {
    logFile = std::fopen(options->logFile.c_str(), "ab");
    if (logFile == nullptr) {
      std::fprintf(stderr, "vendor-standin: cannot open %s: %s\n", options->logFile.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  RequestLog log(logFile);

  // Blocked before any thread starts, so that only sigwait below receives them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  int status = 0;
  try {
    vendor::HttpStandIn service(options->address, options->port,
                                [&](const vendor::HttpRequest& request) {
                                  log.write(request);
                                  vendor::HttpReply reply;
                                  if (samePath(request.target, "/ywpost/getsubcomname.aspx")) {
                                    reply.body = branch;
                                  } else if (samePath(request.target, "/ywpost/getftp2014.aspx")) {
                                    reply.body = access;
                                  } else if (samePath(request.target, "/ywpost/getftpok.aspx")) {
                                    reply.body = "OK";
                                  } else {
                                    reply.status = 404;
                                    return reply;
                                  }
                                  if (request.method != "POST") {
                                    reply.status = 405;
                                    reply.body.clear();
                                  }
                                  return reply;
                                });
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vendor-standin: %s\n", error.what());
    status = 1;
  }
  if (logFile != nullptr) std::fclose(logFile);
  return status;
}
