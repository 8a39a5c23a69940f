// The Qt view of the forms model on the offscreen platform: a form's PNG has its client size
// and real Chinese glyphs; widget events reach the model's handlers and model changes reach
// the widgets; the loops end when their form closes; nothing blocks when unattended.
#include "launcher/ui/qt/qt_backend.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "launcher/ui/qt/qt_dialogs.h"
#include "launcher/ui/qt/qt_text.h"

namespace ui {
namespace {

// One application for the whole run; the offscreen platform needs no display.
struct App {
  int argc = 1;
  char name[18] = "launcher_qt_tests";
  char* argv[2] = {name, nullptr};
  QApplication* app = nullptr;

  App() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app = new QApplication(argc, argv);  // outlives every test; never deleted
  }
};

App& app() {
  static App instance;
  return instance;
}

// A small main window with one or more controls of each kind and Chinese captions.
class ShopForm : public Form {
 public:
  ShopForm() : Form("FMain", "TFMain") {
    caption = "运行会员收银软件";
    clientWidth = 787;
    clientHeight = 563;
    add("RzToolbar1", Kind::Panel, {0, 0, 787, 46});
    add("RzToolButton2", Kind::ToolButton, {2, 2, 70, 42}).setText("参数设置");
    add("Label3", Kind::Label, {10, 60, 80, 21}).setText("数据库名");
    Control& dbname = add("ed_dbname", Kind::Edit, {90, 60, 150, 21});
    dbname.setText("norvex");
    dbname.readOnly = true;
    add("ed_user", Kind::Edit, {90, 90, 150, 21});
    add("ed_subName", Kind::MultiEdit, {90, 120, 150, 42}).setText("总店\r\n在线");
    add("lbl_url", Kind::Link, {10, 170, 150, 18}).setText("产品网址");
    add("cbk_u", Kind::CheckBox, {10, 190, 300, 20}).setText("备份后上传到网络U盘");
    add("rb_tel", Kind::RadioButton, {10, 215, 150, 20}).setText("电信联通双线机房");
    control("rb_tel").checked = true;
    add("rb_bgp", Kind::RadioButton, {170, 215, 150, 20}).setText("BGP机房");
    Control& combo = add("cb_server", Kind::ComboBox, {10, 240, 150, 22});
    combo.items = {"本机", "远程"};
    combo.itemIndex = 0;
    add("sp_start", Kind::SpeedButton, {250, 60, 24, 24}).hint = "启动数据库服务";
    add("BitBtn1", Kind::Button, {10, 280, 140, 48}).setText("收银软件");
    Control& memo = add("Memo1", Kind::Memo, {400, 50, 380, 480});
    for (int i = 0; i < 60; ++i) memo.appendLine("第" + std::to_string(i) + "行 状态");
    Control& stat = add("stat", Kind::StatusBar, {0, 544, 787, 19});
    stat.items = {"就绪", ""};
    stat.panelWidths = {520, 50};
  }

  void FormClose() override { ++closes; }
  int closes = 0;
};

QWidget* windowOf(const Form& form) {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == QString::fromStdString(form.name()) && window->isVisible())
      return window;
  return nullptr;
}

template <class W>
W* widgetOf(const Form& form, const char* name) {
  QWidget* window = windowOf(form);
  return window != nullptr ? window->findChild<W*>(QString::fromLatin1(name)) : nullptr;
}

QRect rectOf(const Control& control) {
  const Geometry& b = control.bounds;
  return QRect(b.left, b.top, b.width, b.height);
}

class QtBackendTest : public ::testing::Test {
 protected:
  QtBackendTest() : backend(app().argc, app().argv), desktop(backend) { backend.attach(desktop); }

  QImage shot(const char* file) {
    const QString path = dir.filePath(QString::fromLatin1(file));
    EXPECT_TRUE(backend.screenshot(form, path.toStdString()));
    return QImage(path);
  }

  QtBackend backend;
  Desktop desktop;
  ShopForm form;
  QTemporaryDir dir;
};

TEST_F(QtBackendTest, ScreenshotHasClientSizeAndDrawsChineseGlyphs) {
  desktop.show(form);
  QWidget* window = windowOf(form);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), QString::fromUtf8(u8"运行会员收银软件"));
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(window->minimumSize(), window->maximumSize());

  Control& label = form.control("Label3");
  const QImage first = shot("first.png");
  EXPECT_EQ(first.size(), QSize(787, 563));
  label.setText("服务端口");
  const QImage second = shot("second.png");
  label.setText("");
  const QImage blank = shot("blank.png");

  const QImage drawn = first.copy(rectOf(label));
  const QImage empty = blank.copy(rectOf(label));
  int inked = 0;
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x) inked += drawn.pixel(x, y) != empty.pixel(x, y);
  EXPECT_GT(inked, 30);
  // Missing glyphs would be identical boxes; two different captions must look different.
  EXPECT_NE(drawn, second.copy(rectOf(label)));
}

