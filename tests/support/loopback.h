// Loopback addresses for the servers of a test. Every 127.x.y.z address is
// this machine's, so servers of tests that run side by side each take one
// of their own and keep the product's fixed ports (80, 21; binding those
// needs root, which CI has).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <stdexcept>
#include <string>

namespace testsupport {

// A loopback address, not 127.0.0.1, on which `port` can be bound now.
inline std::string freeLoopbackAddress(int port) {
  static std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 200; ++attempt) {
    const unsigned a = 1 + random() % 254, b = random() % 256, c = 1 + random() % 254;
    const std::string address =
        "127." + std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) break;
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    const bool free = bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
    close(fd);
    if (free) return address;
  }
  throw std::runtime_error("no free loopback address for port " + std::to_string(port));
}

}  // namespace testsupport
