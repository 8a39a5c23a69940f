// The settings window drawn offscreen: main --screenshot --window frmSQL
// pictures it at its client size with its captions; on the Qt backend each
// page draws only its own controls, and the tab bar and the model follow
// each other.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <cstdlib>
#include <string>

#include "launcher/core/app.h"
#include "launcher/server/settings_window.h"
#include "launcher/ui/qt/qt_backend.h"
#include "platform/system_info.h"
#include "tests/launcher_qt/pictures.h"
#include "tests/support/temp_dir.h"

namespace {

QRect rectOf(const ui::Control& control) {
  const ui::Geometry& b = control.bounds;
  return QRect(b.left, b.top, b.width, b.height);
}

int runMain(const std::string& appDir, const std::string& arguments) {
  const std::string command = "QT_QPA_PLATFORM=offscreen '" MAIN_PATH "' --appdir '" + appDir +
                              "' " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SettingsWindowPicture, MainDrawsItAtItsClientSizeWithItsCaptions) {
  const QImage image = pictureByMain("--window frmSQL");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 531);
  EXPECT_EQ(image.height(), 404);
  // The tab captions, "服务器地址：" of the page it opens on, and the two buttons.
  EXPECT_GT(darkPixels(image, QRect(8, 8, 240, 28)), 100);
  EXPECT_GT(darkPixels(image, QRect(24, 60, 112, 22)), 40);
  EXPECT_GT(darkPixels(image, QRect(334, 362, 186, 30)), 40);
  // The other pages' controls are not drawn: below the second page's fields
  // nothing dark is found.
  EXPECT_EQ(darkPixels(image, QRect(24, 140, 480, 200)), 0);
}

TEST(SettingsWindowPicture, MainRefusesAnUnknownWindow) {
  TempDir temp;
  EXPECT_EQ(runMain(temp.path(), "--screenshot '" + temp.path() + "x.png' --window nowhere"), 2);
  EXPECT_EQ(runMain(temp.path(), "--window frmSQL"), 2);  // a window is only pictured
}

// The settings window on the Qt backend over an empty application folder.
struct QtSettings : QtLauncher {
  QtSettings() {
    backend.setUnattended(true);  // the refusal's message box must not wait for a user
    app.MysqlDir = "mysql/";
    app.ServerIp = "127.0.0.1";
    window.FormCreate();
  }
  launcher::TfrmSQL window{app};
};

TEST(SettingsWindowOnQt, EachPageDrawsOnlyItsOwnControls) {
  QtSettings qt;
  launcher::TfrmSQL& window = qt.window;
  struct Row {
    int page;
    const char* drawn;   // a caption of this page
    const char* hidden;  // one of another page, where this page has nothing; or none
  };
  const Row rows[] = {{0, "Label4", nullptr}, {1, "Label14", "Label4"}, {2, "rb_bgp", "Label6"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.page);
    window.control("PageControl1").itemIndex = row.page;
    window.PageControl1Change();
    const std::string png = qt.temp.path() + "page" + std::to_string(row.page) + ".png";
    ASSERT_TRUE(qt.backend.screenshot(window, png));
    QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.size(), QSize(531, 404));
    EXPECT_GT(darkPixels(image, rectOf(window.control(row.drawn))), 30);
    if (row.hidden != nullptr) {
      EXPECT_EQ(darkPixels(image, rectOf(window.control(row.hidden))), 0);
    }
  }
}

TEST(SettingsWindowOnQt, TabBarAndModelFollowEachOther) {
  QtSettings qt;
  launcher::TfrmSQL& window = qt.window;
  qt.desktop.show(window);
  QWidget* shown = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->objectName() == QStringLiteral("frmSQL") && top->isVisible()) shown = top;
  ASSERT_NE(shown, nullptr);
  auto* tabs = shown->findChild<QTabBar*>(QStringLiteral("PageControl1"));
  auto* port = shown->findChild<QLineEdit*>(QStringLiteral("ed_port"));
  auto* url = shown->findChild<QLineEdit*>(QStringLiteral("ed_url"));
  auto* bgp = shown->findChild<QRadioButton*>(QStringLiteral("rb_bgp"));
  ASSERT_NE(tabs, nullptr);
  ASSERT_NE(port, nullptr);
  ASSERT_NE(url, nullptr);
  ASSERT_NE(bgp, nullptr);
  EXPECT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->tabText(2), QString::fromUtf8(u8"云端备份"));
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_TRUE(url->isVisible());
  EXPECT_FALSE(port->isVisible());

  // The user picks a page: the model's page changes and its controls show.
  QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
  EXPECT_EQ(window.control("PageControl1").itemIndex, 2);
  EXPECT_TRUE(bgp->isVisible());
  EXPECT_FALSE(url->isVisible());
  bgp->click();
  EXPECT_TRUE(window.control("rb_bgp").checked);
  EXPECT_FALSE(window.control("rb_tel").checked);

  // A refused port brings its page forward from the model's side.
  window.control("ed_port").setText("abc");
  QTest::mouseClick(shown->findChild<QWidget*>(QStringLiteral("bt_save")), Qt::LeftButton);
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_TRUE(port->isVisible());
  EXPECT_FALSE(window.closed);
  qt.desktop.close(window);
}

}  // namespace
