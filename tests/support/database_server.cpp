// Starts, finds and stops the MariaDB server of a test run, and runs SQL in
// scratch databases through the mariadb client. Children are started from an
// argument vector with posix_spawn, never a shell; passwords go in MYSQL_PWD.
#include "tests/support/database_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kUser = "root";
constexpr auto kStartLimit = 30s;
constexpr auto kStopLimit = 60s;

std::runtime_error failure(const std::string& what) { return std::runtime_error(what); }

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// ---- child processes --------------------------------------------------------

// Root's PATH has /usr/sbin (mariadbd), a user's often has not.
std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(std::string(path ? path : "") + ":/usr/sbin:/usr/bin:/sbin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate)) return candidate;
  }
  throw failure(name + " not found; install mariadb-server and mariadb-client");
}

// The environment of this process without a password of its own, plus
// MYSQL_PWD when one is given.
std::vector<std::string> childEnvironment(const std::optional<std::string>& password) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "MYSQL_PWD=", 10) != 0) env.emplace_back(*e);
  }
  if (password) env.push_back("MYSQL_PWD=" + *password);
  return env;
}

std::vector<char*> pointers(const std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (const std::string& t : texts) result.push_back(const_cast<char*>(t.c_str()));
  result.push_back(nullptr);
  return result;
}

// Starts argv[0] with the given standard streams and no other descriptor;
// default signal handling whatever the test program set up.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const int streams[3], bool newSession) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_adddup2(&actions, streams[fd], fd);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (newSession) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attributes, flags);
  std::vector<char*> args = pointers(argv);
  std::vector<char*> envp = pointers(env);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw failure("cannot start " + argv[0] + ": " + std::strerror(rc));
  return pid;
}

struct Outcome {
  int status = 0;  // exit code, or 128 + signal
  std::string out;
  std::string err;
};

int exitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs a program to its end, feeding `input` and collecting both outputs at
// once so that neither pipe can fill up and stall the child.
Outcome runProgram(const std::vector<std::string>& argv, const std::string& input,
                   const std::optional<std::string>& password = std::nullopt) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0) throw failure(errnoText("pipe"));
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    throw failure(errnoText("pipe"));
  }
  const int streams[3] = {in[0], out[1], err[1]};
  pid_t pid = -1;
  try {
    pid = spawn(argv, childEnvironment(password), streams, false);
  } catch (...) {
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    throw;
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);

  // A client that quits early must not kill the test with SIGPIPE.
  sigset_t pipeSignal, previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  bool brokenPipe = false;

  Outcome outcome;
  std::size_t written = 0;
  int toChild = in[1];
  fcntl(toChild, F_SETFL, O_NONBLOCK);  // a full pipe must not stop us reading
  if (input.empty()) {
    close(toChild);
    toChild = -1;
  }
  int fromChild[2] = {out[0], err[0]};
  std::string* sinks[2] = {&outcome.out, &outcome.err};
  while (toChild >= 0 || fromChild[0] >= 0 || fromChild[1] >= 0) {
    pollfd fds[3] = {{toChild, POLLOUT, 0}, {fromChild[0], POLLIN, 0}, {fromChild[1], POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (toChild >= 0 && fds[0].revents != 0) {
      const ssize_t n = write(toChild, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 && errno == EPIPE) brokenPipe = true;
      if ((n < 0 && errno != EINTR && errno != EAGAIN) || written == input.size()) {
        close(toChild);
        toChild = -1;
      }
    }
    for (int i = 0; i < 2; ++i) {
      if (fromChild[i] < 0 || fds[i + 1].revents == 0) continue;
      char buffer[8192];
      const ssize_t n = read(fromChild[i], buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fromChild[i]);
        fromChild[i] = -1;
      }
    }
  }
  if (brokenPipe && !sigismember(&previous, SIGPIPE)) {
    const timespec now{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &now) > 0) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  outcome.status = exitStatus(status);
  return outcome;
}

// The server outlives whoever started it: own session, no descriptor of
// ours (CTest would otherwise wait for its pipes), its log in error.log.
pid_t spawnDetached(const std::vector<std::string>& argv) {
  const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (devNull < 0) throw failure(errnoText("/dev/null"));
  const int streams[3] = {devNull, devNull, devNull};
  try {
    const pid_t pid = spawn(argv, childEnvironment(std::nullopt), streams, true);
    close(devNull);
    return pid;
  } catch (...) {
    close(devNull);
    throw;
  }
}

// Gone means exited: reaped when it is our child, dead or a zombie otherwise
// (an orphaned server waits for init to reap it).
bool hasExited(pid_t pid) {
  int status = 0;
  const pid_t r = waitpid(pid, &status, WNOHANG);
  if (r == pid) return true;
  if (r == 0) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const std::size_t paren = line.rfind(')');  // the name may hold spaces
  const char state = paren != std::string::npos && paren + 2 < line.size() ? line[paren + 2] : 'X';
  return state == 'Z' || state == 'X';
}

