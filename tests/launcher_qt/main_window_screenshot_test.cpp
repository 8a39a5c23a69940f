// main --screenshot draws the main window offscreen: the picture has the
// window's client size, and the captions of the window were drawn.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <cstdlib>
#include <string>

#include "platform/system_info.h"
#include "tests/support/temp_dir.h"

namespace {

// Pixels clearly darker than the light background of a caption's area.
int darkPixels(const QImage& image, QRect area) {
  int dark = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (qGray(image.pixel(x, y)) < 110) ++dark;
  return dark;
}

TEST(MainWindowScreenshot, HasTheClientSizeAndItsCaptions) {
  TempDir temp;
  const std::string appDir = temp.path() + "app/";
  platform::createFolders(appDir + "config");
  const std::string png = temp.path() + "FMain.png";
  const std::string command = "QT_QPA_PLATFORM=offscreen NORVEX_DATA_ROOT=" + temp.path() +
                              " NORVEX_SYSTEM_ROOT=" + temp.path() + " '" MAIN_PATH "' --appdir '" +
                              appDir + "' --screenshot '" + png + "' 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);

  QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 787);
  EXPECT_EQ(image.height(), 563);
  // The captions of the first tool button and of the label of ed_path.
  EXPECT_GT(darkPixels(image, QRect(4, 10, 68, 26)), 40);
  EXPECT_GT(darkPixels(image, QRect(12, 107, 70, 16)), 40);
  // Where nothing is drawn, nothing dark is found.
  EXPECT_EQ(darkPixels(image, QRect(100, 505, 20, 10)), 0);
}

}  // namespace
