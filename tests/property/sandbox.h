// The run's own corner of the machine. The run is done as root and the
// extension writes files, starts programs, checks passwords and connects to
// databases, so: a fresh folder is the current folder and both drive roots,
// the open command does nothing, PAM finds no rules (and refuses), there is no
// display, and a loopback port is held bound but never listening. The file,
// program and server arguments of those functions come only from here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/value.h"
#include "tests/property/hostile_values.h"

namespace property {

class Sandbox {
 public:
  // Sets the environment, so it must exist before the library is loaded.
  Sandbox();
  // Leaves the folder and removes it with everything in it.
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& folder() const { return folder_; }

  // A relative name inside the folder (no '/', '\', ':', "." or ".."),
  // maybe followed by a NUL and anything, which the extension never sees.
  std::optional<std::string> fileName(HostileValues& values) const;
  // A file of the folder (none is executable), a missing one, or null.
  std::optional<std::string> programName(HostileValues& values) const;
  // Nothing but the empty name, localhost (the socket below, missing) and
  // 127.0.0.1; any other name would be a DNS lookup.
  std::optional<std::string> serverName(HostileValues& values) const;
  // 0 (read as the default port, set to the closed one), the closed port or null.
  host::Value port(HostileValues& values) const;

  // Rewrites or removes the two remote-database files that of_AutoConnect
  // reads; they name only the servers above.
  void writeRemoteConfig(HostileValues& values) const;

  // Removes files above 16 MB (pictures), so that the folder stays small.
  void dropLargeFiles() const;

  // Stops the run when `name` (up to a NUL) is an executable file here.
  void refuseExecutable(const std::string& name) const;
  // Whether a program was ever started: the bait program writes this file.
  bool programRan() const;

 private:
  std::string previousFolder_;
  std::string folder_;
  int portHolder_ = -1;
  std::uint16_t closedPort_ = 0;
};

}  // namespace property