bool waitForExit(pid_t pid, Clock::duration limit) {
  const auto deadline = Clock::now() + limit;
  while (!hasExited(pid)) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

std::vector<std::string> commandLine(const fs::path& proc) {
  std::ifstream file(proc / "cmdline", std::ios::binary);
  std::vector<std::string> args;
  for (std::string arg; std::getline(file, arg, '\0');) args.push_back(arg);
  return args;
}

// Every live server process started with this option file, found in /proc
// so that a server still starting up (no pid file yet) is found as well.
std::vector<pid_t> serversUsing(const fs::path& optionFile) {
  const std::string wanted = "--defaults-file=" + optionFile.string();
  std::vector<pid_t> pids;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    for (const std::string& arg : commandLine(entry.path())) {
      if (arg == wanted) {
        pids.push_back(static_cast<pid_t>(std::stol(name)));
        break;
      }
    }
  }
  return pids;
}

// ---- the server's files ------------------------------------------------------

struct Layout {
  explicit Layout(const fs::path& dir)
      : folder(dir),
        options(dir / "my.cnf"),
        data(dir / "data"),
        socket(dir / "mysqld.sock"),
        pidFile(dir / "mysqld.pid"),
        errorLog(dir / "error.log"),
        info(dir / "server.info"),
        clientOptions(dir / "client.cnf"),
        tmp(dir / "tmp") {}
  // tmp: servers that share a temporary folder remove each other's tables.
  fs::path folder, options, data, socket, pidFile, errorLog, info, clientOptions, tmp;
};

void writeFile(const fs::path& path, const std::string& text) {
  // Written aside and renamed, so a reader never sees half a file.
  const fs::path aside = path.string() + ".new";
  {
    std::ofstream file(aside, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file.flush()) throw failure("cannot write " + aside.string());
  }
  fs::permissions(aside, fs::perms::owner_read | fs::perms::owner_write);
  fs::rename(aside, path);
}

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string lastLines(const std::string& text, std::size_t count) {
  std::size_t start = text.size();
  for (std::size_t lines = 0; start > 0 && lines <= count; --start) {
    if (text[start - 1] == '\n') ++lines;
  }
  return text.substr(start);
}

// Small buffers and no durability: the server starts in a second and its
// data is thrown away after the run anyway. Table names ignore letter case,
// as they do on the shop's own server (the statements spell some tables in
// two ways).
std::string optionFileText(const Layout& files, int port) {
  std::string text =
      "# One test run's MariaDB server; see tests/support/database_server.h.\n"
      "[mysqld]\n"
      "datadir=" + files.data.string() + "\n"
      "socket=" + files.socket.string() + "\n"
      "port=" + std::to_string(port) + "\n"
      "bind-address=127.0.0.1\n"
      "pid-file=" + files.pidFile.string() + "\n"
      "tmpdir=" + files.tmp.string() + "\n"
      "log-error=" + files.errorLog.string() + "\n"
      "character-set-server=gbk\n"
      "collation-server=gbk_chinese_ci\n"
      "lower_case_table_names=1\n"
      "skip-name-resolve\n"
      "performance_schema=OFF\n"
      "innodb_buffer_pool_size=16M\n"
      "innodb_log_file_size=16M\n"
      "innodb_flush_log_at_trx_commit=0\n"
      "innodb_doublewrite=0\n"
      "key_buffer_size=1M\n";
  // mariadbd refuses to run as root unless told to.
  if (geteuid() == 0) text += "user=root\n";
  return text;
}

int freeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw failure(errnoText("socket"));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  inet_pton(AF_INET, kHost, &address.sin_addr);
  socklen_t length = sizeof address;
  const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  const int savedErrno = errno;
  close(fd);
  if (!ok) {
    errno = savedErrno;
    throw failure(errnoText("no free loopback port"));
  }
  return ntohs(address.sin_port);
}

// Ready once the socket file answers with the greeting of protocol 10; the
// server opens it after binding its TCP port, so the port is ours as well.
bool greets(const fs::path& socketPath, Clock::time_point deadline) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  bool ready = false;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    unsigned char greeting[5];
    std::size_t got = 0;
    while (got < sizeof greeting && Clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      const ssize_t n = read(fd, greeting + got, sizeof greeting - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    ready = got == sizeof greeting && greeting[4] == 10;
  }
  close(fd);
  return ready;
}

enum class Start { Ready, Exited, TimedOut };

Start waitUntilReady(pid_t pid, const Layout& files) {
  const auto deadline = Clock::now() + kStartLimit;
  while (Clock::now() < deadline) {
    if (hasExited(pid)) return Start::Exited;
    if (greets(files.socket, deadline)) return Start::Ready;
    std::this_thread::sleep_for(50ms);
  }
  return Start::TimedOut;
}

