// The forms without a display, driven by JSON lines: requests on an input
// stream (click, set, check, key, hover, timer, post, wait, close, answer,
// dump), one reply per request when it has finished, and events (message
// boxes, dialogs, shown and hidden windows, started programs) as they
// happen. Timers fire only while a "wait" request runs the loop, so a
// script decides when time passes.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "launcher/ui/desktop.h"
#include "platform/process.h"

namespace ui {

class HeadlessBackend final : public Backend, private Dialogs {
 public:
  HeadlessBackend(std::istream& in, std::ostream& out);
  ~HeadlessBackend() override;

  void attach(Desktop& desktop) { desktop_ = &desktop; }

  void show(Form& form) override;
  void runModal(Form& form) override;
  void hide(Form& form) override;
  void run(Form& main) override;
  void wake() override;
  // A {"event":"progress","what":...,"done":...,"total":...} line.
  void progress(const std::string& what, long long done, long long total) override;
  Dialogs& dialogs() override { return *this; }

  // One event line; from any thread.
  void emitEvent(const std::string& json);

 private:
  Answer messageBox(const std::string& caption, const std::string& text, Icon icon,
                    Buttons buttons) override;
  std::optional<std::string> openFile(const std::string& filter, const std::string& folder,
                                      const std::string& file) override;
  std::optional<std::string> saveFile(const std::string& filter, const std::string& folder,
                                      const std::string& file) override;
  std::optional<std::string> fileDialog(const char* kind, const std::string& folder,
                                        const std::string& file);

  // Runs queued tasks and, when `requests`, the requests, and, when
  // `timers`, the timers, until done() or the deadline.
  void pump(const std::function<bool()>& done, bool requests, bool timers,
            std::chrono::steady_clock::time_point deadline);
  void fireDueTimers(std::chrono::steady_clock::time_point now);
  std::chrono::steady_clock::time_point nextTimer() const;
  void handle(const std::string& line);
  void register_(Form& form);
  Form& window(const std::string& name);
  std::string takeAnswer();
  // What the input reader shares with the window thread. The reader may
  // still block in a read when the window has gone, so it owns its share.
  struct Input {
    std::mutex mutex;
    std::condition_variable wakeup;
    std::deque<std::string> requests;
    bool ended = false;
    bool woken = false;
  };

  std::ostream& out_;
  Desktop* desktop_ = nullptr;
  std::vector<Form*> forms_;
  std::deque<std::string> answers_;
  std::map<Timer*, std::chrono::steady_clock::time_point> due_;

  std::mutex outputMutex_;
  std::shared_ptr<Input> input_;
};

// Reports every started program as a "process" event, then starts it.
class HeadlessProcesses final : public platform::ProcessesWrapper {
 public:
  HeadlessProcesses(platform::Processes& target, HeadlessBackend& backend)
      : ProcessesWrapper(target), backend_(backend) {}
  bool startDetached(const std::vector<std::string>& argv, std::string* error,
                     const std::string& workingDir = std::string()) override;
  bool runAndWait(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  const std::string& inputFile, int* status, std::string* error) override;
  std::unique_ptr<platform::CapturedChild> startCaptured(const std::vector<std::string>& argv,
                                                         const platform::Environment& environment,
                                                         std::string* error) override;
  std::unique_ptr<platform::CapturedChild> startFeeding(const std::vector<std::string>& argv,
                                                        const platform::Environment& environment,
                                                        std::string* error) override;
  std::unique_ptr<platform::CapturedChild> startReading(const std::vector<std::string>& argv,
                                                        const platform::Environment& environment,
                                                        std::string* error) override;
  int startDaemon(const std::vector<std::string>& argv, const platform::Environment& environment,
                  const std::string& logFile, std::string* error) override;

 private:
  HeadlessBackend& backend_;
};

}  // namespace ui
