#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// Read without changing it: umask() itself would open a moment in which
// another thread's new files get no mask.
mode_t currentUmask() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  unsigned int mask = 022;
  if (status != nullptr) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr)
      if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
    std::fclose(status);
  }
  return static_cast<mode_t>(mask);
}

}  // namespace

std::string replaceFileAtomically(const std::string& path, std::string_view bytes,
                                  std::optional<mode_t> mode) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return std::string("cannot create a temporary file: ") + std::strerror(errno);
  const auto abandon = [&](const char* step, bool open) {
    const int error = errno;
    if (open) close(fd);
    unlink(temp.c_str());
    return std::string(step) + ": " + std::strerror(error);
  };
  // mkostemp makes the file 0600; a file without a mode of its own follows the umask.
  if (fchmod(fd, mode ? *mode : 0666 & ~currentUmask()) != 0)
    return abandon("cannot set permissions", true);
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return abandon("cannot write", true);
    done += static_cast<std::size_t>(wrote);
  }
  if (fsync(fd) != 0) return abandon("cannot write", true);
  if (close(fd) != 0) return abandon("cannot write", false);
  if (rename(temp.c_str(), path.c_str()) != 0) return abandon("cannot replace", false);
  // The rename reaches the disk with the folder; failing here loses nothing written.
  const int folder = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return std::string();
}

}  // namespace platform
