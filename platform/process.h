// Starting child programs. A program is started from an argument vector,
// never through a shell. Processes is an interface so that a caller (a test,
// the headless launcher) can watch or replace what is started; Default() is
// the real machine. Safe from any thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform {

class Processes {
 public:
  Processes() = default;
  Processes(const Processes&) = delete;
  Processes& operator=(const Processes&) = delete;
  virtual ~Processes() = default;

  // Starts argv[0] (a path, or a name looked up in PATH) in `workingDir`
  // (this process's current folder when empty) and does not wait for it. On
  // failure returns false with the reason in *error.
  virtual bool startDetached(const std::vector<std::string>& argv, std::string* error,
                             const std::string& workingDir = std::string()) = 0;

  // Runs argv[0] hidden with `environment` added to this process's (how a
  // password reaches a child: never in its arguments), its standard input
  // read from `inputFile` when that is not empty and its output discarded,
  // and waits for its end. Returns true when it ran (whatever its exit
  // status, which goes to *status); false with the reason in *error when it
  // could not be started.
  virtual bool runAndWait(const std::vector<std::string>& argv,
                          const std::vector<std::pair<std::string, std::string>>& environment,
                          const std::string& inputFile, int* status, std::string* error) = 0;

  static Processes& Default();
};

// Forwards every call; a subclass overrides what it watches or replaces.
class ProcessesWrapper : public Processes {
 public:
  explicit ProcessesWrapper(Processes& target) : target_(target) {}
  bool startDetached(const std::vector<std::string>& argv, std::string* error,
                     const std::string& workingDir = std::string()) override {
    return target_.startDetached(argv, error, workingDir);
  }
  bool runAndWait(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  const std::string& inputFile, int* status, std::string* error) override {
    return target_.runAndWait(argv, environment, inputFile, status, error);
  }

 private:
  Processes& target_;
};

// The program that opens a file or web address with the desktop's default
// application: $NORVEX_OPEN_COMMAND, or "xdg-open".
std::string openCommand();

}  // namespace platform
