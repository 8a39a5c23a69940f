// A local (Unix-domain) socket on which a program takes one-line requests
// from other programs of the same owner: only peers whose user is the owner
// of the socket's folder are answered, and the socket file itself is open to
// that owner alone. Requests and replies are single lines.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace platform {

class LocalSocketServer {
 public:
  // The reply to one request (both without the line feed). Runs on the
  // server's own thread, one request at a time.
  using Handler = std::function<std::string(const std::string& request)>;

  LocalSocketServer() = default;
  LocalSocketServer(const LocalSocketServer&) = delete;
  LocalSocketServer& operator=(const LocalSocketServer&) = delete;
  // Stops listening and removes the socket file.
  ~LocalSocketServer();

  // Listens at `path`. A socket file whose server is gone is replaced; false
  // with the reason when another server answers there or the socket cannot
  // be made (a path longer than a socket address holds, no such folder).
  bool listen(const std::string& path, Handler handler, std::string* error);

 private:
  void serve();
  void answer(int connection);

  std::string path_;
  Handler handler_;
  int listener_ = -1;
  int wakeup_[2] = {-1, -1};
  unsigned ownerId_ = 0;
  std::thread thread_;
};

// Sends one request to the server at `path` and returns its reply line;
// nullopt with the reason when no server answers within `limit`.
std::optional<std::string> askLocalSocket(const std::string& path, const std::string& request,
                                          std::chrono::milliseconds limit, std::string* error);

}  // namespace platform
