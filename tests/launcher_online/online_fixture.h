// What the online tests share: a launcher with its main window on a fake
// window system, a clock whose waits pass at once (and are recorded), and the
// vendor's web service as a real HTTP server on a loopback address of its
// own, to which the test points the vendor hosts it needs.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "launcher/core/main_window.h"
#include "launcher/support/mysql_client.h"
#include "tests/launcher/fake_window_system.h"
#include "tests/support/database_server.h"
#include "tests/support/loopback.h"
#include "tests/support/scoped_setting.h"
#include "tests/support/temp_dir.h"
#include "vendor/http_standin.h"

namespace testsupport {

// Waits pass at once; each is recorded. `onSleep` runs at every wait.
class StepClock final : public platform::Clock {
 public:
  std::chrono::steady_clock::time_point now() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  void sleepFor(std::chrono::milliseconds duration) override {
    std::function<void()> hook;
    {
      std::lock_guard lock(mutex_);
      now_ += duration;
      sleeps_.push_back(duration);
      hook = onSleep;
    }
    if (hook) hook();
  }
  std::vector<std::chrono::milliseconds> sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }
  std::function<void()> onSleep;

 private:
  std::mutex mutex_;
  std::chrono::steady_clock::time_point now_{};
  std::vector<std::chrono::milliseconds> sleeps_;
};

// The texts of the status blocks of a Memo1.
inline std::vector<std::string> statusBlocks(const std::vector<std::string>& lines) {
  std::vector<std::string> texts;
  for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
    if (lines[i].size() != 16 || lines[i][4] != '-') continue;
    std::size_t end = i + 1;
    while (end < lines.size() && lines[end] != std::string(34, '-')) ++end;
    if (end == lines.size()) break;
    std::string text;
    for (std::size_t j = i + 1; j < end; ++j) text += (j > i + 1 ? "\n" : "") + lines[j];
    texts.push_back(text);
    i = end;
  }
  return texts;
}

// An application folder for one test, the current folder while it lives:
// config/ with the client library, sysdll/ with the FTP library, Log/, the
// two client folders and DataSend/SQLupdate.
class OnlineFolder {
 public:
  OnlineFolder() : previous_(std::filesystem::current_path()) {
    namespace fs = std::filesystem;
    dir = temp_.path() + "app/";
    for (const char* folder : {"config", "sysdll", "Log", "pos", "jxc", "DataSend"})
      fs::create_directories(dir + folder);
    fs::create_symlink(MARIADB_LIBRARY, dir + "config/libmysql.so");
    fs::create_symlink(FTP_LIBRARY, dir + "sysdll/NxFtpContrlVc.so");
    std::ofstream(dir + "DataSend/SQLupdate") << "#!/bin/sh\n";
    setenv("NORVEX_DATA_ROOT", (temp_.path() + "data/").c_str(), 1);
    setenv("NORVEX_SYSTEM_ROOT", (temp_.path() + "system/").c_str(), 1);
    fs::current_path(dir);
  }
  ~OnlineFolder() { std::filesystem::current_path(previous_); }
  OnlineFolder(const OnlineFolder&) = delete;
  OnlineFolder& operator=(const OnlineFolder&) = delete;

  const std::string& temp() const { return temp_.path(); }
  std::string dir;  // ends with '/'

 private:
  TempDir temp_;
  std::filesystem::path previous_;
};

// A connection to `database` on the test run's server.
inline std::unique_ptr<launcher::TMySqliConn> connectTo(const std::string& database) {
  const DatabaseServer& server = databaseServer();
  return std::make_unique<launcher::TMySqliConn>(server.host, server.user, server.password,
                                                 database, server.port);
}

// A launcher on `appDir` whose main window runs on the test's thread.
struct OnlineLauncher {
  FakeWindowSystem windows;
  ui::Desktop desktop{windows};
  RecordingProcesses processes;
  StepClock clock;
  launcher::App app;
  std::unique_ptr<launcher::TFMain> main;

  explicit OnlineLauncher(const std::string& appDir) : app(appDir, desktop, processes, clock) {
    app.InstallationId = "A1B2-C3D4";
    main = std::make_unique<launcher::TFMain>(app);
    desktop.show(*main);
  }
  ~OnlineLauncher() {
    app.Closing = true;
    // Workers that still send to the window get their answer.
    desktop.shutDown();
    main.reset();
  }
  std::vector<std::string> blocks() { return statusBlocks(main->control("Memo1").lines); }
  // Runs what workers send to the window until `done` holds (10 s at most).
  bool pumpUntil(const std::function<bool()>& done) { return windows.pump(desktop, done); }
};

// The vendor's web service: a real HTTP server on port 80 of a loopback
// address of its own, answering each path from a table.
class VendorService {
 public:
  VendorService()
      : server_(freeLoopbackAddress(80), 80,
                [this](const vendor::HttpRequest& request) { return answer(request); }) {}

  const std::string& address() const { return server_.address(); }
  // The reply to requests for `path` ("/ywpost/...").
  void reply(const std::string& path, vendor::HttpReply answer) {
    std::lock_guard lock(mutex_);
    replies_[path] = std::move(answer);
  }
  void reply(const std::string& path, const std::string& body) {
    vendor::HttpReply answer;
    answer.body = body;
    reply(path, answer);
  }
  std::vector<vendor::HttpRequest> requests() const { return server_.requests(); }
  std::vector<std::string> bodies(const std::string& path) const {
    std::vector<std::string> found;
    for (const vendor::HttpRequest& request : server_.requests())
      if (request.target == path) found.push_back(request.body);
    return found;
  }
  vendor::HttpStandIn& server() { return server_; }

 private:
  vendor::HttpReply answer(const vendor::HttpRequest& request) {
    std::lock_guard lock(mutex_);
    const auto found = replies_.find(request.target);
    if (found != replies_.end()) return found->second;
    vendor::HttpReply missing;
    missing.status = 404;
    return missing;
  }

  std::mutex mutex_;
  std::map<std::string, vendor::HttpReply> replies_;
  vendor::HttpStandIn server_;
};

}  // namespace testsupport
