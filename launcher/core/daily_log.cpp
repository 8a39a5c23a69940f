#include "launcher/core/daily_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "launcher/support/error.h"
#include "platform/paths.h"

namespace launcher {
std::string LocalTimeText(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, format, &local));
}

void WriteDailyLog(const std::string& folder, const std::string& text) {
  const std::string file =
      platform::joinPath(folder, "Log/" + LocalTimeText("%Y-%m-%d") + "_log.txt");
  const std::string line = LocalTimeText("%Y-%m-%d %H:%M:%S") + "->" + text + "\r\n";
  std::FILE* out = std::fopen(file.c_str(), "ab");
  if (out == nullptr) throw LauncherError(file + ": " + std::strerror(errno));
  const bool written = std::fwrite(line.data(), 1, line.size(), out) == line.size();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) throw LauncherError(file + ": " + std::strerror(errno));
}

void WriteTextFile(const std::string& file, const std::string& text, bool append) {
  std::FILE* out = std::fopen(file.c_str(), append ? "ab" : "wb");
  if (out == nullptr) return;
  const std::string content = text + "\r\n";
  std::fwrite(content.data(), 1, content.size(), out);
  std::fclose(out);
}

}  // namespace launcher
