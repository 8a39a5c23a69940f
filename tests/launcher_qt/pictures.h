// How the Qt tests look at pictures of the launcher's windows.
#pragma once

#include <QImage>
#include <QRect>
#include <cstdlib>
#include <string>

#include "launcher/core/app.h"
#include "launcher/ui/qt/qt_backend.h"
#include "platform/system_info.h"
#include "tests/support/temp_dir.h"

// Pixels clearly darker than the light background of a caption's area.
inline int darkPixels(const QImage& image, QRect area) {
  int dark = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (qGray(image.pixel(x, y)) < 110) ++dark;
  return dark;
}

// What main --screenshot draws for an application folder with nothing
// configured; `arguments` may pick the window. A null image when it failed.
inline QImage pictureByMain(const std::string& arguments = std::string()) {
  TempDir temp;
  const std::string appDir = temp.path() + "app/";
  platform::createFolders(appDir + "config");
  const std::string png = temp.path() + "window.png";
  const std::string command = "QT_QPA_PLATFORM=offscreen NORVEX_DATA_ROOT=" + temp.path() +
                              " NORVEX_SYSTEM_ROOT=" + temp.path() + " '" MAIN_PATH "' --appdir '" +
                              appDir + "' --screenshot '" + png + "' " + arguments + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return QImage();
  return QImage(QString::fromStdString(png));
}

// The launcher's application object over the Qt backend on the offscreen
// platform, for the windows a test builds on it.
struct QtLauncher {
  QtLauncher() : backend((setenv("QT_QPA_PLATFORM", "offscreen", 1), argc), argv) {
    backend.attach(desktop);
  }
  static inline int argc = 1;
  static inline char name[] = "launcher_qt_tests";
  static inline char* argv[] = {name, nullptr};
  ui::QtBackend backend;
  ui::Desktop desktop{backend};
  TempDir temp;
  launcher::App app{temp.path(), desktop, platform::Processes::Default()};
};
