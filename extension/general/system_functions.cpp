// File names arrive in the client's spelling: Windows drive roots and '\'
// are mapped to this machine's folders (a Linux path passes unchanged).
// Programs are started as nobody's child of the host process, so the library
// leaves nothing behind that waits for them.
#include "extension/general/system_functions.h"

#include <fcntl.h>
#include <glob.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "platform/accounts.h"
#include "platform/desktop_windows.h"
#include "platform/gbk.h"
#include "platform/gbk_text.h"
#include "platform/modules.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/system_info.h"

namespace nx {
namespace {

const std::string kLineBreak = "\r\n";

// The platform's value read into a buffer of `size` bytes, its NUL included.
std::string fitted(std::string value, std::size_t size) {
  if (value.size() >= size) value.resize(size - 1);
  return value;
}

// Windows knows only '*' and '?' as wildcards; '[' is an ordinary character.
std::string globPattern(const std::string& name) {
  std::string pattern;
  for (const char c : name) pattern += c == '[' ? std::string("[[]") : std::string(1, c);
  return pattern;
}

bool anyFileMatches(const std::string& name) {
  glob_t found{};
  const bool any =
      glob(globPattern(name).c_str(), GLOB_NOSORT | GLOB_NOESCAPE, nullptr, &found) == 0 &&
      found.gl_pathc > 0;
  globfree(&found);
  return any;
}

// The part of a process's executable path that names its program: the kernel
// marks a file replaced since the start " (deleted)", yet that program runs.
std::string_view programOf(std::string_view executable) {
  constexpr std::string_view kDeleted = " (deleted)";
  if (executable.ends_with(kDeleted)) executable.remove_suffix(kDeleted.size());
  return executable;
}

// PAM and the account database speak UTF-8; the client's texts are GBK.
std::string utf8(const std::string& gbk) { return platform::gbkToUtf8(gbk).value_or(gbk); }

}  // namespace

pbint hostProcessId(long pid) { return static_cast<pbint>(pid > 32767 ? 32767 : pid); }

void gf_dispdatabytext(const Call& call) {
  const std::optional<std::string> text = call.text(0);
  if (!text) {
    call.returnInt(0);
    return;
  }
  if (std::FILE* file = std::fopen("temp.txt", "wb")) {
    std::fwrite(text->data(), 1, text->size(), file);
    std::fclose(file);
  }
  platform::startOrphan({platform::openCommand(), "temp.txt"}, std::string(), nullptr, nullptr);
}

void gf_writefile(const Call& call) {
  const std::optional<std::string> name = call.text(0);
  const std::optional<std::string> text = call.text(1);
  if (!name) return call.returnInt(-1);
  if (!text) return call.returnInt(-2);
  const bool append = call.boolean(2).value_or(false);
  std::FILE* file = std::fopen(platform::fromWindowsPath(*name).c_str(), append ? "ab" : "wb");
  if (file == nullptr) return call.returnInt(-1);
  const bool written = std::fwrite(text->data(), 1, text->size(), file) == text->size();
  const bool closed = std::fclose(file) == 0;
  call.returnInt(written && closed ? 1 : -1);
}

// Each block of 2048 bytes counts up to its first NUL byte.
void gf_readfiletostring(const Call& call) {
  const std::optional<std::string> name = call.text(0);
  std::string content;
  if (name) {
    if (std::FILE* file = std::fopen(platform::fromWindowsPath(*name).c_str(), "rb")) {
      char block[2048];
      for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) {
        const std::string_view read(block, n);
        content.append(read.substr(0, read.find('\0')));
      }
      std::fclose(file);
    }
  }
  call.returnText(content);
}

// A name with wildcards that matches nothing creates nothing: no file can be
// called that on Windows.
void gf_createfile(const Call& call) {
  const std::optional<std::string> name = call.text(0);
  if (!name) return call.returnInt(-1);
  const std::string path = platform::fromWindowsPath(*name);
  if (!anyFileMatches(path) && path.find_first_of("*?") == std::string::npos) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) close(fd);
  }
  call.returnInt(1);
}

