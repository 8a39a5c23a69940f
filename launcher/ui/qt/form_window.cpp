// Builds one form's widgets, keeps them in line with the model (setting only what changed,
// so typing is never disturbed) and turns widget events into the model's handler calls.
#include "launcher/ui/qt/form_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <optional>

#include "launcher/ui/qt/qt_text.h"

namespace ui {

struct FormWindow::ControlView {
  Control* model = nullptr;
  QWidget* widget = nullptr;
  QPalette basePalette;
  std::vector<QLabel*> panels;  // status bar
  // What the widget shows now; meaningless while fresh.
  bool fresh = true;
  std::string text, hint, glyph, color, background;
  std::vector<std::string> lines, items;
  std::vector<int> panelWidths;
  int itemIndex = -1;
  bool visible = false, enabled = false, readOnly = false, checked = false, bold = false;
};

struct FormWindow::TimerView {
  Timer* model = nullptr;
  QTimer* timer = nullptr;
  bool busy = false;  // a tick while its handler runs (in a nested dialog) is dropped
};

namespace {

constexpr int kStatusBarHeight = 19;
constexpr int kToolGlyph = 40;
const QString kCjkFamily = QStringLiteral("WenQuanYi Micro Hei");

QString display(std::string_view gbk) {
  QString text = toQt(gbk);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

std::optional<QColor> parseColour(const std::string& text) {
  if (text.empty()) return std::nullopt;
  QColor colour = QColor::fromString(toQt(text));
  if (!colour.isValid()) return std::nullopt;
  return colour;
}

// Qt key to the virtual-key code the handlers were written against; 0 when none is simple.
int virtualKey(int key) {
  if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) return key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return 112 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return 9;
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Space:
      return 32;
    case Qt::Key_PageUp:
      return 33;
    case Qt::Key_PageDown:
      return 34;
    case Qt::Key_End:
      return 35;
    case Qt::Key_Home:
      return 36;
    case Qt::Key_Left:
      return 37;
    case Qt::Key_Up:
      return 38;
    case Qt::Key_Right:
      return 39;
    case Qt::Key_Down:
      return 40;
    case Qt::Key_Insert:
      return 45;
    case Qt::Key_Delete:
      return 46;
    default:
      return 0;
  }
}

QPixmap loadGlyph(const std::string& path) {
  if (path.empty()) return {};
  const QString file = toQt(path);
  if (!QFileInfo::exists(file)) return {};
  QImage image(file);
  if (image.isNull()) return {};
  QPixmap pixmap = QPixmap::fromImage(image);
  // A bitmap glyph names its transparent colour by its lower-left pixel.
  if (!image.hasAlphaChannel() && file.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive))
    pixmap.setMask(
        pixmap.createMaskFromColor(image.pixelColor(0, image.height() - 1), Qt::MaskInColor));
  return pixmap;
}

bool isLabel(Kind kind) { return kind == Kind::Label || kind == Kind::Link || kind == Kind::Panel; }

void scrollToEnd(QPlainTextEdit* edit) {
  edit->moveCursor(QTextCursor::End);
  edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
}

}  // namespace

FormWindow::FormWindow(Form& form, Host& host, bool runTimers)
    : QWidget(nullptr), form_(form), host_(host), runTimers_(runTimers) {
  setObjectName(toQt(form.name()));
  if (form.fixedSize)
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
  refresh();
}

FormWindow::~FormWindow() {
  // Children go while this window is whole, so no signal of theirs reaches a half-destroyed one.
  retired_ = true;
  for (auto& view : controls_) delete view->widget;
}

