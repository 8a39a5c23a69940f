// Starting child programs. A program is started from an argument vector,
// never through a shell. Processes is an interface so that a caller (a test,
// the headless launcher) can watch or replace what is started; Default() is
// the real machine. Safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace platform {

class Processes {
 public:
  Processes() = default;
  Processes(const Processes&) = delete;
  Processes& operator=(const Processes&) = delete;
  virtual ~Processes() = default;

  // Starts argv[0] (a path, or a name looked up in PATH) and does not wait
  // for it. On failure returns false with the reason in *error.
  virtual bool startDetached(const std::vector<std::string>& argv, std::string* error) = 0;

  static Processes& Default();
};

// Forwards every call; a subclass overrides what it watches or replaces.
class ProcessesWrapper : public Processes {
 public:
  explicit ProcessesWrapper(Processes& target) : target_(target) {}
  bool startDetached(const std::vector<std::string>& argv, std::string* error) override {
    return target_.startDetached(argv, error);
  }

 private:
  Processes& target_;
};

// The program that opens a file or web address with the desktop's default
// application: $NORVEX_OPEN_COMMAND, or "xdg-open".
std::string openCommand();

}  // namespace platform
