// Backups under the faults of a real machine: the database server killed in
// the middle of a dump, and the backup folder's disk filling up during one.
// Each is reported in the launcher's words, keeps no cut-off file under a
// backup's name, leaves the earlier backups alone, and the next backup works.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "launcher/core/daily_log.h"
#include "tests/faults/shop_launcher.h"
#include "tests/support/demo_folder.h"

namespace {

namespace fs = std::filesystem;
using faults::filesIn;
using faults::json;
using faults::utf8;
using testsupport::readFile;

bool contains(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

constexpr char kBackupClick[] = R"({"op":"click","window":"FMain","control":"bt_backup_set"})";
constexpr char kTakeTheFile[] = R"({"op":"answer","reply":"ok"})";
// Enough data that the dump still runs when its first progress shows.
// (UTF-8 for the demo folder's client, GBK for the run's.)
constexpr char8_t kBigTable[] =
    u8"create table big (id int primary key, note varchar(200)) default charset=gbk;\n"
    u8"insert into big select seq, repeat('会员积分',40) from seq_1_to_200000;";

// A manual backup that runs until its first progress, then `fault`; the
// reply of the click and the box it showed.
std::pair<json, std::string> backupWith(testsupport::HeadlessLauncher& launcher,
                                        const std::function<void()>& fault) {
  launcher.ask(kTakeTheFile);
  launcher.send(kBackupClick);
  std::optional<json> event;
  while ((event = launcher.event()) && (*event)["event"] != "progress") {
  }
  if (!event) throw std::runtime_error("the backup showed no progress");
  fault();
  const json reply = launcher.reply("no reply to the backup");
  std::string box;
  for (const json& e : launcher.events)
    if (e["event"] == "message") box = e["text"];
  return {reply, box};
}

TEST(BackupFaults, AServerKilledDuringTheDumpLosesNothing) {
  testsupport::DemoFolder folder(CREATE_APPDIR, CLIENT_STANDIN);
  testsupport::ScopedSetting data("NORVEX_DATA_ROOT", folder.temp() + "data/"),
      system("NORVEX_SYSTEM_ROOT", folder.temp() + "system/");
  testsupport::HeadlessLauncher launcher(MAIN_PATH, folder.app());
  EXPECT_EQ(launcher.ask(R"({"op":"click","window":"FMain","control":"sp_start"})")["ok"], true);
  launcher.createShop("demo");
  launcher.logIn(utf8(u8"店长"), "123");
  folder.query("use shop;\n" + utf8(kBigTable));
  // The automatic backup at the timer's first tick is the earlier one.
  for (int i = 0; i < 300 && !contains(launcher.lines("FMain", "Memo1"), utf8(u8"自动备份完毕！"));
       ++i)
    launcher.ask(R"({"op":"wait","ms":100})");

  const std::string month = folder.app() + "backup/" + launcher::LocalTimeText("%Y%m") + "/";
  const std::vector<std::string> before = filesIn(month);
  ASSERT_EQ(before.size(), 3u);  // the automatic backup's dump and archive, readme.txt

  const auto [reply, box] = backupWith(launcher, [&] {
    const int pid = std::stoi(readFile(folder.app() + "mysql/data/mysqld.pid"));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
  });
  EXPECT_EQ(reply["ok"], true);
  const std::string failed = utf8(u8"备份失败:mysqldump 退出代码 ");
  EXPECT_TRUE(box.starts_with(failed)) << box;
  const std::vector<std::string> memo = launcher.lines("FMain", "Memo1");
  EXPECT_TRUE(std::any_of(memo.begin(), memo.end(),
                          [&](const std::string& line) { return line.starts_with(failed); }));
  EXPECT_EQ(filesIn(month), before);
  for (const std::string& name : before) {
    if (name.ends_with(".zip")) {
      EXPECT_EQ(testsupport::runTool({"unzip", "-tq", month + name}).second, 0);
    }
  }

  // The window shows the server gone; it starts again and backs up.
  const auto status = [&] {
    return launcher.ask(
        R"({"op":"dump","window":"FMain"})")["window"]["controls"]["ed_status"]["text"];
  };
  EXPECT_EQ(status(), utf8(u8"未启动服务"));
  EXPECT_EQ(launcher.ask(R"({"op":"click","window":"FMain","control":"sp_start"})")["ok"], true);
  EXPECT_EQ(status(), utf8(u8"已启动服务"));
  ASSERT_TRUE(folder.serverAnswers());
  launcher.ask(kTakeTheFile);
  EXPECT_EQ(launcher.ask(kBackupClick)["ok"], true);
  EXPECT_EQ(filesIn(month).size(), before.size() + 2);
  EXPECT_EQ(launcher.finish(), 0);
}

// A file system of `megabytes` mounted on `folder` in a mount namespace of
// this process (and the programs it starts), so that nothing outside sees it.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, int megabytes) : folder_(folder) {
    mounted_ =
        faults::privateMounts() && mount("tmpfs", folder.c_str(), "tmpfs", 0,
                                         ("size=" + std::to_string(megabytes) + "m").c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  // Takes the free room but `left` bytes with a file of its own: written to
  // the full, then cut back.
  void fill(off_t left) {
    const int fd = open((folder_ + "filler").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(1 << 20, 'x');
    off_t size = 0;
    for (ssize_t n; (n = write(fd, block.data(), block.size())) > 0;) size += n;
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(ftruncate(fd, std::max<off_t>(0, size - left)), 0);
    close(fd);
  }
  void empty() { fs::remove(folder_ + "filler"); }

 private:
  std::string folder_;
  bool mounted_ = false;
};

TEST(BackupFaults, ADiskFillingUpDuringTheDumpLosesNothing) {
  faults::ShopFolder shop("diskfull");
  SmallDisk disk(shop.backupRoot(), 512);
  if (!disk.mounted()) GTEST_SKIP() << "mounting a file system needs root";
  shop.db().run(*platform::utf8ToGbk(utf8(kBigTable)));
  faults::HeadlessLauncher launcher(shop);
  launcher.logIn(utf8(u8"店长"), "123");
  launcher.ask(kTakeTheFile);
  ASSERT_EQ(launcher.ask(kBackupClick)["ok"], true);
  const std::string month = shop.backupRoot() + launcher::LocalTimeText("%Y%m") + "/";
  const std::vector<std::string> before = filesIn(month);
  ASSERT_EQ(before.size(), 3u);  // the earlier backup's dump and archive, readme.txt

  // The dump writes on meanwhile: what is left is far less than it needs.
  const auto [reply, box] = backupWith(launcher, [&] { disk.fill(8 << 20); });
  EXPECT_EQ(reply["ok"], true);
  const std::string failed = utf8(u8"备份失败:") + month;
  EXPECT_TRUE(box.starts_with(failed) && box.ends_with(".SQL: No space left on device")) << box;
  const std::vector<std::string> memo = launcher.lines("FMain", "Memo1");
  EXPECT_TRUE(std::find(memo.begin(), memo.end(), box) != memo.end());
  EXPECT_EQ(filesIn(month), before);
  EXPECT_EQ(testsupport::runTool({"unzip", "-tq", month + before[1]}).second, 0);

  disk.empty();
  launcher.ask(kTakeTheFile);
  EXPECT_EQ(launcher.ask(kBackupClick)["ok"], true);
  EXPECT_EQ(filesIn(month).size(), before.size() + 2);
  EXPECT_EQ(launcher.finish(), 0);
}

}  // namespace