void FormWindow::refresh() {
  if (retired_) return;
  applying_ = true;
  applyForm();
  std::vector<QWidget*> newPanels;
  for (std::size_t i = controls_.size(); i < form_.controls().size(); ++i) {
    addControl(*form_.controls()[i]);
    if (controls_.back()->model->kind() == Kind::Panel)
      newPanels.push_back(controls_.back()->widget);
  }
  // Panels sit behind what they group; the first one added lies lowest.
  for (auto panel = newPanels.rbegin(); panel != newPanels.rend(); ++panel) (*panel)->lower();
  for (auto& view : controls_) apply(*view);
  if (form_.focus != focus_) {
    focus_ = form_.focus;
    for (auto& view : controls_)
      if (view->model->name() == focus_) view->widget->setFocus();
  }
  fontChanged_ = false;
  applying_ = false;
  if (runTimers_) syncTimers();
}

void FormWindow::showCentred() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  show();
  activateWindow();
  // A memo's scroll range is only known once it has its real size.
  for (auto& view : controls_)
    if (view->model->kind() == Kind::Memo) scrollToEnd(static_cast<QPlainTextEdit*>(view->widget));
}

void FormWindow::retire() {
  retired_ = true;
  for (auto& timer : timers_) timer->timer->stop();
  hide();
  if (modalLoop_) modalLoop_->exit(0);
}

void FormWindow::closeEvent(QCloseEvent* event) {
  // The model decides: its FormClose runs and the backend hides the window.
  event->ignore();
  if (!retired_) host_.requestClose(form_);
}

void FormWindow::call(const std::function<void()>& handler) {
  if (!retired_) host_.invoke(form_, handler);
}

void FormWindow::applyForm() {
  if (form_.caption != caption_) {
    setWindowTitle(display(form_.caption));
    caption_ = form_.caption;
  }
  if (form_.icon != icon_) {
    icon_ = form_.icon;
    const QString file = toQt(icon_);
    setWindowIcon(!icon_.empty() && QFileInfo::exists(file) ? QIcon(file) : QIcon());
  }
  if (form_.fontName != fontName_ || form_.fontPoints != fontPoints_) {
    fontName_ = form_.fontName;
    fontPoints_ = form_.fontPoints;
    QFont font = QGuiApplication::font();
    // Tahoma and its like lack Chinese; the CJK face draws whatever the first one cannot.
    font.setFamilies({toQt(fontName_), kCjkFamily});
    if (fontPoints_ > 0) font.setPointSize(fontPoints_);
    setFont(font);
    fontChanged_ = true;
  }
  if (form_.clientWidth != clientWidth_ || form_.clientHeight != clientHeight_) {
    clientWidth_ = form_.clientWidth;
    clientHeight_ = form_.clientHeight;
    if (clientWidth_ > 0 && clientHeight_ > 0) {
      if (form_.fixedSize)
        setFixedSize(clientWidth_, clientHeight_);
      else
        resize(clientWidth_, clientHeight_);
    }
  }
}

void FormWindow::addControl(Control& control) {
  auto view = std::make_unique<ControlView>();
  view->model = &control;
  view->widget = createWidget(*view);
  view->widget->setObjectName(toQt(control.name()));
  view->basePalette = view->widget->palette();
  view->widget->installEventFilter(this);
  byWidget_[view->widget] = view.get();
  bindSignals(*view);
  controls_.push_back(std::move(view));
}

