// What the fault cases share: a shop's application folder on the test run's
// database server (the server standing for the folder's own, run as a
// systemd service that a stand-in systemctl reports active), and the real
// launcher program driven headless on it, as a script or a person would.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "launcher/login/credential_file.h"
#include "launcher/support/text_cipher.h"
#include "platform/gbk.h"
#include "tests/support/database_server.h"
#include "tests/support/files.h"
#include "tests/support/line_process.h"
#include "tests/support/scoped_setting.h"
#include "tests/support/temp_dir.h"

namespace faults {

using nlohmann::json;

inline std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

class ShopFolder {
 public:
  explicit ShopFolder(const std::string& hint) : db_(hint) {
    namespace fs = std::filesystem;
    db_.run(*platform::utf8ToGbk(testsupport::readFile(SHOP_SQL)));
    app_ = temp_.path() + "app/";
    for (const char* dir : {"config", "Log", "pos", "mysql/bin"})
      fs::create_directories(app_ + dir);
    for (const char* dir : {"data", "system", "units", "bin", "backup"})
      fs::create_directories(temp_.path() + dir);
    fs::create_symlink(MARIADB_LIBRARY, app_ + "config/libmysql.so");
    fs::create_symlink(CLIENT_STANDIN, app_ + "pos/pos");
    fs::create_symlink("/usr/bin/mysqldump", app_ + "mysql/bin/mysqldump");
    const testsupport::DatabaseServer& server = testsupport::databaseServer();
    testsupport::writeFile(
        app_ + "config/config.ini",
        "[db]\r\nname=" + db_.name() +
            "\r\nserverip=127.0.0.1\r\nport=" + std::to_string(server.port) +
            "\r\n[Exe]\r\nruneXe=pos\r\ntitle=收银软件\r\npath=pos\r\n" +
            "[jxc]\r\nrunexe=jxc\r\n[mysql]\r\nservicemanager=systemd\r\nsetuppath=" + app_ +
            "mysql\r\n[backup]\r\nbackpath=" + backupRoot() + "\r\n");
    testsupport::writeFile(
        app_ + "config/config.xml",
        "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<Root><dbuser>" + server.user +
            "</dbuser><dbpass>" + launcher::EncryptText(server.password, launcher::kCredentialKey) +
            "</dbpass><dbuserRead></dbuserRead><dbpassRead></dbpassRead></Root>\r\n");
    testsupport::writeFile(temp_.path() + "units/MySQL_norvex.service", "[Service]\n");
    testsupport::writeFile(temp_.path() + "bin/systemctl", "#!/bin/sh\necho active\n");
    chmod((temp_.path() + "bin/systemctl").c_str(), 0755);
  }

  const std::string& appDir() const { return app_; }
  std::string backupRoot() const { return temp_.path() + "backup/"; }
  const testsupport::ScratchDatabase& db() const { return db_; }
  const std::string& root() const { return temp_.path(); }

 private:
  TempDir temp_;
  testsupport::ScratchDatabase db_;
  std::string app_;
};

// `main --headless` on a shop folder; every event it writes is kept.
class HeadlessLauncher {
 public:
  explicit HeadlessLauncher(const ShopFolder& folder)
      : path_("PATH", folder.root() + "bin:" + std::getenv("PATH")),
        units_("NORVEX_SYSTEMD_UNIT_DIR", folder.root() + "units"),
        data_("NORVEX_DATA_ROOT", folder.root() + "data/"),
        system_("NORVEX_SYSTEM_ROOT", folder.root() + "system/"),
        process_({MAIN_PATH, "--appdir", folder.appDir(), "--headless"}) {}

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

  void kill() { process_.kill(); }
  int finish() { return process_.finish(); }

  std::vector<json> events;

 private:
  testsupport::ScopedSetting path_, units_, data_, system_;
  testsupport::LineProcess process_;
};

}  // namespace faults
