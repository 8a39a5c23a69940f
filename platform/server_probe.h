// Whether a database server answers on a TCP port: it accepts the
// connection and sends the first packet of the MySQL protocol (its
// greeting, or an error packet such as "too many connections"). A port
// that some other program holds, or a server still starting, does not
// answer. Safe from any thread.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace platform {

bool mysqlServerAnswers(const std::string& host, int port, std::chrono::milliseconds timeout);

// The processes listening on a TCP port of this machine, as far as their
// sockets can be seen (another user's are hidden from all but root).
std::vector<int> portListeners(int port);

}  // namespace platform
