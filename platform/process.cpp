// Child programs on Linux: posix_spawnp in a new session, so a child outlives
// the launcher and gets none of its terminal's signals; a detached thread
// reaps each child so that it leaves no zombie.
#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace platform {
namespace {

class LinuxProcesses final : public Processes {
 public:
  bool startDetached(const std::vector<std::string>& argv, std::string* error) override {
    if (argv.empty()) {
      if (error != nullptr) *error = "no program";
      return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], nullptr, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
      if (error != nullptr) *error = argv[0] + ": " + std::strerror(rc);
      return false;
    }
    // Nobody waits for a detached child; reap it so it leaves no zombie.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
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
