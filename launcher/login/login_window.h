// fLogin, the modal login window: lists the shop's users, checks a typed
// password (administrators against the server's accounts, other users
// against the shop table myuser), opens the shared connection on the shop
// database, records the login and the branch identity, and creates the shop
// database on a first run. A non-empty LoginUser after it closes means that
// a user is logged in.
#pragma once

#include <string>

#include "launcher/core/app.h"
#include "launcher/ui/forms.h"

namespace launcher {

class TFMain;

// The login key and the initial password of a new installation's database.
inline constexpr char kLoginKey[] = "p*4417Zr";
inline constexpr char kInitialPassword[] = "123";

class TfLogin final : public ui::Form {
 public:
  TfLogin(App& app, TFMain& main);

  // Runs once when the window is created.
  void FormCreate();
  void vf_DispUserList();
  void bt_loginClick();
  void BitBtn1Click();
  void cbx_userNameKeyDown(int key);
  void txt_passwordKeyDown(int key);
  // The first-run creation of the shop database.
  void vf_restore();

 private:
  void tip(const std::string& text, ui::Icon kind);
  void showMessage(const std::string& text);
  // Steps of the login attempt after the password was checked.
  void recordBranchIdentity();

  App& app_;
  TFMain& main_;
};

}  // namespace launcher
