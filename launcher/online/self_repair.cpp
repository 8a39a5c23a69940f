#include "launcher/online/self_repair.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "launcher/core/daily_log.h"
#include "launcher/online/ftp_library.h"
#include "launcher/support/error.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/system_info.h"

namespace launcher {
namespace {

// The whole file, or nullopt when it cannot be read.
std::optional<std::string> readWhole(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  const bool good = std::ferror(file) == 0;
  std::fclose(file);
  if (!good) return std::nullopt;
  return bytes;
}

}  // namespace

TSelfRepair::TSelfRepair(App& app, std::function<void(const std::string&)> addStatus,
                         std::function<void()> done)
    : app_(app), addStatus_(std::move(addStatus)), done_(std::move(done)) {}

void TSelfRepair::log(const std::string& text) {
  try {
    WriteDailyLog(app_.AppDir, text);
  } catch (const LauncherError&) {
    // Without a Log folder the line has nowhere to go.
  }
}

bool TSelfRepair::copy(const std::string& from, const std::string& to) {
  const std::optional<std::string> bytes = readWhole(from);
  const std::string error =
      bytes ? platform::replaceFileAtomically(to, *bytes) : from + " 不能读取";
  if (error.empty()) return true;
  log("复制修复文件" + to + "失败，失败原因：" + error);
  return false;
}

void TSelfRepair::SelfRepair() {
  const std::string cashierFolder = ClientFolder(app_.AppDir, app_.Exe.path);
  const std::string stockFolder = ClientFolder(app_.AppDir, app_.Jxc.path);
  const bool stockConfigured = !Trim(app_.Jxc.runexe).empty();
  try {
    platform::createFolders(cashierFolder);
    if (stockConfigured) platform::createFolders(stockFolder);
    repair(cashierFolder + kCoreFileName, stockFolder + kCoreFileName, stockConfigured);
  } catch (const std::exception& error) {
    log(std::string("系统自我修复失败，失败原因：") + error.what());
  }
  done_();
}

void TSelfRepair::repair(const std::string& cashierCopy, const std::string& stockCopy,
                         bool stockConfigured) {
  const bool cashierPresent = platform::fileExists(cashierCopy);
  const std::string stockFolder =
      stockCopy.substr(0, stockCopy.size() - std::strlen(kCoreFileName));
  const bool stockPresent =
      (stockConfigured || platform::folderExists(stockFolder)) && platform::fileExists(stockCopy);
  if (cashierPresent && !stockPresent && stockConfigured) {
    copy(cashierCopy, stockCopy);
  } else if (!cashierPresent && stockPresent) {
    copy(stockCopy, cashierCopy);
  } else if (!cashierPresent) {
    download(cashierCopy, stockCopy, stockConfigured);
  }
}

void TSelfRepair::download(const std::string& cashierCopy, const std::string& stockCopy,
                           bool stockConfigured) {
  addStatus_(std::string("由于杀毒软件或病毒将系统中的重要文件删除，") + "导致系统无法正常运行。" +
             "系统启动自我修复功能");
  addStatus_(std::string("正在下载修复文件") + kCoreFileName + "，请稍后...");
  TLibNxFtpDll ftp(app_.AppDir);
  ftp.host = app_.BackupFtpHost;
  ftp.port = "21";
  ftp.user = "anonymous";
  ftp.password = "kite.exe";
  ftp.logFolder = platform::joinPath(app_.AppDir, "Log");
  const int connected = ftp.of_Connect();
  if (connected != 1) {
    log(std::string("FTP下载PB核心文件时，连接FTP失败，") + "失败提示号：" +
        std::to_string(connected));
    ftp.of_DisConnect();
    return;
  }
  ftp.of_ChangeDir("softdown");
  // Fetched beside its place, so that a failed download leaves nothing
  // that a client would load.
  const std::string part = cashierCopy + ".part";
  const int result = ftp.of_DownLoadFile(kCoreFileName, part, 1);
  std::error_code error;
  const auto size = std::filesystem::file_size(part, error);
  std::string reason;
  if (result != 1) {
    reason = "错误代码:" + std::to_string(result);
  } else if (error || size == 0) {
    reason = "下载的文件为空";
  } else if (std::rename(part.c_str(), cashierCopy.c_str()) != 0) {
    reason = cashierCopy + " 不能写入";
  }
  ftp.of_DisConnect();
  if (!reason.empty()) {
    std::filesystem::remove(part, error);
    log(std::string("FTP下载PB核心文件时失败，") + "失败原因：" + reason);
    return;
  }
  addStatus_(std::string("修复文件") + kCoreFileName + "下载完毕");
  if (stockConfigured && !copy(cashierCopy, stockCopy)) return;
  addStatus_("系统自我修复完毕" + cashierCopy);
}

}  // namespace launcher
