// The two service managers. The supervisor keeps "<name>.service" (the log
// file and the command, one field a line) and "<name>.pid" in its folder;
// systemd gets a unit file whose command is quoted for its parser.
#include "platform/service.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/system_info.h"

namespace platform {
namespace {

bool plainName(const std::string& name) {
  if (name.empty() || name.size() > 200 || name.front() == '.') return false;
  for (unsigned char c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '-' || c == '@' ||
                         c == ':';
    if (!allowed) return false;
  }
  return true;
}

bool fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

// A record cannot carry a line break in a field, nor systemd a command.
bool singleLines(const ServiceProgram& program) {
  if (program.command.empty() || program.logFile.find('\n') != std::string::npos) return false;
  for (const std::string& arg : program.command)
    if (arg.find('\n') != std::string::npos || arg.find('\0') != std::string::npos) return false;
  return true;
}

std::string readWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// What both managers ask before they record a service in `record`.
bool installable(const std::string& name, const ServiceProgram& program, const std::string& record,
                 std::string* error) {
  if (!plainName(name)) return fail(error, "not a service name: " + name);
  if (!singleLines(program)) return fail(error, "a service command is one line of text");
  if (fileExists(record)) return fail(error, "service " + name + " exists already");
  return true;
}

std::string withSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

class SupervisorManager final : public ServiceManager {
 public:
  SupervisorManager(std::string folder, Processes& processes)
      : folder_(withSlash(std::move(folder))), processes_(processes) {}

  bool install(const std::string& name, const ServiceProgram& program,
               std::string* error) override {
    if (!installable(name, program, recordPath(name), error)) return false;
    if (!createFolders(folder_)) return fail(error, folder_ + ": " + std::strerror(errno));
    std::string record = "log=" + program.logFile + "\n";
    for (const std::string& arg : program.command) record += "arg=" + arg + "\n";
    const std::string problem = replaceFileAtomically(recordPath(name), record, 0600);
    return problem.empty() || fail(error, problem);
  }

  bool start(const std::string& name, std::string* error) override {
    if (!plainName(name)) return fail(error, "not a service name: " + name);
    const std::optional<ServiceProgram> program = load(name);
    if (!program) return fail(error, "service " + name + " is not installed");
    if (runningPid(name, *program) > 0) return fail(error, "service " + name + " runs already");
    const int pid = processes_.startDaemon(program->command, {}, program->logFile, error);
    if (pid <= 0) return false;
    const std::string problem =
        replaceFileAtomically(pidPath(name), std::to_string(pid) + "\n", 0600);
    if (problem.empty()) {
      // A process shows its command line a moment after it starts; until
      // then it would pass for stopped.
      for (int i = 0; i < 100 && runningPid(name, *program) <= 0 && alive(pid); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      return true;
    }
    // Untracked it could never be stopped from here: better not run at all.
    kill(pid, SIGTERM);
    return fail(error, problem);
  }

  bool stop(const std::string& name, std::string* error) override {
    if (!plainName(name)) return fail(error, "not a service name: " + name);
    const std::optional<ServiceProgram> program = load(name);
    const int pid = program ? runningPid(name, *program) : 0;
    if (pid <= 0) return fail(error, "service " + name + " does not run");
    if (kill(pid, SIGTERM) != 0) return fail(error, std::string("kill: ") + std::strerror(errno));
    return true;
  }

  int state(const std::string& name) override {
    if (!plainName(name)) return kServiceNotInstalled;
    const std::optional<ServiceProgram> program = load(name);
    if (!program) return kServiceNotInstalled;
    return runningPid(name, *program) > 0 ? kServiceRunning : kServiceStopped;
  }

  bool remove(const std::string& name, std::string* error) override {
    if (!plainName(name)) return fail(error, "not a service name: " + name);
    const std::optional<ServiceProgram> program = load(name);
    if (!program) return fail(error, "service " + name + " is not installed");
    if (runningPid(name, *program) > 0) return fail(error, "service " + name + " still runs");
    if (unlink(recordPath(name).c_str()) != 0)
      return fail(error, recordPath(name) + ": " + std::strerror(errno));
    unlink(pidPath(name).c_str());
    return true;
  }

 private:
  std::string recordPath(const std::string& name) const { return folder_ + name + ".service"; }
  std::string pidPath(const std::string& name) const { return folder_ + name + ".pid"; }

  std::optional<ServiceProgram> load(const std::string& name) const {
    std::ifstream file(recordPath(name), std::ios::binary);
    if (!file) return std::nullopt;
    ServiceProgram program;
    for (std::string line; std::getline(file, line);) {
      if (line.starts_with("log=")) program.logFile = line.substr(4);
      if (line.starts_with("arg=")) program.command.push_back(line.substr(4));
    }
    if (program.command.empty()) return std::nullopt;
    return program;
  }

  bool alive(int pid) {
    for (const ProcessEntry& process : processes_.snapshot())
      if (process.pid == pid) return true;
    return false;
  }

  // The id of the pid file when that process lives and runs the command.
  int runningPid(const std::string& name, const ServiceProgram& program) {
    const int pid = std::atoi(readWhole(pidPath(name)).c_str());
    if (pid <= 0) return 0;
    for (const ProcessEntry& process : processes_.snapshot())
      if (process.pid == pid) return process.arguments == program.command ? pid : 0;
    return 0;
  }

  std::string folder_;
  Processes& processes_;
};

// One argument of ExecStart: in double quotes, with systemd's escapes and
// its specifier and variable signs doubled.
std::string unitQuoted(const std::string& arg) {
  std::string quoted = "\"";
  for (char c : arg) {
    if (c == '\\' || c == '"') quoted += '\\';
    if (c == '%' || c == '$') quoted += c;
    quoted += c;
  }
  return quoted + "\"";
}

std::string unitEscaped(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return escaped;
}

class SystemdManager final : public ServiceManager {
 public:
  SystemdManager(std::string folder, Processes& processes)
      : folder_(withSlash(std::move(folder))), processes_(processes) {}

