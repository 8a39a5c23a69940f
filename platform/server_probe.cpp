#include "platform/server_probe.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int ready = poll(&p, 1, remainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && (p.revents & events) != 0;
  }
}

}  // namespace

bool mysqlServerAnswers(const std::string& host, int port, std::chrono::milliseconds timeout) {
  if (port <= 0 || port > 65535) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return false;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const auto deadline = Clock::now() + timeout;
  bool answered = false;
  int rc = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (rc != 0 && errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline)) {
    int problem = 0;
    socklen_t length = sizeof problem;
    rc = getsockopt(fd, SOL_SOCKET, SO_ERROR, &problem, &length) == 0 && problem == 0 ? 0 : -1;
  }
  if (rc == 0) {
    // A packet header (3 bytes length, 1 byte sequence 0), then protocol
    // version 10 of a greeting or the 0xFF of an error packet.
    unsigned char head[5];
    std::size_t got = 0;
    while (got < sizeof head && waitFor(fd, POLLIN, deadline)) {
      const ssize_t n = read(fd, head + got, sizeof head - got);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    answered = got == sizeof head && head[3] == 0 && (head[4] == 10 || head[4] == 0xFF);
  }
  close(fd);
  return answered;
}

}  // namespace platform
