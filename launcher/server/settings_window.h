// frmSQL, the server settings window: the local server's options in my.ini
// and the connection entries of config/db.ini, on three flat pages. It is
// created anew for each opening; saving only writes the two files, so the
// running server keeps its options until it next starts.
#pragma once

#include <string>
#include <vector>

#include "launcher/core/app.h"
#include "launcher/ui/forms.h"

namespace launcher {

class TfrmSQL final : public ui::Form {
 public:
  explicit TfrmSQL(App& app);

  // Fills the controls from my.ini (local server only) and the two INI files.
  void FormCreate();
  // Shows the controls of the current page and hides the others.
  void PageControl1Change();
  // Checks the numeric fields, then writes my.ini and config/db.ini.
  void bt_saveClick();
  void bt_closeClick();
  void rb_telClick();
  void rb_bgpClick();

  // The local server's option file.
  std::string MyIniFile() const;

 private:
  ui::Control& addOn(int page, const std::string& name, ui::Kind kind, ui::Geometry bounds);
  void addControls();
  // False, after a warning that names the first bad field, when one is refused.
  bool fieldsAreValid();
  bool writeServerOptions();
  bool writeConnectionEntries();
  void warn(const std::string& text);

  App& app_;
  std::vector<std::vector<ui::Control*>> pages_;
};

}  // namespace launcher
