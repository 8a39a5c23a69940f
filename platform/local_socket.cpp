#include "platform/local_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

constexpr auto kRequestLimit = std::chrono::seconds(5);

std::string reasonOf(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

bool addressOf(const std::string& path, sockaddr_un* address, std::string* error) {
  *address = {};
  address->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address->sun_path) {
    *error = "socket path too long: " + path;
    return false;
  }
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Waits until fd is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, static_cast<int>(left.count()));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

// One line from fd (without its line feed), or nullopt.
std::optional<std::string> readLine(int fd, std::chrono::steady_clock::time_point deadline) {
  std::string line;
  char byte;
  while (line.size() < 65536) {
    if (!waitFor(fd, POLLIN, deadline)) return std::nullopt;
    const ssize_t got = read(fd, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    if (byte == '\n') return line;
    line += byte;
  }
  return std::nullopt;
}

bool writeAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    sent += static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

bool LocalSocketServer::listen(const std::string& path, Handler handler, std::string* error) {
  sockaddr_un address;
  if (!addressOf(path, &address, error)) return false;
  struct stat folder;
  if (stat(folderOf(path).c_str(), &folder) != 0) {
    *error = reasonOf(folderOf(path).c_str());
    return false;
  }
  std::string ignored;
  if (askLocalSocket(path, "", std::chrono::milliseconds(1000), &ignored)) {
    *error = "another program answers at " + path;
    return false;
  }
  unlink(path.c_str());  // left by a server that is gone
  listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) {
    *error = reasonOf("socket");
    return false;
  }
  // Nobody can connect before listen(), so the file is the owner's alone
  // from the first moment it accepts anyone.
  if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      chmod(path.c_str(), 0600) != 0 || ::listen(listener_, 8) != 0 ||
      pipe2(wakeup_, O_CLOEXEC) != 0) {
    *error = reasonOf(path.c_str());
    close(listener_);
    listener_ = -1;
    unlink(path.c_str());
    return false;
  }
  path_ = path;
  handler_ = std::move(handler);
  ownerId_ = folder.st_uid;
  thread_ = std::thread([this] { serve(); });
  return true;
}

LocalSocketServer::~LocalSocketServer() {
  if (listener_ < 0) return;
  const char stop = 's';
  (void)!write(wakeup_[1], &stop, 1);
  thread_.join();
  close(listener_);
  close(wakeup_[0]);
  close(wakeup_[1]);
  unlink(path_.c_str());
}

void LocalSocketServer::serve() {
  for (;;) {
    pollfd entries[2] = {{listener_, POLLIN, 0}, {wakeup_[0], POLLIN, 0}};
    if (poll(entries, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (entries[1].revents != 0) return;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    answer(connection);
    close(connection);
  }
}

void LocalSocketServer::answer(int connection) {
  // The request is read first, so that a refused peer gets its answer rather
  // than a connection closed while it writes.
  const std::optional<std::string> request =
      readLine(connection, std::chrono::steady_clock::now() + kRequestLimit);
  // An empty request only asks whether someone listens.
  if (!request || request->empty()) return;
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ownerId_) {
    writeAll(connection, "error: not the owner of this folder\n");
    return;
  }
  writeAll(connection, handler_(*request) + "\n");
}

std::optional<std::string> askLocalSocket(const std::string& path, const std::string& request,
                                          std::chrono::milliseconds limit, std::string* error) {
  sockaddr_un address;
  if (!addressOf(path, &address, error)) return std::nullopt;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = reasonOf("socket");
    return std::nullopt;
  }
  std::optional<std::string> reply;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *error = reasonOf(path.c_str());
  } else if (request.empty()) {
    reply = std::string();  // someone listens
  } else if (!writeAll(fd, request + "\n")) {
    *error = reasonOf("send");
  } else {
    reply = readLine(fd, std::chrono::steady_clock::now() + limit);
    if (!reply) *error = "no reply from " + path;
  }
  close(fd);
  return reply;
}

}  // namespace platform
