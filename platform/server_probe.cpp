#include "platform/server_probe.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

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

// The inodes of the listening sockets on `port` in a /proc/net/tcp table.
void listeningInodes(const char* table, int port, std::set<std::string>* inodes) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
        timeout >> inode;
    const std::size_t colon = local.rfind(':');
    if (state != "0A" || colon == std::string::npos) continue;  // 0A: LISTEN
    if (std::strtol(local.c_str() + colon + 1, nullptr, 16) == port) inodes->insert(inode);
  }
}

}  // namespace

std::vector<int> portListeners(int port) {
  std::set<std::string> inodes;
  listeningInodes("/proc/net/tcp", port, &inodes);
  listeningInodes("/proc/net/tcp6", port, &inodes);
  std::vector<int> pids;
  if (inodes.empty()) return pids;
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const auto& process : fs::directory_iterator("/proc", ec)) {
    const std::string name = process.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    bool holds = false;
    for (fs::directory_iterator fd(process.path() / "fd", ec), end; !ec && fd != end && !holds;
         fd.increment(ec)) {
      const std::string target = fs::read_symlink(fd->path(), ec).string();
      holds =
          target.starts_with("socket:[") && inodes.count(target.substr(8, target.size() - 9)) > 0;
    }
    ec.clear();
    if (holds) pids.push_back(std::atoi(name.c_str()));
  }
  return pids;
}

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
