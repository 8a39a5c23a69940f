// The machine's service manager as the launcher uses it for its database
// server: install a service under a name with the program it runs, start
// it, send it the stop control, ask its state, remove it. Two backends:
//   - the built-in supervisor: a record per service in a state folder; the
//     program runs as a daemon (nobody's child, a session of its own) with
//     its output appended to the service's log and its id in a pid file;
//     it keeps running when the launcher exits;
//   - systemd: a unit file per service, everything else through systemctl.
// Calls for one service come from one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/process.h"

namespace platform {

// The states of the service control the launcher was written against.
inline constexpr int kServiceNotInstalled = 0;
inline constexpr int kServiceStopped = 1;
inline constexpr int kServiceRunning = 4;

struct ServiceProgram {
  std::vector<std::string> command;  // the program (an absolute path) and its arguments
  std::string logFile;               // where its standard output and error go
};

class ServiceManager {
 public:
  ServiceManager() = default;
  ServiceManager(const ServiceManager&) = delete;
  ServiceManager& operator=(const ServiceManager&) = delete;
  virtual ~ServiceManager() = default;

  // Installs the service. False with the reason in *error when the name is
  // not a plain name (letters, digits and "_.-@:"), the service exists
  // already, or the record cannot be written.
  virtual bool install(const std::string& name, const ServiceProgram& program,
                       std::string* error) = 0;
  // Asks the installed service to start and returns without waiting. False
  // when it is not installed, already runs, or cannot be started.
  virtual bool start(const std::string& name, std::string* error) = 0;
  // Sends the stop control (a clean shutdown) and returns without waiting.
  // False when the service does not run.
  virtual bool stop(const std::string& name, std::string* error) = 0;
  // kServiceNotInstalled, kServiceStopped or kServiceRunning.
  virtual int state(const std::string& name) = 0;
  // Removes a service that does not run. False when it is not installed,
  // still runs, or its record cannot be removed.
  virtual bool remove(const std::string& name, std::string* error) = 0;

  // The supervisor with its records in `stateFolder` (created on install).
  // Running means: the process of the pid file is alive and runs the
  // recorded command, so a stale pid file never counts.
  static std::unique_ptr<ServiceManager> Supervisor(const std::string& stateFolder,
                                                    Processes& processes = Processes::Default());
  // systemd: unit files in `unitFolder`, systemctl found on the PATH.
  static std::unique_ptr<ServiceManager> Systemd(const std::string& unitFolder,
                                                 Processes& processes = Processes::Default());
};

// $NORVEX_SYSTEMD_UNIT_DIR, or /etc/systemd/system/; ends with '/'.
std::string systemdUnitFolder();

// Forwards every call; a test overrides what it watches or replaces.
class ServiceManagerWrapper : public ServiceManager {
 public:
  explicit ServiceManagerWrapper(ServiceManager& target) : target_(target) {}
  bool install(const std::string& name, const ServiceProgram& program,
               std::string* error) override {
    return target_.install(name, program, error);
  }
  bool start(const std::string& name, std::string* error) override {
    return target_.start(name, error);
  }
  bool stop(const std::string& name, std::string* error) override {
    return target_.stop(name, error);
  }
  int state(const std::string& name) override { return target_.state(name); }
  bool remove(const std::string& name, std::string* error) override {
    return target_.remove(name, error);
  }

 private:
  ServiceManager& target_;
};

}  // namespace platform
