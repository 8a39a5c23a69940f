#include "launcher/core/control_socket.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/paths.h"

namespace launcher {
namespace {

constexpr char kSendMessage[] = "send-message ";

// The whole text as a decimal int.
bool parseInt(const std::string& text, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || number < INT_MIN || number > INT_MAX) return false;
  *value = static_cast<int>(number);
  return true;
}

}  // namespace

std::string ControlSocketPath(const std::string& appDir) {
  return platform::joinPath(appDir, "launcher.sock");
}

bool TControlSocket::Listen(std::string* error) {
  return server_.listen(
      ControlSocketPath(app_.AppDir),
      [this](const std::string& request) { return Handle(request); }, error);
}

std::string TControlSocket::Handle(const std::string& request) {
  int message = 0;
  if (request.starts_with(kSendMessage) &&
      parseInt(request.substr(sizeof kSendMessage - 1), &message)) {
    app_.desktop.postMessage(main_, message, 0);
    return "ok";
  }
  return "error: unknown request: " + request;
}

bool SendMessageToLauncher(const std::string& appDir, int message, std::string* error) {
  const std::optional<std::string> reply =
      platform::askLocalSocket(ControlSocketPath(appDir), kSendMessage + std::to_string(message),
                               std::chrono::seconds(10), error);
  if (!reply) return false;
  if (*reply == "ok") return true;
  *error = *reply;
  return false;
}

}  // namespace launcher
