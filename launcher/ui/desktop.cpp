// The window thread's queue and the forms' lifecycle.
#include "launcher/ui/desktop.h"

namespace ui {

const char* iconName(Icon icon) {
  switch (icon) {
    case Icon::Information:
      return "information";
    case Icon::Warning:
      return "warning";
    case Icon::Error:
      return "error";
    case Icon::Question:
      return "question";
    case Icon::None:
      break;
  }
  return "none";
}

const char* buttonsName(Buttons buttons) {
  switch (buttons) {
    case Buttons::OkCancel:
      return "okcancel";
    case Buttons::YesNo:
      return "yesno";
    case Buttons::YesNoCancel:
      return "yesnocancel";
    case Buttons::Ok:
      break;
  }
  return "ok";
}

const char* answerName(Answer answer) {
  switch (answer) {
    case Answer::Cancel:
      return "cancel";
    case Answer::Yes:
      return "yes";
    case Answer::No:
      return "no";
    case Answer::Ok:
      break;
  }
  return "ok";
}

Desktop::Desktop(Backend& backend) : backend_(backend), windowThread_(std::this_thread::get_id()) {}

void Desktop::post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    if (shutDown_) return;
    tasks_.push_back({std::move(task), nullptr});
  }
  backend_.wake();
}

bool Desktop::send(std::function<void()> task) {
  if (onWindowThread()) {
    task();
    return true;
  }
  bool done = false;
  std::unique_lock lock(mutex_);
  if (shutDown_) return false;
  tasks_.push_back({std::move(task), &done});
  lock.unlock();
  backend_.wake();
  lock.lock();
  doneCondition_.wait(lock, [&] { return done || shutDown_; });
  return done;
}

void Desktop::postMessage(Form& form, int message, long wparam, std::string text) {
  post([&form, message, wparam, text = std::move(text)] { form.onMessage(message, wparam, text); });
}

int Desktop::drain() {
  int ran = 0;
  for (;;) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) return ran;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    try {
      task.run();
    } catch (...) {
      // A task's failure is its own; the sender still goes on.
    }
    ++ran;
    if (task.done != nullptr) {
      std::lock_guard lock(mutex_);
      // Once shut down, the sender may have returned already: its flag is gone.
      if (!shutDown_) *task.done = true;
      doneCondition_.notify_all();
    }
  }
}

void Desktop::processPendingEvents() {
  drain();
  backend_.processPendingEvents();
}

void Desktop::show(Form& form) {
  form.closed = false;  // a form shown again must be closable again
  form.visible = true;
  backend_.show(form);
}

void Desktop::showModal(Form& form) {
  form.closed = false;
  form.visible = true;
  backend_.runModal(form);
}

void Desktop::close(Form& form) {
  if (form.closed) return;
  form.FormClose();
  form.closed = true;
  form.visible = false;
  backend_.hide(form);
}

void Desktop::shutDown() {
  std::lock_guard lock(mutex_);
  shutDown_ = true;
  tasks_.clear();
  doneCondition_.notify_all();
}

}  // namespace ui