QWidget* FormWindow::createWidget(ControlView& view) {
  switch (view.model->kind()) {
    case Kind::Label:
    case Kind::Link:
    case Kind::Panel: {
      auto* label = new QLabel(this);
      label->setTextFormat(Qt::PlainText);  // a caption is never markup
      if (view.model->kind() == Kind::Link) label->setCursor(Qt::PointingHandCursor);
      if (view.model->kind() == Kind::Panel) {
        label->setFrameStyle(QFrame::Panel | QFrame::Raised);
        label->setAlignment(Qt::AlignCenter);
      } else {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      }
      return label;
    }
    case Kind::Edit:
      return new QLineEdit(this);
    case Kind::MultiEdit:
    case Kind::Memo: {
      auto* edit = new QPlainTextEdit(this);
      edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      edit->setVerticalScrollBarPolicy(view.model->kind() == Kind::Memo ? Qt::ScrollBarAlwaysOn
                                                                        : Qt::ScrollBarAlwaysOff);
      if (view.model->kind() == Kind::Memo) edit->setReadOnly(true);
      return edit;
    }
    case Kind::Button:
      return new QPushButton(this);
    case Kind::ToolButton: {
      auto* button = new QToolButton(this);
      button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
      button->setAutoRaise(true);
      return button;
    }
    case Kind::SpeedButton: {
      auto* button = new QToolButton(this);
      button->setAutoRaise(true);
      return button;
    }
    case Kind::CheckBox:
      return new QCheckBox(this);
    case Kind::RadioButton:
      return new QRadioButton(this);
    case Kind::ComboBox:
      return new QComboBox(this);
    case Kind::StatusBar: {
      auto* bar = new QWidget(this);
      bar->setAutoFillBackground(true);
      return bar;
    }
    case Kind::TabBar: {
      // Flat tabs over a page without a frame, like flat-button page tabs.
      auto* tabs = new QTabBar(this);
      tabs->setDocumentMode(true);
      tabs->setDrawBase(false);
      tabs->setExpanding(false);
      return tabs;
    }
  }
  return new QWidget(this);
}

void FormWindow::bindSignals(ControlView& view) {
  Control& c = *view.model;
  ControlView* v = &view;
  auto onClick = [&c] {
    if (c.onClick) c.onClick();
  };
  auto onChange = [&c] {
    if (c.onChange) c.onChange();
  };
  switch (c.kind()) {
    case Kind::Edit:
      connect(static_cast<QLineEdit*>(view.widget), &QLineEdit::textEdited, this,
              [this, v] { userEdited(*v); });
      break;
    case Kind::MultiEdit:
      connect(static_cast<QPlainTextEdit*>(view.widget), &QPlainTextEdit::textChanged, this,
              [this, v] {
                if (!applying_) userEdited(*v);
              });
      break;
    case Kind::Button:
    case Kind::ToolButton:
    case Kind::SpeedButton:
      connect(static_cast<QAbstractButton*>(view.widget), &QAbstractButton::clicked, this,
              [this, onClick] { call(onClick); });
      break;
    case Kind::CheckBox:
      connect(static_cast<QAbstractButton*>(view.widget), &QAbstractButton::clicked, this,
              [this, v, onClick](bool on) {
                if (retired_) return;
                v->model->checked = v->checked = on;
                call(onClick);
              });
      break;
    case Kind::RadioButton:
      // Checking one unchecks its siblings, in the model as on the screen.
      connect(static_cast<QAbstractButton*>(view.widget), &QAbstractButton::toggled, this,
              [this, v](bool on) {
                if (!retired_) v->model->checked = v->checked = on;
              });
      connect(static_cast<QAbstractButton*>(view.widget), &QAbstractButton::clicked, this,
              [this, onClick] { call(onClick); });
      break;
    case Kind::ComboBox:
      connect(static_cast<QComboBox*>(view.widget), &QComboBox::editTextChanged, this,
              [this, v](const QString& text) {
                if (retired_ || applying_ || !v->model->editable) return;
                v->model->setText(fromQt(text));
                v->text = v->model->text();
              });
      connect(static_cast<QComboBox*>(view.widget), &QComboBox::activated, this,
              [this, v, onChange](int index) {
                if (retired_) return;
                Control& model = *v->model;
                model.itemIndex = v->itemIndex = index;
                if (index >= 0 && std::size_t(index) < model.items.size())
                  model.setText(model.items[std::size_t(index)]);
                call(onChange);
              });
      break;
    case Kind::TabBar:
      connect(static_cast<QTabBar*>(view.widget), &QTabBar::currentChanged, this,
              [this, v, onChange](int index) {
                if (retired_ || applying_ || index < 0) return;
                v->model->itemIndex = v->itemIndex = index;
                call(onChange);
              });
      break;
    default:
      break;
  }
}

