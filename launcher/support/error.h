// The launcher's error: raised with a text that the window which started the
// action shows to the user (message box, status block or status bar).
#pragma once

#include <stdexcept>
#include <string>

namespace launcher {

class LauncherError : public std::runtime_error {
 public:
  explicit LauncherError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace launcher
