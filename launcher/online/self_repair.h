// The self-repair of the client programs' core file nxclass_mysql.pbx: a copy
// missing in one client folder comes from the other, and when both are
// missing it is downloaded from the vendor's backup FTP server. A download
// lands under a temporary name and takes the file's place only when the
// library reported success and the file is not empty. Runs on a worker;
// `done` (the launch buttons' message) is sent at the end in every case.
#pragma once

#include <functional>
#include <string>

#include "launcher/core/app.h"

namespace launcher {

inline constexpr char kCoreFileName[] = "nxclass_mysql.pbx";

class TSelfRepair {
 public:
  TSelfRepair(App& app, std::function<void(const std::string&)> addStatus,
              std::function<void()> done);

  void SelfRepair();

 private:
  void repair(const std::string& cashierCopy, const std::string& stockCopy, bool stockConfigured);
  void download(const std::string& cashierCopy, const std::string& stockCopy, bool stockConfigured);
  bool copy(const std::string& from, const std::string& to);
  void log(const std::string& text);

  App& app_;
  std::function<void(const std::string&)> addStatus_;
  std::function<void()> done_;
};

}  // namespace launcher
