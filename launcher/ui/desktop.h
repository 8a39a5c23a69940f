// The window system as the launcher sees it: the window thread's message
// queue (post, and send that blocks the sender until the window thread has
// run the task), showing and closing forms, modal loops and the dialogs. A
// backend (Qt or headless) supplies the loop and the rendering.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "launcher/ui/forms.h"

namespace ui {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

const char* iconName(Icon icon);
const char* buttonsName(Buttons buttons);
const char* answerName(Answer answer);

// Message boxes and file dialogs; modal, on the window thread.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual Answer messageBox(const std::string& caption, const std::string& text, Icon icon,
                            Buttons buttons) = 0;
  // The chosen file, or nullopt when the dialog was cancelled. The filter is
  // "description|pattern" as in "*.SQL|*.SQL".
  virtual std::optional<std::string> openFile(const std::string& filter, const std::string& folder,
                                              const std::string& file) = 0;
  virtual std::optional<std::string> saveFile(const std::string& filter, const std::string& folder,
                                              const std::string& file) = 0;
};

class Desktop;

// What a backend supplies. All calls but wake() come on the window thread.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual void show(Form& form) = 0;
  // Returns when the form has closed; queued tasks keep running meanwhile.
  virtual void runModal(Form& form) = 0;
  virtual void hide(Form& form) = 0;
  // The main loop; returns when the main form has closed.
  virtual void run(Form& main) = 0;
  // From any thread: the queue has work for the window thread.
  virtual void wake() = 0;
  // Window thread, inside a handler that waits: paints the windows and lets
  // what the platform has pending run, except user input and the forms'
  // timers, which wait until the handler returns.
  virtual void processPendingEvents() {}
  // How far a long run has come (`total` 0 when unknown); the window's own
  // status bar says it too.
  virtual void progress(const std::string& /*what*/, long long /*done*/, long long /*total*/) {}
  virtual Dialogs& dialogs() = 0;
};

class Desktop {
 public:
  explicit Desktop(Backend& backend);
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  Backend& backend() { return backend_; }
  Dialogs& dialogs() { return backend_.dialogs(); }

  // From any thread.
  void post(std::function<void()> task);
  // Runs the task on the window thread and returns when it has run; on the
  // window thread itself it runs at once. Fails (returns false) once the
  // desktop has shut down, so a worker never waits for a window that is gone.
  bool send(std::function<void()> task);
  void postMessage(Form& form, int message, long wparam, std::string text = std::string());

  // Window thread: runs the queued tasks, returns how many ran.
  int drain();
  // Window thread, while a handler waits for something: runs the queued
  // tasks (so other threads that sent work go on) and lets the backend
  // paint; no user input and no timer is handled meanwhile.
  void processPendingEvents();
  void reportProgress(const std::string& what, long long done, long long total) {
    backend_.progress(what, done, total);
  }
  bool onWindowThread() const { return std::this_thread::get_id() == windowThread_; }

  void show(Form& form);
  // Shows the form modally and returns when it has closed.
  void showModal(Form& form);
  // Closes as by the user: FormClose, then hidden.
  void close(Form& form);
  // Ends the message queue: later sends return false, pending ones are
  // released.
  void shutDown();

 private:
  struct Task {
    std::function<void()> run;
    bool* done = nullptr;  // set for a send
  };

  Backend& backend_;
  std::thread::id windowThread_;
  std::mutex mutex_;
  std::condition_variable doneCondition_;
  std::deque<Task> tasks_;
  bool shutDown_ = false;
};

}  // namespace ui
