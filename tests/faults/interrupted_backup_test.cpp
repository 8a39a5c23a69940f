// The launcher killed (SIGKILL, as by a crash or a power cut) in the middle
// of a backup: no archive or dump stands under a backup's name, the
// configuration and credential files are whole and unchanged, and the next
// launcher backs up normally and clears what the cut-off backup left.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "launcher/core/daily_log.h"
#include "tests/faults/shop_launcher.h"

namespace {

namespace fs = std::filesystem;
using faults::filesIn;
using faults::json;
using testsupport::readFile;

bool endsWithIgnoringCase(std::string name, const std::string& suffix) {
  std::transform(name.begin(), name.end(), name.begin(), ::tolower);
  return name.ends_with(suffix);
}

// The toolbar's manual backup, its proposed file taken.
constexpr char kBackupClick[] = R"({"op":"click","window":"FMain","control":"bt_backup_set"})";
constexpr char kTakeTheFile[] = R"({"op":"answer","reply":"ok"})";

TEST(InterruptedBackup, LeavesNoHalfFileAndTheNextLauncherBacksUp) {
  faults::ShopFolder shop("killed");
  // Enough data that the dump still runs when its first progress shows.
  shop.db().run(
      "create table big (id int primary key, note varchar(200)) default charset=gbk;\n"
      "insert into big select seq, repeat('会员积分',40) from seq_1_to_200000;");
  // The configuration as the login left it, each file whole.
  std::map<std::string, std::string> configuration;
  const auto readConfiguration = [&] {
    std::map<std::string, std::string> files;
    for (const std::string& name : filesIn(shop.appDir() + "config"))
      files[name] = readFile(shop.appDir() + "config/" + name);
    return files;
  };
  const std::string month = shop.backupRoot() + launcher::LocalTimeText("%Y%m") + "/";

  {
    faults::HeadlessLauncher first(shop);
    first.logIn(faults::utf8(u8"店长"), "123");
    configuration = readConfiguration();
    first.ask(kTakeTheFile);
    first.send(kBackupClick);
    std::optional<json> event;
    while ((event = first.event()) && (*event)["event"] != "progress") {
    }
    ASSERT_TRUE(event) << "the backup showed no progress";
    first.kill();
  }

  std::vector<std::string> leftovers;
  for (const std::string& name : filesIn(month)) {
    EXPECT_FALSE(endsWithIgnoringCase(name, ".zip")) << name;
    EXPECT_FALSE(endsWithIgnoringCase(name, ".sql")) << name;
    if (name != "readme.txt") leftovers.push_back(name);
  }
  ASSERT_FALSE(leftovers.empty()) << "the backup was not cut off";
  EXPECT_EQ(readConfiguration(), configuration);

  // Left alone for a while, as after a restart.
  for (const std::string& name : leftovers)
    fs::last_write_time(month + name, fs::file_time_type::clock::now() - std::chrono::hours(1));

  faults::HeadlessLauncher second(shop);
  second.logIn(faults::utf8(u8"店长"), "123");
  second.ask(kTakeTheFile);
  EXPECT_EQ(second.ask(kBackupClick)["ok"], true);
  std::vector<std::string> archives, dumps;
  for (const std::string& name : filesIn(month)) {
    EXPECT_EQ(std::count(leftovers.begin(), leftovers.end(), name), 0) << name << " stayed";
    if (endsWithIgnoringCase(name, ".zip")) archives.push_back(name);
    if (endsWithIgnoringCase(name, ".sql")) dumps.push_back(name);
  }
  ASSERT_EQ(archives.size(), 1u);
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_EQ(testsupport::runTool({"unzip", "-tq", month + archives[0]}).second, 0);
  const std::string log =
      readFile(shop.appDir() + "Log/" + launcher::LocalTimeText("%Y-%m-%d") + "_log.txt");
  for (const std::string& name : leftovers)
    EXPECT_NE(log.find("删除中断的备份留下的文件：" + month + name), std::string::npos) << name;
  EXPECT_EQ(second.finish(), 0);
}

}  // namespace
