// The forms model: windows (forms) that own named controls with the
// properties the launcher reads and writes, timers, and handlers named after
// the events. Launcher logic uses only this model; a backend renders it (Qt)
// or drives it without a display (headless). Texts are GBK. Forms and
// controls are touched on the window thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ui {

enum class Kind {
  Label,        // static text
  Link,         // clickable text (underlined, hand cursor)
  Edit,         // one-line edit
  MultiEdit,    // multi-line edit without scroll bar
  Memo,         // multi-line text with a vertical scroll bar
  Button,       // push button, optionally with a glyph
  ToolButton,   // toolbar button, caption under the glyph
  SpeedButton,  // flat glyph button with a hint
  CheckBox,
  RadioButton,
  ComboBox,
  StatusBar,  // panels of text along the bottom
  Panel,      // a plain area that groups others (toolbar)
  TabBar,     // a row of flat page tabs: items are the captions, itemIndex the page
};

const char* kindName(Kind kind);

struct Geometry {
  int left = 0, top = 0, width = 0, height = 0;
};

class Control {
 public:
  Control(std::string name, Kind kind) : name_(std::move(name)), kind_(kind) {}
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& name() const { return name_; }
  Kind kind() const { return kind_; }
  // Whether this kind shows a caption (buttons, labels) rather than a text.
  bool hasCaption() const;

  // Caption of buttons and labels, text of edits; a memo's lines joined by
  // CR LF; a status bar's first panel; a tab bar's current page caption.
  std::string text() const;
  // A tab bar selects the page of that caption, and stays where it is when
  // it has none.
  void setText(const std::string& text);

  std::vector<std::string> lines;  // memo lines
  std::vector<std::string> items;  // combo box items; status bar panels; tab captions
  int itemIndex = -1;              // combo box selection; tab bar page
  std::string hint;
  std::string glyph;  // image file of a button, empty for none
  bool visible = true;
  bool enabled = true;
  bool readOnly = false;
  bool checked = false;
  bool bold = false;
  bool password = false;  // an edit that shows "*" for each character
  bool editable = false;  // a combo box whose text can be typed
  bool wordWrap = false;  // a label whose caption breaks into lines
  int tag = 0;
  Geometry bounds;
  std::string color;             // text colour "#rrggbb", empty for the default
  std::string background;        // background colour "#rrggbb", empty for the default
  std::vector<int> panelWidths;  // status bar

  // Handlers, named after the events.
  std::function<void()> onClick;
  std::function<void()> onChange;      // after the user changed the text or page
  std::function<void(int key)> onKey;  // a key pressed in the control
  std::function<void()> onEnter;       // the mouse moved onto the control

  void appendLine(const std::string& line) { lines.push_back(line); }

 private:
  std::string name_;
  Kind kind_;
  std::string caption_;
};

class Timer {
 public:
  Timer(std::string name, int intervalMs, bool startEnabled, std::function<void()> handler)
      : interval(intervalMs),
        enabled(startEnabled),
        onTimer(std::move(handler)),
        name_(std::move(name)) {}

  const std::string& name() const { return name_; }
  int interval;
  bool enabled;
  std::function<void()> onTimer;

 private:
  std::string name_;
};

// A window. Subclasses add their controls in the constructor and name their
// handlers after the events (FormCreate, FormClose, BitBtn1Click, ...).
class Form {
 public:
  Form(std::string name, std::string className)
      : name_(std::move(name)), className_(std::move(className)) {}
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& name() const { return name_; }
  const std::string& className() const { return className_; }

  std::string caption;
  std::string icon;  // image file, empty for none
  int clientWidth = 0;
  int clientHeight = 0;
  bool fixedSize = true;  // single border, no maximise
  bool visible = false;
  bool closed = false;  // set once by close()
  std::string fontName = "Tahoma";
  int fontPoints = 8;
  std::string focus;  // the control that has the keyboard focus

  Control& add(const std::string& name, Kind kind, Geometry bounds);
  Timer& addTimer(const std::string& name, int intervalMs, bool enabled,
                  std::function<void()> onTimer);

  // Throws std::out_of_range for an unknown name.
  Control& control(const std::string& name);
  const Control& control(const std::string& name) const;
  Control* find(const std::string& name);
  Timer* findTimer(const std::string& name);
  const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
  const std::vector<std::unique_ptr<Timer>>& timers() const { return timers_; }

  // A private window message (WM_USER + n) with its word parameter and, in
  // place of a pointer into the sender's memory, the text it addresses. The
  // base ignores it.
  virtual void onMessage(int message, long wparam, const std::string& text);
  // Called when the form is about to close, as by the user.
  virtual void FormClose() {}

 private:
  std::string name_;
  std::string className_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::map<std::string, Control*> byName_;
  std::vector<std::unique_ptr<Timer>> timers_;
};

inline constexpr int WM_USER = 1024;

}  // namespace ui
