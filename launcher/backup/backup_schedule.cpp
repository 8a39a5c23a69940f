// When backups run: the hourly tick of Timer_backdbEx with the five-hour
// rule on backup/lastbackupex, which all launchers of one shop database
// share through it, and the manual backup of the toolbar.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "launcher/backup/database_backup.h"
#include "launcher/core/daily_log.h"
#include "launcher/core/main_window.h"
#include "launcher/server/service_control.h"
#include "launcher/support/connection_helpers.h"

namespace launcher {
namespace {

// Whole hours between "YYYY-MM-DD HH:MM:SS" (local time) and now, either
// way; 100 for a text that is no such time.
long hoursSince(const std::string& stored) {
  std::tm when{};
  int consumed = 0;
  if (std::sscanf(stored.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &when.tm_year, &when.tm_mon,
                  &when.tm_mday, &when.tm_hour, &when.tm_min, &when.tm_sec, &consumed) != 6 ||
      static_cast<std::size_t>(consumed) != stored.size()) {
    return 100;
  }
  when.tm_year -= 1900;
  when.tm_mon -= 1;
  when.tm_isdst = -1;
  const std::time_t then = std::mktime(&when);
  if (then == static_cast<std::time_t>(-1)) return 100;
  return static_cast<long>(std::labs(static_cast<long>(std::difftime(std::time(nullptr), then))) /
                           3600);
}

}  // namespace

void TFMain::Timer_backdbExTimer() {
  // Until the login window has made the connection object there is nothing
  // to ask about the last backup.
  if (app_.sharedConnection.Get() == nullptr) return;
  ui::Timer& timer = *findTimer("Timer_backdbEx");
  timer.enabled = false;
  RunAutoBackup();
  timer.interval = 3600000;
  timer.enabled = true;
}

void TFMain::RunAutoBackup() {
  if (app_.ServerIp != "127.0.0.1") return;
  const SharedConnection& db = app_.sharedConnection;
  const std::string stored = GetSysSetting(db, "backup", "lastbackupex", "");
  const long hours = stored.empty() ? 100 : hoursSince(stored);
  DetermineBeginDate();
  if (hours < 5) {
    AddStatus("上次自动备份时间！" + stored + ",无需再次备份 时间差:" + std::to_string(hours) +
              "小时");
    return;
  }
  // Stored before the dump, so that a failed dump waits its five hours too.
  SetSysSetting(db, "backup", "lastbackupex", LocalTimeText("%Y-%m-%d %H:%M:%S"));
  AddStatus("系统正在自动备份...,上次备份时间:" + stored + "  时间差:" + std::to_string(hours) +
            "小时");
  // A failed backup has said so; it is not reported as finished.
  if (BackUp(false) > 0) AddStatus("自动备份完毕！");
}

void TFMain::bt_backup_setClick() {
  if (Trim(app_.LoginUser).empty() && EnsureLogin() < 0) return;
  if (app_.BackupRunning) {
    app_.desktop.dialogs().messageBox(
        "提示", "当前正在自动备份数据，不允许使用手动备份功能。\r\n请稍后重试！",
        ui::Icon::Information, ui::Buttons::Ok);
    return;
  }
  if (BackUp(true) >= 0) showMessage("备份完毕");
}

int TFMain::BackUp(bool manual) {
  const int result = backup_->BackupDatabase(manual);
  if (result < 0 && app_.ServerIp == "127.0.0.1") serviceControl_->RefreshServiceStatus();
  return result;
}

}  // namespace launcher
