// Child programs on Linux: posix_spawnp in a new session, so a child outlives
// the launcher and gets none of its terminal's signals; a detached thread
// reaps each child so that it leaves no zombie.
#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace platform {
namespace {

class LinuxProcesses final : public Processes {
 public:
  bool startDetached(const std::vector<std::string>& argv, std::string* error,
                     const std::string& workingDir) override {
    pid_t pid = 0;
    if (!spawn(argv, {}, workingDir, "", &pid, error)) return false;
    // Nobody waits for a detached child; reap it so it leaves no zombie.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
  }

  bool runAndWait(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  const std::string& inputFile, int* status, std::string* error) override {
    pid_t pid = 0;
    if (!spawn(argv, environment, "", inputFile.empty() ? "/dev/null" : inputFile, &pid, error)) {
      return false;
    }
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
  }

 private:
  // A child in a session of its own; with `input` set its standard input
  // comes from that file and its output goes nowhere (a hidden child).
  static bool spawn(const std::vector<std::string>& argv,
                    const std::vector<std::pair<std::string, std::string>>& environment,
                    const std::string& workingDir, const std::string& input, pid_t* pid,
                    std::string* error) {
    if (argv.empty()) {
      if (error != nullptr) *error = "no program";
      return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> variables;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string variable(*e);
      bool replaced = false;
      for (const auto& [name, value] : environment)
        replaced = replaced || variable.rfind(name + "=", 0) == 0;
      if (!replaced) variables.push_back(variable);
    }
    for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
    std::vector<char*> env;
    for (std::string& v : variables) env.push_back(v.data());
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    if (!input.empty()) {
      posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
      posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const int rc = posix_spawnp(pid, args[0], &actions, &attributes, args.data(), env.data());
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

std::string openCommand() {
  const char* configured = std::getenv("NORVEX_OPEN_COMMAND");
  return configured != nullptr && *configured != '\0' ? configured : "xdg-open";
}

}  // namespace platform
