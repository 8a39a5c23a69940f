// Starting the client programs from the main window: the login they need,
// the branch rows of the shop database, their parameter string with the
// enciphered passwords, and SQLupdate beside them once the branch is known.
#include <exception>
#include <string>

#include "launcher/core/daily_log.h"
#include "launcher/core/main_window.h"
#include "launcher/login/login_window.h"
#include "launcher/support/connection_helpers.h"
#include "launcher/support/error.h"
#include "launcher/support/text_cipher.h"
#include "platform/desktop_windows.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/system_info.h"

namespace launcher {
namespace {

// The clients decipher loginpwd and maindbpass with this key, SQLupdate its
// whole argument with the other.
constexpr char kClientKey[] = "K417q#58";
constexpr char kDataSendKey[] = "p*4417Zr";

std::string versionDate(const std::string& folder) {
  return platform::readProfileString(folder + "ver.ini", "ver", "date", "");
}

// The double quotes of the original statement would let a code with a quote
// or backslash rewrite it; the value goes in as a quoted text instead.
std::string branchNameStatement(const std::string& code) {
  return "select comName from subcom where subno=" + QuoteText(code) + " ";
}

}  // namespace

void TFMain::BitBtn1Click() {
  if (!control("BitBtn1").enabled) return;
  if (!Trim(app_.LoginUser).empty() || EnsureLogin() >= 0) LaunchClient(1);
}

void TFMain::bt_jxcClick() {
  if (!Trim(app_.LoginUser).empty() || EnsureLogin() >= 0) LaunchClient(2);
}

void TFMain::BitBtn1MouseEnter() { ShowClientVersion(control("BitBtn1").text(), app_.Exe.path); }

void TFMain::bt_jxcMouseEnter() { ShowClientVersion(control("bt_jxc").text(), app_.Jxc.path); }

void TFMain::ShowClientVersion(const std::string& title, const std::string& path) {
  control("stat").setText(title + "  版本日期:" + versionDate(ClientFolder(app_.AppDir, path)));
}

int TFMain::EnsureLogin() {
  if (app_.ServerIp == "127.0.0.1") {
    if (control("sp_start").enabled) sp_startClick();
    const ui::Control& remove = control("sp_del");
    if (!remove.visible || remove.tag == -1) return 0;  // no server to log in to
  }

  TfLogin& login = loginWindow();
  if (login.visible) return -1;
  login.control("txt_password").setText("");
  app_.desktop.showModal(login);
  if (Trim(app_.LoginUser).empty()) return -1;

  control("Memo1").appendLine(app_.LoginUser + "登陆成功！");
  SyncBranchRows();
  const SharedConnection& db = app_.sharedConnection;
  if (app_.OnlineMode() && app_.BranchNo.get().empty()) {
    QueryBranchName();
    if (GetSysSetting(db, "company", "name", "").empty() ||
        GetSysSetting(db, "company", "no", "").empty()) {
      showMessage("暂未取到分店代码，请稍候! url:" + app_.Url + "   name:" + app_.ComName);
      return -1;
    }
  }

  control("etLoginName").setText(app_.LoginUser);
  platform::writeProfileString(platform::joinPath(app_.AppDir, "config/name.ini"), "Name",
                               "Companyname", app_.LoginUser);
  SetSysSetting(db, "driverno", app_.LoginUser, control("ed_no").text());
  if (!db.Usable()) return 1;

  app_.CurrentBranchCode = app_.BranchNo.get();
  SetSysSetting(db, "company", "name", app_.BranchName.get());
  SetSysSetting(db, "company", "no", app_.BranchNo.get());
  if (app_.OnlineMode()) {
    SetSysSetting(db, "goodsno", "subcomlogin", "Y");
    SetSysSetting(db, "sysset", "savesql", "Y");
  } else {
    app_.CurrentBranchCode = GetSysSetting(db, "sysset", "defaultsubno", "");
    if (Trim(app_.CurrentBranchCode).empty()) app_.CurrentBranchCode = "01";
    ui::Control& branch = control("ed_subName");
    branch.setText(QueryValue(db, branchNameStatement(app_.CurrentBranchCode), "comName"));
    if (Trim(branch.text()).empty()) {
      app_.CurrentBranchCode = QueryValue(db, "select subno from subcom limit 1 ", "subno");
      branch.setText(QueryValue(db, branchNameStatement(app_.CurrentBranchCode), "comName"));
    }
    app_.BranchName.set(branch.text());
  }
  return 1;
}

void TFMain::SyncBranchRows() {
  const std::string no = app_.BranchNo.get();
  if (no.empty()) return;
  const std::string name = app_.BranchName.get();
  const SharedConnection& db = app_.sharedConnection;
  AddStatus("分店：" + no + "   " + name);
  // Quoted like every other value: a code with a quote must not end the text.
  ExecSQL(db, "delete from subcom where subno<>" + QuoteText(no));
  if (QueryInt(db, "SELECT count(*) as count FROM  subcom ", "count") != 0) {
    ExecSQL(db, " update subcom set comName=" + QuoteText(name) + " where subNo=" + QuoteText(no) +
                    " and comName<>" + QuoteText(name));
  } else {
    ExecSQL(db, " insert into subcom(subno,comname) values(" + QuoteText(no) + "," +
                    QuoteText(name) + ")");
  }
  if (QueryInt(db, "SELECT count(*) as count FROM  store where sto_code=" + QuoteText(no),
               "count") != 0) {
    ExecSQL(db, " update store set sto_name=" + QuoteText(name) +
                    " where sto_code=" + QuoteText(no) + " and sto_name<>" + QuoteText(name));
  } else {
    ExecSQL(db, " insert into store(sto_code,sto_name) values(" + QuoteText(no) + "," +
                    QuoteText(name) + ")");
  }
}

void TFMain::LaunchClient(int kind) {
  const bool cashier = kind == 1;
  const ClientEntry& client = cashier ? app_.Exe : app_.Jxc;
  ShowClientVersion(control(cashier ? "BitBtn1" : "bt_jxc").text(), client.path);
  try {
    const std::string folder = ClientFolder(app_.AppDir, client.path);
    const std::string program = folder + client.runexe;
    const std::string parameters =
        "loginuser=" + app_.LoginUser + ";loginpwd=" + EncryptText(app_.LoginPassword, kClientKey) +
        ";dbname=" + app_.DbName + ";dbip=" + app_.ServerIp +
        ";dbport=" + std::to_string(app_.Port) + ";" + "maindbuser=" + app_.DbUser +
        ";maindbpass=" + EncryptText(app_.DbPassword, kClientKey) + ";" +
        "comname=" + app_.ComName + ";" + "driverno=" + app_.InstallationId;
    // There is no clipboard layer: the two texts are only shown.
    debugMessage(parameters);
    debugMessage(program + "  " + folder + "  " + parameters);
    if (!platform::fileExists(program)) {
      showMessage(program + " 文件不存在");
      return;
    }
    // The child runs in its folder; the launcher keeps its own current
    // folder, against which config/libmysql.so and sysdll/ are found.
    std::string error;
    if (!app_.processes.startDetached({program, parameters}, &error, folder)) AddStatus(error);
    if (app_.BranchQueryDone) LaunchDataSend(app_.AppDir);
  } catch (const std::exception&) {
    // A failed launch changes nothing else.
  }
}

bool TFMain::LaunchDataSend(const std::string& folder) {
  const std::string program = platform::joinPath(folder, "DataSend/SQLupdate");
  const std::string branchName = app_.BranchName.get();
  // The service sends UTF-8; a name that is not UTF-8 already is GBK and stays.
  const std::string subname = platform::utf8ToGbk(branchName).value_or(branchName);
  std::string parameters;
  try {
    parameters = EncryptText(
        "driverno=" + app_.InstallationId + ";server=" + app_.ServerIp + ";dbname=" + app_.DbName +
            ";dbuser=" + app_.DbUser + ";dbpass=" + app_.DbPassword +
            ";port=" + std::to_string(app_.Port) + ";subno=" + app_.BranchNo.get() +
            ";subname=" + subname + ";dataserver=" + app_.DataServerHost.get() +
            ";serverport=80;url=" + app_.Url + ";comname=" + app_.ComName,
        kDataSendKey);
  } catch (const LauncherError&) {
    return false;  // a text ending in a zero byte cannot be enciphered
  }

  bool started = false;
  if (platform::fileExists(program)) {
    if (platform::topLevelWindowExists("SQLupdate")) {
      // Also called from the branch query's worker: message boxes belong to
      // the window thread.
      app_.desktop.send([this] { showMessage("ok"); });
    } else {
      std::string error;
      started = app_.processes.startDetached({program, parameters}, &error);
      if (!started) AddStatus(error);
      if (started && app_.DebugMode) AddStatus(parameters);
    }
  }
  if (app_.DebugMode) {
    try {
      WriteDailyLog(folder, "gf_AutoDataSend " + program + "  " + parameters);
    } catch (const LauncherError&) {
      // A diagnostic that cannot be written does not undo the start.
    }
  }
  return started;
}

}  // namespace launcher
