// The backup's steps: names and folders, the room check, the dump streamed
// into its file and its archive at once, the verdict on the dump, and the
// records of a good backup.
#include "launcher/backup/database_backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <regex>

#include "launcher/backup/archive.h"
#include "launcher/core/daily_log.h"
#include "launcher/server/child_programs.h"
#include "launcher/support/connection_helpers.h"
#include "launcher/support/error.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/system_info.h"

namespace launcher {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long long kMiB = 1024 * 1024;
// Room for the dump, its archive and what the server writes meanwhile.
constexpr long long kRoomMargin = 64 * kMiB;

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string bareName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string megabytes(long long bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / kMiB);
  return text;
}

// Creates one level, as the configured root is created.
bool makeFolder(const std::string& folder) {
  if (platform::folderExists(folder)) return true;
  mkdir(folder.c_str(), 0755);
  return platform::folderExists(folder);
}

bool writeAll(int fd, const std::string& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

constexpr std::string_view kDumpCompletedMark = "-- Dump completed";
// Room for the whole completion line with its date.
constexpr std::size_t kTailBytes = 256;

}  // namespace

void DumpTail::Add(std::string_view bytes) {
  if (bytes.size() >= kTailBytes) bytes.remove_prefix(bytes.size() - kTailBytes);
  tail_.append(bytes);
  if (tail_.size() > kTailBytes) tail_.erase(0, tail_.size() - kTailBytes);
}

bool DumpTail::Complete() const { return tail_.find(kDumpCompletedMark) != std::string::npos; }

std::string RandomCode(int count) {
  static const char kCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<int> pick(0, 35);
  std::string code;
  for (int i = 0; i < count; ++i) code += kCharacters[pick(random)];
  return code;
}

std::string BackupDescription(const std::string& comName, const std::string& installationId,
                              const std::string& bossMobile, const std::string& branchCode,
                              const std::string& branchName, const std::string& address) {
  return "公司名称：" + comName + "\r\n" + "硬盘序列号：" + installationId + "\r\n" + "手机号码：" +
         bossMobile + "\r\n" + "分店代码：" + branchCode + "\r\n" + "分店名称：" + branchName +
         "\r\n" + "地址：" + address + "\r\n\r\n";
}

std::vector<std::string> DumpArguments(const std::string& tool, const std::string& host,
                                       const std::string& user, int port,
                                       const std::string& database) {
  std::vector<std::string> argv = {tool, "--no-defaults", "-h" + host};
  if (!user.empty()) argv.push_back("-u" + user);
  argv.push_back("-P" + std::to_string(port));
  // Compressing the protocol pays on a network; to the server on this
  // machine it only costs both ends the processor the archive needs.
  if (host != "127.0.0.1") argv.push_back("-C");
  argv.insert(argv.end(), {"-e", "-f", "-R", "--single-transaction", "--force",
                           "--default-character-set=utf8", "--max_allowed_packet=16777216",
                           "--net_buffer_length=16384", "--", database});
  return argv;
}

std::string RunDumpTool(App& app, const std::vector<std::string>& argv, const std::string& password,
                        const std::string& path,
                        const std::function<void(std::string_view)>& onChunk,
                        const std::function<void(long long)>& onProgress) {
  const std::string partial = path + ".part";
  const int fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
  if (fd < 0) return partial + ": " + std::strerror(errno);
  std::string reason, error;
  DumpTail tail;
  long long written = 0;
  std::unique_ptr<platform::CapturedChild> child =
      app.processes.startReading(argv, {{"MYSQL_PWD", password}}, &error);
  if (!child) {
    reason = error;
  } else {
    Clock::time_point lastShown{};  // the first piece is shown at once
    std::string chunk;
    for (bool more = true; more;) {
      chunk.clear();
      more = child->read(&chunk, std::chrono::milliseconds(100));
      if (!chunk.empty() && reason.empty()) {
        if (!writeAll(fd, chunk)) {
          reason = path + ": " + std::strerror(errno);
          child->terminate();
        } else {
          onChunk(chunk);
          written += static_cast<long long>(chunk.size());
          tail.Add(chunk);
        }
      }
      if (app.Closing && reason.empty()) {
        // Nobody waits for a dump of a launcher that goes.
        reason = "启动器正在关闭，备份已中止";
        child->terminate();
      }
      if (Clock::now() - lastShown >= std::chrono::seconds(1)) {
        lastShown = Clock::now();
        onProgress(written);
      }
      app.desktop.processPendingEvents();
    }
    const int code = child->wait();
    if (reason.empty() && code != 0) {
      const std::string errors = Trim(child->errors());
      reason = "mysqldump 退出代码 " + std::to_string(code) + (errors.empty() ? "" : "：" + errors);
    }
    if (reason.empty() && !tail.Complete()) {
      reason = "备份文件不完整（没有备份完成标记）";
    }
  }
  const bool synced = fsync(fd) == 0;
  close(fd);
  if (reason.empty() && !synced) reason = path + ": " + std::strerror(errno);
  if (reason.empty() && std::rename(partial.c_str(), path.c_str()) != 0) {
    reason = path + ": " + std::strerror(errno);
  }
  // What stood under that name before stays as it was.
  if (!reason.empty()) std::remove(partial.c_str());
  return reason;
}

