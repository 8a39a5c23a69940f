// The login window: its controls, the user list, the login attempt and the
// first-run creation of the shop database.
#include "launcher/login/login_window.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "launcher/core/daily_log.h"
#include "launcher/core/main_window.h"
#include "launcher/login/credential_file.h"
#include "launcher/support/connection_helpers.h"
#include "launcher/support/error.h"
#include "launcher/support/text_cipher.h"
#include "platform/gbk_text.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/system_info.h"

namespace launcher {
namespace {

using ui::Kind;

bool isAdministrator(const std::string& name) { return name == "admin" || name == "root"; }

}  // namespace

TfLogin::TfLogin(App& app, TFMain& main) : ui::Form("fLogin", "TfLogin"), app_(app), main_(main) {
  caption = "登录";
  clientWidth = 379;
  clientHeight = 305;
  add("Panel1", Kind::Panel, {0, 0, 379, 41}).setText("系统未登录，请输入用户名密码");
  add("Label2", Kind::Label, {60, 72, 64, 16}).setText("操作员：");
  ui::Control& user = add("cbx_userName", Kind::ComboBox, {130, 68, 180, 24});
  user.editable = true;
  user.setText("root");
  user.items = {"root"};
  user.onKey = [this](int key) { cbx_userNameKeyDown(key); };
  add("Label3", Kind::Label, {60, 112, 64, 16}).setText("密    码：");
  ui::Control& password = add("txt_password", Kind::Edit, {130, 108, 180, 24});
  password.password = true;
  password.onKey = [this](int key) { txt_passwordKeyDown(key); };
  add("lbl_server", Kind::Label, {60, 148, 260, 16}).setText("服务器：");
  ui::Control& hint = add("Label1", Kind::Label, {60, 176, 260, 28});
  hint.setText(std::string("初始密码：") + kInitialPassword + " ");
  hint.bold = true;
  ui::Control& login = add("bt_login", Kind::Button, {80, 236, 96, 32});
  login.setText("登录");
  login.onClick = [this] { bt_loginClick(); };
  ui::Control& close = add("BitBtn1", Kind::Button, {204, 236, 96, 32});
  close.setText("关闭");
  close.onClick = [this] { BitBtn1Click(); };
  focus = "cbx_userName";
}

void TfLogin::tip(const std::string& text, ui::Icon kind) {
  app_.desktop.dialogs().messageBox("提示", text, kind, ui::Buttons::Ok);
}

void TfLogin::showMessage(const std::string& text) {
  app_.desktop.dialogs().messageBox(app_.Title, text, ui::Icon::None, ui::Buttons::Ok);
}

void TfLogin::FormCreate() {
  try {
    LoadClientLibrary();
    vf_DispUserList();
    const std::string lastLogin =
        app_.sharedConnection.Usable()
            ? GetSysSetting(app_.sharedConnection, "locallogin", platform::computerName(), "")
            : std::string();
    if (lastLogin.size() >= 8) control("Label1").visible = false;
  } catch (const LauncherError& error) {
    showMessage(error.what());
  }
}

void TfLogin::vf_DispUserList() {
  const StoredCredentials stored = LoadStoredCredentials(app_.AppDir);
  app_.DbUser = stored.DbUser;
  app_.DbPassword = stored.DbPassword;
  if (Trim(app_.DbUser).empty() || Trim(app_.DbPassword).empty()) {
    control("cbx_userName").setText("root");
    return;
  }
  control("lbl_server")
      .setText(app_.ServerIp != "127.0.0.1"
                   ? app_.ServerIp + ":" + std::to_string(app_.Port) + "   db:" + app_.DbName
                   : std::string());
  if (!app_.sharedConnection.Usable()) {
    try {
      app_.sharedConnection.Replace(std::make_unique<TMySqliConn>(
          app_.ServerIp, app_.DbUser, app_.DbPassword, app_.DbName, app_.Port));
    } catch (const LauncherError&) {
      // The list stays short; the login attempt reports what is wrong.
    }
  }
  if (app_.sharedConnection.Usable()) {
    TMySqli statement(*app_.sharedConnection.Get());
    statement.SetSQL("select Username from myuser order by Username");
    if (std::unique_ptr<TMySqliQueryResult> rows = statement.Open()) {
      ui::Control& users = control("cbx_userName");
      for (rows->First(); !rows->Eof(); rows->Next())
        users.items.push_back(rows->GetDataByFieldName("Username"));
    }
  } else {
    caption = "未联结数据库" + app_.DbUser;
  }
}

void TfLogin::cbx_userNameKeyDown(int key) {
  if (key == 13) focus = "txt_password";
}

void TfLogin::txt_passwordKeyDown(int key) {
  if (key == 13) bt_loginClick();
}

void TfLogin::BitBtn1Click() { app_.desktop.close(*this); }

void TfLogin::bt_loginClick() {
  const std::string password = control("txt_password").text();
  if (Trim(password).empty()) {
    tip("请输入登录密码！", ui::Icon::Warning);
    return;
  }
  ui::Control& userBox = control("cbx_userName");
  if (platform::lowerAscii(Trim(app_.LoginUser)) == platform::lowerAscii(Trim(userBox.text()))) {
    tip("该用户已经登录！", ui::Icon::Information);
    return;
  }
  app_.LoginUser.clear();

  std::unique_ptr<TCredentialFile> file;
  try {
    file = std::make_unique<TCredentialFile>(app_.AppDir);
  } catch (const LauncherError&) {
    tip(kCredentialReadFailedText, kCredentialReadFailedIcon);
    return;
  }
  const StoredCredentials stored = file->Read();
  app_.DbUser = stored.DbUser;
  app_.DbPassword = stored.DbPassword;

  const std::string user = platform::lowerAscii(userBox.text());
  userBox.setText(user);
  const bool administrator = isAdministrator(user);
  if (administrator) {
    app_.DbUser = user;
    app_.DbPassword = password;
  } else if (Trim(app_.DbUser).empty() || Trim(app_.DbPassword).empty()) {
    showMessage("本机首次登录程序，就使用root或admin用户登录");
    return;
  }

  if (!app_.sharedConnection.Usable()) {
    try {
      app_.sharedConnection.Replace(std::make_unique<TMySqliConn>(
          app_.ServerIp, app_.DbUser, app_.DbPassword, app_.DbName, app_.Port));
    } catch (const LauncherError&) {
      tip("数据库联结不了，用户名或密码不正确！", ui::Icon::Error);
      return;
    }
  }
  TMySqliConn& connection = *app_.sharedConnection.Get();
  if (!connection.Connected) {
    if (connection.ErrorText == "notdb") {
      vf_restore();
    } else if (administrator) {
      showMessage("无法联结数据库" + app_.DbUser + "\r\n" + connection.ErrorText);
    } else {
      showMessage("本机登录程序，就先使用root或admin用户登录一次,再使用其他用户登录");
    }
    return;
  }

  if (administrator) {
    const std::string count =
        QueryValue(app_.sharedConnection,
                   "SELECT count(*) as count FROM  mysql.user where user=" + QuoteText(user) +
                       " and password=password(" + QuoteText(password) + ")",
                   "count");
    // A check the server rejected (empty count) refuses as well: nobody is
    // let in unchecked.
    if (count == "0" || Trim(count).empty()) {
      app_.LoginUser.clear();
      showMessage("你输入的用户名或密码不正确!");
      return;
    }
    try {
      file->Rewrite(user, app_.DbPassword);
    } catch (const LauncherError& error) {
      showMessage(error.what());
    }
  } else {
    const std::string found =
        QueryValue(app_.sharedConnection,
                   "SELECT username as count FROM  myuser   where username=" + QuoteText(user) +
                       " and newpass=" + QuoteText(EncryptText(password, kLoginKey)),
                   "count");
    if (found.empty()) {
      app_.LoginUser.clear();
      showMessage("你输入的用户名或密码不正确!");
      return;
    }
  }
  file.reset();

  app_.LoginUser = user;
  app_.LoginPassword = password;
  recordBranchIdentity();
}

void TfLogin::recordBranchIdentity() {
  const std::string defaultSubcom = Trim(app_.DefaultSubcom);
  if (!Trim(app_.BranchNo.get()).empty()) {
    if (!defaultSubcom.empty() &&
        QueryValue(app_.sharedConnection,
                   "SELECT count(*) as count FROM  subcom where subno<>\"\" ", "count") == "0") {
      ExecSQL(app_.sharedConnection, "delete from subcom where subno=\"\" ");
      ExecSQL(app_.sharedConnection, "insert into subcom(subno,comName) values(\"01\",\"  \")");
    }
  } else if (app_.OnlineMode()) {
    app_.BranchNo.set(GetSysSetting(app_.sharedConnection, "company", "no", ""));
    app_.BranchName.set(GetSysSetting(app_.sharedConnection, "company", "name", ""));
    main_.control("ed_subName")
        .setText(app_.BranchName.get() + "(" + app_.BranchNo.get() + ") 未联网");
    main_.control("Memo1").appendLine(app_.Url + "   " + app_.ComName + " 未能正常联结 ");
    if (Trim(app_.BranchNo.get()).empty()) {
      app_.LoginUser.clear();
      showMessage("暂未取到分店代码，不能登录");
    }
    app_.desktop.close(*this);
    return;
  }
  SetSysSetting(app_.sharedConnection, "company", "name", app_.BranchName.get());
  SetSysSetting(app_.sharedConnection, "company", "no", app_.BranchNo.get());
  SetSysSetting(app_.sharedConnection, "locallogin", platform::computerName(),
                LocalTimeText("%Y-%m-%d %H:%M:%S"));
  app_.desktop.close(*this);
}

void TfLogin::vf_restore() {
  if (app_.ServerIp != "127.0.0.1") return;
  std::string mysqlDir = app_.MysqlDir;
  if (!mysqlDir.empty() && mysqlDir.back() != '/') mysqlDir += '/';
  const std::string client = mysqlDir + "bin/mysql";
  if (!platform::fileExists(client)) {
    showMessage(client + " 还原程序不存在");
    return;
  }
  const std::string script = platform::joinPath(app_.AppDir, "config/" + app_.DbName + ".SQL");
  if (!platform::fileExists(script)) {
    showMessage(script + " 文件不存在，不能创建套帐");
    return;
  }
  const std::string dataDir = mysqlDir + "data/" + app_.DbName;
  if (platform::folderExists(dataDir)) {
    const std::string aside = dataDir + LocalTimeText("%Y-%m-%d %H-%M");
    if (std::rename(dataDir.c_str(), aside.c_str()) != 0) {
      // Dropping the database now would lose the data that could not be
      // moved aside.
      showMessage(dataDir + " 无法移到 " + aside + "：" + std::strerror(errno) + "，数据库未重建");
      return;
    }
  }
  TMySqliConn& connection = *app_.sharedConnection.Get();
  const std::string name = QuoteIdentifier(app_.DbName);
  TMySqli drop(connection);
  drop.SetSQL("DROP DATABASE IF EXISTS " + name);
  drop.Execute();
  caption = "系统首次使用，系统将进行初始化设置操作，......";
  TMySqli create(connection);
  create.SetSQL("Create DataBase IF NOT EXISTS  " + name);
  create.Execute();

  std::vector<std::string> argv = {
      client, "--default-character-set=utf8", "-h",        app_.ServerIp, "-u", app_.DbUser,
      "-P",   std::to_string(app_.Port),      app_.DbName, "--force"};
  std::string error;
  int status = 0;
  if (!app_.processes.runAndWait(argv, {{"MYSQL_PWD", app_.DbPassword}}, script, &status, &error)) {
    showMessage(error);
    return;
  }
  caption = "建立套帐成功";
}

}  // namespace launcher
