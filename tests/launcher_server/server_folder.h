// What the server control tests share: an application folder as a shop
// installs it (made by appdir/create-appdir, with its own free port and an
// initialised data folder), the current folder while it lives; every server
// started on its option file is ended when it goes. Also the main window
// over it, a clock that only counts, and loopback ports that greet like a
// database server or are merely held.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "launcher/core/app.h"
#include "launcher/core/main_window.h"
#include "launcher/server/service_control.h"
#include "platform/profile.h"
#include "tests/launcher/fake_window_system.h"
#include "tests/support/temp_dir.h"

namespace servertest {

using namespace std::chrono_literals;

// The ids of the processes started with this option file.
inline std::vector<int> serversOf(const std::string& optionFile) {
  std::vector<int> pids;
  for (const auto& process : platform::Processes::Default().snapshot())
    for (const std::string& arg : process.arguments)
      if (arg == "--defaults-file=" + optionFile) pids.push_back(process.pid);
  return pids;
}

inline void endServersOf(const std::string& optionFile) {
  for (int pid : serversOf(optionFile)) kill(pid, SIGTERM);
  for (int i = 0; i < 600 && !serversOf(optionFile).empty(); ++i) std::this_thread::sleep_for(50ms);
  for (int pid : serversOf(optionFile)) kill(pid, SIGKILL);
}

class ApplicationFolder {
 public:
  ApplicationFolder() : previous_(std::filesystem::current_path()) {
    dir_ = temp_.path() + "app/";
    std::string error;
    auto child = platform::Processes::Default().startCaptured(
        {"/bin/bash", CREATE_APPDIR, dir_}, {{"NORVEX_CLIENT_STANDIN", CLIENT_STANDIN}}, &error);
    if (!child) throw std::runtime_error(error);
    std::string output;
    while (child->read(&output, 1000ms)) {
    }
    if (child->wait() != 0) throw std::runtime_error("create-appdir failed: " + output);
    // Drive roots of their own, so that the MySQL folder is the relative "mysql/".
    setenv("NORVEX_DATA_ROOT", (temp_.path() + "data/").c_str(), 1);
    setenv("NORVEX_SYSTEM_ROOT", (temp_.path() + "system/").c_str(), 1);
    std::filesystem::current_path(dir_);
  }
  ~ApplicationFolder() {
    endServersOf(optionFile());
    std::filesystem::current_path(previous_);
    unsetenv("NORVEX_DATA_ROOT");
    unsetenv("NORVEX_SYSTEM_ROOT");
  }
  ApplicationFolder(const ApplicationFolder&) = delete;
  ApplicationFolder& operator=(const ApplicationFolder&) = delete;

  const std::string& path() const { return dir_; }
  std::string optionFile() const { return dir_ + "mysql/my.ini"; }
  int port() const {
    return std::stoi(platform::readProfileString(optionFile(), "mysqld", "port", "0"));
  }

 private:
  TempDir temp_;
  std::string dir_;
  std::filesystem::path previous_;
};

// The machine's processes with every start recorded; with `fakeServer`
// set, the table also lists a server process of that program that never
// ends.
class WatchedProcesses final : public platform::ProcessesWrapper {
 public:
  WatchedProcesses() : ProcessesWrapper(platform::Processes::Default()) {}
  bool startDetached(const std::vector<std::string>& argv, std::string* error,
                     const std::string& workingDir = std::string()) override {
    started.push_back(argv);
    return ProcessesWrapper::startDetached(argv, error, workingDir);
  }
  bool runAndWait(const std::vector<std::string>& argv, const platform::Environment& environment,
                  const std::string& inputFile, int* status, std::string* error) override {
    started.push_back(argv);
    return ProcessesWrapper::runAndWait(argv, environment, inputFile, status, error);
  }
  std::unique_ptr<platform::CapturedChild> startCaptured(const std::vector<std::string>& argv,
                                                         const platform::Environment& environment,
                                                         std::string* error) override {
    started.push_back(argv);
    return ProcessesWrapper::startCaptured(argv, environment, error);
  }
  std::unique_ptr<platform::CapturedChild> startFeeding(const std::vector<std::string>& argv,
                                                        const platform::Environment& environment,
                                                        std::string* error) override {
    started.push_back(argv);
    return ProcessesWrapper::startFeeding(argv, environment, error);
  }
  std::unique_ptr<platform::CapturedChild> startReading(const std::vector<std::string>& argv,
                                                        const platform::Environment& environment,
                                                        std::string* error) override {
    started.push_back(argv);
    return ProcessesWrapper::startReading(argv, environment, error);
  }
  int startDaemon(const std::vector<std::string>& argv, const platform::Environment& environment,
                  const std::string& logFile, std::string* error) override {
    started.push_back(argv);
    return ProcessesWrapper::startDaemon(argv, environment, logFile, error);
  }
  std::vector<platform::ProcessEntry> snapshot() override {
    std::vector<platform::ProcessEntry> table = ProcessesWrapper::snapshot();
    if (!fakeServer.empty()) table.push_back({1 << 30, "mysqld", fakeServer, {fakeServer}});
    return table;
  }

  std::string fakeServer;
  std::vector<std::vector<std::string>> started;  // window thread only
};

// The main window of an application folder, made as start-up makes it.
struct MainWindow {
  explicit MainWindow(const std::string& appDir,
                      platform::Clock& clock = platform::Clock::Default())
      : app(appDir, desktop, processes, clock) {}
  void create() {
    window = std::make_unique<launcher::TFMain>(app);
    window->FormCreate();
    desktop.show(*window);
  }
  ~MainWindow() { window.reset(); }

  launcher::TServiceControl& control() { return window->serviceControl(); }
  ui::Control& item(const char* name) { return window->control(name); }
  std::vector<std::string>& memo() { return window->control("Memo1").lines; }

  testsupport::FakeWindowSystem windows;
  ui::Desktop desktop{windows};
  WatchedProcesses processes;
  launcher::App app;
  std::unique_ptr<launcher::TFMain> window;
};

// A clock whose sleeps only move its time on.
class CountingClock final : public platform::Clock {
 public:
  std::chrono::steady_clock::time_point now() override { return now_; }
  void sleepFor(std::chrono::milliseconds duration) override {
    now_ += duration;
    slept += duration;
  }
  std::chrono::milliseconds slept{0};

 private:
  std::chrono::steady_clock::time_point now_{};
};

// A loopback port held by a listener that greets as a database server does
// (protocol 10), or accepts and says nothing.
class HeldPort {
 public:
  explicit HeldPort(bool greets, int port = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 16) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot hold a loopback port");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, greets] {
      for (;;) {
        const int client = accept(fd_, nullptr, nullptr);
        if (client < 0 || stop_) {
          if (client >= 0) close(client);
          return;
        }
        const unsigned char greeting[] = {1, 0, 0, 0, 10};
        if (greets) (void)!write(client, greeting, sizeof greeting);
        close(client);
      }
    });
  }
  ~HeldPort() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
  }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Whether `expected` occur in `lines` in this order (others may lie between).
inline ::testing::AssertionResult inOrder(const std::vector<std::string>& lines,
                                          const std::vector<std::string>& expected) {
  std::size_t at = 0;
  for (const std::string& line : lines)
    if (at < expected.size() && line == expected[at]) ++at;
  if (at == expected.size()) return ::testing::AssertionSuccess();
  std::string shown;
  for (const std::string& line : lines) shown += "\n  " + line;
  return ::testing::AssertionFailure() << "missing \"" << expected[at] << "\" in:" << shown;
}

}  // namespace servertest
