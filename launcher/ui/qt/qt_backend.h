// The forms model rendered with Qt 6 Widgets: each shown Form is a top-level window, widget
// events run the model's handlers, and Qt's event loop is the window thread's loop. Every
// call comes on the thread that built the backend, except wake(), which any thread may call.
#pragma once

#include <memory>
#include <string>

#include "launcher/ui/desktop.h"

namespace ui {

class QtBackend : public Backend {
 public:
  // Creates the QApplication unless one exists; argc and argv must outlive the backend.
  QtBackend(int& argc, char** argv);
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  // Once, right after the Desktop over this backend is built: wake() drains its queue and
  // a window's close button runs its close().
  void attach(Desktop& desktop);

  // A form's window lives from show (or runModal) to hide; its timers run meanwhile. Once
  // hidden, the backend forgets the Form, so the launcher may destroy it.
  void show(Form& form) override;
  void runModal(Form& form) override;
  void hide(Form& form) override;
  // Runs the event loop until the main form has closed; returns at once if it already has.
  void run(Form& main) override;
  void wake() override;
  void processPendingEvents() override;
  Dialogs& dialogs() override;

  // Brings every shown form's widgets in line with the model. The backend does so after each
  // handler and each drain; only a change made outside those needs this call.
  void refresh();
  // Renders the form, shown or not, to a PNG file; false when that fails.
  bool screenshot(Form& form, const std::string& pngPath);
  // Nobody watches the screen: message boxes answer their default (OK, or No to a
  // question) on stderr and file dialogs are cancelled, so nothing blocks.
  void setUnattended(bool unattended);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ui
