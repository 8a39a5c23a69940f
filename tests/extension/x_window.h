// One top-level window of a known class and title on an X server of the
// test's own (Xvfb). Kept apart from the tests: Xlib's macros (None, Bool,
// Status) clash with GoogleTest's and the host interface's names.
#pragma once

#include <memory>
#include <string>

namespace nxtest {

class XWindow {
 public:
  // Starts Xvfb on a free display; ready() is false when that fails.
  XWindow(const std::string& className, const std::string& instance, const std::string& title);
  ~XWindow();
  XWindow(const XWindow&) = delete;
  XWindow& operator=(const XWindow&) = delete;

  bool ready() const { return id_ != 0; }
  const std::string& display() const { return display_; }
  unsigned long id() const { return id_; }

 private:
  struct Server;
  std::unique_ptr<Server> server_;
  std::string display_;
  void* connection_ = nullptr;
  unsigned long id_ = 0;
};

}  // namespace nxtest
