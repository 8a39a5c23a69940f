// The main window: its controls, start-up from the configuration files, the
// deferred start-up step, status blocks, the error-log viewer and the
// private window messages.
#include "launcher/core/main_window.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>

#include "launcher/backup/database_backup.h"
#include "launcher/backup/restore_window.h"
#include "launcher/core/builtin.h"
#include "launcher/core/daily_log.h"
#include "launcher/core/installation_id.h"
#include "launcher/login/login_window.h"
#include "launcher/online/branch_query.h"
#include "launcher/online/network_upload.h"
#include "launcher/online/self_repair.h"
#include "launcher/server/service_control.h"
#include "launcher/server/settings_window.h"
#include "launcher/support/error.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/system_info.h"

namespace launcher {
namespace {

using ui::Kind;

// A setting read as an integer: leading blanks, a sign, digits; 0 otherwise.
long integerSetting(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

// Whole text as a decimal integer, as the port must be.
bool parsePort(const std::string& text, int* port) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || value < INT_MIN || value > INT_MAX ||
      !(std::isdigit(static_cast<unsigned char>(text.back())))) {
    return false;
  }
  *port = static_cast<int>(value);
  return true;
}

// A configured file name (relative ones to the current folder, the
// application folder) when that file exists, else empty.
std::string existingFile(const std::string& name) {
  const std::string file = platform::fromWindowsPath(name);
  return !file.empty() && platform::fileExists(file) ? file : std::string();
}

}  // namespace

TFMain::TFMain(App& app) : ui::Form("FMain", "TFMain"), app_(app) {
  caption = "运行会员收银软件";
  clientWidth = 787;
  clientHeight = 563;
  addControls();
  serviceControl_ = std::make_unique<TServiceControl>(app_, *this);
  backup_ = std::make_unique<TDatabaseBackup>(
      app_, *this, [this](const std::string& text) { AddStatus(text); },
      [this](const std::string& archive) { UploadArchive(archive); });
  branchQuery_ = std::make_unique<TBranchQuery>(
      app_, *this, [this](const std::string& text) { AddStatus(text); },
      [this] { LaunchDataSend(app_.AppDir); });
}

