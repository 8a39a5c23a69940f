// The HTTP stand-in against a raw-socket client on a loopback address of its own: requests are
// recorded byte for byte, replies go out as given, a delay holds back only its own reply, and
// stopping ends every connection at once.
#include "vendor/http_standin.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/loopback.h"

namespace {

using namespace std::chrono_literals;
using vendor::HttpReply;
using vendor::HttpRequest;
using vendor::HttpStandIn;

constexpr int kPort = 80;
// Long enough that a test which goes wrong fails instead of hanging.
constexpr int kClientTimeoutSeconds = 10;

// One TCP connection to the stand-in; reads give up after kClientTimeoutSeconds.
class Client {
 public:
  Client(const std::string& address, int port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{kClientTimeoutSeconds, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    connected_ = connect(fd_, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
  }
  ~Client() { close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool connected() const { return connected_; }
  int fd() const { return fd_; }

  void send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      ASSERT_GT(sent, 0) << "send failed";
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
  }

  // What arrives until `marker` has come (everything up to the end when it is empty).
  std::string readUntil(std::string_view marker) {
    while (marker.empty() || received_.find(marker) == std::string::npos) {
      char chunk[4096];
      const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
      // A reset ends the connection as well as a close does; only a timeout is a failure.
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) timedOut_ = true;
      if (got <= 0) break;
      received_.append(chunk, static_cast<std::size_t>(got));
    }
    std::string text = std::move(received_);
    received_.clear();
    return text;
  }
  // Everything until the server closes the connection.
  std::string readToEnd() { return readUntil(""); }
  // True when a read waited in vain rather than seeing the connection end.
  bool timedOut() const { return timedOut_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool timedOut_ = false;
  std::string received_;
};

std::string allByteValues() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  return bytes;
}

// Whether the reply starts with `head`, showing the reply when it does not.
::testing::AssertionResult hasHead(const std::string& reply, const std::string& head) {
  if (reply.compare(0, head.size(), head) != 0) {
    return ::testing::AssertionFailure() << "reply was: " << reply.substr(0, 300);
  }
  return ::testing::AssertionSuccess();
}

HttpStandIn::Handler echo() {
  return [](const HttpRequest& request) {
    HttpReply reply;
    reply.body = request.body;
    reply.contentType = "application/octet-stream";
    return reply;
  };
}

struct RequestCase {
  std::string name;
  std::vector<std::pair<std::string, std::string>> headers;  // as sent, Content-Length aside
  std::string wireBody;                                      // the body's bytes on the wire
  std::string body;                                          // as the handler must see it
  bool waitsForContinue = false;
};

TEST(HttpStandIn, RecordsEachRequestByteForByte) {
  const std::string form = "shop=012&name=\xd1\xdd\xca\xbe &pct=50%25&x==y " + allByteValues();
  const std::vector<RequestCase> cases = {
      {"sized body",
       {{"Host", "vendor"},
        {"Content-Type", "application/x-www-form-urlencoded"},
        {"X-Mixed-Case", "  padded value\t"},
        {"Content-Length", std::to_string(form.size())}},
       form,
       form},
      {"chunked body",
       {{"Host", "vendor"}, {"transfer-encoding", "chunked"}},
       "5;note=x\r\na=%&=\r\n3\r\n\xff\x80 \r\n0\r\nX-Trailer: t\r\n\r\n",
       "a=%&=\xff\x80 "},
      {"expects 100-continue",
       {{"Host", "vendor"},
        {"Expect", "100-continue"},
        {"Content-Length", std::to_string(form.size())}},
       form,
       form,
       true},
      {"no body", {{"Host", "vendor"}}, "", ""},
  };
  const std::string address = testsupport::freeLoopbackAddress(kPort);
  HttpStandIn standIn(address, kPort, echo());
  ASSERT_EQ(standIn.address(), address);

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const RequestCase& row = cases[i];
    SCOPED_TRACE(row.name);
    const std::string target = "/ywpost/getsubcomname.aspx?case=" + std::to_string(i);
    std::string head = "POST " + target + " HTTP/1.1\r\n";
    for (const auto& [name, value] : row.headers) head += name + ":" + value + "\r\n";
    head += "\r\n";

    Client client(address, kPort);
    ASSERT_TRUE(client.connected());
    client.send(head);
    if (row.waitsForContinue) {
      EXPECT_EQ(client.readUntil("\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
    }
    client.send(row.wireBody);
    const std::string reply = client.readToEnd();
    EXPECT_TRUE(hasHead(reply, "HTTP/1.1 200 OK\r\n"));
    EXPECT_NE(reply.find("\r\nContent-Length: " + std::to_string(row.body.size()) + "\r\n"),
              std::string::npos);
    EXPECT_NE(reply.find("\r\nConnection: close\r\n"), std::string::npos);
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), row.body);

    const std::vector<HttpRequest> requests = standIn.requests();
    ASSERT_EQ(requests.size(), i + 1);
    const HttpRequest& request = requests.back();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, target);
    EXPECT_EQ(request.body, row.body);
    ASSERT_EQ(request.headers.size(), row.headers.size());
    for (std::size_t h = 0; h < row.headers.size(); ++h) {
      EXPECT_EQ(request.headers[h].first, row.headers[h].first);
      const std::string& sent = row.headers[h].second;
      const std::size_t from = sent.find_first_not_of(" \t");
      EXPECT_EQ(request.headers[h].second,
                sent.substr(from, sent.find_last_not_of(" \t") + 1 - from));
    }
    EXPECT_EQ(request.header("HOST"), "vendor");
    EXPECT_EQ(request.header("x-mixed-case"), row.name == "sized body" ? "padded value" : "");
    EXPECT_EQ(request.header("X-Absent"), "");
  }
}

