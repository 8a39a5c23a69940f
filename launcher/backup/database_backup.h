// One backup of the shop database: the dump tool's output goes into the dump
// file and, deflated while it comes, into the archive beside it, with the
// description file. Only a dump the tool finished (exit status 0, its
// completion line at the end) is kept, packed, recorded and uploaded; a
// backup never starts without room for it. Window thread only; the window
// keeps painting and shows the progress while the dump runs.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/core/app.h"
#include "launcher/ui/forms.h"

namespace launcher {

// `count` characters from the digits and the capital letters A to Z.
std::string RandomCode(int count);

// The text of the description file (readme.txt) as it is written: six lines
// ended by CR LF, and an empty line.
std::string BackupDescription(const std::string& comName, const std::string& installationId,
                              const std::string& bossMobile, const std::string& branchCode,
                              const std::string& branchName, const std::string& address);

// The dump tool's arguments for one database, as backups and restores run it
// (the password goes through the environment).
std::vector<std::string> DumpArguments(const std::string& tool, const std::string& host,
                                       const std::string& user, int port,
                                       const std::string& database);

// The end of a dump as it passes by, where the dump tool's last line, its
// completion mark, stands; a dump without it was cut short.
class DumpTail {
 public:
  void Add(std::string_view bytes);
  bool Complete() const;

 private:
  std::string tail_;
};

// Runs the dump tool into `path`: written under path + ".part" and renamed
// once the dump is complete (exit status 0, its completion line at the end),
// so that nothing else ever stands under that name. `onChunk` sees the bytes
// as they come, `onProgress` the count about once a second; the window keeps
// painting meanwhile, and a closing launcher stops the tool. Empty on
// success, otherwise the reason.
std::string RunDumpTool(App& app, const std::vector<std::string>& argv, const std::string& password,
                        const std::string& path,
                        const std::function<void(std::string_view)>& onChunk,
                        const std::function<void(long long)>& onProgress);

class TDatabaseBackup {
 public:
  // `addStatus` writes a status block into the main window.
  TDatabaseBackup(App& app, ui::Form& main, std::function<void(const std::string&)> addStatus,
                  std::function<void(const std::string&)> uploadArchive);

  // 1 when a backup was made and recorded, -1 otherwise (every failure is
  // reported in a status block, and for a manual backup in a warning box).
  int BackupDatabase(bool manual);

  // The folder of this month's backups under `root`, created: the root, or
  // the data root's and then the system root's "backup/" when the root is
  // empty or cannot be made; then "yyyymm/".
  std::string ResolveBackupFolder(const std::string& root);
  // BossMobile and BranchAddress from the branch's row of subcom.
  void LoadBranchContact();
  // Removes what a backup that was cut off (a launcher killed mid-dump) left
  // in `folder`: its dump's ".part" file and libzip's temporary archive
  // ("<archive>.XXXXXX"), once unchanged for kLeftoverAge; a backup running
  // now writes its own all the time. Each removal is a line in the daily log.
  void RemoveInterruptedFiles(const std::string& folder);
  static constexpr std::chrono::minutes kLeftoverAge{10};

 private:
  struct Dump;
  bool enoughRoom(const std::string& folder, bool manual);
  bool runDump(const std::string& path, Dump& dump);
  void fail(const std::string& reason, bool manual);
  void record(const std::string& dumpPath, const std::string& time);
  void progress(long long written, long long expected);

  App& app_;
  ui::Form& main_;
  std::function<void(const std::string&)> addStatus_;
  std::function<void(const std::string&)> uploadArchive_;
};

}  // namespace launcher
