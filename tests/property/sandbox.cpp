#include "tests/property/sandbox.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace property {
namespace {

namespace fs = std::filesystem;

// Written by the bait program, which is never executable.
constexpr const char* kBait = "run-me";
constexpr const char* kRanMarker = "ran";

// Names the run itself owns: generated names never take them.
const std::array<std::string, 7> kReserved = {".",   "..",  "dbconfig.ini", "nxremote.ini",
                                              "pam", kBait, kRanMarker};

const std::vector<std::string> kNames = {
    "a.txt", "temp.txt", "pic.bmp", "名称.txt", "x y", "'q'.txt", "\"d\"", "*.txt",       "?",
    "*",     "[a]",      "a*b",     ".hidden",  "-n",  "~",       "%s%n",  "a.txt.XXXXXX"};

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Bytes that could leave the folder, change the drive or end the text go.
std::string confined(const std::string& raw) {
  std::string name;
  for (char c : raw)
    if (c != '/' && c != '\\' && c != ':' && c != '\0') name += c;
  for (const std::string& reserved : kReserved)
    if (name == reserved) return "a.txt";
  return name;
}

// One INI value: no line break, so no key can be smuggled in.
std::string oneLine(std::string text) {
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
  return text;
}

}  // namespace

Sandbox::Sandbox() {
  previousFolder_ = fs::current_path().string();
  std::string pattern = (fs::temp_directory_path() / "nxclass-property.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
  fs::create_directory(folder_ + "/pam");  // no rules: PAM refuses every account
  writeFile(folder_ + "/" + kBait, std::string("#!/bin/sh\n: > ") + kRanMarker + "\n");
  fs::permissions(folder_ + "/" + kBait, fs::perms::owner_read | fs::perms::owner_write);
  fs::current_path(folder_);

  portHolder_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (portHolder_ < 0 || bind(portHolder_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      getsockname(portHolder_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot hold a loopback port");
  closedPort_ = ntohs(address.sin_port);

  setenv("NORVEX_DATA_ROOT", folder_.c_str(), 1);
  setenv("NORVEX_SYSTEM_ROOT", folder_.c_str(), 1);
  setenv("NORVEX_OPEN_COMMAND", "/bin/true", 1);
  setenv("NORVEX_PAM_CONFDIR", (folder_ + "/pam").c_str(), 1);
  unsetenv("DISPLAY");
  // MariaDB Connector/C: the default port and the socket of localhost.
  setenv("MYSQL_TCP_PORT", std::to_string(closedPort_).c_str(), 1);
  setenv("MYSQL_UNIX_PORT", (folder_ + "/no-server.sock").c_str(), 1);
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  fs::current_path(previousFolder_, ignored);
  fs::remove_all(folder_, ignored);
  if (portHolder_ >= 0) close(portHolder_);
}

std::optional<std::string> Sandbox::fileName(HostileValues& values) const {
  const std::size_t kind = values.below(100);
  if (kind < 10) return std::nullopt;
  std::string name;
  if (kind < 15) {
    name = "";
  } else if (kind < 55) {
    name = values.pick(kNames);
  } else if (kind < 62) {
    name = std::string(values.chance(0.5) ? 255 : 300, 'n');  // at and past NAME_MAX
  } else {
    name = confined(values.shortText());
  }
  if (values.chance(0.15)) {
    name += '\0';
    name += values.text().value_or("/etc/passwd");
  }
  return name;
}

std::optional<std::string> Sandbox::programName(HostileValues& values) const {
  const std::size_t kind = values.below(10);
  if (kind < 2) return kBait;
  if (kind < 5) {
    std::vector<std::string> present;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_))
      present.push_back(entry.path().filename().string());
    std::sort(present.begin(), present.end());  // the folder's order is not the seed's
    if (!present.empty()) return values.pick(present);
  }
  return fileName(values);
}

std::optional<std::string> Sandbox::serverName(HostileValues& values) const {
  static const std::vector<std::string> kServers = {"", "127.0.0.1", "localhost"};
  if (values.chance(0.1)) return std::nullopt;
  std::string server = values.pick(kServers);
  if (values.chance(0.1)) server += std::string(1, '\0') + "unseen.example";
  return server;
}

host::Value Sandbox::port(HostileValues& values) const {
  switch (values.below(3)) {
    case 0:
      return host::Value::null(host::ValueType::Int);
    case 1:
      return host::Value::int16(0);
    default:  // a port above 32767 travels as a negative integer
      return host::Value::int16(static_cast<pbint>(closedPort_));
  }
}

void Sandbox::writeRemoteConfig(HostileValues& values) const {
  static const std::vector<std::string> kSections = {"[nxremote]", "[NXREMOTE]", "[other]"};
  for (const char* file : {"nxremote.ini", "dbconfig.ini"}) {
    const std::string path = folder_ + "/" + file;
    if (values.chance(0.3)) {
      std::remove(path.c_str());
      continue;
    }
    std::string server = serverName(values).value_or("");
    server = server.substr(0, server.find('\0'));
    // An empty port would be 3306, where a server may listen: 127.0.0.1
    // gets only the closed port.
    std::string port = values.chance(0.5) ? "0" : std::to_string(closedPort_);
    if (server != "127.0.0.1" && values.chance(0.5)) port = oneLine(values.shortText());
    std::string text = values.pick(kSections) + "\r\n";
    text += "server=" + server + "\r\n";
    text += "userid=" + oneLine(values.text().value_or("sa")) + "\r\n";
    text += "password=" + oneLine(values.text().value_or("")) + "\r\n";
    text += "port=" + port + "\r\n";
    writeFile(path, text);
  }
}

void Sandbox::dropLargeFiles() const {
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_))
    if (entry.is_regular_file(ignored) && entry.file_size(ignored) > (16u << 20))
      fs::remove(entry.path(), ignored);
}

void Sandbox::refuseExecutable(const std::string& name) const {
  const std::string seen = name.substr(0, name.find('\0'));
  struct stat status {};
  if (stat((folder_ + "/" + seen).c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
      (status.st_mode & 0111) != 0) {
    std::fprintf(stderr, "refusing to offer the executable file %s\n", seen.c_str());
    std::abort();
  }
}

bool Sandbox::programRan() const { return fs::exists(folder_ + "/" + kRanMarker); }

}  // namespace property