struct TDatabaseBackup::Dump {
  std::vector<std::string> argv;
  std::string command;  // as shown
  long long expected = 0;
  std::unique_ptr<TArchiveWriter> archive;
  long long written = 0;
  std::string reason;  // why it is no good; empty for a good dump
};

TDatabaseBackup::TDatabaseBackup(App& app, ui::Form& main,
                                 std::function<void(const std::string&)> addStatus,
                                 std::function<void(const std::string&)> uploadArchive)
    : app_(app),
      main_(main),
      addStatus_(std::move(addStatus)),
      uploadArchive_(std::move(uploadArchive)) {}

std::string TDatabaseBackup::ResolveBackupFolder(const std::string& root) {
  std::string folder = platform::fromWindowsPath(root);
  if (folder.empty() || !makeFolder(folder)) {
    folder = platform::fromWindowsPath("d:\\backup\\");
    if (!makeFolder(folder)) {
      folder = platform::fromWindowsPath("c:\\backup\\");
      makeFolder(folder);
    }
  }
  folder += LocalTimeText("%Y%m") + "/";
  makeFolder(folder);
  return folder;
}

void TDatabaseBackup::RemoveInterruptedFiles(const std::string& folder) {
  namespace fs = std::filesystem;
  // libzip writes an archive aside under its name and six letters or digits.
  static const std::regex leftover(R"(.*(\.part|\.zip\.[A-Za-z0-9]{6}))", std::regex::icase);
  const auto cutoff = fs::file_time_type::clock::now() - kLeftoverAge;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file(error) || !std::regex_match(name, leftover)) continue;
    if (entry.last_write_time(error) > cutoff || error) continue;
    if (!fs::remove(entry.path(), error)) continue;
    try {
      WriteDailyLog(app_.AppDir, "删除中断的备份留下的文件：" + entry.path().string());
    } catch (const LauncherError&) {
      // The removal stands without its line.
    }
  }
}

void TDatabaseBackup::LoadBranchContact() {
  const std::string columns = "select bossmobile,comName,linkman,address,phone ";
  std::string statement = columns + "from subcom where subno=" + QuoteText(app_.CurrentBranchCode);
  std::string mobile = QueryValue(app_.sharedConnection, statement, "bossmobile");
  if (mobile.empty()) {
    statement = columns + "from subcom ";
    mobile = QueryValue(app_.sharedConnection, statement, "bossmobile");
  }
  if (mobile.empty()) return;
  app_.BossMobile = mobile;
  app_.BranchAddress = QueryValue(app_.sharedConnection, statement, "address");
}

void TDatabaseBackup::fail(const std::string& reason, bool manual) {
  addStatus_("备份失败:" + reason);
  if (manual) {
    app_.desktop.dialogs().messageBox("提示", "备份失败:" + reason, ui::Icon::Warning,
                                      ui::Buttons::Ok);
  }
}

bool TDatabaseBackup::enoughRoom(const std::string& folder, bool manual) {
  const long long size =
      std::atoll(QueryValue(app_.sharedConnection,
                            "select ifnull(sum(data_length+index_length),0) as size from "
                            "information_schema.tables where table_schema=" +
                                QuoteText(app_.DbName),
                            "size")
                     .c_str());
  struct statvfs fs {};
  if (statvfs(folder.c_str(), &fs) != 0) {
    fail("备份文件夹 " + folder + " 无法使用：" + std::strerror(errno), manual);
    return false;
  }
  const long long free = static_cast<long long>(fs.f_bavail) * static_cast<long long>(fs.f_frsize);
  const long long needed = size + size / 2 + kRoomMargin;
  if (free >= needed) return true;
  fail("备份文件夹 " + folder + " 所在磁盘空间不足，需要 " + megabytes(needed) + "，只剩 " +
           megabytes(free) + "。请清理磁盘后重试",
       manual);
  return false;
}

void TDatabaseBackup::progress(long long written, long long expected) {
  std::string text = "正在备份：已写入 " + megabytes(written);
  if (expected > 0) {
    text += "，约 " + std::to_string(std::min<long long>(99, written * 100 / expected)) + "%";
  }
  main_.control("stat").setText(text);
  app_.desktop.reportProgress("backup", written, expected);
}

bool TDatabaseBackup::runDump(const std::string& path, Dump& dump) {
  TChildConsole console(app_.desktop, main_.control("Memo1"), app_.processes);
  console.ShowCommand("备份数据库", dump.command);
  dump.reason = RunDumpTool(
      app_, dump.argv, app_.DbPassword, path,
      [&dump](std::string_view chunk) {
        dump.archive->Feed(chunk);
        dump.written += static_cast<long long>(chunk.size());
      },
      [this, &dump](long long written) { progress(written, dump.expected); });
  return dump.reason.empty();
}