void FormWindow::userEdited(ControlView& view) {
  if (retired_) return;
  Control& c = *view.model;
  if (c.kind() == Kind::Edit) {
    c.setText(fromQt(static_cast<QLineEdit*>(view.widget)->text()));
    view.text = c.text();
  } else {
    c.setText(fromQt(static_cast<QPlainTextEdit*>(view.widget)->toPlainText()));
    view.lines = c.lines;
  }
  call([&c] {
    if (c.onChange) c.onChange();
  });
}

bool FormWindow::eventFilter(QObject* watched, QEvent* event) {
  auto found = byWidget_.find(watched);
  if (retired_ || found == byWidget_.end()) return QWidget::eventFilter(watched, event);
  Control& c = *found->second->model;
  switch (event->type()) {
    case QEvent::KeyPress: {
      const int key = virtualKey(static_cast<QKeyEvent*>(event)->key());
      if (key != 0 && c.onKey)
        call([&c, key] {
          if (c.onKey) c.onKey(key);
        });
      break;
    }
    case QEvent::Enter:
      if (c.onEnter)
        call([&c] {
          if (c.onEnter) c.onEnter();
        });
      break;
    case QEvent::MouseButtonRelease: {
      // Labels have no click of their own; a release over them is one.
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (isLabel(c.kind()) && c.onClick && mouse->button() == Qt::LeftButton &&
          found->second->widget->rect().contains(mouse->position().toPoint()))
        call([&c] {
          if (c.onClick) c.onClick();
        });
      break;
    }
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void FormWindow::apply(ControlView& view) {
  Control& c = *view.model;
  QWidget* widget = view.widget;
  const Kind kind = c.kind();

  QRect target(c.bounds.left, c.bounds.top, c.bounds.width, c.bounds.height);
  if (kind == Kind::StatusBar && (c.bounds.width <= 0 || c.bounds.height <= 0))
    target = QRect(0, height() - kStatusBarHeight, width(), kStatusBarHeight);
  if (widget->geometry() != target) widget->setGeometry(target);

  if (view.fresh || c.visible != view.visible) widget->setVisible(view.visible = c.visible);
  if (view.fresh || c.enabled != view.enabled) widget->setEnabled(view.enabled = c.enabled);
  if (view.fresh || c.hint != view.hint) widget->setToolTip(display(view.hint = c.hint));
  if (view.fresh || c.bold != view.bold || fontChanged_) applyFont(view);
  if (view.fresh || c.color != view.color || c.background != view.background) applyPalette(view);

  if (c.hasCaption() || kind == Kind::Edit) {
    if (view.fresh || c.text() != view.text) {
      view.text = c.text();
      if (isLabel(kind))
        static_cast<QLabel*>(widget)->setText(display(view.text));
      else if (kind == Kind::Edit)
        static_cast<QLineEdit*>(widget)->setText(toQt(view.text));
      else
        static_cast<QAbstractButton*>(widget)->setText(display(view.text));
    }
  }
  if (kind == Kind::Label && view.fresh) static_cast<QLabel*>(widget)->setWordWrap(c.wordWrap);
  if (kind == Kind::Edit && view.fresh && c.password)
    static_cast<QLineEdit*>(widget)->setEchoMode(QLineEdit::Password);
  if (kind == Kind::Edit && (view.fresh || c.readOnly != view.readOnly))
    static_cast<QLineEdit*>(widget)->setReadOnly(view.readOnly = c.readOnly);
  if (kind == Kind::MultiEdit && (view.fresh || c.readOnly != view.readOnly))
    static_cast<QPlainTextEdit*>(widget)->setReadOnly(view.readOnly = c.readOnly);
  if (kind == Kind::Memo || kind == Kind::MultiEdit) applyLines(view);

  if ((kind == Kind::CheckBox || kind == Kind::RadioButton) &&
      (view.fresh || c.checked != view.checked)) {
    auto* button = static_cast<QAbstractButton*>(widget);
    const bool on = c.checked;
    // An exclusive radio button refuses to be unchecked; the model may still want none.
    if (kind == Kind::RadioButton && !on) button->setAutoExclusive(false);
    button->setChecked(on);
    if (kind == Kind::RadioButton && !on) button->setAutoExclusive(true);
    view.checked = on;
  }

  if (kind == Kind::ComboBox) {
    auto* combo = static_cast<QComboBox*>(widget);
    const bool itemsChanged = view.fresh || c.items != view.items;
    if (itemsChanged) {
      combo->clear();
      for (const auto& item : c.items) combo->addItem(display(item));
      view.items = c.items;
    }
    if (view.fresh) combo->setEditable(c.editable);
    if (itemsChanged || c.itemIndex != view.itemIndex) {
      combo->setCurrentIndex(
          c.itemIndex >= 0 && std::size_t(c.itemIndex) < c.items.size() ? c.itemIndex : -1);
      view.itemIndex = c.itemIndex;
    }
    if (c.editable && (itemsChanged || c.text() != view.text)) {
      combo->setEditText(toQt(c.text()));
      view.text = c.text();
    }
  }

  if (kind == Kind::TabBar) applyTabs(view);
  if (kind == Kind::StatusBar) applyStatusPanels(view);
  if (kind == Kind::Button || kind == Kind::ToolButton || kind == Kind::SpeedButton) {
    if (view.fresh || c.glyph != view.glyph) {
      view.glyph = c.glyph;
      applyGlyph(view);
    }
    if (kind == Kind::SpeedButton) {
      auto* button = static_cast<QToolButton*>(widget);
      button->setToolButtonStyle(button->icon().isNull()    ? Qt::ToolButtonTextOnly
                                 : button->text().isEmpty() ? Qt::ToolButtonIconOnly
                                                            : Qt::ToolButtonTextBesideIcon);
    }
  }
  view.fresh = false;
}

void FormWindow::applyFont(ControlView& view) {
  view.bold = view.model->bold;
  QFont font = this->font();
  font.setBold(view.bold);
  font.setUnderline(view.model->kind() == Kind::Link);
  view.widget->setFont(font);
}

void FormWindow::applyPalette(ControlView& view) {
  Control& c = *view.model;
  view.color = c.color;
  view.background = c.background;
  QPalette palette = view.basePalette;
  std::optional<QColor> text = parseColour(c.color);
  if (!text && c.kind() == Kind::Link) text = QColor(Qt::blue);
  // Disabled controls keep the grey of their disabled look.
  if (text) {
    for (auto group : {QPalette::Active, QPalette::Inactive})
      for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(group, role, *text);
  }
  std::optional<QColor> fill = parseColour(c.background);
  if (fill) {
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
      palette.setColor(role, *fill);
  }
  view.widget->setPalette(palette);
  if (c.kind() != Kind::StatusBar) view.widget->setAutoFillBackground(fill.has_value());
}

void FormWindow::applyGlyph(ControlView& view) {
  auto* button = static_cast<QAbstractButton*>(view.widget);
  const QPixmap pixmap = loadGlyph(view.glyph);
  button->setIcon(pixmap.isNull() ? QIcon() : QIcon(pixmap));
  if (pixmap.isNull()) return;
  const Geometry& b = view.model->bounds;
  QSize room(b.width - 8, b.height - 8);
  if (view.model->kind() == Kind::ToolButton) {
    const int captionHeight = button->fontMetrics().height();
    room = QSize(std::min(kToolGlyph, b.width - 4),
                 std::min(kToolGlyph, b.height - captionHeight - 8));
  } else if (view.model->kind() == Kind::SpeedButton) {
    room = QSize(b.width - 4, b.height - 4);
  }
  button->setIconSize(pixmap.size().boundedTo(room.expandedTo(QSize(1, 1))));
}

void FormWindow::applyLines(ControlView& view) {
  Control& c = *view.model;
  if (!view.fresh && c.lines == view.lines) return;
  auto* edit = static_cast<QPlainTextEdit*>(view.widget);
  const bool appended = !view.fresh && !view.lines.empty() && c.lines.size() > view.lines.size() &&
                        std::equal(view.lines.begin(), view.lines.end(), c.lines.begin());
  QStringList shown;
  for (std::size_t i = appended ? view.lines.size() : 0; i < c.lines.size(); ++i)
    shown << display(c.lines[i]);
  // Appending keeps a long memo cheap; anything else replaces the whole text.
  if (appended)
    edit->appendPlainText(shown.join(QChar('\n')));
  else
    edit->setPlainText(shown.join(QChar('\n')));
  view.lines = c.lines;
  if (c.kind() == Kind::Memo) scrollToEnd(edit);
}

void FormWindow::applyTabs(ControlView& view) {
  Control& c = *view.model;
  auto* tabs = static_cast<QTabBar*>(view.widget);
  const bool itemsChanged = view.fresh || c.items != view.items;
  if (itemsChanged) {
    while (tabs->count() > 0) tabs->removeTab(tabs->count() - 1);
    for (const auto& item : c.items) tabs->addTab(display(item));
    view.items = c.items;
  }
  if ((itemsChanged || c.itemIndex != view.itemIndex) && c.itemIndex >= 0 &&
      c.itemIndex < tabs->count()) {
    tabs->setCurrentIndex(c.itemIndex);
  }
  view.itemIndex = c.itemIndex;
}

void FormWindow::applyStatusPanels(ControlView& view) {
  Control& c = *view.model;
  QWidget* bar = view.widget;
  const std::size_t count = std::max({c.items.size(), c.panelWidths.size(), std::size_t(1)});
  while (view.panels.size() < count) {
    auto* panel = new QLabel(bar);
    panel->setTextFormat(Qt::PlainText);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setIndent(2);
    panel->show();
    view.panels.push_back(panel);
  }
  while (view.panels.size() > count) {
    delete view.panels.back();
    view.panels.pop_back();
  }
  // A panel without a width of its own takes what the others leave.
  int x = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const bool sized = i < c.panelWidths.size() && c.panelWidths[i] > 0;
    const int width = sized ? c.panelWidths[i] : std::max(0, bar->width() - x);
    const QRect target(x, 0, width, bar->height());
    if (view.panels[i]->geometry() != target) view.panels[i]->setGeometry(target);
    x += width;
  }
  if (view.fresh || c.items != view.items) {
    for (std::size_t i = 0; i < count; ++i)
      view.panels[i]->setText(i < c.items.size() ? display(c.items[i]) : QString());
    view.items = c.items;
  }
}

void FormWindow::syncTimers() {
  for (std::size_t i = timers_.size(); i < form_.timers().size(); ++i) {
    auto view = std::make_unique<TimerView>();
    view->model = form_.timers()[i].get();
    view->timer = new QTimer(this);
    TimerView* t = view.get();
    connect(t->timer, &QTimer::timeout, this, [this, t] {
      if (retired_ || t->busy || host_.timersHeld()) return;
      t->busy = true;
      call([model = t->model] {
        if (model->onTimer) model->onTimer();
      });
      t->busy = false;
    });
    timers_.push_back(std::move(view));
  }
  for (auto& view : timers_) {
    const Timer& model = *view->model;
    if (!model.enabled || model.interval <= 0) {
      view->timer->stop();
    } else if (!view->timer->isActive() || view->timer->interval() != model.interval) {
      view->timer->start(model.interval);
    }
  }
}

}  // namespace ui
