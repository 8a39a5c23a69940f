// Message boxes and open/save dialogs of the forms model in Qt Widgets; window thread only.
// Unattended, nothing is shown: a box answers its default (OK, or No to a question), a
// file dialog is cancelled, so a scripted run never blocks on a person.
#pragma once

#include <QString>
#include <functional>

#include "launcher/ui/desktop.h"

namespace ui {

class QtDialogs : public Dialogs {
 public:
  // beforeModal runs as a dialog opens, so the windows behind it show the state the
  // caller has left in the model (a status line written just before a warning).
  explicit QtDialogs(std::function<void()> beforeModal) : beforeModal_(std::move(beforeModal)) {}

  void setUnattended(bool unattended) { unattended_ = unattended; }
  bool unattended() const { return unattended_; }

  Answer messageBox(const std::string& caption, const std::string& text, Icon icon,
                    Buttons buttons) override;
  std::optional<std::string> openFile(const std::string& filter, const std::string& folder,
                                      const std::string& file) override;
  std::optional<std::string> saveFile(const std::string& filter, const std::string& folder,
                                      const std::string& file) override;

 private:
  std::function<void()> beforeModal_;
  bool unattended_ = false;
};

// The model's "description|pattern|..." filter as Qt's "description (pattern);;...";
// the Windows separator ';' between patterns becomes a space.
QString qtFilter(const std::string& filter);

// What an unattended box answers.
Answer defaultAnswer(Buttons buttons);

}  // namespace ui
