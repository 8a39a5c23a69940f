// One thread accepts, one thread per connection reads a request, records it, asks the handler
// and answers. Sockets are non-blocking and every wait polls the wake pipe too, so stopping
// never waits for a client; a delay waits on the condition variable for the same reason.
#include "vendor/http_standin.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace vendor {
namespace {

// Far above anything the service is sent; a bigger request is refused rather than stored.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr std::size_t kMaxBodyBytes = 64 * 1024 * 1024;
// How long a closed reply waits for the client to finish, so that unread bytes of the client
// do not turn the close into a reset that could destroy the reply in flight.
constexpr int kLingerMs = 1000;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool containsWord(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (sameWord(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::string errorText(const std::string& what) { return what + ": " + std::strerror(errno); }

const char* reasonPhrase(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 202:
      return "Accepted";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 304:
      return "Not Modified";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 411:
      return "Length Required";
    case 413:
      return "Content Too Large";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    case 504:
      return "Gateway Timeout";
    default:
      return "";  // the reason phrase may be empty
  }
}

// The bytes of one connection, read as they come; every wait ends when the server stops.
class Channel {
 public:
  Channel(int fd, int wake) : fd_(fd), wake_(wake) {}

  // Appends what arrives to pending(); false at the end of the input, on an error, or on stop.
  bool fill() {
    char chunk[16 * 1024];
    for (;;) {
      const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
      if (got > 0) {
        pending_.append(chunk, static_cast<std::size_t>(got));
        return true;
      }
      if (got == 0) return false;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (!waitFor(POLLIN, -1)) return false;
    }
  }

  bool send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(sent));
      } else if (sent < 0 && errno == EINTR) {
        continue;
      } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!waitFor(POLLOUT, -1)) return false;
      } else {
        return false;
      }
    }
    return true;
  }

  // Reads until `n` bytes are pending; false when they never come.
  bool need(std::size_t n) {
    while (pending_.size() < n) {
      if (!fill()) return false;
    }
    return true;
  }

  // The next line without its line end; nullopt when it never comes or grows past `limit`.
  std::optional<std::string> line(std::size_t limit) {
    std::size_t end;
    while ((end = pending_.find('\n')) == std::string::npos) {
      if (pending_.size() > limit || !fill()) return std::nullopt;
    }
    std::string text = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
  }

  std::string take(std::size_t n) {
    std::string bytes = pending_.substr(0, n);
    pending_.erase(0, n);
    return bytes;
  }

  // Tells the client the reply is complete and gives it a moment to close its side.
  void finish() {
    shutdown(fd_, SHUT_WR);
    char sink[4096];
    for (;;) {
      const ssize_t got = recv(fd_, sink, sizeof sink, 0);
      if (got == 0) return;
      if (got > 0 || errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return;
      if (!waitFor(POLLIN, kLingerMs)) return;
    }
  }

 private:
  // False on stop, on a timeout, or when the socket fails.
  bool waitFor(short events, int timeoutMs) {
    pollfd watched[2] = {{fd_, events, 0}, {wake_, POLLIN, 0}};
    for (;;) {
      const int ready = poll(watched, 2, timeoutMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0 || watched[1].revents != 0) return false;
      return true;  // an error or hang-up shows in the next recv or send
    }
  }

  int fd_;
  int wake_;
  std::string pending_;
};

enum class ReadResult { kComplete, kBad, kTooLarge, kGone };

ReadResult readHead(Channel& in, HttpRequest& request) {
  auto first = in.line(kMaxHeaderBytes);
  // Blank lines before a request line are to be ignored.
  while (first && first->empty()) first = in.line(kMaxHeaderBytes);
  if (!first) return ReadResult::kGone;
  const std::size_t space1 = first->find(' ');
  const std::size_t space2 = first->find(' ', space1 == std::string::npos ? 0 : space1 + 1);
  if (space1 == std::string::npos || space2 == std::string::npos || space1 == 0 ||
      space2 == space1 + 1 || first->compare(space2 + 1, 5, "HTTP/") != 0) {
    return ReadResult::kBad;
  }
  request.method = first->substr(0, space1);
  request.target = first->substr(space1 + 1, space2 - space1 - 1);

  std::size_t headerBytes = first->size();
  for (;;) {
    auto text = in.line(kMaxHeaderBytes);
    if (!text) return ReadResult::kGone;
    if (text->empty()) return ReadResult::kComplete;
    headerBytes += text->size();
    if (headerBytes > kMaxHeaderBytes) return ReadResult::kTooLarge;
    const std::size_t colon = text->find(':');
    if (colon == std::string::npos || colon == 0) return ReadResult::kBad;
    request.headers.emplace_back(text->substr(0, colon),
                                 std::string(trim(std::string_view(*text).substr(colon + 1))));
  }
}