TEST_F(QtBackendTest, UnshownFormRendersToo) {
  const QImage image = shot("unshown.png");
  EXPECT_EQ(image.size(), QSize(787, 563));
  EXPECT_EQ(windowOf(form), nullptr);
}

TEST_F(QtBackendTest, WidgetEventsRunHandlersAndModelChangesComeBack) {
  int clicks = 0, changes = 0, comboChanges = 0, checkClicks = 0, enterKeys = 0;
  form.control("BitBtn1").onClick = [&] {
    ++clicks;
    form.control("Label3").setText("已点击");
    for (int i = 0; i < 20; ++i) form.control("Memo1").appendLine("追加");
  };
  form.control("ed_user").onChange = [&] { ++changes; };
  form.control("ed_user").onKey = [&](int key) { enterKeys += key == 13; };
  form.control("cb_server").onChange = [&] { ++comboChanges; };
  form.control("cbk_u").onClick = [&] { ++checkClicks; };
  desktop.show(form);

  auto* memo = widgetOf<QPlainTextEdit>(form, "Memo1");
  ASSERT_NE(memo, nullptr);
  EXPECT_GT(memo->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(memo->verticalScrollBar()->value(), memo->verticalScrollBar()->maximum());
  EXPECT_EQ(widgetOf<QPlainTextEdit>(form, "ed_subName")->toPlainText(),
            QString::fromUtf8(u8"总店\n在线"));

  memo->verticalScrollBar()->setValue(0);  // the user scrolled up to read
  QTest::mouseClick(widgetOf<QPushButton>(form, "BitBtn1"), Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(widgetOf<QLabel>(form, "Label3")->text(), QString::fromUtf8(u8"已点击"));
  EXPECT_EQ(memo->document()->blockCount(), 80);
  EXPECT_EQ(memo->verticalScrollBar()->value(), memo->verticalScrollBar()->maximum());

  auto* user = widgetOf<QLineEdit>(form, "ed_user");
  QTest::keyClicks(user, QString::fromLatin1("ab"));
  QInputMethodEvent chinese;  // how Chinese is typed: committed by the input method
  chinese.setCommitString(QString::fromUtf8(u8"管理"));
  QApplication::sendEvent(user, &chinese);
  QTest::keyClick(user, Qt::Key_Return);
  EXPECT_EQ(form.control("ed_user").text(), "ab管理");
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(enterKeys, 1);

  widgetOf<QCheckBox>(form, "cbk_u")->click();
  EXPECT_TRUE(form.control("cbk_u").checked);
  EXPECT_EQ(checkClicks, 1);

  widgetOf<QRadioButton>(form, "rb_bgp")->click();
  EXPECT_TRUE(form.control("rb_bgp").checked);
  EXPECT_FALSE(form.control("rb_tel").checked);

  QTest::keyClick(widgetOf<QComboBox>(form, "cb_server"), Qt::Key_Down);
  EXPECT_EQ(form.control("cb_server").itemIndex, 1);
  EXPECT_EQ(form.control("cb_server").text(), "远程");
  EXPECT_EQ(comboChanges, 1);

  // A change made outside any handler shows once refreshed; the user's text is kept.
  form.control("ed_dbname").setText("shop2");
  form.control("ed_dbname").visible = false;
  backend.refresh();
  EXPECT_EQ(widgetOf<QLineEdit>(form, "ed_dbname")->text(), QString::fromLatin1("shop2"));
  EXPECT_TRUE(widgetOf<QLineEdit>(form, "ed_dbname")->isHidden());
  EXPECT_EQ(user->text(), QString::fromUtf8(u8"ab管理"));
}

TEST_F(QtBackendTest, LoopRunsTimersAndCrossThreadTasksAndEndsWhenMainCloses) {
  int ticks = 0;
  bool sentOnWindowThread = false;
  bool timersStopped = false;
  std::thread worker;
  Timer& timer = form.addTimer("Timer_checkodbc", 1, true, nullptr);
  timer.onTimer = [&] {
    if (++ticks < 3) return;
    timer.enabled = false;
    // The worker reaches the window thread only through the queue and wake().
    worker = std::thread([&] {
      desktop.send([&] { sentOnWindowThread = desktop.onWindowThread(); });
      desktop.post([&] {
        timersStopped = true;
        for (QTimer* qtimer : windowOf(form)->findChildren<QTimer*>())
          timersStopped &= !qtimer->isActive();
        desktop.close(form);
      });
    });
  };
  desktop.show(form);
  backend.run(form);
  worker.join();

  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(sentOnWindowThread);
  EXPECT_TRUE(timersStopped);
  EXPECT_TRUE(form.closed);
  EXPECT_EQ(form.closes, 1);
  EXPECT_EQ(windowOf(form), nullptr);
}

// A handler that waits for a child program keeps the window painted and lets
// other threads' sends through, while the forms' timers wait.
TEST_F(QtBackendTest, AWaitingHandlerServesOtherThreadsButHoldsTheTimers) {
  int ticks = 0, ticksWhileWaiting = -1;
  bool sent = false, shownWhileWaiting = false;
  form.addTimer("Timer_backdbEx", 1, true, [&] { ++ticks; });
  desktop.show(form);
  desktop.post([&] {
    const int before = ticks;
    std::thread worker(
        [&] { sent = desktop.send([&] { form.control("Memo1").appendLine("后台线程的状态"); }); });
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < until) {
      desktop.processPendingEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.join();
    ticksWhileWaiting = ticks - before;
    shownWhileWaiting = widgetOf<QPlainTextEdit>(form, "Memo1")
                            ->toPlainText()
                            .endsWith(QString::fromUtf8(u8"后台线程的状态"));
    desktop.close(form);
  });
  backend.run(form);
  EXPECT_TRUE(sent);
  EXPECT_TRUE(shownWhileWaiting);
  EXPECT_EQ(ticksWhileWaiting, 0);
}

TEST_F(QtBackendTest, CloseButtonRunsFormCloseAndEndsTheLoop) {
  desktop.show(form);
  desktop.post([&] { windowOf(form)->close(); });
  backend.run(form);
  EXPECT_TRUE(form.closed);
  EXPECT_EQ(form.closes, 1);
  EXPECT_EQ(windowOf(form), nullptr);
}

TEST_F(QtBackendTest, ModalFormRunsUntilClosedAndHandlerErrorsDoNotEndIt) {
  backend.setUnattended(true);
  Form login("fLogin", "TfLogin");
  login.caption = "登录";
  login.clientWidth = 300;
  login.clientHeight = 200;
  bool modalWhileShown = false;
  int ticks = 0;
  Timer& timer = login.addTimer("Timer1", 1, true, nullptr);
  timer.onTimer = [&] {
    if (++ticks == 1) throw std::runtime_error("连接失败");  // reported, the loop goes on
    QWidget* window = windowOf(login);
    modalWhileShown = window != nullptr && window->windowModality() == Qt::ApplicationModal;
    desktop.close(login);
  };
  desktop.showModal(login);
  EXPECT_EQ(ticks, 2);
  EXPECT_TRUE(modalWhileShown);
  EXPECT_TRUE(login.closed);
  EXPECT_EQ(windowOf(login), nullptr);
}

TEST_F(QtBackendTest, UnattendedDialogsAnswerTheirDefault) {
  backend.setUnattended(true);
  const struct {
    Buttons buttons;
    Answer expected;
  } cases[] = {
      {Buttons::Ok, Answer::Ok},
      {Buttons::OkCancel, Answer::Ok},
      {Buttons::YesNo, Answer::No},
      {Buttons::YesNoCancel, Answer::No},
  };
  for (const auto& c : cases)
    EXPECT_EQ(desktop.dialogs().messageBox("提示", "继续吗？", Icon::Question, c.buttons),
              c.expected)
        << buttonsName(c.buttons);
  EXPECT_EQ(desktop.dialogs().saveFile("*.SQL|*.SQL", "/tmp", "备份.sql"), std::nullopt);
  EXPECT_EQ(desktop.dialogs().openFile("*.SQL|*.SQL", "/tmp", ""), std::nullopt);
}

TEST(QtFilter, PairsBecomeQtFilters) {
  const struct {
    const char* model;
    const char* qt;
  } cases[] = {
      {"*.SQL|*.SQL", "*.SQL (*.SQL)"},
      {"Text|*.txt;*.log|All|*.*", "Text (*.txt *.log);;All (*.*)"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(qtFilter(c.model), QString::fromLatin1(c.qt)) << c.model;
}

TEST(QtText, BadBytesAndMissingCharactersCostOnlyThemselves) {
  const struct {
    std::string gbk;
    const char8_t* shown;
  } toQtCases[] = {
      {"数据库名", u8"数据库名"},
      {std::string("\xff") + "ab" + "数据", u8"?ab数据"},  // 0xff starts no GBK character
      {"数\x81", u8"数?"},                                 // a lead byte without its trail
  };
  for (const auto& c : toQtCases) EXPECT_EQ(toQt(c.gbk), QString::fromUtf8(c.shown));
  EXPECT_EQ(fromQt(QString::fromUtf8(u8"收银😀软件")), "收银?软件");
}

}  // namespace
}  // namespace ui