  bool install(const std::string& name, const ServiceProgram& program,
               std::string* error) override {
    if (!installable(name, program, unitPath(name), error)) return false;
    std::string command;
    for (const std::string& arg : program.command)
      command += (command.empty() ? "" : " ") + unitQuoted(arg);
    const std::string unit =
        "[Unit]\n"
        "Description=" +
        unitEscaped(name) +
        " database server\n"
        "After=network.target\n"
        "\n"
        "[Service]\n"
        "Type=simple\n"
        "ExecStart=" +
        command +
        "\n"
        "StandardOutput=append:" +
        unitEscaped(program.logFile) +
        "\n"
        "StandardError=append:" +
        unitEscaped(program.logFile) +
        "\n"
        "Restart=on-failure\n"
        "TimeoutStopSec=120\n"
        "\n"
        "[Install]\n"
        "WantedBy=multi-user.target\n";
    const std::string problem = replaceFileAtomically(unitPath(name), unit, 0644);
    if (!problem.empty()) return fail(error, problem);
    if (systemctl({"daemon-reload"}, error) && systemctl({"enable", unitName(name)}, error)) {
      return true;
    }
    unlink(unitPath(name).c_str());
    systemctl({"daemon-reload"}, nullptr);
    return false;
  }

  bool start(const std::string& name, std::string* error) override {
    if (state(name) == kServiceNotInstalled)
      return fail(error, "service " + name + " is not installed");
    return systemctl({"start", "--no-block", unitName(name)}, error);
  }

  bool stop(const std::string& name, std::string* error) override {
    if (state(name) != kServiceRunning) return fail(error, "service " + name + " does not run");
    return systemctl({"stop", "--no-block", unitName(name)}, error);
  }

  int state(const std::string& name) override {
    if (!plainName(name) || !fileExists(unitPath(name))) return kServiceNotInstalled;
    std::string output;
    run({"is-active", unitName(name)}, &output);
    return output.starts_with("active") ? kServiceRunning : kServiceStopped;
  }

  bool remove(const std::string& name, std::string* error) override {
    const int now = state(name);
    if (now == kServiceNotInstalled) return fail(error, "service " + name + " is not installed");
    if (now == kServiceRunning) return fail(error, "service " + name + " still runs");
    if (!systemctl({"disable", unitName(name)}, error)) return false;
    if (unlink(unitPath(name).c_str()) != 0)
      return fail(error, unitPath(name) + ": " + std::strerror(errno));
    return systemctl({"daemon-reload"}, error);
  }

 private:
  static std::string unitName(const std::string& name) { return name + ".service"; }
  std::string unitPath(const std::string& name) const { return folder_ + unitName(name); }

  // systemctl's exit code, -1 when it cannot be run; its output in *output.
  int run(const std::vector<std::string>& args, std::string* output) {
    std::vector<std::string> argv = {"systemctl"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string error;
    std::unique_ptr<CapturedChild> child = processes_.startCaptured(argv, {}, &error);
    if (!child) {
      *output = error;
      return -1;
    }
    while (child->read(output, std::chrono::milliseconds(1000))) {
    }
    return child->wait();
  }

  bool systemctl(const std::vector<std::string>& args, std::string* error) {
    std::string output;
    const int code = run(args, &output);
    if (code == 0) return true;
    std::string command = "systemctl";
    for (const std::string& arg : args) command += " " + arg;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return fail(error, command + " failed (" + std::to_string(code) + ")" +
                           (output.empty() ? "" : ": " + output));
  }

  std::string folder_;
  Processes& processes_;
};

}  // namespace

std::unique_ptr<ServiceManager> ServiceManager::Supervisor(const std::string& stateFolder,
                                                           Processes& processes) {
  return std::make_unique<SupervisorManager>(stateFolder, processes);
}

std::unique_ptr<ServiceManager> ServiceManager::Systemd(const std::string& unitFolder,
                                                        Processes& processes) {
  return std::make_unique<SystemdManager>(unitFolder, processes);
}

std::string systemdUnitFolder() {
  const char* configured = std::getenv("NORVEX_SYSTEMD_UNIT_DIR");
  return withSlash(configured != nullptr && *configured != '\0' ? configured
                                                                : "/etc/systemd/system/");
}

}  // namespace platform
