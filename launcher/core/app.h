// The launcher-wide values and services that the windows share for the life
// of the program: the start-up settings, the flags, the thread pool, the
// window system and the process starter. Values read at start-up are touched
// on the window thread only; the flags may be read from any thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "launcher/support/mysql_client.h"
#include "launcher/support/thread_pool.h"
#include "launcher/ui/desktop.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/service.h"

namespace launcher {

// A text that worker threads write while the window thread reads it.
class GuardedText {
 public:
  std::string get() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  void set(std::string text) {
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// One configured client program.
struct ClientEntry {
  std::string runexe;
  std::string title;
  std::string path;
  std::string bmp;
};

class App {
 public:
  App(std::string appDir, ui::Desktop& desktop, platform::Processes& processes,
      platform::Clock& clock = platform::Clock::Default());
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Settings of config/config.ini; each call opens and closes the file.
  std::string ReadConfigValue(const std::string& section, const std::string& key,
                              const std::string& defaultValue) const;
  void WriteConfigValue(const std::string& section, const std::string& key,
                        const std::string& value) const;
  std::string configFile() const;  // config/config.ini under AppDir
  std::string dbFile() const;      // config/db.ini under AppDir

  const std::string AppDir;  // ends with '/'
  std::string Title;         // the application title
  std::string MysqlDir;
  // MysqlDir as an absolute folder (a relative one is taken from AppDir),
  // ending with '/': what goes into my.ini and to the server programs.
  std::string AbsoluteMysqlDir() const;
  std::string InstallationId;
  bool DebugMode = false;
  bool CmdRun = false;
  std::string BackupFtpHost;
  std::string ServiceName;
  ClientEntry Exe;
  ClientEntry Jxc;
  std::string LastDate;
  std::string BackupPath;
  std::string DbName;
  std::string VerSoft;
  std::string ServerIp;
  std::string Url;
  std::string ComName;
  int Port = 0;
  std::string DefaultSubcom;

  std::atomic<bool> Closing{false};
  std::atomic<bool> BackupRunning{false};

  // The database server's state as server control last saw it.
  std::atomic<bool> ServiceInstalled{false};
  std::atomic<bool> ServiceRunning{false};
  // The service manager that [mysql] servicemanager of config/config.ini
  // names: "systemd", or else the built-in supervisor with its records in
  // AppDir + "services/". Made on first use unless a test gave one.
  platform::ServiceManager& Services();
  std::unique_ptr<platform::ServiceManager> services;

  // The login and the database account it works with.
  std::string LoginUser;
  std::string LoginPassword;
  std::string DbUser;
  std::string DbPassword;
  SharedConnection sharedConnection;  // the window thread's one connection
  std::string CurrentBranchCode;
  // The branch's contact, as the last backup read it.
  std::string BossMobile;
  std::string BranchAddress;

  // The branch as the vendor service reports it (written by a worker).
  GuardedText BranchNo;
  GuardedText BranchName;
  GuardedText DataServerHost;
  std::atomic<bool> BranchQueryDone{false};
  // The vendor host that answered last; empty until one has.
  GuardedText VendorHost;
  // The shop's first business date, as the last upload or backup found it.
  std::string BeginDate;

  // Online mode: the vendor service is configured ([db] url or comname).
  bool OnlineMode() const;

  // The background workers. The main window ends them (waiting for a job
  // that still runs) before it goes, since their jobs use it.
  TThreadsPool& pool() { return *pool_; }
  void EndBackgroundWork() { pool_.reset(); }

  ui::Desktop& desktop;
  platform::Processes& processes;
  platform::Clock& clock;

 private:
  std::unique_ptr<TThreadsPool> pool_;
};

// A client's folder: AppDir + path + "/"; a path in Windows spelling works too.
std::string ClientFolder(const std::string& appDir, const std::string& path);

// The text without control bytes and blanks at either end.
std::string Trim(const std::string& text);

// The MySQL folder from [mysql] setuppath: under "norvex/" of the data root
// when that folder exists, else of the system root, else relative; then
// setuppath + "/" or "mysql/".
std::string ResolveMysqlDir(const std::string& setuppath);

}  // namespace launcher
