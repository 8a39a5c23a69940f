// A stand-in for a program the launcher starts (cashier, stock keeper,
// SQLupdate): it records the arguments it was started with in "<program>.args"
// beside itself, one per line, and its working folder in "<program>.cwd";
// when a display exists it shows a small window titled with its file name.
#include <QApplication>
#include <QLabel>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  std::string self = argv[0];
  if (char* resolved = realpath("/proc/self/exe", nullptr)) {
    self = resolved;
    std::free(resolved);
  }
  {
    std::ofstream args(self + ".args", std::ios::binary | std::ios::trunc);
    for (int i = 1; i < argc; ++i) args << argv[i] << '\n';
  }
  std::ofstream(self + ".cwd", std::ios::binary | std::ios::trunc)
      << std::filesystem::current_path().string() << '\n';
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0')) return 0;
  QApplication app(argc, argv);
  QString text = QString::fromLocal8Bit(self.c_str());
  for (int i = 1; i < argc; ++i) text += "\n" + QString::fromLocal8Bit(argv[i]);
  QLabel window(text);
  // The launcher finds a running SQLupdate by this title.
  window.setWindowTitle(
      QString::fromLocal8Bit(std::filesystem::path(self).filename().string().c_str()));
  window.setMargin(16);
  window.show();
  return app.exec();
}