void TDatabaseBackup::record(const std::string& dumpPath, const std::string& time) {
  const SharedConnection& db = app_.sharedConnection;
  const bool history =
      QueryInt(db,
               "select count(*) as count from information_schema.tables where table_schema=" +
                   QuoteText(app_.DbName) + " and table_name='backdb_his'",
               "count") > 0;
  if (!history) return;
  ExecSQL(db, "insert into backdb_his(backupman,backfileName)  values (" +
                  QuoteText(app_.LoginUser) + "," + QuoteText(dumpPath) + ")");
  SetSysSetting(db, "backup", "lastbackup", time);
}

int TDatabaseBackup::BackupDatabase(bool manual) {
  if (ui::Timer* timer = main_.findTimer("Timer_backdbEx")) timer->interval = 3600000;
  if (app_.BackupRunning.exchange(true)) return -1;
  struct Clear {
    std::atomic<bool>& flag;
    ~Clear() { flag = false; }
  } clear{app_.BackupRunning};

  if (!app_.MysqlDir.empty() && app_.MysqlDir.back() != '/') app_.MysqlDir += '/';
  const std::string serverDir = app_.AbsoluteMysqlDir();
  const std::string tool = serverDir + "bin/mysqldump";
  if (!platform::fileExists(tool)) {
    app_.desktop.dialogs().messageBox(app_.Title, tool + " 备份程序不存在", ui::Icon::None,
                                      ui::Buttons::Ok);
    return -1;
  }
  const std::string folder = ResolveBackupFolder(app_.ReadConfigValue("backup", "backpath", ""));
  RemoveInterruptedFiles(folder);
  LoadBranchContact();
  std::string dumpPath = folder + app_.DbName + LocalTimeText("%Y-%m-%d-%H%M") + "-" +
                         app_.BossMobile + "#" + RandomCode(16) + ".SQL";
  if (manual) {
    const std::optional<std::string> chosen =
        app_.desktop.dialogs().saveFile("*.SQL|*.SQL", folder, bareName(dumpPath));
    if (!chosen) return -1;
    dumpPath = *chosen;
  }
  if (!enoughRoom(folderOf(dumpPath), manual)) return -1;
  addStatus_("备份文件到:" + dumpPath);

  const std::string port = std::to_string(app_.Port);
  Dump dump;
  dump.command = serverDir + "bin/mysqldump" + " -h" + app_.ServerIp + " -u" + app_.DbUser + " -p" +
                 ShownPassword(app_.DbPassword) + " -P" + port + "  " + app_.DbName +
                 " -C -e -f -R -f --single-transaction  --force " +
                 "--default-character-set=utf8  " +
                 " --max_allowed_packet=16777216 --net_buffer_length=16384   > " + dumpPath;
  dump.argv = DumpArguments(tool, app_.ServerIp, app_.DbUser, app_.Port, app_.DbName);
  dump.expected = std::atoll(
      QueryValue(app_.sharedConnection,
                 "select ifnull(sum(data_length),0) as size from information_schema.tables "
                 "where table_schema=" +
                     QuoteText(app_.DbName),
                 "size")
          .c_str());
  const std::string description =
      BackupDescription(app_.ComName, app_.InstallationId, app_.BossMobile, app_.CurrentBranchCode,
                        app_.BranchName.get(), app_.BranchAddress);
  // The archive takes the dump's name with "zip" for its last three characters.
  const std::string archivePath =
      dumpPath.substr(0, dumpPath.size() >= 3 ? dumpPath.size() - 3 : 0) + "zip";
  dump.archive =
      std::make_unique<TArchiveWriter>(archivePath, bareName(dumpPath), "readme.txt", description);
  std::string error;
  if (!dump.archive->Begin(&error)) {
    fail(error, manual);
    return -1;
  }
  const bool good = runDump(dumpPath, dump);
  main_.control("stat").setText("");
  if (!good) {
    dump.archive->Finish(false, &error);
    fail(dump.reason, manual);
    return -1;
  }

  if (dump.written < 20480 && manual) {
    addStatus_("备份文件太小，请检查是否备份正常");
    app_.desktop.dialogs().messageBox("提示", "备份文件太小，请检查是否备份正常", ui::Icon::Warning,
                                      ui::Buttons::Ok);
  }
  WriteTextFile(folder + "readme.txt", description.substr(0, description.size() - 2), false);
  addStatus_("压缩到:" + archivePath);
  if (!dump.archive->Finish(true, &error)) {
    fail(error, manual);
    return -1;
  }
  const std::string time = LocalTimeText("%Y-%m-%d %H:%M");
  app_.LastDate = time;
  app_.WriteConfigValue("backup", "lastdate", time);
  record(dumpPath, time);
  uploadArchive_(archivePath);
  return 1;
}

}  // namespace launcher
