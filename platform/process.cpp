// Child programs on Linux: posix_spawnp in a new session, so a child outlives
// the launcher and gets none of its terminal's signals; a detached thread
// reaps each child so that it leaves no zombie. Daemons are started through
// a double fork, so that they are nobody's child here at all.
#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace platform {
namespace {

// This process's environment with `environment` set over it.
std::vector<std::string> environmentWith(const Environment& environment) {
  std::vector<std::string> variables;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string variable(*e);
    bool replaced = false;
    for (const auto& [name, value] : environment)
      replaced = replaced || variable.rfind(name + "=", 0) == 0;
    if (!replaced) variables.push_back(variable);
  }
  for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
  return variables;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& t : texts) result.push_back(t.data());
  result.push_back(nullptr);
  return result;
}

// The program file that execvp would run, looked up before a fork, where
// the search itself is not safe to do.
std::string programPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::string();
}

void reapLater(pid_t pid) {
  std::thread([pid] {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

int exitCode(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw); }

std::string readText(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return text;
}

class PipedChild final : public CapturedChild {
 public:
  // `errors` is the pipe of standard error when that is kept apart, else -1.
  // `input` is the pipe of standard input when it is fed, else -1.
  PipedChild(pid_t pid, int output, int errors, int input = -1)
      : pid_(pid), output_(output), errorPipe_(errors), input_(input) {
    // A write never waits for the whole: the child's output is read between.
    if (input_ >= 0) fcntl(input_, F_SETFL, O_NONBLOCK);
  }
  ~PipedChild() override {
    for (int fd : {output_, errorPipe_, input_})
      if (fd >= 0) close(fd);
    if (!reaped_) reapLater(pid_);
  }

  bool feed(std::string_view bytes, std::string* output) override {
    if (input_ < 0) return false;
    // A child that has gone must not end this program with SIGPIPE.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    bool broken = false;
    std::size_t at = 0;
    while (at < bytes.size() && !broken) {
      pollfd fds[2] = {{input_, POLLOUT, 0}, {output_, POLLIN, 0}};
      if (poll(fds, output_ >= 0 ? 2 : 1, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (output_ >= 0 && fds[1].revents != 0) take(&output_, output);
      if (fds[0].revents & (POLLERR | POLLHUP)) broken = true;
      if (broken || (fds[0].revents & POLLOUT) == 0) continue;
      const ssize_t n = ::write(input_, bytes.data() + at, bytes.size() - at);
      if (n > 0) at += static_cast<std::size_t>(n);
      if (n < 0 && errno != EINTR && errno != EAGAIN) broken = true;
    }
    if (broken && !sigismember(&previous, SIGPIPE)) {
      const timespec now{0, 0};
      while (sigtimedwait(&pipeSignal, nullptr, &now) > 0) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return !broken && at == bytes.size();
  }

  void endInput() override {
    if (input_ >= 0) close(input_);
    input_ = -1;
  }

  bool read(std::string* text, std::chrono::milliseconds timeout) override {
    if (output_ < 0) {
      drainErrors(0);
      return false;
    }
    pollfd fds[2] = {{output_, POLLIN, 0}, {errorPipe_, POLLIN, 0}};
    const int ready = poll(fds, errorPipe_ >= 0 ? 2 : 1, static_cast<int>(timeout.count()));
    if (ready == 0 || (ready < 0 && errno == EINTR)) return true;
    if (errorPipe_ >= 0 && fds[1].revents != 0) take(&errorPipe_, &errors_);
    if (fds[0].revents == 0) return true;
    if (take(&output_, text)) return true;
    drainErrors(0);
    return false;
  }

  int wait() override {
    if (reaped_) return status_;
    drainErrors(-1);
    int raw = 0;
    while (waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    status_ = exitCode(raw);
    return status_;
  }

  std::string errors() override {
    drainErrors(0);
    return errors_;
  }

  void terminate() override {
    if (!reaped_) kill(pid_, SIGTERM);
  }

 private:
  // Appends what one read of *fd gives; false, with *fd closed, at its end.
  static bool take(int* fd, std::string* sink) {
    // Straight into the sink: a dump's hundreds of megabytes are copied once.
    const std::size_t before = sink->size();
    sink->resize(before + (1 << 20));
    const ssize_t n = ::read(*fd, sink->data() + before, 1 << 20);
    sink->resize(before + (n > 0 ? static_cast<std::size_t>(n) : 0));
    if (n > 0) return true;
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    close(*fd);
    *fd = -1;
    return false;
  }

  // Reads standard error until it has nothing more now (timeout 0) or
  // until its end (timeout -1).
  void drainErrors(int timeoutMs) {
    while (errorPipe_ >= 0) {
      pollfd p{errorPipe_, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0) return;
      take(&errorPipe_, &errors_);
    }
  }

  pid_t pid_;
  int output_;
  int errorPipe_;
  int input_;
  std::string errors_;
  bool reaped_ = false;
  int status_ = -1;
};

bool readMessage(int fd, int message[2]) {
  std::size_t got = 0;
  auto* bytes = reinterpret_cast<char*>(message);
  while (got < 2 * sizeof(int)) {
    const ssize_t n = read(fd, bytes + got, 2 * sizeof(int) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// Starts argv[0] through a double fork, so that init and not this process is
// its parent: nothing here waits for it, and no thread is left behind to reap
// it. Standard input is /dev/null, output and error go to `output` (/dev/null
// when -1); it runs in `workingDir` when given and as `account` when given.
// Its process id, or -1 with the reason when it could not be started.
int startUnparented(const std::vector<std::string>& argv, const Environment& environment,
                    int output, const std::string& workingDir, const Account* account,
                    std::string* error) {
  const auto fail = [error](const std::string& why) {
    if (error != nullptr) *error = why;
    return -1;
  };
  if (argv.empty()) return fail("no program");
  const std::string program = programPath(argv[0]);
  if (program.empty()) return fail(argv[0] + ": " + std::strerror(ENOENT));
  // Everything the children touch is made now: after fork only
  // async-signal-safe calls are allowed.
  std::vector<std::string> args(argv.begin(), argv.end());
  Environment settings = environment;
  std::vector<gid_t> groups;
  if (account != nullptr) {
    settings.insert(settings.end(), {{"HOME", account->home},
                                     {"USER", account->name},
                                     {"LOGNAME", account->name},
                                     {"SHELL", account->shell}});
    groups = account->groups;
  }
  std::vector<std::string> variables = environmentWith(settings);
  std::vector<char*> argp = pointers(args), envp = pointers(variables);
  const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int sink = output >= 0 ? -1 : open("/dev/null", O_WRONLY | O_CLOEXEC);
  const int out = output >= 0 ? output : sink;
  int report[2];
  if (input < 0 || out < 0 || pipe2(report, O_CLOEXEC) != 0) {
    const int saved = errno;
    for (int fd : {input, sink})
      if (fd >= 0) close(fd);
    return fail(std::string("pipe: ") + std::strerror(saved));
  }

  const pid_t first = fork();
  if (first == 0) {
    setsid();
    const pid_t daemon = fork();
    if (daemon != 0) {
      const int message[2] = {daemon > 0 ? 'P' : 'E', daemon > 0 ? daemon : errno};
      (void)!write(report[1], message, sizeof message);
      _exit(0);
    }
    const auto failed = [&report]() {
      const int message[2] = {'E', errno};
      (void)!write(report[1], message, sizeof message);
      _exit(127);
    };
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD})
      sigaction(s, &defaults, nullptr);
    dup2(input, 0);
    dup2(out, 1);
    dup2(out, 2);
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    // Groups first: after setuid the right to change them is gone.
    if (account != nullptr && (setgroups(groups.size(), groups.data()) != 0 ||
                               setgid(account->gid) != 0 || setuid(account->uid) != 0)) {
      failed();
    }
    if (!workingDir.empty() && chdir(workingDir.c_str()) != 0) failed();
    execve(program.c_str(), argp.data(), envp.data());
    failed();
  }
  const int forkErrno = errno;
  close(report[1]);
  for (int fd : {input, sink})
    if (fd >= 0) close(fd);
  if (first < 0) {
    close(report[0]);
    return fail(std::string("fork: ") + std::strerror(forkErrno));
  }
  while (waitpid(first, nullptr, 0) < 0 && errno == EINTR) {
  }
  // The daemon's id, then an error only when its program did not start:
  // the end of the pipe comes with a successful exec.
  int pid = -1, failure = 0;
  for (int message[2]; readMessage(report[0], message);) {
    if (message[0] == 'P') pid = message[1];
    if (message[0] == 'E') failure = message[1];
  }
  close(report[0]);
  if (failure != 0) return fail(argv[0] + ": " + std::strerror(failure));
  if (pid < 0) return fail("fork failed");
  return pid;
}

class LinuxProcesses final : public Processes {
 public:
  bool startDetached(const std::vector<std::string>& argv, std::string* error,
                     const std::string& workingDir) override {
    pid_t pid = 0;
    if (!spawn(argv, {}, workingDir, "", -1, -1, &pid, error)) return false;
    // Nobody waits for a detached child; reap it so it leaves no zombie.
    reapLater(pid);
    return true;
  }

  bool runAndWait(const std::vector<std::string>& argv, const Environment& environment,
                  const std::string& inputFile, int* status, std::string* error) override {
    pid_t pid = 0;
    if (!spawn(argv, environment, "", inputFile.empty() ? "/dev/null" : inputFile, -1, -1, &pid,
               error)) {
      return false;
    }
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    if (status != nullptr) *status = exitCode(raw);
    return true;
  }

  std::unique_ptr<CapturedChild> startCaptured(const std::vector<std::string>& argv,
                                               const Environment& environment,
                                               std::string* error) override {
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) {
      if (error != nullptr) *error = std::string("pipe: ") + std::strerror(errno);
      return nullptr;
    }
    pid_t pid = 0;
    const bool started = spawn(argv, environment, "", "/dev/null", output[1], -1, &pid, error);
    close(output[1]);
    if (!started) {
      close(output[0]);
      return nullptr;
    }
    return std::make_unique<PipedChild>(pid, output[0], -1);
  }

  std::unique_ptr<CapturedChild> startFeeding(const std::vector<std::string>& argv,
                                              const Environment& environment,
                                              std::string* error) override {
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0) {
      if (error != nullptr) *error = std::string("pipe: ") + std::strerror(errno);
      return nullptr;
    }
    if (pipe2(output, O_CLOEXEC) != 0) {
      if (error != nullptr) *error = std::string("pipe: ") + std::strerror(errno);
      close(input[0]);
      close(input[1]);
      return nullptr;
    }
    pid_t pid = 0;
    const bool started = spawnWithInput(argv, environment, input[0], output[1], &pid, error);
    close(input[0]);
    close(output[1]);
    if (!started) {
      close(input[1]);
      close(output[0]);
      return nullptr;
    }
    return std::make_unique<PipedChild>(pid, output[0], -1, input[1]);
  }

  std::unique_ptr<CapturedChild> startReading(const std::vector<std::string>& argv,
                                              const Environment& environment,
                                              std::string* error) override {
    int output[2], errors[2];
    if (pipe2(output, O_CLOEXEC) != 0) {
      if (error != nullptr) *error = std::string("pipe: ") + std::strerror(errno);
      return nullptr;
    }
    if (pipe2(errors, O_CLOEXEC) != 0) {
      if (error != nullptr) *error = std::string("pipe: ") + std::strerror(errno);
      close(output[0]);
      close(output[1]);
      return nullptr;
    }
    // A dump comes in large amounts: a larger pipe means fewer switches.
    fcntl(output[0], F_SETPIPE_SZ, 1 << 20);
    pid_t pid = 0;
    const bool started =
        spawn(argv, environment, "", "/dev/null", output[1], errors[1], &pid, error);
    close(output[1]);
    close(errors[1]);
    if (!started) {
      close(output[0]);
      close(errors[0]);
      return nullptr;
    }
    return std::make_unique<PipedChild>(pid, output[0], errors[0]);
  }

  int startDaemon(const std::vector<std::string>& argv, const Environment& environment,
                  const std::string& logFile, std::string* error) override {
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
    if (log < 0) {
      if (error != nullptr) *error = logFile + ": " + std::strerror(errno);
      return -1;
    }
    const int pid = startUnparented(argv, environment, log, std::string(), nullptr, error);
    close(log);
    return pid;
  }

  std::vector<ProcessEntry> snapshot() override {
    std::vector<ProcessEntry> entries;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return entries;
    while (dirent* entry = readdir(proc)) {
      const std::string id = entry->d_name;
      if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) continue;
      const std::string base = "/proc/" + id + "/";
      // The command name stands in brackets, and may itself hold any byte.
      const std::string stat = readText(base + "stat");
      const std::size_t close = stat.rfind(')');
      if (close == std::string::npos || close + 2 >= stat.size()) continue;
      const char state = stat[close + 2];
      if (state == 'Z' || state == 'X') continue;
      ProcessEntry process;
      process.pid = std::atoi(id.c_str());
      process.name = readText(base + "comm");
      if (!process.name.empty() && process.name.back() == '\n') process.name.pop_back();
      char target[4096];
      const ssize_t length = readlink((base + "exe").c_str(), target, sizeof target - 1);
      if (length > 0) process.executable.assign(target, static_cast<std::size_t>(length));
      const std::string line = readText(base + "cmdline");
      for (std::size_t start = 0; start < line.size();) {
        std::size_t end = line.find('\0', start);
        if (end == std::string::npos) end = line.size();
        process.arguments.push_back(line.substr(start, end - start));
        start = end + 1;
      }
      entries.push_back(std::move(process));
    }
    closedir(proc);
    return entries;
  }

 private:
  // A hidden child whose standard input is the descriptor `input` and whose
  // output goes to `output`.
  static bool spawnWithInput(const std::vector<std::string>& argv, const Environment& environment,
                             int input, int output, pid_t* pid, std::string* error) {
    std::vector<std::string> args(argv.begin(), argv.end());
    std::vector<std::string> variables = environmentWith(environment);
    std::vector<char*> argp = pointers(args), envp = pointers(variables);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, 0);
    posix_spawn_file_actions_adddup2(&actions, output, 1);
    posix_spawn_file_actions_adddup2(&actions, output, 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const int rc = argp.size() > 1
                       ? posix_spawnp(pid, argp[0], &actions, &attributes, argp.data(), envp.data())
                       : EINVAL;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      if (error != nullptr)
        *error = (argv.empty() ? std::string("no program") : argv[0]) + ": " + std::strerror(rc);
      return false;
    }
    return true;
  }

  // A child in a session of its own. With `input` set it is a hidden child:
  // its standard input comes from that file, its output goes to `output` (a
  // descriptor) or nowhere when that is -1, its standard error to
  // `errorOutput` or with the output when that is -1, and it gets no other
  // descriptor.
  static bool spawn(const std::vector<std::string>& argv, const Environment& environment,
                    const std::string& workingDir, const std::string& input, int output,
                    int errorOutput, pid_t* pid, std::string* error) {
    if (argv.empty()) {
      if (error != nullptr) *error = "no program";
      return false;
    }
    std::vector<std::string> args(argv.begin(), argv.end());
    std::vector<std::string> variables = environmentWith(environment);
    std::vector<char*> argp = pointers(args), envp = pointers(variables);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    if (!input.empty()) {
      posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
      const int targets[2] = {output, errorOutput >= 0 ? errorOutput : output};
      for (int stream : {1, 2}) {
        if (targets[stream - 1] >= 0) {
          posix_spawn_file_actions_adddup2(&actions, targets[stream - 1], stream);
        } else {
          posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", O_WRONLY, 0);
        }
      }
      posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const int rc = posix_spawnp(pid, argp[0], &actions, &attributes, argp.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      if (error != nullptr) *error = argv[0] + ": " + std::strerror(rc);
      return false;
    }
    return true;
  }
};

}  // namespace

Processes& Processes::Default() {
  static LinuxProcesses processes;
  return processes;
}

int startOrphan(const std::vector<std::string>& argv, const std::string& workingDir,
                const Account* account, std::string* error) {
  return startUnparented(argv, {}, -1, workingDir, account, error);
}

std::string openCommand() {
  const char* configured = std::getenv("NORVEX_OPEN_COMMAND");
  return configured != nullptr && *configured != '\0' ? configured : "xdg-open";
}

}  // namespace platform
