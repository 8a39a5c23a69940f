// The launcher's local socket "launcher.sock" in its application folder:
// other programs of the folder's owner hand the running launcher a window
// message with the request "send-message N" (main --send-message N).
#pragma once

#include <string>

#include "launcher/core/app.h"
#include "launcher/ui/forms.h"
#include "platform/local_socket.h"

namespace launcher {

std::string ControlSocketPath(const std::string& appDir);

class TControlSocket {
 public:
  TControlSocket(App& app, ui::Form& main) : app_(app), main_(main) {}

  // False with the reason when the socket cannot be made (for example when
  // another launcher runs on the folder).
  bool Listen(std::string* error);

  // The reply to one request line.
  std::string Handle(const std::string& request);

 private:
  App& app_;
  ui::Form& main_;
  platform::LocalSocketServer server_;
};

// Delivers window message `message` to the launcher running on `appDir`;
// false with the reason when none answers or it refuses.
bool SendMessageToLauncher(const std::string& appDir, int message, std::string* error);

}  // namespace launcher
