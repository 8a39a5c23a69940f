// The installation's identifier: the digest of the first machine id found,
// and on a machine without one (a bare container) an identifier made once and
// kept in the application folder, so it never comes out empty or changes.
#include "launcher/core/installation_id.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <filesystem>
#include <string>
#include <vector>

#include "launcher/core/daily_log.h"
#include "tests/support/files.h"
#include "tests/support/scoped_setting.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::ScopedSetting;
using testsupport::writeFile;

std::string md5Upper(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    static const char kDigits[] = "0123456789ABCDEF";
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 15];
  }
  return hex;
}

TEST(InstallationId, IsTheDigestOfTheFirstMachineIdFound) {
  TempDir temp;
  writeFile(temp.path() + "etc-id", "0123456789abcdef0123456789abcdef\n");
  writeFile(temp.path() + "dbus-id", "fedcba9876543210fedcba9876543210\n");
  writeFile(temp.path() + "empty", "");
  writeFile(temp.path() + "uninitialized", "uninitialized\n");
  struct Row {
    std::string files;
    std::string id;
  };
  const std::vector<Row> rows = {
      {"etc-id:dbus-id", "0123456789abcdef0123456789abcdef"},
      {"missing:dbus-id", "fedcba9876543210fedcba9876543210"},
      {"empty:uninitialized:dbus-id", "fedcba9876543210fedcba9876543210"},
  };
  for (const Row& row : rows) {
    std::string files;
    for (std::size_t start = 0; start < row.files.size();) {
      std::size_t end = row.files.find(':', start);
      if (end == std::string::npos) end = row.files.size();
      files += (files.empty() ? "" : ":") + temp.path() + row.files.substr(start, end - start);
      start = end + 1;
    }
    ScopedSetting setting("NORVEX_MACHINE_ID_FILE", files);
    EXPECT_EQ(launcher::ObtainInstallationId(temp.path()), md5Upper(row.id)) << row.files;
  }
  EXPECT_FALSE(std::filesystem::exists(temp.path() + "config/installation-id"));
}

TEST(InstallationId, WithoutMachineIdIsMadeOnceAndKeptInTheApplicationFolder) {
  TempDir temp;
  std::filesystem::create_directories(temp.path() + "app/config");
  ScopedSetting setting("NORVEX_MACHINE_ID_FILE",
                        temp.path() + "no-etc-id:" + temp.path() + "no-dbus-id");
  const std::string first = launcher::ObtainInstallationId(temp.path() + "app/");
  ASSERT_EQ(first.size(), 32u);
  const std::string kept = readFile(temp.path() + "app/config/installation-id");
  ASSERT_EQ(kept.size(), 33u);
  EXPECT_EQ(first, md5Upper(kept.substr(0, 32)));
  EXPECT_EQ(launcher::ObtainInstallationId(temp.path() + "app/"), first);

  // Another folder gets its own; one that cannot keep it still gets one.
  std::filesystem::create_directories(temp.path() + "other/config");
  EXPECT_NE(launcher::ObtainInstallationId(temp.path() + "other/"), first);
  EXPECT_EQ(launcher::ObtainInstallationId(temp.path() + "missing/").size(), 32u);
  // Why it cannot be kept is in the daily log, where there is one.
  std::filesystem::create_directories(temp.path() + "blocked/Log");
  writeFile(temp.path() + "blocked/config", "a file where the folder belongs");
  EXPECT_EQ(launcher::ObtainInstallationId(temp.path() + "blocked/").size(), 32u);
  const std::string log =
      readFile(temp.path() + "blocked/Log/" + launcher::LocalTimeText("%Y-%m-%d") + "_log.txt");
  EXPECT_NE(log.find("安装标识无法保存，每次启动都会不同：" + temp.path() +
                     "blocked/config/installation-id"),
            std::string::npos)
      << log;
}

}  // namespace
