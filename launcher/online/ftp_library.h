// TLibNxFtpDll: the FTP control library sysdll/NxFtpContrlVc.so of the
// application folder, loaded once per upload or repair run. Each operation
// looks its function up at the call; without the library (or the function)
// connect, change folder and upload answer kNoLibrary, and disconnect and
// download do nothing. The library keeps one connection for the process, so
// a second instance waits until the first is gone.
#pragma once

#include <mutex>
#include <string>

namespace launcher {

class TLibNxFtpDll {
 public:
  // A result that is not 1: the library or its function is missing.
  static constexpr int kNoLibrary = -1;

  explicit TLibNxFtpDll(const std::string& appDir);
  ~TLibNxFtpDll();
  TLibNxFtpDll(const TLibNxFtpDll&) = delete;
  TLibNxFtpDll& operator=(const TLibNxFtpDll&) = delete;

  bool Loaded() const { return library_ != nullptr; }

  // What of_Connect logs in with.
  std::string host;
  std::string port = "21";
  std::string user;
  std::string password;
  std::string logFolder;

  // 1 on success, else the library's error code.
  int of_Connect();
  void of_DisConnect();
  int of_ChangeDir(const std::string& folder);
  int of_UpFile(const std::string& remoteName, const std::string& localPath, int mode);
  // The library's result, kNoLibrary without one.
  int of_DownLoadFile(const std::string& remoteName, const std::string& localPath, int mode);

 private:
  void* function(const char* name) const;

  std::unique_lock<std::mutex> run_;
  void* library_ = nullptr;
};

}  // namespace launcher