std::string randomPassword() {
  static const char kLetters[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
  std::random_device random;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  std::string password;
  for (int i = 0; i < 24; ++i) password += kLetters[pick(random)];
  return password;
}

void stopServersOf(const fs::path& dir) {
  const std::vector<pid_t> pids = serversUsing(Layout(dir).options);
  for (pid_t pid : pids) kill(pid, SIGTERM);
  for (pid_t pid : pids) {
    if (waitForExit(pid, kStopLimit)) continue;
    kill(pid, SIGKILL);
    if (!waitForExit(pid, 10s)) {
      throw failure("mariadbd " + std::to_string(pid) + " of " + dir.string() + " does not exit");
    }
  }
  // Give init a moment to reap an orphaned server, so no zombie lingers.
  const auto deadline = Clock::now() + 3s;
  for (pid_t pid : pids) {
    while (fs::exists("/proc/" + std::to_string(pid)) && Clock::now() < deadline) {
      std::this_thread::sleep_for(20ms);
    }
  }
}

// ---- the mariadb client -------------------------------------------------------

std::vector<std::string> clientArguments(const DatabaseServer& server,
                                         const std::string& database) {
  std::vector<std::string> args = {
      findProgram("mariadb"),
      "--no-defaults",
      "--protocol=TCP",
      "--host=" + server.host,
      "--port=" + std::to_string(server.port),
      "--user=" + server.user,
      "--default-character-set=gbk",
      "--batch",
      "--skip-column-names",
      "--raw",
  };
  if (!database.empty()) args.push_back("--database=" + database);
  return args;
}

std::string runClient(const DatabaseServer& server, const std::string& database,
                      const std::string& sql) {
  const Outcome outcome = runProgram(clientArguments(server, database), sql, server.password);
  if (outcome.status != 0) {
    throw failure("mariadb client failed (exit " + std::to_string(outcome.status) + ")" +
                  (database.empty() ? "" : " in " + database) + ": " + outcome.err +
                  "SQL: " + sql.substr(0, 300));
  }
  return outcome.out;
}

// The accounts of a fresh data folder have no password; tests log in over
// TCP from 127.0.0.1, which skip-name-resolve matches only by address.
void setRootPassword(const Layout& files, const std::string& password) {
  const std::string sql =
      "CREATE USER IF NOT EXISTS 'root'@'127.0.0.1';\n"
      "GRANT ALL PRIVILEGES ON *.* TO 'root'@'127.0.0.1' WITH GRANT OPTION;\n"
      "ALTER USER 'root'@'127.0.0.1' IDENTIFIED BY '" + password + "';\n"
      "ALTER USER 'root'@'localhost' IDENTIFIED BY '" + password + "';\n"
      "ALTER USER IF EXISTS 'root'@'::1' IDENTIFIED BY '" + password + "';\n";
  const Outcome outcome = runProgram({findProgram("mariadb"), "--no-defaults",
                                      "--socket=" + files.socket.string(), "--user=root",
                                      "--batch"},
                                     sql);
  if (outcome.status != 0) throw failure("cannot set the root password: " + outcome.err);
}

void installDataFolder(const Layout& files) {
  const Outcome outcome = runProgram({findProgram("mariadb-install-db"),
                                      "--defaults-file=" + files.options.string(),
                                      "--basedir=/usr",
                                      "--auth-root-authentication-method=normal",
                                      "--skip-test-db",
                                      // without it, a machine whose own name does not
                                      // resolve (a bare container) is refused
                                      "--force"},
                                     "");
  if (outcome.status != 0) {
    throw failure("mariadb-install-db failed (exit " + std::to_string(outcome.status) +
                  "):\n" + lastLines(outcome.out + outcome.err, 30) +
                  lastLines(readFile(files.errorLog), 30));
  }
}

// Starts mariadbd and waits for it; a port taken between choosing and
// binding it is chosen anew.
int launch(const Layout& files, const std::string& server) {
  for (int attempt = 1;; ++attempt) {
    const int port = freeLoopbackPort();
    writeFile(files.options, optionFileText(files, port));
    const pid_t pid = spawnDetached({server, "--defaults-file=" + files.options.string()});
    const Start start = waitUntilReady(pid, files);
    if (start == Start::Ready) return port;
    const std::string log = readFile(files.errorLog);
    if (start == Start::Exited && attempt < 3 &&
        log.find("Address already in use") != std::string::npos) {
      continue;
    }
    throw failure(std::string(start == Start::Exited ? "mariadbd exited" : "mariadbd not ready") +
                  " (see " + files.errorLog.string() + "):\n" + lastLines(log, 30));
  }
}

std::string serverInfoText(const DatabaseServer& server, const Layout& files) {
  return "host=" + server.host + "\nport=" + std::to_string(server.port) + "\nuser=" +
         server.user + "\npassword=" + server.password + "\ndatadir=" + server.dataDir +
         "\nsocket=" + files.socket.string() + "\n";
}

// For a person at the shell: mariadb --defaults-file=DIR/client.cnf
std::string clientOptionText(const DatabaseServer& server) {
  return "[client]\nprotocol=TCP\nhost=" + server.host + "\nport=" + std::to_string(server.port) +
         "\nuser=" + server.user + "\npassword=" + server.password +
         "\ndefault-character-set=gbk\n";
}

std::optional<DatabaseServer> readServerInfo(const fs::path& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  DatabaseServer server;
  for (std::string line; std::getline(file, line);) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "host") server.host = value;
    if (key == "port") server.port = std::atoi(value.c_str());
    if (key == "user") server.user = value;
    if (key == "password") server.password = value;
    if (key == "datadir") server.dataDir = value;
  }
  if (server.host.empty() || server.port <= 0 || server.user.empty()) {
    throw failure(path.string() + " is incomplete");
  }
  return server;
}

