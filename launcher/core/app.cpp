#include "launcher/core/app.h"

#include "launcher/core/builtin.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/system_info.h"

namespace launcher {

App::App(std::string appDir, ui::Desktop& desktopRef, platform::Processes& processesRef,
         platform::Clock& clockRef)
    : AppDir(std::move(appDir)),
      Title(builtin::kApplicationTitle),
      desktop(desktopRef),
      processes(processesRef),
      clock(clockRef),
      pool_(std::make_unique<TThreadsPool>()) {
  pool_->ThreadsMin = 20;
  pool_->ThreadsMax = 50;
}

std::string App::configFile() const { return platform::joinPath(AppDir, "config\\config.ini"); }
std::string App::dbFile() const { return platform::joinPath(AppDir, "config\\db.ini"); }

std::string App::ReadConfigValue(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  return platform::readProfileString(configFile(), section, key, defaultValue);
}

void App::WriteConfigValue(const std::string& section, const std::string& key,
                           const std::string& value) const {
  platform::writeProfileString(configFile(), section, key, value);
}

std::string App::AbsoluteMysqlDir() const {
  std::string folder = !MysqlDir.empty() && MysqlDir.front() == '/' ? MysqlDir : AppDir + MysqlDir;
  if (folder.back() != '/') folder += '/';
  return folder;
}

platform::ServiceManager& App::Services() {
  if (!services) {
    if (Trim(ReadConfigValue("mysql", "servicemanager", "")) == "systemd") {
      services = platform::ServiceManager::Systemd(platform::systemdUnitFolder());
    } else {
      services = platform::ServiceManager::Supervisor(AppDir + "services/");
    }
  }
  return *services;
}

bool App::OnlineMode() const { return !Trim(Url).empty() || !ComName.empty(); }

std::string ClientFolder(const std::string& appDir, const std::string& path) {
  std::string folder = platform::joinPath(appDir, path);
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string Trim(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

std::string ResolveMysqlDir(const std::string& setuppath) {
  std::string base;
  if (platform::folderExists(platform::fromWindowsPath("d:\\norvex\\"))) {
    base = platform::fromWindowsPath("d:\\norvex\\");
  } else if (platform::folderExists(platform::fromWindowsPath("c:\\norvex\\"))) {
    base = platform::fromWindowsPath("c:\\norvex\\");
  }
  return base +
         (setuppath.empty() ? std::string("mysql/") : platform::fromWindowsPath(setuppath) + "/");
}

}  // namespace launcher