TEST(HttpStandIn, SendsTheHandlersReplyAsGiven) {
  struct ReplyCase {
    HttpReply reply;
    std::string head;
  };
  HttpReply branch;
  branch.body = "OK012,\xd1\xdd\xca\xbe\xb7\xd6\xb5\xea";
  HttpReply missing;
  missing.status = 404;
  HttpReply failing;
  failing.status = 500;
  failing.contentType = "text/plain";
  failing.body = std::string("\0\r\n\xff", 4);
  const std::vector<ReplyCase> cases = {
      {branch, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 14\r\n"},
      {missing, "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 0\r\n"},
      {failing,
       "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n"},
  };
  const std::string address = testsupport::freeLoopbackAddress(kPort);
  HttpStandIn standIn(address, kPort, nullptr);
  for (const ReplyCase& row : cases) {
    SCOPED_TRACE(row.head);
    standIn.setHandler([&row](const HttpRequest&) { return row.reply; });
    Client client(address, kPort);
    client.send("POST /ywpost/getftpok.aspx HTTP/1.1\r\nHost: vendor\r\n\r\n");
    EXPECT_EQ(client.readToEnd(), row.head + "Connection: close\r\n\r\n" + row.reply.body);
  }

  standIn.setHandler([](const HttpRequest&) -> HttpReply { throw std::runtime_error("broken"); });
  Client client(address, kPort);
  client.send("POST / HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(hasHead(client.readToEnd(), "HTTP/1.1 500 Internal Server Error\r\n"));
}

TEST(HttpStandIn, CloseWithoutAnswerReadsTheRequestAndAnswersNothing) {
  const std::string address = testsupport::freeLoopbackAddress(kPort);
  HttpStandIn standIn(address, kPort, [](const HttpRequest& request) {
    HttpReply reply;
    reply.closeWithoutAnswer = request.target == "/drop";
    return reply;
  });
  Client dropped(address, kPort);
  dropped.send("POST /drop HTTP/1.1\r\nContent-Length: 9\r\n\r\nk=v&w=%20");
  EXPECT_EQ(dropped.readToEnd(), "");
  EXPECT_FALSE(dropped.timedOut());
  ASSERT_EQ(standIn.requests().size(), 1u);
  EXPECT_EQ(standIn.requests()[0].body, "k=v&w=%20");
  EXPECT_FALSE(standIn.waitForRequests(2, 10ms));

  Client next(address, kPort);
  next.send("POST /keep HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(hasHead(next.readToEnd(), "HTTP/1.1 200 OK\r\n"));
}

TEST(HttpStandIn, DelayedReplyWaitsItsDelay) {
  const auto delay = 300ms;
  const std::string address = testsupport::freeLoopbackAddress(kPort);
  HttpStandIn standIn(address, kPort, [&](const HttpRequest&) {
    HttpReply reply;
    reply.body = "late";
    reply.delay = delay;
    return reply;
  });
  Client client(address, kPort);
  const auto sent = std::chrono::steady_clock::now();
  client.send("POST /ywpost/getftp2014.aspx HTTP/1.1\r\n\r\n");
  const std::string reply = client.readToEnd();
  EXPECT_GE(std::chrono::steady_clock::now() - sent, delay);
  EXPECT_TRUE(hasHead(reply, "HTTP/1.1 200 OK\r\n"));
  EXPECT_EQ(reply.substr(reply.size() - 4), "late");
}

TEST(HttpStandIn, AnswersOtherClientsDuringADelay) {
  const std::string address = testsupport::freeLoopbackAddress(kPort);
  HttpStandIn standIn(address, kPort, [](const HttpRequest& request) {
    HttpReply reply;
    reply.body = request.target;
    if (request.target == "/slow") reply.delay = 1s;
    return reply;
  });
  Client slow(address, kPort);
  slow.send("POST /slow HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(standIn.waitForRequests(1, 10s));
  Client fast(address, kPort);
  fast.send("POST /fast HTTP/1.1\r\n\r\n");

  // Whichever reply comes first: the one sent later, since the other waits out its delay.
  pollfd watched[2] = {{slow.fd(), POLLIN, 0}, {fast.fd(), POLLIN, 0}};
  ASSERT_GT(poll(watched, 2, kClientTimeoutSeconds * 1000), 0);
  EXPECT_EQ(watched[0].revents, 0);
  EXPECT_NE(watched[1].revents, 0);

  const std::string fastReply = fast.readToEnd();
  const std::string slowReply = slow.readToEnd();
  EXPECT_EQ(fastReply.substr(fastReply.find("\r\n\r\n") + 4), "/fast");
  EXPECT_EQ(slowReply.substr(slowReply.find("\r\n\r\n") + 4), "/slow");
}

TEST(HttpStandIn, StoppingEndsEveryConnectionAtOnce) {
  const std::string address = testsupport::freeLoopbackAddress(kPort);
  auto standIn = std::make_unique<HttpStandIn>(address, kPort, [](const HttpRequest&) {
    HttpReply reply;
    reply.delay = std::chrono::hours(1);
    return reply;
  });
  Client delayed(address, kPort);
  delayed.send("POST /ywpost/getftpok.aspx HTTP/1.1\r\n\r\n");
  Client idle(address, kPort);
  Client halfSent(address, kPort);
  halfSent.send("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nonly part");
  ASSERT_TRUE(standIn->waitForRequests(1, 10s));

  standIn.reset();  // a stand-in that waited out the delay would hang the test here
  for (Client* client : {&delayed, &idle, &halfSent}) {
    EXPECT_EQ(client->readToEnd(), "");
    EXPECT_FALSE(client->timedOut());
  }
  EXPECT_FALSE(Client(address, kPort).connected());
}

TEST(HttpStandIn, ConstructorSaysWhyItCannotListen) {
  const std::string address = testsupport::freeLoopbackAddress(kPort);
  HttpStandIn taken(address, kPort, echo());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"localhost", "not an IPv4 address: localhost"},
      {address, "cannot listen on " + address + ":80: Address already in use"},
  };
  for (const auto& [where, reason] : cases) {
    try {
      HttpStandIn standIn(where, kPort, echo());
      ADD_FAILURE() << where << " was taken";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(error.what(), reason);
    }
  }
}

}  // namespace