// ---- the server of this process ----------------------------------------------

// Stops the private server when the process ends normally; a forked child
// that exits must leave its parent's server alone.
struct PrivateServer {
  std::string dir;
  pid_t owner = getpid();
  ~PrivateServer() {
    if (getpid() != owner) return;
    try {
      stopDatabaseServer(dir);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "database_server: %s\n", e.what());
    }
  }
};

DatabaseServer findOrStartServer() {
  const char* shared = std::getenv("NORVEX_TEST_MARIADB");
  if (shared != nullptr && *shared != '\0') {
    if (auto server = readServerInfo(fs::path(shared) / "server.info")) return *server;
    std::fprintf(stderr, "database_server: no server.info in %s; starting a private server\n",
                 shared);
  }
  std::string dir = (fs::temp_directory_path() / "norvex-mariadb.XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) throw failure(errnoText("mkdtemp"));
  static PrivateServer stopAtExit{dir};
  return startDatabaseServer(dir);
}

std::string scratchName(const std::string& hint) {
  static std::atomic<unsigned> counter{0};
  std::string name;
  for (unsigned char c : hint.substr(0, 32)) {
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    name += (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? static_cast<char>(c) : '_';
  }
  if (name.empty()) name = "scratch";
  return name + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

}  // namespace

DatabaseServer startDatabaseServer(const std::string& dirText) {
  fs::create_directories(dirText);
  const fs::path dir = fs::canonical(dirText);
  const Layout files(dir);
  if (files.socket.string().size() >= sizeof(sockaddr_un::sun_path)) {
    throw failure("folder path too long for a socket file: " + dir.string());
  }
  stopServersOf(dir);
  for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());

  const std::string serverProgram = findProgram("mariadbd");
  fs::create_directories(files.tmp);
  writeFile(files.options, optionFileText(files, 0));
  installDataFolder(files);
  try {
    DatabaseServer server{kHost, launch(files, serverProgram), kUser, randomPassword(),
                          files.data.string()};
    setRootPassword(files, server.password);
    runClient(server, "", "SELECT 1");  // the way every test logs in
    writeFile(files.clientOptions, clientOptionText(server));
    writeFile(files.info, serverInfoText(server, files));
    return server;
  } catch (...) {
    try {
      stopServersOf(dir);
    } catch (...) {
    }
    throw;
  }
}

void stopDatabaseServer(const std::string& dirText) {
  std::error_code ec;
  if (!fs::exists(dirText, ec)) return;
  const fs::path dir = fs::canonical(dirText);
  stopServersOf(dir);
  fs::remove_all(dir);
}

const DatabaseServer& databaseServer() {
  static std::once_flag once;
  static DatabaseServer server;
  static std::string problem;
  // A failed start is remembered: later tests fail at once instead of
  // waiting for the server again.
  std::call_once(once, [] {
    try {
      server = findOrStartServer();
    } catch (const std::exception& e) {
      problem = e.what();
    }
  });
  if (!problem.empty()) throw failure(problem);
  return server;
}

ScratchDatabase::ScratchDatabase(const std::string& hint) : name_(scratchName(hint)) {
  runClient(databaseServer(), "",
            "CREATE DATABASE `" + name_ + "` CHARACTER SET gbk COLLATE gbk_chinese_ci");
}

ScratchDatabase::~ScratchDatabase() {
  try {
    runClient(databaseServer(), "", "DROP DATABASE IF EXISTS `" + name_ + "`");
  } catch (...) {
  }
}

void ScratchDatabase::run(const std::string& sql) const { query(sql); }

std::string ScratchDatabase::query(const std::string& sql) const {
  return runClient(databaseServer(), name_, sql);
}

}  // namespace testsupport
