// frmRestore, the restore window: loads a dump (a .SQL file, or the dump of
// a backup archive, streamed without unpacking it) into a database of the
// local server with the server's client. A database that exists under that
// name is first dumped to a safety file and only then dropped and created
// anew; the safety file goes only after an import the client finished
// without error of a dump that ends with the dump tool's completion mark, so
// a failed restore, or one of a dump cut short, always leaves the old data
// at hand.
// Progress lines go into memo_exe. Created anew at each opening.
#pragma once

#include <string>

#include "launcher/core/app.h"
#include "launcher/ui/forms.h"

namespace launcher {

class TfrmRestore final : public ui::Form {
 public:
  // `main` is the main window, whose start button tells whether the server runs.
  TfrmRestore(App& app, ui::Form& main);

  void FormCreate();
  void ed_dbnameChange();
  void bt_GetfileNameClick();
  void bt_restoreClick();

  // The safety dump of the database `name` if it were made now.
  std::string SafetyDumpPath(const std::string& name) const;

 private:
  void addControls();
  void refreshPreview();
  void line(const std::string& text);
  void warn(const std::string& text, ui::Icon kind = ui::Icon::Warning);
  std::string clientPath() const;
  enum class Import { Failed, Complete, Unmarked };
  // Failed, with the progress line written, when the import did not finish;
  // Unmarked when it finished but the dump lacks the completion mark.
  Import import(const std::string& user, const std::string& password, const std::string& name,
                const std::string& file);
  void progress(long long done, long long total);

  App& app_;
  ui::Form& main_;
};

}  // namespace launcher
