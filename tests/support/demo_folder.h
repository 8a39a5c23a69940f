// A demo application folder as appdir/create-appdir lays it down (its own
// server's data folder, root's password "demo", the stand-in clients), in a
// folder of its own; the server, once started, is stopped when it goes.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/profile.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

class DemoFolder {
 public:
  DemoFolder(const std::string& createAppdir, const std::string& clientStandin)
      : app_(temp_.path() + "app/") {
    const auto [output, status] =
        runTool({"/bin/bash", createAppdir, app_}, {{"NORVEX_CLIENT_STANDIN", clientStandin}});
    if (status != 0) throw std::runtime_error("create-appdir failed: " + output);
  }
  ~DemoFolder() {
    runTool({"mariadb-admin", "--defaults-file=" + optionFile(), "-uroot", "-pdemo", "shutdown"});
  }
  DemoFolder(const DemoFolder&) = delete;
  DemoFolder& operator=(const DemoFolder&) = delete;

  const std::string& app() const { return app_; }
  const std::string& temp() const { return temp_.path(); }
  std::string optionFile() const { return app_ + "mysql/my.ini"; }
  int port() const {
    return std::stoi(platform::readProfileString(optionFile(), "mysqld", "port", "0"));
  }
  // The rows of a statement as the command-line client prints them (UTF-8).
  std::string query(const std::string& statement) const {
    const auto [output, status] =
        runTool({"mariadb", "--defaults-file=" + optionFile(), "-uroot", "-pdemo", "-N", "-B",
                 "--default-character-set=utf8mb4", "-e", statement});
    if (status != 0) throw std::runtime_error(statement + ": " + output);
    return output;
  }
  bool serverAnswers() const {
    return runTool({"mariadb-admin", "--defaults-file=" + optionFile(), "-uroot", "-pdemo", "ping"})
               .second == 0;
  }

 private:
  TempDir temp_;
  std::string app_;
};

}  // namespace testsupport
