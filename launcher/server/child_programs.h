// The server programs as server control runs them: each command line shown
// in Memo1 with its password masked, the program started from an argument
// vector (passwords in its environment), its output captured and echoed
// while the window keeps painting; and the search for the application
// folder's own server process. Window thread only.
#pragma once

#include <string>
#include <vector>

#include "launcher/ui/desktop.h"
#include "platform/process.h"

namespace launcher {

// The command line with its password option masked: from the first "-p"
// that begins a word up to the next blank (or the end) becomes "-p******".
std::string MaskPassword(const std::string& commandLine);

// A password as it may stand in a command line that is shown masked:
// masking ends at a blank, so none is left in it.
std::string ShownPassword(std::string password);

class TChildConsole {
 public:
  TChildConsole(ui::Desktop& desktop, ui::Control& memo, platform::Processes& processes)
      : desktop_(desktop), memo_(memo), processes_(processes) {}

  // Adds label, two blanks and the masked command line to Memo1.
  void ShowCommand(const std::string& label, const std::string& commandLine);

  // Shows the command line, runs argv hidden with both outputs captured
  // into *output while pending window work goes on, waits for its end and
  // adds "执行结果:" with the output. Returns the exit code, or -1 (with an
  // empty output) when the program cannot be started.
  int RunCaptured(const std::string& label, const std::string& commandLine,
                  const std::vector<std::string>& argv, const platform::Environment& environment,
                  std::string* output);

  // As RunCaptured for a program that keeps running (the console server):
  // it is started as a daemon with its output going to `logFile`, so that
  // nothing here waits for it; *output is what the log received meanwhile.
  // Returns -1.
  int RunCapturedNoWait(const std::string& label, const std::string& commandLine,
                        const std::vector<std::string>& argv, const std::string& logFile,
                        std::string* output);

  // One line in Memo1.
  void AddLine(const std::string& line) { memo_.appendLine(line); }

 private:
  ui::Desktop& desktop_;
  ui::Control& memo_;
  platform::Processes& processes_;
};

// Whether a process with the image name `image` (letter case ignored) runs
// that belongs to the server folder `serverDir` (absolute, ending with '/'):
// started from a program under it, or with its my.ini as --defaults-file.
// Another server of the machine never counts.
bool IsProcessRunning(platform::Processes& processes, const std::string& image,
                      const std::string& serverDir);
// The ids of those processes.
std::vector<int> ServerProcessIds(platform::Processes& processes, const std::string& image,
                                  const std::string& serverDir);

}  // namespace launcher