// Only a process that may switch users starts a program as another account,
// and only after PAM accepted the password; otherwise nothing happens.
void gf_RunAs(const Call& call) {
  const std::optional<std::string> user = call.text(0);
  const std::optional<std::string> password = call.text(1);
  const std::optional<std::string> program = call.text(2);
  if (!user || !password || !program || !platform::maySwitchUsers()) return;
  const std::optional<platform::Account> account = platform::lookUpAccount(utf8(*user));
  if (!account ||
      platform::authenticate(account->name, utf8(*password)) != platform::Authentication::Accepted)
    return;
  platform::startOrphan({platform::fromWindowsPath(*program)}, std::string(), &*account, nullptr);
}

void GetUserName(const Call& call) { call.returnText(fitted(platform::effectiveUserName(), 256)); }

void FindWindow(const Call& call) {
  const std::optional<std::string> className = call.text(0);
  const std::optional<std::string> title = call.text(1);
  call.returnUlong(static_cast<pbulong>(platform::findTopLevelWindow(
      className ? std::optional<std::string_view>(*className) : std::nullopt,
      title ? std::optional<std::string_view>(*title) : std::nullopt)));
}

// The folders of the machine's configuration and of its shared libraries.
void GetWindowsDirectory(const Call& call) { call.returnText("/etc"); }
void GetSystemDirectory(const Call& call) { call.returnText("/usr/lib"); }

void GetComputerName(const Call& call) { call.returnText(fitted(platform::computerName(), 16)); }

void GetModuleHandle(const Call& call) {
  const std::optional<std::string> name = call.text(0);
  call.returnUlong(
      platform::moduleHandle(name ? std::optional<std::string_view>(*name) : std::nullopt));
}

void gf_getselfprintlist(const Call& call) {
  const std::optional<std::string> list = call.text(0);
  if (!list) return call.returnText("");
  if (list->empty()) return call.returnText(*list + kLineBreak + "长度为0");
  const std::string marker = "会话 " + std::to_string(getpid()) + " ";
  std::size_t at = list->find(marker);
  if (at == std::string::npos) return call.returnText(*list);
  std::string result;
  while (at != std::string::npos) {
    const std::size_t end = list->find(kLineBreak, at);
    if (!result.empty()) result += kLineBreak;
    result += list->substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (end == std::string::npos) break;
    at = list->find(marker, end + kLineBreak.size());
  }
  call.returnText(result);
}

void gf_GetSessionID(const Call& call) { call.returnInt(hostProcessId(getpid())); }

void gf_is_running(const Call& call) {
  const std::optional<std::string> text = call.text(0);
  if (!text) return call.returnInt(-1);
  const std::string wanted = platform::fromWindowsPath(std::string_view(*text).substr(0, 259));
  for (const platform::ProcessEntry& process : platform::Processes::Default().snapshot()) {
    const std::string_view path = programOf(process.executable);
    if (path.empty()) continue;  // a process we may not look into
    const std::string_view file = path.substr(path.rfind('/') + 1);
    if (platform::equalsIgnoreCase(path, wanted) || platform::equalsIgnoreCase(file, wanted))
      return call.returnInt(hostProcessId(process.pid));
  }
  call.returnInt(0);
}

// The text names the program file itself, as an application name does: a
// bare name is looked for in the current folder, not in PATH.
void gf_run_process(const Call& call) {
  const std::optional<std::string> text = call.text(0);
  if (!text) return call.returnInt(-1);
  std::string program = platform::fromWindowsPath(*text);
  const std::size_t slash = program.rfind('/');
  if (slash == std::string::npos) program = "./" + program;
  const std::string folder = program.substr(0, program.rfind('/') + 1);
  const int pid = platform::startOrphan({program}, folder, nullptr, nullptr);
  call.returnInt(pid > 0 ? 1 : -1);
}

}  // namespace nx