ReadResult readChunkedBody(Channel& in, std::string& body) {
  for (;;) {
    auto sizeLine = in.line(kMaxHeaderBytes);
    if (!sizeLine) return ReadResult::kGone;
    // Chunk extensions after ';' carry nothing a stand-in needs.
    const std::string_view digits =
        trim(std::string_view(*sizeLine).substr(0, sizeLine->find(';')));
    if (digits.empty() || digits.size() > 15) return ReadResult::kBad;
    std::size_t size = 0;
    for (const char c : digits) {
      const int value = (c >= '0' && c <= '9')   ? c - '0'
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                 : -1;
      if (value < 0) return ReadResult::kBad;
      size = size * 16 + static_cast<std::size_t>(value);
    }
    if (size == 0) break;
    if (body.size() + size > kMaxBodyBytes) return ReadResult::kTooLarge;
    if (!in.need(size)) return ReadResult::kGone;
    body += in.take(size);
    auto end = in.line(2);
    if (!end) return ReadResult::kGone;
    if (!end->empty()) return ReadResult::kBad;
  }
  // Trailer fields, up to the blank line; dropped.
  for (;;) {
    auto trailer = in.line(kMaxHeaderBytes);
    if (!trailer) return ReadResult::kGone;
    if (trailer->empty()) return ReadResult::kComplete;
  }
}

ReadResult readBody(Channel& in, HttpRequest& request) {
  const bool chunked = containsWord(request.header("Transfer-Encoding"), "chunked");
  const std::string length = request.header("Content-Length");
  std::size_t size = 0;
  if (!chunked && !length.empty()) {
    if (length.size() > 15 || length.find_first_not_of("0123456789") != std::string::npos) {
      return ReadResult::kBad;
    }
    size = std::stoull(length);
    if (size > kMaxBodyBytes) return ReadResult::kTooLarge;
  }
  if ((chunked || size > 0) && sameWord(request.header("Expect"), "100-continue")) {
    if (!in.send("HTTP/1.1 100 Continue\r\n\r\n")) return ReadResult::kGone;
  }
  if (chunked) return readChunkedBody(in, request.body);
  if (!in.need(size)) return ReadResult::kGone;
  request.body = in.take(size);
  return ReadResult::kComplete;
}

std::string composeReply(const HttpReply& reply) {
  std::string text =
      "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
  if (!reply.contentType.empty()) text += "Content-Type: " + reply.contentType + "\r\n";
  text += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
  text += "Connection: close\r\n\r\n";
  text += reply.body;
  return text;
}

HttpReply errorReply(int status) {
  HttpReply reply;
  reply.status = status;
  reply.contentType.clear();
  return reply;
}

}  // namespace

std::string HttpRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (sameWord(key, name)) return value;
  }
  return std::string();
}

HttpStandIn::HttpStandIn(const std::string& address, int port, Handler handler)
    : address_(address), handler_(std::move(handler)) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
    throw std::runtime_error("not an IPv4 address: " + address);
  }
  if (port < 0 || port > 65535) throw std::runtime_error("bad port " + std::to_string(port));
  where.sin_port = htons(static_cast<uint16_t>(port));

  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error(errorText("socket"));
  const int on = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const std::string place = address + ":" + std::to_string(port);
  int pipeFds[2];
  if (bind(listenFd_, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
      listen(listenFd_, 64) != 0 || pipe2(pipeFds, O_CLOEXEC) != 0) {
    const std::string reason = errorText("cannot listen on " + place);
    close(listenFd_);
    throw std::runtime_error(reason);
  }
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];
  socklen_t size = sizeof where;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&where), &size);
  port_ = ntohs(where.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

HttpStandIn::~HttpStandIn() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  // Never read, so the pipe stays readable for every poll from now on.
  const char byte = 0;
  while (write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
  }
  acceptor_.join();
  // The acceptor has ended: no connection joins the list any more.
  for (auto& connection : connections_) connection.thread.join();
  close(listenFd_);
  close(wakeRead_);
  close(wakeWrite_);
}

std::vector<HttpRequest> HttpStandIn::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool HttpStandIn::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void HttpStandIn::setHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
}

void HttpStandIn::acceptLoop() {
  for (;;) {
    pollfd watched[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (poll(watched, 2, -1) < 0 && errno != EINTR) return;
    if (watched[1].revents != 0) return;
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) continue;  // the client left already, or out of descriptors for a moment

    std::lock_guard<std::mutex> lock(mutex_);
    // Reap the connections that have ended, so a long demo keeps no dead threads.
    for (auto it = connections_.begin(); it != connections_.end();) {
      if (it->finished) {
        it->thread.join();
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
    auto connection = connections_.emplace(connections_.end());
    try {
      connection->thread = std::thread([this, fd, connection] {
        serve(fd);
        std::lock_guard<std::mutex> done(mutex_);
        connection->finished = true;
      });
    } catch (const std::system_error&) {
      connections_.erase(connection);
      close(fd);
    }
  }
}

void HttpStandIn::serve(int fd) {
  Channel channel(fd, wakeRead_);
  HttpRequest request;
  ReadResult read = readHead(channel, request);
  if (read == ReadResult::kComplete) read = readBody(channel, request);

  HttpReply reply;
  if (read == ReadResult::kComplete) {
    Handler handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      handler = handler_;
    }
    changed_.notify_all();
    try {
      reply = handler ? handler(request) : errorReply(404);
    } catch (...) {
      reply = errorReply(500);
    }
  } else if (read != ReadResult::kGone) {
    reply = errorReply(read == ReadResult::kTooLarge ? 413 : 400);
  }

  if (read != ReadResult::kGone && !reply.closeWithoutAnswer && waitOut(reply.delay) &&
      channel.send(composeReply(reply))) {
    channel.finish();
  }
  close(fd);
}

bool HttpStandIn::waitOut(std::chrono::milliseconds delay) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (delay.count() > 0) changed_.wait_for(lock, delay, [this] { return stopping_; });
  return !stopping_;
}

}  // namespace vendor
