#include "tests/extension/x_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <optional>
#include <vector>

#include "tests/support/line_process.h"

namespace nxtest {

struct XWindow::Server {
  testsupport::LineProcess process{
      std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp"}};
};

XWindow::XWindow(const std::string& className, const std::string& instance,
                 const std::string& title) {
  server_ = std::make_unique<Server>();
  const std::optional<std::string> number = server_->process.receive(20000);
  if (!number) return;
  display_ = ":" + *number;
  Display* display = XOpenDisplay(display_.c_str());
  if (display == nullptr) return;
  connection_ = display;
  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 100, 50, 0, 0, 0);
  std::string name = instance, klass = className;
  XClassHint hint{name.data(), klass.data()};
  XSetClassHint(display, window, &hint);
  XStoreName(display, window, title.c_str());
  XMapWindow(display, window);
  XSync(display, False);
  id_ = window;
}

XWindow::~XWindow() {
  if (connection_ != nullptr) XCloseDisplay(static_cast<Display*>(connection_));
}

}  // namespace nxtest