void TFMain::addControls() {
  add("RzToolbar1", Kind::Panel, {0, 0, 787, 46});
  struct Tool {
    const char* name;
    const char* caption;
    void (TFMain::*click)();
  };
  const Tool tools[] = {{"RzToolButton2", "参数设置", &TFMain::RzToolButton2Click},
                        {"bt_restore", "还原数据库", &TFMain::bt_restoreClick},
                        {"bt_backup_set", "备份数据库", &TFMain::bt_backup_setClick},
                        {"RzToolButton1", "操作视频", &TFMain::RzToolButton1Click}};
  int left = 2;
  for (const Tool& tool : tools) {
    ui::Control& button = add(tool.name, Kind::ToolButton, {left, 2, 72, 42});
    button.setText(tool.caption);
    button.onClick = [this, click = tool.click] { (this->*click)(); };
    left += 74;
  }

  ui::Control& upload = add("cbk_u", Kind::CheckBox, {12, 54, 380, 18});
  upload.setText("备份后上传到网络U盘(如需取消此项功能，请与供应商联系）");
  upload.checked = true;

  ui::Control& look = add("lbLookSQLLog", Kind::Link, {12, 80, 56, 16});
  look.setText("查看日志");
  look.color = "#ff0000";
  look.onClick = [this] { lbLookSQLLogClick(); };
  ui::Control& version = add("lbl_ver", Kind::Label, {80, 80, 150, 16});
  version.setText(builtin::kVersionCaption);
  version.color = "#0000ff";
  add("lbl_SoftType", Kind::Label, {240, 80, 150, 16}).color = "#0000ff";

  struct Field {
    const char* label;
    const char* caption;
    const char* edit;
    Kind kind;
    int height;
  };
  const Field fields[] = {{"Label4", "数据库目录", "ed_path", Kind::Edit, 22},
                          {"Label3", "数据库名", "ed_dbname", Kind::Edit, 22},
                          {"Label5", "分店名", "ed_subName", Kind::MultiEdit, 40},
                          {"Label6", "服务端口", "ed_port", Kind::Edit, 22},
                          {"Label2", "序列号", "ed_no", Kind::Edit, 22},
                          {"lbl_status", "服务状态", "ed_status", Kind::Edit, 22}};
  int top = 104;
  for (const Field& field : fields) {
    add(field.label, Kind::Label, {12, top + 3, 74, 16}).setText(field.caption);
    ui::Control& edit = add(field.edit, field.kind, {88, top, 300, field.height});
    edit.readOnly = true;
    top += field.height + 8;
  }
  control("ed_no").bold = true;
  control("ed_port").bounds.width = 120;
  ui::Control& status = control("ed_status");
  status.bounds.width = kServiceButtonPlaces[0] - 4 - status.bounds.left;
  const int statusTop = status.bounds.top;
  struct Speed {
    const char* name;
    const char* caption;
    const char* hint;
    void (TFMain::*click)();
  };
  const Speed speeds[] = {{"sp_start", "启动", "启动数据库服务", &TFMain::sp_startClick},
                          {"sp_stop", "停止", "停止数据库服务", &TFMain::sp_stopClick},
                          {"sp_del", "取消", "取消数据库服务", &TFMain::sp_delClick}};
  for (int place = 0; place < 3; ++place) {
    const Speed& speed = speeds[place];
    ui::Control& button =
        add(speed.name, Kind::SpeedButton, {kServiceButtonPlaces[place], statusTop - 1, 32, 24});
    button.setText(speed.caption);
    button.hint = speed.hint;
    button.onClick = [this, click = speed.click] { (this->*click)(); };
  }
  // The service name beside the port, where the row has room for it.
  const ui::Geometry& port = control("ed_port").bounds;
  add("ed_sysno", Kind::Edit,
      {kServiceButtonPlaces[0], port.top, 388 - kServiceButtonPlaces[0], 22})
      .readOnly = true;

  top = statusTop + 30;
  add("lbl_loginName", Kind::Label, {12, top + 3, 76, 16}).setText("登录用户名：");
  add("etLoginName", Kind::Edit, {88, top, 150, 22}).readOnly = true;

  ui::Control& cashier = add("BitBtn1", Kind::Button, {20, top + 40, 170, 60});
  cashier.setText("收银软件");
  cashier.tag = 1;
  cashier.onClick = [this] { BitBtn1Click(); };
  cashier.onEnter = [this] { BitBtn1MouseEnter(); };
  ui::Control& stock = add("bt_jxc", Kind::Button, {210, top + 40, 170, 60});
  stock.setText("进销存");
  stock.tag = 2;
  stock.onClick = [this] { bt_jxcClick(); };
  stock.onEnter = [this] { bt_jxcMouseEnter(); };

  top += 120;
  for (const char* name : {"lbQQGroupValue", "lbServerTelValue"}) {
    ui::Control& contact = add(name, Kind::Edit, {12, top, 380, 20});
    contact.readOnly = true;
    contact.color = "#0000ff";
    top += 24;
  }
  add("Label7", Kind::Label, {12, top + 4, 70, 16}).setText("产品网址：");
  ui::Control& url = add("lbl_url", Kind::Link, {88, top + 4, 300, 16});
  url.color = "#0000ff";
  url.onClick = [this] { lbl_urlClick(); };

  add("Memo1", Kind::Memo, {400, 54, 380, 478}).readOnly = true;

  ui::Control& bar = add("stat", Kind::StatusBar, {0, 540, 787, 23});
  bar.items = {"", ""};
  bar.panelWidths = {520, 50};

  addTimer("Timer_checkodbc", 1000, true, [this] { Timer_checkodbcTimer(); });
  addTimer("Timer_backdbEx", 10000, false, [this] { Timer_backdbExTimer(); });
}

TFMain::~TFMain() {
  // A background job may still be running on this window: it ends at its
  // next look at Closing.
  app_.Closing = true;
  app_.EndBackgroundWork();
}

