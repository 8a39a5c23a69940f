// main [--appdir DIR] [--headless | --screenshot FILE [--window NAME] |
// --send-message N]: the launcher. It fixes the application folder (the
// folder of this program unless given), works from it as its current folder,
// creates the main window from the folder's configuration and runs the window
// system: Qt, or with --headless the JSON line protocol on standard input and
// output. A screenshot pictures the main window (FMain), the settings window
// (frmSQL) or the restore window (frmRestore). --send-message hands window
// message N to the launcher running on the folder and exits.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "launcher/backup/restore_window.h"
#include "launcher/core/app.h"
#include "launcher/core/builtin.h"
#include "launcher/core/control_socket.h"
#include "launcher/core/main_window.h"
#include "launcher/server/settings_window.h"
#include "launcher/ui/headless/headless_backend.h"
#include "launcher/ui/qt/qt_backend.h"
#include "platform/paths.h"

namespace {

struct Options {
  std::string appDir;
  bool headless = false;
  std::string screenshot;
  std::string window = "FMain";
  std::optional<int> message;
};

std::optional<int> messageNumber(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || number < 0 || number > INT_MAX) {
    return std::nullopt;
  }
  return static_cast<int>(number);
}

bool parse(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--appdir" && i + 1 < argc) {
      options->appDir = argv[++i];
    } else if (arg == "--headless") {
      options->headless = true;
    } else if (arg == "--screenshot" && i + 1 < argc) {
      options->screenshot = argv[++i];
    } else if (arg == "--window" && i + 1 < argc) {
      options->window = argv[++i];
    } else if (arg == "--send-message" && i + 1 < argc) {
      options->message = messageNumber(argv[++i]);
      if (!options->message) return false;
    } else {
      return false;
    }
  }
  if (options->window != "FMain" && options->window != "frmSQL" &&
      options->window != "frmRestore") {
    return false;
  }
  // Only a screenshot picks its window.
  if (options->window != "FMain" && options->screenshot.empty()) return false;
  if (options->message && (options->headless || !options->screenshot.empty())) return false;
  return !(options->headless && !options->screenshot.empty());
}

std::string absoluteFolder(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string folder(resolved);
  std::free(resolved);
  return folder.ends_with('/') ? folder : folder + "/";
}

std::string absoluteFile(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  char* cwd = getcwd(nullptr, 0);
  std::string file = std::string(cwd != nullptr ? cwd : ".") + "/" + path;
  std::free(cwd);
  return file;
}

int runLauncher(
    ui::Backend& backend, platform::Processes& processes, const std::string& appDir,
    const std::function<void(ui::Desktop&, launcher::App&, launcher::TFMain&)>& beforeLoop) {
  ui::Desktop desktop(backend);
  if (auto* headless = dynamic_cast<ui::HeadlessBackend*>(&backend)) headless->attach(desktop);
  if (auto* qt = dynamic_cast<ui::QtBackend*>(&backend)) qt->attach(desktop);
  launcher::App app(appDir, desktop, processes);
  app.Title = app.ReadConfigValue("form", "title", launcher::builtin::kApplicationTitle);
  launcher::TFMain main(app);
  main.FormCreate();
  desktop.show(main);
  // Messages from other programs; a screenshot takes none.
  launcher::TControlSocket control(app, main);
  std::string error;
  if (!beforeLoop && !control.Listen(&error)) {
    std::fprintf(stderr, "main: no messages from other programs: %s\n", error.c_str());
  }
  if (beforeLoop) beforeLoop(desktop, app, main);
  backend.run(main);
  desktop.shutDown();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: main [--appdir DIR] [--headless | --screenshot FILE [--window "
                 "FMain|frmSQL|frmRestore] | --send-message N]\n");
    return 2;
  }
  const std::string appDir =
      absoluteFolder(options.appDir.empty() ? platform::executableDir() : options.appDir);
  if (appDir.empty()) {
    std::fprintf(stderr, "main: no application folder %s\n", options.appDir.c_str());
    return 2;
  }
  if (options.message) {
    std::string error;
    if (!launcher::SendMessageToLauncher(appDir, *options.message, &error)) {
      std::fprintf(stderr, "main: no launcher runs on %s to take the message: %s\n", appDir.c_str(),
                   error.c_str());
      return 1;
    }
    return 0;
  }
  const std::string screenshot = absoluteFile(options.screenshot);
  if (chdir(appDir.c_str()) != 0) {
    std::perror("main: chdir");
    return 2;
  }

  if (options.headless) {
    ui::HeadlessBackend backend(std::cin, std::cout);
    ui::HeadlessProcesses processes(platform::Processes::Default(), backend);
    return runLauncher(backend, processes, appDir, nullptr);
  }

  ui::QtBackend backend(argc, argv);
  if (screenshot.empty()) {
    return runLauncher(backend, platform::Processes::Default(), appDir, nullptr);
  }
  // Let the deferred start-up step run, then picture the window: the main
  // window, or the settings or restore window created as its toolbar button
  // creates it.
  backend.setUnattended(true);
  int status = 0;
  const std::string& window = options.window;
  runLauncher(backend, platform::Processes::Default(), appDir,
              [&backend, &screenshot, &window, &status](ui::Desktop& desktop, launcher::App& app,
                                                        launcher::TFMain& main) {
                std::thread([&backend, &desktop, &app, &main, &screenshot, &window, &status] {
                  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                  desktop.post([&backend, &desktop, &app, &main, &screenshot, &window, &status] {
                    std::unique_ptr<launcher::TfrmSQL> settings;
                    std::unique_ptr<launcher::TfrmRestore> restore;
                    ui::Form* pictured = &main;
                    if (window == "frmSQL") {
                      settings = std::make_unique<launcher::TfrmSQL>(app);
                      settings->FormCreate();
                      pictured = settings.get();
                    } else if (window == "frmRestore") {
                      restore = std::make_unique<launcher::TfrmRestore>(app, main);
                      restore->FormCreate();
                      pictured = restore.get();
                    }
                    if (!backend.screenshot(*pictured, screenshot)) {
                      std::fprintf(stderr, "main: cannot write %s\n", screenshot.c_str());
                      status = 1;
                    }
                    desktop.close(main);
                  });
                }).detach();
              });
  return status;
}
