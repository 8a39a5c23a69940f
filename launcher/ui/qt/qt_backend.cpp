// QtBackend: the live windows, the loops, the cross-thread wake-up and handler calls that
// report failures. Windows of hidden forms are deleted only when no handler is running, so
// no handler ever returns into a widget that is gone.
#include "launcher/ui/qt/qt_backend.h"

#include <QApplication>
#include <QEventLoop>
#include <QPixmap>
#include <atomic>
#include <map>
#include <vector>

#include "launcher/ui/qt/form_window.h"
#include "launcher/ui/qt/qt_dialogs.h"
#include "launcher/ui/qt/qt_text.h"

namespace ui {

struct QtBackend::Impl final : FormWindow::Host {
  Impl() : dialogs([this] { refreshAll(); }) {}

  std::unique_ptr<QApplication> ownedApp;  // first member: destroyed last
  std::unique_ptr<QObject> waker;          // receives the queued drains
  std::atomic<bool> wakePending{false};
  Desktop* desktop = nullptr;
  QtDialogs dialogs;
  std::map<Form*, FormWindow*> windows;  // forms shown and not yet hidden
  std::vector<QPointer<FormWindow>> retired;
  Form* mainForm = nullptr;  // while run() runs
  int handlerDepth = 0;
  int waitingHandlers = 0;  // handlers inside processPendingEvents

  bool timersHeld() const override { return waitingHandlers > 0; }

  FormWindow* live(Form& form) {
    auto found = windows.find(&form);
    return found != windows.end() ? found->second : nullptr;
  }

  FormWindow* open(Form& form) {
    if (FormWindow* window = live(form)) return window;
    auto* window = new FormWindow(form, *this, true);
    windows[&form] = window;
    return window;
  }

  void refreshAll() {
    for (auto& [form, window] : windows) window->refresh();
  }

  // Deferred deletion: the window goes once control is back in the loop that deleted it.
  void buryRetired() {
    if (handlerDepth > 0) return;
    for (auto& window : retired)
      if (window) window->deleteLater();
    retired.clear();
  }

  void report(Form& form, const std::string& text) {
    dialogs.messageBox(form.caption, text, Icon::Error, Buttons::Ok);
  }

  void invoke(Form& form, const std::function<void()>& handler) override {
    ++handlerDepth;
    try {
      handler();
    } catch (const std::exception& error) {
      report(form, error.what());
    } catch (...) {
      report(form, "未知错误");
    }
    --handlerDepth;
    refreshAll();
    buryRetired();
  }

  void requestClose(Form& form) override {
    invoke(form, [this, &form] {
      if (desktop != nullptr) desktop->close(form);
    });
  }

  void drain() {
    wakePending = false;  // before draining: a task posted from now on wakes us again
    if (desktop == nullptr) return;
    ++handlerDepth;
    desktop->drain();
    --handlerDepth;
    refreshAll();
    buryRetired();
  }
};

QtBackend::QtBackend(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
  if (QApplication::instance() == nullptr)
    impl_->ownedApp = std::make_unique<QApplication>(argc, argv);
  // The main form's close ends the program, not the last window that happens to hide.
  QApplication::setQuitOnLastWindowClosed(false);
  impl_->waker = std::make_unique<QObject>();
}

QtBackend::~QtBackend() {
  for (auto& [form, window] : impl_->windows) delete window;
  for (auto& window : impl_->retired) delete window.data();
  impl_->windows.clear();
  impl_->retired.clear();
  impl_->waker.reset();
}

void QtBackend::attach(Desktop& desktop) { impl_->desktop = &desktop; }

void QtBackend::show(Form& form) {
  const bool shown = impl_->live(form) != nullptr;
  FormWindow* window = impl_->open(form);
  window->refresh();
  if (shown) {
    window->show();
    window->raise();
    window->activateWindow();
  } else {
    window->showCentred();
  }
}

void QtBackend::runModal(Form& form) {
  FormWindow* window = impl_->live(form);
  if (window != nullptr) window->hide();  // modality is set only while hidden
  window = impl_->open(form);
  window->setWindowModality(Qt::ApplicationModal);
  impl_->refreshAll();
  window->showCentred();
  if (form.closed) return;
  QPointer<FormWindow> guard(window);
  QEventLoop loop;
  window->setModalLoop(&loop);
  loop.exec(QEventLoop::DialogExec);
  if (guard) guard->setModalLoop(nullptr);
}

void QtBackend::hide(Form& form) {
  auto found = impl_->windows.find(&form);
  if (found == impl_->windows.end()) return;
  FormWindow* window = found->second;
  impl_->windows.erase(found);
  window->retire();
  impl_->retired.emplace_back(window);
  if (&form == impl_->mainForm) QCoreApplication::exit(0);
  impl_->buryRetired();
}

void QtBackend::run(Form& main) {
  if (main.closed) return;
  impl_->mainForm = &main;
  QApplication::exec();
  impl_->mainForm = nullptr;
  impl_->buryRetired();
}

void QtBackend::wake() {
  if (impl_->wakePending.exchange(true)) return;
  Impl* impl = impl_.get();
  QMetaObject::invokeMethod(
      impl->waker.get(), [impl] { impl->drain(); }, Qt::QueuedConnection);
}

void QtBackend::processPendingEvents() {
  ++impl_->waitingHandlers;
  impl_->refreshAll();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  --impl_->waitingHandlers;
}

Dialogs& QtBackend::dialogs() { return impl_->dialogs; }

void QtBackend::refresh() { impl_->refreshAll(); }

bool QtBackend::screenshot(Form& form, const std::string& pngPath) {
  std::unique_ptr<FormWindow> scratch;
  FormWindow* window = impl_->live(form);
  if (window != nullptr) {
    window->refresh();
  } else {
    // Laid out as if shown, but never on screen and without timers.
    scratch = std::make_unique<FormWindow>(form, *impl_, false);
    scratch->setAttribute(Qt::WA_DontShowOnScreen);
    scratch->showCentred();
    window = scratch.get();
  }
  const QPixmap shot = window->grab();
  if (scratch) scratch->retire();
  return !shot.isNull() && shot.save(toQt(pngPath), "PNG");
}

void QtBackend::setUnattended(bool unattended) { impl_->dialogs.setUnattended(unattended); }

}  // namespace ui
