// The shop's database server under the launcher's control: installed as a
// service, started, stopped and removed, or run as a console process
// (command-line mode), with its state shown in the main window (ed_status,
// sp_start, sp_stop, sp_del, ed_port). The actions run on the window
// thread and block it during their bounded waits, while the window keeps
// painting. A start counts only once the server answers on its port.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "launcher/core/app.h"
#include "launcher/server/child_programs.h"
#include "launcher/ui/forms.h"

namespace launcher {

// The left coordinates of the three service buttons, first to third place.
inline constexpr int kServiceButtonPlaces[3] = {239, 273, 309};

class TServiceControl {
 public:
  // `main` is the main window whose controls and timers show the state.
  TServiceControl(App& app, ui::Form& main);

  // The actions of sp_start, sp_stop and sp_del.
  void StartAction();
  void StopAction();
  void RemoveAction();

  // Asks the service manager, then shows the state; a running server
  // enables the automatic backup timer.
  void RefreshServiceStatus();
  // The same display from ServiceInstalled and ServiceRunning alone.
  void ShowServiceFlags();

  bool StartServiceByName();
  bool StopServiceByName();
  int QueryServiceState();

  // The command texts as shown in Memo1 (before masking).
  std::string ShutdownCommand() const;
  std::string InstallCommand() const;
  std::string RemoveCommand() const;
  std::string ConsoleCommand() const;

 private:
  std::string serverDir() const { return app_.AbsoluteMysqlDir(); }
  std::string errorLog() const;
  std::vector<std::string> serverProgram() const;
  void showMessage(const std::string& text);
  void warn(const std::string& text);
  void status(const std::string& text);
  void line(const std::string& text);
  // Sleeps on the application's clock while the window keeps painting.
  void pause(int milliseconds);
  void loadCredentials();
  bool serverProcessRuns();
  bool serverAnswers();
  int runShutdown(const std::string& label);
  void installService();
  void removeService();
  bool writeServerOptions();
  // Waits at most `checks` steps of `stepMs` while `condition` holds.
  template <class Condition>
  void waitWhile(int checks, int stepMs, Condition condition);
  void show(bool installed, bool running, bool enableBackup);
  void placeButtons(bool installed, bool running);
  void standardPlaces();

  App& app_;
  ui::Form& main_;
  TChildConsole console_;
};

}  // namespace launcher
