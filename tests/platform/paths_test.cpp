// Mapping of the system's Windows paths: drive roots to the data and system roots taken
// from the environment, '\' to '/', joining, splitting, and the executable's folder.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "tests/support/scoped_setting.h"

namespace {

using testsupport::ScopedSetting;

TEST(Paths, RootsComeFromEnvironmentAndEndWithSlash) {
  struct Row {
    std::optional<std::string> value;
    std::string data, system;
  };
  const std::vector<Row> rows = {
      {std::nullopt, "/srv/", "/opt/"},
      {"", "/srv/", "/opt/"},  // empty counts as unset
      {"/x/y", "/x/y/", "/x/y/"},
      {"/x/y/", "/x/y/", "/x/y/"},
  };
  for (const auto& r : rows) {
    ScopedSetting data("NORVEX_DATA_ROOT", r.value);
    ScopedSetting system("NORVEX_SYSTEM_ROOT", r.value);
    EXPECT_EQ(platform::dataRoot(), r.data) << r.value.value_or("(unset)");
    EXPECT_EQ(platform::systemRoot(), r.system) << r.value.value_or("(unset)");
  }
}

TEST(Paths, FromWindowsPathMapsDrivesAndSeparators) {
  ScopedSetting data("NORVEX_DATA_ROOT", "/data");
  ScopedSetting system("NORVEX_SYSTEM_ROOT", "/sys/");
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"d:\\norvex\\", "/data/norvex/"},
      {"D:\\norvex\\mysql\\bin", "/data/norvex/mysql/bin"},
      {"d:/norvex/", "/data/norvex/"},
      {"d:\\nxremote.ini", "/data/nxremote.ini"},
      {"d:\\", "/data/"},
      {"c:\\backup\\", "/sys/backup/"},
      {"C:\\Windows", "/sys/Windows"},
      {"e:\\share\\", "/data/share/"},  // other drives count as data
      {".\\dbconfig.ini", "./dbconfig.ini"},
      {"config\\config.ini", "config/config.ini"},
      {"/already/linux", "/already/linux"},
      {"", ""},
      {"d:\\会员\\备份\\", "/data/会员/备份/"},
      {"d:\\\x81\x5c\\a", "/data/\x81\x5c/a"},  // 0x5C as a trail byte is no separator
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(platform::fromWindowsPath(in), out) << in;
}

TEST(Paths, JoinPathPutsOneSlashBetween) {
  struct Row {
    std::string folder, relative, expected;
  };
  const std::vector<Row> rows = {
      {"/app/", "config\\config.ini", "/app/config/config.ini"},
      {"/app", "config\\config.ini", "/app/config/config.ini"},
      {"/app/", "\\log\\", "/app/log/"},
      {"/", "x", "/x"},
      {"", "config\\x.ini", "config/x.ini"},
      {"/app/", "", "/app/"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(platform::joinPath(r.folder, r.relative), r.expected)
        << r.folder << " + " << r.relative;
}

TEST(Paths, LastPathSeparatorFindsEitherSeparatorCharacter) {
  const std::vector<std::pair<std::string, std::size_t>> rows = {
      {"c:\\a\\b.txt", 4},
      {"a/b\\c", 3},
      {"a\\b/c", 3},
      {"dir\\", 3},
      // A 0x5C that ends a double-byte character is not a separator.
      {"a\\\x95\x5c", 1},
      {"\x95\x5c\\x", 2},
      {"b.txt", std::string_view::npos},
      {"", std::string_view::npos},
  };
  for (const auto& [in, pos] : rows) EXPECT_EQ(platform::lastPathSeparator(in), pos) << in;
}

TEST(Paths, ExecutableDirHoldsThisProgram) {
  std::string dir = platform::executableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(std::filesystem::is_regular_file(dir + program_invocation_short_name)) << dir;
}

}  // namespace
