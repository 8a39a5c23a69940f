// A child program driven over its standard input and output, one line at a
// time, as the automation protocols are. The child is killed if still
// running when the object goes.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class LineProcess {
 public:
  // Starts program with arguments (no shell); throws std::runtime_error.
  explicit LineProcess(const std::vector<std::string>& argv);
  ~LineProcess();
  LineProcess(const LineProcess&) = delete;
  LineProcess& operator=(const LineProcess&) = delete;

  void send(const std::string& line);
  // The next line without its line feed; nullopt at end of output or after
  // timeoutMs without a full line.
  std::optional<std::string> receive(int timeoutMs = 10000);
  // Closes the child's input and waits for its exit status.
  int finish();
  // Ends the child at once (SIGKILL), as a crash or a power cut would, and
  // reaps it.
  void kill();

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  std::string pending_;
};

}  // namespace testsupport