TfLogin& TFMain::loginWindow() {
  if (!fLogin_) {
    fLogin_ = std::make_unique<TfLogin>(app_, *this);
    fLogin_->FormCreate();
  }
  return *fLogin_;
}

void TFMain::showMessage(const std::string& text) {
  app_.desktop.dialogs().messageBox(app_.Title, text, ui::Icon::None, ui::Buttons::Ok);
}

void TFMain::debugMessage(const std::string& text) {
  if (app_.DebugMode) showMessage(text);
}

void TFMain::openWithDesktop(const std::string& target) {
  std::string error;
  if (!app_.processes.startDetached({platform::openCommand(), target}, &error)) AddStatus(error);
}

void TFMain::FormCreate() {
  if (!platform::fileExists("sysdll/NxFtpContrlVc.so")) {
    control("Memo1").appendLine("sysdll\\NxFtpContrlVc.dll文件不存在，无法自动备份到网盘");
  }
  app_.BackupRunning = false;
  app_.Closing = false;
  findTimer("Timer_backdbEx")->enabled = false;
  // Obtained before the settings are read: a bad setting stops the later
  // steps, but the vendor service and the clients still need the identifier.
  app_.InstallationId = ObtainInstallationId(app_.AppDir);
  if (!readSettings()) return;
  platform::createFolders(platform::joinPath(app_.AppDir, "Log"));
  showIdentity();
}

