#include "launcher/online/ftp_library.h"

#include <dlfcn.h>

#include <mutex>

#include "platform/paths.h"

namespace launcher {
namespace {

using Connect = int (*)(const char*, const char*, const char*, const char*, const char*);
using DisConnect = void (*)();
using ChangeDir = int (*)(const char*);
using Transfer = int (*)(const char*, const char*, int);

std::mutex& runs() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

TLibNxFtpDll::TLibNxFtpDll(const std::string& appDir)
    : run_(runs()),
      library_(dlopen(platform::joinPath(appDir, "sysdll/NxFtpContrlVc.so").c_str(),
                      RTLD_NOW | RTLD_LOCAL)) {}

TLibNxFtpDll::~TLibNxFtpDll() {
  if (library_ != nullptr) dlclose(library_);
}

void* TLibNxFtpDll::function(const char* name) const {
  return library_ != nullptr ? dlsym(library_, name) : nullptr;
}

int TLibNxFtpDll::of_Connect() {
  const auto call = reinterpret_cast<Connect>(function("of_Connect"));
  return call != nullptr
             ? call(host.c_str(), port.c_str(), user.c_str(), password.c_str(), logFolder.c_str())
             : kNoLibrary;
}

void TLibNxFtpDll::of_DisConnect() {
  if (const auto call = reinterpret_cast<DisConnect>(function("of_DisConnect"))) call();
}

int TLibNxFtpDll::of_ChangeDir(const std::string& folder) {
  const auto call = reinterpret_cast<ChangeDir>(function("of_ChangeDir"));
  return call != nullptr ? call(folder.c_str()) : kNoLibrary;
}

int TLibNxFtpDll::of_UpFile(const std::string& remoteName, const std::string& localPath, int mode) {
  const auto call = reinterpret_cast<Transfer>(function("of_UpFile"));
  return call != nullptr ? call(remoteName.c_str(), localPath.c_str(), mode) : kNoLibrary;
}

int TLibNxFtpDll::of_DownLoadFile(const std::string& remoteName, const std::string& localPath,
                                  int mode) {
  const auto call = reinterpret_cast<Transfer>(function("of_DownLoadFile"));
  return call != nullptr ? call(remoteName.c_str(), localPath.c_str(), mode) : kNoLibrary;
}

}  // namespace launcher
