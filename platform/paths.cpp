// Windows path texts to Linux paths. '\' becomes '/' only where it is a character of
// its own: a GBK trail byte may be 0x5C and then belongs to a Chinese character.
#include "platform/paths.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/gbk_text.h"

namespace platform {
namespace {

std::string folderFromEnv(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  std::string dir = (v && *v) ? v : fallback;
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string slashes(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); i += characterLength(out, i))
    if (out[i] == '\\') out[i] = '/';
  return out;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string dataRoot() { return folderFromEnv("NORVEX_DATA_ROOT", "/srv/"); }

std::string systemRoot() { return folderFromEnv("NORVEX_SYSTEM_ROOT", "/opt/"); }

std::string fromWindowsPath(std::string_view text) {
  bool drive = text.size() >= 2 && text[1] == ':' &&
               ((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z'));
  if (!drive) return slashes(text);
  // The system only names c: (programs, backups) and d: (data); any other drive is
  // taken as data, the likelier meaning of a drive an operator configured.
  std::string root = (text[0] == 'c' || text[0] == 'C') ? systemRoot() : dataRoot();
  text.remove_prefix(2);
  if (!text.empty() && isSeparator(text.front())) text.remove_prefix(1);
  return root + slashes(text);
}

std::string joinPath(std::string_view folder, std::string_view relative) {
  while (!relative.empty() && isSeparator(relative.front())) relative.remove_prefix(1);
  std::string out(folder);
  if (!out.empty() && out.back() != '/') out += '/';
  return out + slashes(relative);
}

std::size_t lastPathSeparator(std::string_view text) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); i += characterLength(text, i))
    if (text[i] == '\\' || text[i] == '/') last = i;
  return last;
}

std::string executableDir() {
  std::string buf(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return {};
  buf.resize(static_cast<std::size_t>(n));
  return buf.substr(0, buf.rfind('/') + 1);
}

}  // namespace platform
