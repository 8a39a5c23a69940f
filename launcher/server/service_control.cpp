// The three service actions, the status display and the server programs
// they run. Waits count steps as the start, stop and remove actions were
// written against: a step sleeps on the application's clock.
#include "launcher/server/service_control.h"

#include <algorithm>
#include <cstdlib>

#include "launcher/login/credential_file.h"
#include "launcher/support/error.h"
#include "platform/profile.h"
#include "platform/server_probe.h"
#include "platform/system_info.h"

namespace launcher {
namespace {

constexpr char kGreen[] = "#008000";
constexpr char kCream[] = "#fffbf0";
constexpr char kRed[] = "#ff0000";
constexpr char kBlack[] = "#000000";
constexpr char kServerImage[] = "mysqld";

// The port text as a port; 0 when it is none.
int portNumber(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str() && *end == '\0' && value > 0 && value <= 65535
             ? static_cast<int>(value)
             : 0;
}

}  // namespace

TServiceControl::TServiceControl(App& app, ui::Form& main)
    : app_(app), main_(main), console_(app.desktop, main.control("Memo1"), app.processes) {}

std::string TServiceControl::errorLog() const {
  return serverDir() + "data/" + platform::computerName() + ".err";
}

std::vector<std::string> TServiceControl::serverProgram() const {
  return {serverDir() + "bin/mysqld", "--defaults-file=" + serverDir() + "my.ini"};
}

std::string TServiceControl::ShutdownCommand() const {
  return serverDir() + "/bin/" + "mysqladmin -u" + app_.DbUser + " -h127.0.0.1 -p" +
         ShownPassword(app_.DbPassword) + " -P" + main_.control("ed_port").text() + " shutdown";
}

std::string TServiceControl::InstallCommand() const {
  return serverDir() + "bin/mysqld --install " + app_.ServiceName +
         " --defaults-file=" + serverDir() + "my.ini";
}

std::string TServiceControl::RemoveCommand() const {
  return serverDir() + "bin/mysqld -remove " + app_.ServiceName;
}

std::string TServiceControl::ConsoleCommand() const {
  return serverDir() + "bin/mysqld --defaults-file=" + serverDir() + "my.ini";
}

void TServiceControl::showMessage(const std::string& text) {
  app_.desktop.dialogs().messageBox(app_.Title, text, ui::Icon::None, ui::Buttons::Ok);
}

void TServiceControl::warn(const std::string& text) {
  app_.desktop.dialogs().messageBox("提示", text, ui::Icon::Warning, ui::Buttons::Ok);
}

void TServiceControl::status(const std::string& text) { main_.control("stat").setText(text); }

void TServiceControl::line(const std::string& text) { console_.AddLine(text); }

void TServiceControl::pause(int milliseconds) {
  app_.clock.sleepFor(std::chrono::milliseconds(milliseconds));
  app_.desktop.processPendingEvents();
}

template <class Condition>
void TServiceControl::waitWhile(int checks, int stepMs, Condition condition) {
  for (int i = 0; i < checks && condition(); ++i) pause(stepMs);
}

void TServiceControl::loadCredentials() {
  try {
    const StoredCredentials stored = LoadStoredCredentials(app_.AppDir);
    app_.DbUser = stored.DbUser;
    app_.DbPassword = stored.DbPassword;
  } catch (const LauncherError& error) {
    // The stop control of the service manager needs no account.
    line(error.what());
  }
}

bool TServiceControl::serverProcessRuns() {
  return IsProcessRunning(app_.processes, kServerImage, serverDir());
}

bool TServiceControl::serverAnswers() {
  const int port = portNumber(Trim(main_.control("ed_port").text()));
  if (!platform::mysqlServerAnswers("127.0.0.1", port, std::chrono::milliseconds(1000))) {
    return false;
  }
  // Another server holding the port answers just as well: while the
  // folder's own server can be seen, the answer counts only from it.
  const std::vector<int> ours = ServerProcessIds(app_.processes, kServerImage, serverDir());
  if (ours.empty()) return true;
  const std::vector<int> listeners = platform::portListeners(port);
  return listeners.empty() || std::find_first_of(listeners.begin(), listeners.end(), ours.begin(),
                                                 ours.end()) != listeners.end();
}

bool TServiceControl::StartServiceByName() {
  std::string error;
  if (app_.Services().start(app_.ServiceName, &error)) return true;
  line(error);
  return false;
}

bool TServiceControl::StopServiceByName() {
  std::string error;
  return app_.Services().stop(app_.ServiceName, &error);
}

int TServiceControl::QueryServiceState() { return app_.Services().state(app_.ServiceName); }

int TServiceControl::runShutdown(const std::string& label) {
  // No password option at all for an empty password: the tool would ask
  // for one on a console nobody sees. Its waits are bounded too.
  std::vector<std::string> argv = {serverDir() + "bin/mysqladmin", "--no-defaults"};
  if (!app_.DbUser.empty()) argv.push_back("-u" + app_.DbUser);
  argv.insert(argv.end(), {"-h127.0.0.1", "-P" + Trim(main_.control("ed_port").text()),
                           "--connect-timeout=10", "--shutdown-timeout=60", "shutdown"});
  std::string output;
  return console_.RunCaptured(label, ShutdownCommand(), argv, {{"MYSQL_PWD", app_.DbPassword}},
                              &output);
}

void TServiceControl::installService() {
  console_.ShowCommand("安装Mysql服务", InstallCommand());
  std::string error;
  const bool installed =
      app_.Services().install(app_.ServiceName, {serverProgram(), errorLog()}, &error);
  line(std::string("执行结果:") + (installed ? "Service successfully installed." : error));
}

void TServiceControl::removeService() {
  console_.ShowCommand("取消mysql服务", RemoveCommand());
  std::string error;
  const bool removed = app_.Services().remove(app_.ServiceName, &error);
  line(std::string("执行结果:") + (removed ? "Service successfully removed." : error));
}

bool TServiceControl::writeServerOptions() {
  const std::string options = serverDir() + "my.ini";
  const bool written =
      platform::writeProfileString(options, "mysqld", "basedir", "\"" + serverDir() + "\"") &&
      platform::writeProfileString(options, "mysqld", "datadir", "\"" + serverDir() + "data\"") &&
      platform::writeProfileString(options, "mysqld", "port", main_.control("ed_port").text());
  if (!written) showMessage(options + "  文件无法写入，服务未启动");
  return written;
}

void TServiceControl::StartAction() {
  if (app_.ServiceInstalled && QueryServiceState() == platform::kServiceRunning) {
    line("服务已经安装并且启动!");
    return;
  }
  if (!platform::folderExists(serverDir() + "data")) {
    showMessage(serverDir() + "data  目录不存在，请重新安装一次本软件");
    return;
  }
  if (!platform::fileExists(serverDir() + "my.ini")) {
    showMessage(serverDir() + "my.ini  文件不存在，请重新安装一次本软件");
    return;
  }
  status("准备安装服务...");
  // A server started with half its options would not be the one shown.
  if (!writeServerOptions()) return;

  if (!app_.CmdRun) {
    if (!app_.ServiceInstalled) installService();
    if (QueryServiceState() > platform::kServiceNotInstalled) {
      status("准备启动服务...");
      if (StartServiceByName()) {
        // Up means answering on its port; a server seen running that then
        // ends (its port taken, a bad option) has failed, nothing to wait for.
        bool up = false, seenRunning = false;
        for (int check = 0; check < 70; ++check) {
          const bool running = QueryServiceState() == platform::kServiceRunning;
          if (running && serverAnswers()) {
            up = true;
            break;
          }
          if (seenRunning && !running) break;
          seenRunning = seenRunning || running;
          pause(1000);
        }
        line(up ? "服务启动成功！" : "服务启动失败！");
      }
    }
    RefreshServiceStatus();
  }
  if (!app_.CmdRun && !app_.ServiceRunning) {
    line("服务未启动,转成命令行启动...");
    app_.CmdRun = true;
  }
  if (app_.CmdRun) {
    line("命令行启动服务！");
    if (!serverProcessRuns()) {
      std::string output;
      console_.RunCapturedNoWait("启动服务", ConsoleCommand(), serverProgram(), errorLog(),
                                 &output);
    }
    pause(1000);
    // A moment is not enough for a server to answer; it gets as long as a
    // service would, while its process lives.
    bool up = serverProcessRuns() && serverAnswers();
    for (int check = 1; !up && check < 70 && serverProcessRuns(); ++check) {
      pause(1000);
      up = serverProcessRuns() && serverAnswers();
    }
    const bool runs = serverProcessRuns();
    app_.ServiceInstalled = runs;
    app_.ServiceRunning = runs;
    line(up ? "服务启动成功！" : "服务启动失败！");
    ShowServiceFlags();
  }
  // A removal that was followed by a new start is over.
  ui::Control& remove = main_.control("sp_del");
  if (app_.ServiceRunning && remove.tag == -1) remove.tag = 1;
}

void TServiceControl::StopAction() {
  main_.findTimer("Timer_checkodbc")->enabled = true;
  loadCredentials();
  if (app_.BackupRunning) {
    warn("当前正在自动备份数据，请稍后重试！     ");
    return;
  }
  if (app_.CmdRun) {
    RemoveAction();
    return;
  }
  runShutdown("关闭mysql服务");
  for (int check = 0; check < 50 && serverProcessRuns(); ++check) pause(1000);
  StopServiceByName();
  waitWhile(20, 1000, [this] { return QueryServiceState() == platform::kServiceRunning; });
  if (!app_.ServiceInstalled || QueryServiceState() != platform::kServiceRunning) {
    line("服务已经停止!");
  }
  RefreshServiceStatus();
}

void TServiceControl::RemoveAction() {
  ui::Control& remove = main_.control("sp_del");
  if (remove.tag <= 0) {
    warn("请稍等15秒后，才可以停止服务");
    return;
  }
  remove.tag = -1;
  main_.findTimer("Timer_checkodbc")->enabled = false;
  loadCredentials();

  bool removed = false;
  if (app_.CmdRun) {
    runShutdown("取消服务完成");
    waitWhile(50, 100, [this] { return serverProcessRuns(); });
    removed = !serverProcessRuns();
    if (removed) {
      app_.ServiceInstalled = false;
      app_.ServiceRunning = false;
      ShowServiceFlags();
    }
  } else {
    runShutdown("停止MySQL");
    waitWhile(50, 100, [this] { return serverProcessRuns(); });
    StopServiceByName();
    waitWhile(50, 100, [this] { return QueryServiceState() != platform::kServiceStopped; });
    removeService();
    waitWhile(20, 100, [this] { return QueryServiceState() > platform::kServiceNotInstalled; });
    RefreshServiceStatus();
    removed = !app_.ServiceInstalled;
  }
  if (!removed) {
    // Said as it is, and the removal may be tried again.
    line("取消服务失败");
    remove.tag = 1;
    return;
  }
  ui::Control& start = main_.control("sp_start");
  start.visible = true;
  start.enabled = true;
  standardPlaces();
  line("取消服务完成");
}

void TServiceControl::RefreshServiceStatus() {
  const int state = QueryServiceState();
  app_.ServiceInstalled = state > platform::kServiceNotInstalled;
  if (app_.ServiceInstalled) app_.ServiceRunning = state == platform::kServiceRunning;
  show(app_.ServiceInstalled, app_.ServiceRunning, true);
}

void TServiceControl::ShowServiceFlags() {
  show(app_.ServiceInstalled, app_.ServiceRunning, false);
}

void TServiceControl::show(bool installed, bool running, bool enableBackup) {
  ui::Control& field = main_.control("ed_status");
  if (running) {
    field.setText("已启动服务");
    field.color = kGreen;
    field.background = kCream;
    if (enableBackup) main_.findTimer("Timer_backdbEx")->enabled = true;
  } else if (installed) {
    field.setText("未启动服务");
    field.color = kRed;
    field.background = kCream;
  } else {
    field.setText("未安装服务");
    field.color = kBlack;
    field.background = kRed;
  }
  placeButtons(installed, running);
  const std::string options = serverDir() + "my.ini";
  if (platform::fileExists(options)) {
    main_.control("ed_port").setText(platform::readProfileString(options, "mysqld", "port", ""));
  }
}

void TServiceControl::placeButtons(bool installed, bool running) {
  ui::Control& start = main_.control("sp_start");
  ui::Control& stop = main_.control("sp_stop");
  ui::Control& remove = main_.control("sp_del");
  for (ui::Control* button : {&start, &stop, &remove}) {
    button->visible = true;
    button->enabled = true;
  }
  if (running) {
    start.visible = start.enabled = false;
    stop.bounds.left = kServiceButtonPlaces[0];
    remove.bounds.left = kServiceButtonPlaces[1];
  } else if (installed) {
    standardPlaces();
  } else {
    stop.visible = stop.enabled = false;
    remove.visible = remove.enabled = false;
    start.bounds.left = kServiceButtonPlaces[0];
  }
}

void TServiceControl::standardPlaces() {
  main_.control("sp_start").bounds.left = kServiceButtonPlaces[0];
  main_.control("sp_stop").bounds.left = kServiceButtonPlaces[1];
  main_.control("sp_del").bounds.left = kServiceButtonPlaces[2];
}

}  // namespace launcher
