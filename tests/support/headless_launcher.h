// The launcher program driven headless (`main --headless`), as a script or a
// person would: requests in, replies out, and every event it writes kept.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/line_process.h"

namespace testsupport {

class HeadlessLauncher {
 public:
  using json = nlohmann::json;

  HeadlessLauncher(const std::string& mainPath, const std::string& appDir)
      : process_({mainPath, "--appdir", appDir, "--headless"}) {}

  // Sends a request and returns its reply; events that come first are kept.
  json ask(const std::string& request) {
    process_.send(request);
    return reply("no reply to " + request);
  }
  // Sends a request without waiting for its reply.
  void send(const std::string& request) { process_.send(request); }
  json reply(const std::string& what) {
    for (;;) {
      const std::optional<std::string> line = process_.receive(120000);
      if (!line) throw std::runtime_error(what);
      json j = json::parse(*line);
      if (!j.contains("event")) return j;
      events.push_back(j);
    }
  }
  // The next event, or nullopt when a reply or the end comes first.
  std::optional<json> event(int timeoutMs = 60000) {
    const std::optional<std::string> line = process_.receive(timeoutMs);
    if (!line) return std::nullopt;
    json j = json::parse(*line);
    if (!j.contains("event")) return std::nullopt;
    events.push_back(j);
    return j;
  }
  // The lines of a window's message area ("Memo1" of the main window).
  std::vector<std::string> lines(const std::string& window, const std::string& memo) {
    return ask(R"({"op":"dump","window":")" + window + R"("})")["window"]["controls"][memo]["lines"]
        .get<std::vector<std::string>>();
  }

  // The cashier button with the login it asks for.
  void logIn(const std::string& user, const std::string& password) {
    process_.send(R"({"op":"click","window":"FMain","control":"BitBtn1","id":"login"})");
    process_.send(R"({"op":"set","window":"fLogin","control":"cbx_userName","text":")" + user +
                  R"("})");
    process_.send(R"({"op":"set","window":"fLogin","control":"txt_password","text":")" + password +
                  R"("})");
    process_.send(R"({"op":"key","window":"TfLogin","control":"txt_password","key":13})");
    for (int replies = 0; replies < 4; ++replies) {
      const json r = reply("no reply during the login");
      if (!r.value("ok", false)) throw std::runtime_error("login: " + r.dump());
    }
  }

  // Root's first login on a folder without its shop database, which creates
  // it from the initial script; the login window stays open and is closed.
  void createShop(const std::string& rootPassword) {
    process_.send(R"({"op":"click","window":"FMain","control":"BitBtn1","id":"root"})");
    process_.send(R"({"op":"set","window":"fLogin","control":"txt_password","text":")" +
                  rootPassword + R"("})");
    process_.send(R"({"op":"click","window":"fLogin","control":"bt_login"})");
    process_.send(R"({"op":"close","window":"fLogin"})");
    for (int replies = 0; replies < 4; ++replies) {
      const json r = reply("no reply during root's first login");
      if (!r.value("ok", false)) throw std::runtime_error("first login: " + r.dump());
    }
  }

  void kill() { process_.kill(); }
  int finish() { return process_.finish(); }

  std::vector<json> events;

 private:
  LineProcess process_;
};

}  // namespace testsupport
