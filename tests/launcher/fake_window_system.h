// A window system for tests of launcher windows: forms are shown and closed
// without a display, a modal form runs onModal (the test's stand-in for the
// user), message boxes and file dialogs are answered from a script and
// recorded, started programs are recorded and not run. The test thread is
// the window thread; pump() runs what other threads sent to it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "launcher/ui/desktop.h"
#include "platform/process.h"

namespace testsupport {

struct ShownMessage {
  std::string caption;
  std::string text;
  ui::Icon icon;
  ui::Buttons buttons;
};

class FakeWindowSystem final : public ui::Backend, public ui::Dialogs {
 public:
  void show(ui::Form& form) override { shown.push_back(form.name()); }
  void runModal(ui::Form& form) override {
    shown.push_back(form.name());
    if (onModal) onModal(form);
  }
  void hide(ui::Form& form) override { hidden.push_back(form.name()); }
  void run(ui::Form&) override {}
  void wake() override {
    std::lock_guard lock(mutex_);
    woken_ = true;
    wakeup_.notify_all();
  }
  ui::Dialogs& dialogs() override { return *this; }

  ui::Answer messageBox(const std::string& caption, const std::string& text, ui::Icon icon,
                        ui::Buttons buttons) override {
    messages.push_back({caption, text, icon, buttons});
    if (answers.empty()) return buttons == ui::Buttons::YesNo ? ui::Answer::No : ui::Answer::Ok;
    const ui::Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> openFile(const std::string&, const std::string& folder,
                                      const std::string& file) override {
    return onFileDialog ? onFileDialog(folder, file) : std::nullopt;
  }
  std::optional<std::string> saveFile(const std::string&, const std::string& folder,
                                      const std::string& file) override {
    return onFileDialog ? onFileDialog(folder, file) : std::nullopt;
  }

  // Runs what was sent to the window thread until `done` holds or 10 s pass.
  template <class Done>
  bool pump(ui::Desktop& desktop, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      desktop.drain();
      if (done()) break;
      std::unique_lock lock(mutex_);
      if (!wakeup_.wait_until(lock, deadline, [this] { return woken_; })) return done();
      woken_ = false;
    }
    return true;
  }

  // The texts of the message boxes shown so far.
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const ShownMessage& m : messages) out.push_back(m.text);
    return out;
  }

  std::function<void(ui::Form&)> onModal;
  // The user's answer to a file dialog that proposes folder and file; none
  // (cancelled) when unset.
  std::function<std::optional<std::string>(const std::string& folder, const std::string& file)>
      onFileDialog;
  std::vector<std::string> shown;
  std::vector<std::string> hidden;
  std::vector<ShownMessage> messages;
  std::deque<ui::Answer> answers;

 private:
  std::mutex mutex_;
  std::condition_variable wakeup_;
  bool woken_ = false;
};

class RecordingProcesses final : public platform::ProcessesWrapper {
 public:
  RecordingProcesses() : ProcessesWrapper(platform::Processes::Default()) {}
  bool startDetached(const std::vector<std::string>& argv, std::string*,
                     const std::string& = std::string()) override {
    std::lock_guard lock(mutex_);
    started.push_back(argv);
    return true;
  }
  // Waited-for programs really run: the tests that start them want their effect.
  bool runAndWait(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  const std::string& inputFile, int* status, std::string* error) override {
    {
      std::lock_guard lock(mutex_);
      started.push_back(argv);
    }
    return platform::Processes::Default().runAndWait(argv, environment, inputFile, status, error);
  }
  std::vector<std::vector<std::string>> startedSoFar() {
    std::lock_guard lock(mutex_);
    return started;
  }

 private:
  std::mutex mutex_;
  std::vector<std::vector<std::string>> started;
};

}  // namespace testsupport
