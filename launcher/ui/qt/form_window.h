// One Form shown as a top-level Qt window: a widget per control at its bounds, brought in
// line with the model by refresh(), and the widgets' events handed to the model's handlers
// through the Host. Window thread only. Once retired, the window never touches its Form.
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "launcher/ui/forms.h"

namespace ui {

class FormWindow : public QWidget {
 public:
  // What a window asks of the backend that owns it.
  class Host {
   public:
    virtual ~Host() = default;
    // Runs a handler of the form's model, reports its failure, then refreshes every window.
    virtual void invoke(Form& form, const std::function<void()>& handler) = 0;
    // The user asked to close the window (close button, Alt+F4).
    virtual void requestClose(Form& form) = 0;
    // While a handler waits with the window painting, timers do not fire.
    virtual bool timersHeld() const = 0;
  };

  // A window without timers only renders (a screenshot of a form that is not shown).
  FormWindow(Form& form, Host& host, bool runTimers);
  ~FormWindow() override;

  Form& form() { return form_; }
  bool retired() const { return retired_; }

  // Sets on the widgets whatever differs from what they last showed, creates widgets for
  // controls added since, and starts or stops the timers as the model says.
  void refresh();
  void showCentred();
  // Hidden for good: timers stopped, events no longer reach the model, the modal loop ends.
  void retire();
  void setModalLoop(QEventLoop* loop) { modalLoop_ = loop; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct ControlView;
  struct TimerView;

  void applyForm();
  void addControl(Control& control);
  QWidget* createWidget(ControlView& view);
  void bindSignals(ControlView& view);
  void apply(ControlView& view);
  void applyFont(ControlView& view);
  void applyPalette(ControlView& view);
  void applyGlyph(ControlView& view);
  void applyLines(ControlView& view);
  void applyStatusPanels(ControlView& view);
  void applyTabs(ControlView& view);
  void syncTimers();
  void userEdited(ControlView& view);
  void call(const std::function<void()>& handler);

  Form& form_;
  Host& host_;
  bool runTimers_;
  bool retired_ = false;
  bool applying_ = false;  // widget signals from our own updates are not the user's
  bool fontChanged_ = true;
  std::string focus_;
  QPointer<QEventLoop> modalLoop_;
  std::vector<std::unique_ptr<ControlView>> controls_;
  std::unordered_map<QObject*, ControlView*> byWidget_;
  std::vector<std::unique_ptr<TimerView>> timers_;
  // What the window shows now, to set only what the model changed.
  std::string caption_, icon_, fontName_;
  int fontPoints_ = -1, clientWidth_ = -1, clientHeight_ = -1;
};

}  // namespace ui
