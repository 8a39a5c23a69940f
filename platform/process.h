// Starting child programs. A program is started from an argument vector,
// never through a shell. Processes is an interface so that a caller (a test,
// the headless launcher) can watch or replace what is started; Default() is
// the real machine. Safe from any thread.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/accounts.h"

namespace platform {

using Environment = std::vector<std::pair<std::string, std::string>>;

// One live process of the machine (zombies are not listed).
struct ProcessEntry {
  int pid = 0;
  std::string name;                    // the command name, /proc/PID/comm
  std::string executable;              // /proc/PID/exe; empty when it cannot be read
  std::vector<std::string> arguments;  // its argument vector, argv[0] first
};

// A child whose standard output and standard error come through one pipe.
// Destroying it without wait() leaves the child running; it is reaped when
// it ends.
class CapturedChild {
 public:
  CapturedChild() = default;
  CapturedChild(const CapturedChild&) = delete;
  CapturedChild& operator=(const CapturedChild&) = delete;
  virtual ~CapturedChild() = default;

  // Waits at most `timeout` for output and appends what came to *text.
  // Returns false once the output has ended (the child closed it or ended).
  virtual bool read(std::string* text, std::chrono::milliseconds timeout) = 0;
  // Waits for the child's end; its exit code, or 128 + the ending signal.
  virtual int wait() = 0;
  // What it wrote to its standard error, when that was kept apart.
  virtual std::string errors() = 0;
  // Asks it to end (SIGTERM).
  virtual void terminate() = 0;
  // For a child of startFeeding: writes all of `bytes` to its standard
  // input, appending what it writes meanwhile to *output so that neither
  // side waits for the other. False once it no longer reads its input.
  virtual bool feed(std::string_view bytes, std::string* output) = 0;
  // Closes its standard input: the end of what it reads.
  virtual void endInput() = 0;
};

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

  // Runs argv[0] in a session of its own with `environment` added, standard
  // input from /dev/null, standard output and error into one pipe that the
  // result reads. nullptr with the reason in *error when it cannot start.
  virtual std::unique_ptr<CapturedChild> startCaptured(const std::vector<std::string>& argv,
                                                       const Environment& environment,
                                                       std::string* error) = 0;

  // As startCaptured, but the pipe carries standard output alone; the
  // child's standard error is kept apart for CapturedChild::errors().
  virtual std::unique_ptr<CapturedChild> startReading(const std::vector<std::string>& argv,
                                                      const Environment& environment,
                                                      std::string* error) = 0;

  // As startCaptured, with the child's standard input a pipe that
  // CapturedChild::feed() writes.
  virtual std::unique_ptr<CapturedChild> startFeeding(const std::vector<std::string>& argv,
                                                      const Environment& environment,
                                                      std::string* error) = 0;

  // Starts argv[0] as a daemon: no child of this process (it outlives it),
  // a session of its own, `environment` added, standard input /dev/null,
  // standard output and error appended to `logFile`. Returns its process id,
  // or -1 with the reason in *error when it could not be started (the log
  // cannot be opened, the program cannot be run).
  virtual int startDaemon(const std::vector<std::string>& argv, const Environment& environment,
                          const std::string& logFile, std::string* error) = 0;

  // The processes running now.
  virtual std::vector<ProcessEntry> snapshot() = 0;

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
  std::unique_ptr<CapturedChild> startCaptured(const std::vector<std::string>& argv,
                                               const Environment& environment,
                                               std::string* error) override {
    return target_.startCaptured(argv, environment, error);
  }
  std::unique_ptr<CapturedChild> startReading(const std::vector<std::string>& argv,
                                              const Environment& environment,
                                              std::string* error) override {
    return target_.startReading(argv, environment, error);
  }
  std::unique_ptr<CapturedChild> startFeeding(const std::vector<std::string>& argv,
                                              const Environment& environment,
                                              std::string* error) override {
    return target_.startFeeding(argv, environment, error);
  }
  int startDaemon(const std::vector<std::string>& argv, const Environment& environment,
                  const std::string& logFile, std::string* error) override {
    return target_.startDaemon(argv, environment, logFile, error);
  }
  std::vector<ProcessEntry> snapshot() override { return target_.snapshot(); }

 private:
  Processes& target_;
};

// Starts argv[0] (a path, or a name looked up in PATH) as nobody's child
// here: init is its parent, so nothing of this process (a library that may be
// unloaded) has to wait for it. Its standard streams are /dev/null; it runs
// in `workingDir` (this process's current folder when empty) and, when
// `account` is given, with that account's user, groups and HOME, USER,
// LOGNAME and SHELL, which needs the right to switch users. Its process id,
// or -1 with the reason in *error when it could not be started.
int startOrphan(const std::vector<std::string>& argv, const std::string& workingDir,
                const Account* account, std::string* error);

// The program that opens a file or web address with the desktop's default
// application: $NORVEX_OPEN_COMMAND, or "xdg-open".
std::string openCommand();

}  // namespace platform