bool TFMain::readSettings() {
  const std::string config = app_.configFile();
  const std::string db = app_.dbFile();
  const auto fromConfig = [&config](const char* section, const char* key, const char* fallback) {
    return platform::readProfileString(config, section, key, fallback);
  };
  // What the settings window saves: db.ini wins when it has a non-empty
  // value, so that a saved choice is what the next start uses.
  const auto savedFirst = [&](const char* section, const char* key, const char* fallback) {
    std::string value = platform::readProfileString(db, section, key, "");
    return value.empty() ? fromConfig(section, key, fallback) : value;
  };
  const auto fromDbFirst = [&](const char* key, const char* fallback) {
    return savedFirst("db", key, fallback);
  };

  app_.MysqlDir = ResolveMysqlDir(fromConfig("mysql", "setuppath", ""));
  control("ed_path").setText(app_.MysqlDir);
  app_.DebugMode = integerSetting(fromConfig("debug", "debug", "0")) != 0;
  if (app_.DebugMode) {
    // The pool's diagnostics go to the daily log; a log that cannot be
    // written must not stop a worker.
    app_.pool().LogHook = [appDir = app_.AppDir](const std::string& text) {
      try {
        WriteDailyLog(appDir, text);
      } catch (const LauncherError&) {
      }
    };
  }
  app_.ServiceName = fromConfig("mysql", "SERVICENAME", "MySQL_norvex");
  control("ed_sysno").setText(app_.ServiceName);
  app_.BackupFtpHost = savedFirst("backup", "server", "") == "1" ? builtin::BackupFtpHost1()
                                                                 : builtin::BackupFtpHost2();
  debugMessage("1 begin");
  for (auto [section, entry] : {std::pair{"Exe", &app_.Exe}, std::pair{"jxc", &app_.Jxc}}) {
    entry->runexe = fromConfig(section, "runexe", "");
    entry->title = fromConfig(section, "title", "");
    entry->path = fromConfig(section, "path", "");
    entry->bmp = fromConfig(section, "bmp", "");
  }
  app_.LastDate = fromConfig("backup", "lastdate", "");
  app_.BackupPath = platform::fromWindowsPath(fromConfig("backup", "path", "d:\\backup\\"));
  app_.DbName = fromDbFirst("name", "");
  app_.VerSoft = fromConfig("ver", "versoft", "");
  app_.ServerIp = fromDbFirst("serverip", "");
  if (Trim(app_.ServerIp).empty()) app_.ServerIp = "127.0.0.1";
  app_.Url = fromDbFirst("url", "");
  app_.ComName = fromDbFirst("comname", "");
  app_.CmdRun = integerSetting(fromDbFirst("cmdrun", "0")) != 0;
  std::string port = platform::readProfileString(db, "db", "port", "");
  if (port.empty()) port = fromConfig("db", "port", "3309");
  control("ed_port").setText(port);
  app_.DefaultSubcom = fromConfig("db", "defaultsubcom", "");

  icon = existingFile(Trim(fromConfig("form", "icon", "")));
  const std::string title = fromConfig("form", "title", "");
  if (!Trim(title).empty()) {
    caption = title;
    app_.Title = title;
  }
  const std::string www = fromConfig("form", "www", "");
  productWebAddress_ = Trim(www).empty() ? builtin::kProductWebAddress : www;
  control("lbl_url").setText(productWebAddress_);
  const std::string qqGroup = fromConfig("form", "qqGroup", "");
  const std::string serverTel = fromConfig("form", "serverTel", "");
  control("lbQQGroupValue")
      .setText(Trim(qqGroup).empty()
                   ? std::string("澜岳会员软件客户服务QQ群：") + builtin::kServiceQQGroup
                   : qqGroup);
  control("lbServerTelValue")
      .setText(Trim(serverTel).empty()
                   ? std::string("澜岳会员软件客户服务热线：") + builtin::kServiceTelephone
                   : serverTel);
  control("lbl_SoftType").setText(fromConfig("form", "softtype", ""));
  control("ed_dbname").setText(app_.DbName);
  debugMessage("3 ed_dbname");

  if (!app_.ServerIp.empty() && app_.ServerIp != "127.0.0.1") {
    control("lbl_status").setText("服务器IP");
    control("ed_status").setText(app_.ServerIp);
    for (const char* name : {"sp_start", "sp_stop", "sp_del"}) control(name).visible = false;
  } else {
    serviceControl_->RefreshServiceStatus();
    if (app_.CmdRun) sp_startClick();
  }

  ui::Control& cashier = control("BitBtn1");
  cashier.visible = !app_.Exe.title.empty();
  if (cashier.visible) {
    cashier.setText(app_.Exe.title);
    cashier.glyph = existingFile(app_.Exe.bmp);
  }
  debugMessage("4 gs_jxc_Exe");
  ui::Control& stock = control("bt_jxc");
  stock.visible = !app_.Jxc.runexe.empty();
  if (stock.visible) {
    stock.setText(app_.Jxc.title);
    stock.glyph = existingFile(app_.Jxc.bmp);
  }

  const std::string portText = Trim(control("ed_port").text());
  if (!portText.empty() && !parsePort(portText, &app_.Port)) {
    app_.desktop.dialogs().messageBox(app_.Title, "'" + portText + "' is not a valid integer value",
                                      ui::Icon::Error, ui::Buttons::Ok);
    return false;
  }
  debugMessage("4 gs_AppPath");
  return true;
}

void TFMain::showIdentity() {
  debugMessage("5 LoadOptions");
  debugMessage("6 gs_driverNo:" + app_.InstallationId);
  control("ed_no").setText(app_.InstallationId);
  debugMessage("7 open ok");
}

