// FMain, the launcher's main window: the server's settings and state, the
// two client buttons, the toolbar and the message area Memo1 in which every
// subsystem reports. FormCreate reads the configuration; the deferred
// start-up step runs from Timer_checkodbc one second after the window shows.
#pragma once

#include <memory>
#include <string>

#include "launcher/core/app.h"
#include "launcher/ui/forms.h"

namespace launcher {

class TfLogin;
class TServiceControl;
class TDatabaseBackup;
class TBranchQuery;

inline constexpr int kWmShowAndClose = ui::WM_USER + 1;
inline constexpr int kWmNothing3 = ui::WM_USER + 3;
inline constexpr int kWmEnableLaunch = ui::WM_USER + 4;
inline constexpr int kWmQueueSelfRepair = ui::WM_USER + 6;
inline constexpr int kWmNothing7 = ui::WM_USER + 7;

class TFMain final : public ui::Form {
 public:
  explicit TFMain(App& app);
  ~TFMain() override;

  // Reads the configuration and fills the window, in start-up order.
  void FormCreate();
  void FormClose() override;
  void onMessage(int message, long wparam, const std::string& text) override;

  // A time-stamped block in Memo1; callable from any thread (the append is
  // done by the window thread while the caller waits). Returns 1.
  int AddStatus(const std::string& text);

  // Handlers.
  void Timer_checkodbcTimer();
  void Timer_backdbExTimer();
  void RzToolButton1Click();
  void RzToolButton2Click();
  void bt_restoreClick();
  void bt_backup_setClick();
  void lbLookSQLLogClick();
  void lbl_urlClick();
  void BitBtn1Click();
  void bt_jxcClick();
  void BitBtn1MouseEnter();
  void bt_jxcMouseEnter();
  void sp_startClick();
  void sp_stopClick();
  void sp_delClick();

  // The .NET runtime check of the deferred step: 1 when one is installed,
  // else -1 (after offering the installer).
  int CheckDotNetRuntime();

  // Client launch: 1 when a user logged in, 0 when login was skipped, -1
  // when it failed or was cancelled.
  int EnsureLogin();
  void SyncBranchRows();
  void LaunchClient(int kind);
  bool LaunchDataSend(const std::string& folder);
  void ShowClientVersion(const std::string& caption, const std::string& path);

  // The login window, created on first use (FormCreate runs then).
  TfLogin& loginWindow();
  TServiceControl& serviceControl() { return *serviceControl_; }
  TDatabaseBackup& backup() { return *backup_; }

  // One automatic backup attempt under the five-hour rule.
  void RunAutoBackup();
  // Hands an archive to the network-disk upload: 1 when the vendor service
  // granted access, else 0.
  int UploadArchive(const std::string& archive);

 private:
  // BackupDatabase; a failed one refreshes the server's state, which a
  // server gone away during the dump changed.
  int BackUp(bool manual);
  void addControls();
  void showMessage(const std::string& text);
  void debugMessage(const std::string& text);
  void openWithDesktop(const std::string& target);
  // Steps of FormCreate that read the settings; false when the port is not
  // a number and the remaining steps are skipped.
  bool readSettings();
  void showIdentity();
  void QueryBranchName();
  void SelfRepair();
  void DetermineBeginDate();

  App& app_;
  std::string productWebAddress_;
  std::unique_ptr<TfLogin> fLogin_;
  std::unique_ptr<TServiceControl> serviceControl_;
  std::unique_ptr<TDatabaseBackup> backup_;
  std::unique_ptr<TBranchQuery> branchQuery_;
};

}  // namespace launcher
