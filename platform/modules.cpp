// Modules through the dynamic linker's list: the program comes first, with an
// empty name, so its path is taken from /proc/self/exe.
#include "platform/modules.h"

#include <link.h>
#include <unistd.h>

#include <string>

#include "platform/gbk_text.h"

namespace platform {
namespace {

std::string programPath() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  path.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return path;
}

bool namesModule(std::string_view name, std::string_view path) {
  if (equalsIgnoreCase(name, path)) return true;
  const std::size_t slash = path.rfind('/');
  return slash != std::string_view::npos && equalsIgnoreCase(name, path.substr(slash + 1));
}

// Page number of the first loaded segment, folded to 32 bits; never 0.
std::uint32_t identifier(const dl_phdr_info* info) {
  std::uint64_t base = info->dlpi_addr;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    if (info->dlpi_phdr[i].p_type == PT_LOAD) {
      base += info->dlpi_phdr[i].p_vaddr;
      break;
    }
  }
  const std::uint64_t page = base >> 12;
  const auto folded = static_cast<std::uint32_t>(page ^ (page >> 32));
  return folded != 0 ? folded : 1;
}

struct Search {
  std::optional<std::string_view> name;
  std::string program;
  bool first = true;
  std::uint32_t found = 0;
};

int visit(dl_phdr_info* info, std::size_t, void* data) {
  auto* search = static_cast<Search*>(data);
  const bool program = search->first;
  search->first = false;
  const std::string_view path = program ? std::string_view(search->program)
                                        : std::string_view(info->dlpi_name ? info->dlpi_name : "");
  if (search->name ? !path.empty() && namesModule(*search->name, path) : program) {
    search->found = identifier(info);
    return 1;
  }
  return 0;
}

}  // namespace

std::uint32_t moduleHandle(std::optional<std::string_view> name) {
  Search search;
  search.name = name;
  search.program = programPath();
  dl_iterate_phdr(visit, &search);
  return search.found;
}

}  // namespace platform