int TFMain::AddStatus(const std::string& text) {
  // One send for the whole block, so blocks of two threads never interleave.
  app_.desktop.send([this, text] {
    ui::Control& memo = control("Memo1");
    memo.appendLine(LocalTimeText("%Y-%m-%d %H:%M"));
    std::size_t start = 0;
    for (;;) {
      std::size_t end = text.find('\n', start);
      std::string line = text.substr(start, end == std::string::npos ? end : end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      memo.appendLine(line);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    memo.appendLine(std::string(34, '-'));
  });
  return 1;
}

void TFMain::Timer_checkodbcTimer() {
  findTimer("Timer_checkodbc")->enabled = false;
  if (app_.DebugMode) AddStatus("开始check:" + app_.ComName);
  if (!app_.ComName.empty()) {
    AddStatus("开始登录:" + app_.Url + "   " + app_.ComName);
    auto item = std::make_unique<TWorkItem>();
    item->Handler = [this](TProcessorThread&, TWorkItem&) { QueryBranchName(); };
    app_.pool().AddRequest(item);
  }
  if (platform::fileExists(platform::joinPath(app_.AppDir, "sysdll/Netfx20")) &&
      CheckDotNetRuntime() < 0) {
    return;
  }
  if (!control("bt_jxc").visible) BitBtn1Click();
  control("sp_del").tag = 1;
  DetermineBeginDate();
}

int TFMain::CheckDotNetRuntime() {
  static const char* const kKeys[] = {
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.0",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.5",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full"};
  for (const char* key : kKeys) {
    if (platform::readRegistryInt(key, "Install") == std::optional<std::int64_t>(1)) return 1;
  }
  const ui::Answer answer =
      app_.desktop.dialogs().messageBox("提示", "当前系统没有安装Net 2.0 的环境，现在开始安装吗？",
                                        ui::Icon::Information, ui::Buttons::YesNo);
  if (answer == ui::Answer::Yes) {
    std::string error;
    if (!app_.processes.startDetached({platform::joinPath(app_.AppDir, "sysdll/Netfx20")},
                                      &error)) {
      AddStatus(error);
    }
  }
  return -1;
}

void TFMain::lbLookSQLLogClick() {
  const std::string path = app_.MysqlDir + "/data/" + platform::computerName() + ".err";
  if (platform::fileExists(path)) {
    openWithDesktop(path);
  } else {
    showMessage(path + "日志文件不存在！");
  }
}

void TFMain::RzToolButton1Click() { openWithDesktop(productWebAddress_ + builtin::kTutorialPage); }

void TFMain::lbl_urlClick() { openWithDesktop(productWebAddress_); }

void TFMain::onMessage(int message, long /*wparam*/, const std::string& text) {
  switch (message) {
    case kWmShowAndClose:
      app_.desktop.dialogs().messageBox("提示", text, ui::Icon::Information, ui::Buttons::Ok);
      app_.desktop.close(*this);
      break;
    case kWmEnableLaunch:
      control("BitBtn1").enabled = true;
      control("bt_jxc").enabled = true;
      break;
    case kWmQueueSelfRepair: {
      auto item = std::make_unique<TWorkItem>();
      item->Handler = [this](TProcessorThread&, TWorkItem&) { SelfRepair(); };
      app_.pool().AddRequest(item);
      break;
    }
    default:  // WM_USER+3 and +7 are accepted and change nothing
      break;
  }
}

void TFMain::FormClose() {
  app_.Closing = true;
  // Database work of other windows refuses from now on.
  if (TMySqliConn* connection = app_.sharedConnection.Get()) connection->Connected = false;
  if (fLogin_ && fLogin_->visible) app_.desktop.close(*fLogin_);
}

void TFMain::RzToolButton2Click() {
  TfrmSQL settings(app_);
  settings.FormCreate();
  app_.desktop.showModal(settings);
  // What config.ini holds; the name the launcher works with changes only
  // at the next start.
  control("ed_dbname").setText(platform::readProfileString(app_.configFile(), "db", "name", ""));
}

void TFMain::bt_restoreClick() {
  TfrmRestore restore(app_, *this);
  restore.FormCreate();
  app_.desktop.showModal(restore);
}

void TFMain::sp_startClick() { serviceControl_->StartAction(); }
void TFMain::sp_stopClick() { serviceControl_->StopAction(); }
void TFMain::sp_delClick() { serviceControl_->RemoveAction(); }

void TFMain::QueryBranchName() { branchQuery_->QueryBranchName(); }

void TFMain::SelfRepair() {
  TSelfRepair repair(
      app_, [this](const std::string& text) { AddStatus(text); },
      [this] { app_.desktop.send([this] { onMessage(kWmEnableLaunch, 0, std::string()); }); });
  repair.SelfRepair();
}

void TFMain::DetermineBeginDate() { launcher::DetermineBeginDate(app_); }

int TFMain::UploadArchive(const std::string& archive) {
  return TNetworkUpload(app_, [this](const std::string& text) { AddStatus(text); })
      .UploadArchive(archive);
}

}  // namespace launcher
