// The main window on Qt: the start button, clicked as a user clicks it,
// starts the folder's server, and the window shows the running service.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include "launcher/ui/qt/qt_backend.h"
#include "platform/server_probe.h"
#include "tests/launcher_server/server_folder.h"

namespace {

TEST(QtServer, TheStartButtonStartsTheServerAndTheWindowShowsIt) {
  servertest::ApplicationFolder folder;
  static int argc = 1;
  static char name[] = "launcher_server_tests";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ui::QtBackend backend(argc, argv);
  ui::Desktop desktop(backend);
  backend.attach(desktop);
  launcher::App app(folder.path(), desktop, platform::Processes::Default());
  launcher::TFMain main(app);
  main.FormCreate();
  desktop.show(main);

  QString before, after;
  desktop.post([&] {
    QWidget* window = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->objectName() == "FMain" && top->isVisible()) window = top;
    ASSERT_NE(window, nullptr);
    before = window->findChild<QLineEdit*>("ed_status")->text();
    QTest::mouseClick(window->findChild<QToolButton*>("sp_start"), Qt::LeftButton);
    after = window->findChild<QLineEdit*>("ed_status")->text();
    desktop.close(main);
  });
  backend.run(main);
  EXPECT_EQ(before, QString::fromUtf8(u8"未安装服务"));
  EXPECT_EQ(after, QString::fromUtf8(u8"已启动服务"));
  EXPECT_TRUE(platform::mysqlServerAnswers("127.0.0.1", folder.port(), std::chrono::seconds(1)));
}

}  // namespace
