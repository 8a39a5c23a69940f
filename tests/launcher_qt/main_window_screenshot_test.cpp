// The launcher's windows drawn offscreen: main --screenshot pictures the main
// window, and the backend draws the login window; each picture has its
// window's client size, and the captions were drawn.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>
#include <string>

#include "launcher/core/main_window.h"
#include "launcher/login/login_window.h"
#include "launcher/ui/qt/qt_backend.h"
#include "platform/system_info.h"
#include "tests/launcher_qt/pictures.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(MainWindowScreenshot, HasTheClientSizeAndItsCaptions) {
  const QImage image = pictureByMain();
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 787);
  EXPECT_EQ(image.height(), 563);
  // The captions of the first tool button and of the label of ed_path.
  EXPECT_GT(darkPixels(image, QRect(4, 10, 68, 26)), 40);
  EXPECT_GT(darkPixels(image, QRect(12, 107, 70, 16)), 40);
  // Where nothing is drawn, nothing dark is found.
  EXPECT_EQ(darkPixels(image, QRect(100, 505, 20, 10)), 0);
}

TEST(RestoreWindowScreenshot, HasTheClientSizeAndItsCaptions) {
  const QImage image = pictureByMain("--window frmRestore");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 608);
  EXPECT_EQ(image.height(), 424);
  // "用户名：", the wrapped explanation's second line, the restore button.
  EXPECT_GT(darkPixels(image, QRect(20, 23, 60, 16)), 40);
  EXPECT_GT(darkPixels(image, QRect(20, 168, 200, 16)), 40);
  EXPECT_GT(darkPixels(image, QRect(482, 384, 100, 28)), 40);
}

// The login window on the Qt backend, with the main window it reports to.
struct QtLogin : QtLauncher {
  launcher::TFMain main{app};
  launcher::TfLogin login{app, main};
};

// The login window drawn by the Qt backend: its client size, and its texts.
TEST(LoginWindowPicture, HasTheClientSizeAndItsCaptions) {
  QtLogin qt;
  ui::QtBackend& backend = qt.backend;
  launcher::TfLogin& login = qt.login;
  const TempDir& temp = qt.temp;
  const std::string png = temp.path() + "fLogin.png";
  ASSERT_TRUE(backend.screenshot(login, png));
  QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 379);
  EXPECT_EQ(image.height(), 305);
  EXPECT_GT(darkPixels(image, QRect(60, 72, 64, 16)), 20);    // "操作员："
  EXPECT_GT(darkPixels(image, QRect(60, 176, 200, 28)), 40);  // the initial password
}

QWidget* shownWindow(const std::string& name) {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == QString::fromStdString(name) && window->isVisible()) return window;
  return nullptr;
}

// Typing into the login window reaches the model: the user name through the
// editable list, Enter there moves on, the password is masked.
TEST(LoginWindowKeys, TypingAndEnterReachTheModel) {
  QtLogin qt;
  ui::Desktop& desktop = qt.desktop;
  launcher::TfLogin& login = qt.login;
  desktop.show(login);
  QWidget* window = shownWindow("fLogin");
  ASSERT_NE(window, nullptr);
  auto* user = window->findChild<QComboBox*>("cbx_userName");
  auto* password = window->findChild<QLineEdit*>("txt_password");
  ASSERT_NE(user, nullptr);
  ASSERT_NE(password, nullptr);
  ASSERT_TRUE(user->isEditable());
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);

  user->lineEdit()->selectAll();
  QTest::keyClicks(user->lineEdit(), QString::fromLatin1("admin"));
  EXPECT_EQ(login.control("cbx_userName").text(), "admin");
  QTest::keyClick(user->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(login.focus, "txt_password");
  QTest::keyClicks(password, QString::fromLatin1("pw"));
  EXPECT_EQ(login.control("txt_password").text(), "pw");
  desktop.close(login);
}

}  // namespace
