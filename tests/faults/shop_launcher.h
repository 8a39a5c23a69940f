// What the fault cases share: a shop's application folder on the test run's
// database server (the server standing for the folder's own, run as a
// systemd service that a stand-in systemctl reports active), and the real
// launcher program driven headless on it, as a script or a person would.
#pragma once

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
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
#include "tests/support/headless_launcher.h"
#include "tests/support/scoped_setting.h"
#include "tests/support/temp_dir.h"

namespace faults {

using nlohmann::json;

inline std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// The names in a folder, sorted; none when it is missing.
inline std::vector<std::string> filesIn(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  if (fs::exists(folder))
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Gives this process (and the programs it starts) mounts of its own, so that
// a fault mounted by a test is seen nowhere else; false without the right
// (root) to do so.
inline bool privateMounts() {
  static const bool done =
      unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return done;
}

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

// `main --headless` on a shop folder, with the folder's stand-in systemctl,
// unit folder and drive roots.
struct ShopSettings {
  explicit ShopSettings(const ShopFolder& folder)
      : path("PATH", folder.root() + "bin:" + std::getenv("PATH")),
        units("NORVEX_SYSTEMD_UNIT_DIR", folder.root() + "units"),
        data("NORVEX_DATA_ROOT", folder.root() + "data/"),
        system("NORVEX_SYSTEM_ROOT", folder.root() + "system/") {}
  testsupport::ScopedSetting path, units, data, system;
};

class HeadlessLauncher : private ShopSettings, public testsupport::HeadlessLauncher {
 public:
  explicit HeadlessLauncher(const ShopFolder& folder)
      : ShopSettings(folder), testsupport::HeadlessLauncher(MAIN_PATH, folder.appDir()) {}
};

}  // namespace faults
