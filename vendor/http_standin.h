// A small HTTP/1.1 server on an IPv4 address in place of the vendor's web service: it records
// every request exactly as received, answers it with what the handler returns (one request per
// connection, then the connection closes), and each connection has a thread of its own.
// Every member is safe from any thread; the handler may run on several threads at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace vendor {

struct HttpRequest {
  std::string method;  // "POST"
  std::string target;  // as sent, e.g. "/ywpost/getsubcomname.aspx"
  std::vector<std::pair<std::string, std::string>> headers;  // in order, names as sent
  std::string body;  // raw bytes, exactly as received (a chunked body comes decoded)
  // The value of the first header of that name, compared without case; "" when absent.
  std::string header(std::string_view name) const;
};

struct HttpReply {
  int status = 200;
  std::string body;                       // raw bytes sent as they are
  std::string contentType = "text/html";  // no Content-Type header when empty
  std::chrono::milliseconds delay{0};     // wait before answering (a slow service)
  bool closeWithoutAnswer = false;        // read the request, then close the connection
};

class HttpStandIn {
 public:
  using Handler = std::function<HttpReply(const HttpRequest&)>;

  // Listens on address:port (port 0 takes a free one); throws std::runtime_error with the
  // reason when it cannot. A handler that throws answers 500.
  HttpStandIn(const std::string& address, int port, Handler handler);
  // Stops listening, ends every connection (also one waiting out a reply's delay, which then
  // gets no answer) and joins every thread.
  ~HttpStandIn();
  HttpStandIn(const HttpStandIn&) = delete;
  HttpStandIn& operator=(const HttpStandIn&) = delete;

  const std::string& address() const { return address_; }
  int port() const { return port_; }

  // Every request received so far, in arrival order.
  std::vector<HttpRequest> requests() const;
  // Waits until at least `count` requests have arrived; false after `timeout`.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Takes effect for the requests that arrive after it.
  void setHandler(Handler handler);

 private:
  struct Connection {
    std::thread thread;
    bool finished = false;
  };

  void acceptLoop();
  void serve(int fd);
  // Sleeps for `delay`; false when the server stops meanwhile.
  bool waitOut(std::chrono::milliseconds delay);

  const std::string address_;
  int port_ = 0;
  int listenFd_ = -1;
  int wakeRead_ = -1;  // readable once the server stops: every poll watches it
  int wakeWrite_ = -1;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;  // a request arrived, or the server stops
  bool stopping_ = false;
  Handler handler_;
  std::vector<HttpRequest> requests_;
  std::list<Connection> connections_;
  std::thread acceptor_;
};

}  // namespace vendor
