// One HTTP POST with a form body, as the vendor requests send it: within a
// time limit, and given up within a moment when `cancel` becomes true. Any
// thread may call it; each call has its own connection.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace launcher {

struct HttpAnswer {
  bool answered = false;  // a complete reply with a status below 400
  int status = 0;         // the reply's status code; 0 when none came
  std::string body;       // what arrived of the reply's body
  std::string error;      // why it failed: the status line, or the transfer's reason
};

HttpAnswer HttpPost(const std::string& url, const std::string& body,
                    std::chrono::milliseconds limit, const std::atomic<bool>* cancel = nullptr);

}  // namespace launcher
