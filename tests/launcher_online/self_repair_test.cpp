// The self-repair of the clients' core file: the copies between the two
// client folders, the download from a real anonymous FTP server on loopback,
// the failures that leave only a daily-log line, and the launch buttons
// enabled again at the end in every case.
#include "launcher/online/self_repair.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "launcher/core/daily_log.h"
#include "tests/launcher_online/online_fixture.h"
#include "tests/support/files.h"
#include "tests/support/ftp_server.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kCore = "nxclass_mysql.pbx";
const std::string kAlarm =
    "由于杀毒软件或病毒将系统中的重要文件删除，导致系统无法正常运行。系统启动自我修复功能";
const std::string kDownloading = "正在下载修复文件nxclass_mysql.pbx，请稍后...";

class SelfRepair : public ::testing::Test {
 protected:
  SelfRepair() {
    launcher::App& app = shop.app;
    app.Exe.path = "pos";
    app.Jxc.path = "jxc";
    app.Jxc.runexe = "jxc";
    fs::remove_all(folder.dir + "pos");
    fs::remove_all(folder.dir + "jxc");
    for (int i = 0; i < 100000; ++i) library += static_cast<char>(i % 251);
  }

  std::string cashierCopy() const { return folder.dir + "pos/" + kCore; }
  std::string stockCopy() const { return folder.dir + "jxc/" + kCore; }
  std::string dailyLog() const {
    return readFile(folder.dir + "Log/" + launcher::LocalTimeText("%Y-%m-%d") + "_log.txt");
  }
  // Sends WM_USER+6 as another program would and waits for the repair's end.
  void repair() {
    ui::Control& cashier = shop.main->control("BitBtn1");
    ui::Control& stock = shop.main->control("bt_jxc");
    cashier.enabled = stock.enabled = false;
    shop.main->onMessage(launcher::kWmQueueSelfRepair, 0, "");
    ASSERT_TRUE(shop.pumpUntil([&] { return cashier.enabled && stock.enabled; }))
        << "the buttons were not enabled again";
  }
  // The anonymous download server with softdown/nxclass_mysql.pbx holding `bytes`.
  std::unique_ptr<testsupport::FtpServer> downloadServer(const std::optional<std::string>& bytes,
                                                         long long dropAfter = -1) {
    const std::string root = folder.temp() + "softroot/";
    fs::create_directories(root + "softdown");
    if (bytes) writeFile(root + "softdown/" + kCore, *bytes);
    testsupport::FtpServerOptions o;
    o.root = root;
    o.anonymousRoot = root;
    o.dropAfter = dropAfter;
    auto server = std::make_unique<testsupport::FtpServer>(FTP_STANDIN, o);
    shop.app.BackupFtpHost = server->address();
    return server;
  }

  testsupport::OnlineFolder folder;
  testsupport::OnlineLauncher shop{folder.dir};
  std::string library;
};

TEST_F(SelfRepair, AMissingCopyComesFromTheOtherClientFolder) {
  const struct {
    const char* name;
    bool cashier, stock, stockConfigured;
    bool cashierAfter, stockAfter;
  } rows[] = {
      {"the stock copy is missing", true, false, true, true, true},
      {"the cashier copy is missing", false, true, true, true, true},
      {"the cashier copy is missing, no stock client", false, true, false, true, true},
      {"the stock copy is missing, no stock client", true, false, false, true, false},
      {"both are there", true, true, true, true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(folder.dir + "pos");
    fs::remove_all(folder.dir + "jxc");
    shop.app.Jxc.runexe = row.stockConfigured ? "jxc" : "";
    if (row.cashier) {
      fs::create_directories(folder.dir + "pos");
      writeFile(cashierCopy(), library);
    }
    if (row.stock) {
      fs::create_directories(folder.dir + "jxc");
      writeFile(stockCopy(), library);
    }
    shop.main->control("Memo1").lines.clear();
    repair();
    EXPECT_EQ(fs::exists(cashierCopy()), row.cashierAfter);
    EXPECT_EQ(fs::exists(stockCopy()), row.stockAfter);
    if (row.cashierAfter) {
      EXPECT_TRUE(readFile(cashierCopy()) == library);
    }
    if (row.stockAfter) {
      EXPECT_TRUE(readFile(stockCopy()) == library);
    }
    EXPECT_TRUE(shop.blocks().empty());
    // Without a stock client its folder is not made.
    EXPECT_EQ(fs::exists(folder.dir + "jxc"), row.stock || row.stockConfigured);
  }
  EXPECT_EQ(dailyLog(), "");
}

TEST_F(SelfRepair, BothCopiesMissingAreDownloadedIntoTheCashierFolderAndCopied) {
  auto server = downloadServer(library);
  repair();
  EXPECT_TRUE(readFile(cashierCopy()) == library);
  EXPECT_TRUE(readFile(stockCopy()) == library);
  EXPECT_EQ(shop.blocks(),
            (std::vector<std::string>{kAlarm, kDownloading, "修复文件nxclass_mysql.pbx下载完毕",
                                      "系统自我修复完毕" + cashierCopy()}));
  EXPECT_EQ(dailyLog(), "");
  EXPECT_FALSE(fs::exists(cashierCopy() + ".part"));
  // The library keeps its own log in the Log folder.
  EXPECT_TRUE(fs::exists(folder.dir + "Log/NxFtpContrl.log"));
}

// A failed download leaves one daily-log line and nothing a client would
// load; nothing reports it complete.
TEST_F(SelfRepair, AFailedDownloadLeavesOnlyItsReasonInTheDailyLog) {
  const struct {
    const char* name;
    std::optional<std::string> remote;  // the server's file; none: missing
    long long dropAfter;
    bool listening;
    std::string logLine;
  } rows[] = {
      {"no server", std::nullopt, -1, false, "FTP下载PB核心文件时，连接FTP失败，失败提示号：7"},
      {"no such file", std::nullopt, -1, true, "FTP下载PB核心文件时失败，失败原因：错误代码:550"},
      {"an empty file", std::string(), -1, true,
       "FTP下载PB核心文件时失败，失败原因：下载的文件为空"},
      {"a cut transfer", std::string(400000, 'x'), 65536, true,
       "FTP下载PB核心文件时失败，失败原因：错误代码:"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(folder.temp() + "softroot");
    fs::remove_all(folder.dir + "Log");
    fs::create_directories(folder.dir + "Log");
    shop.main->control("Memo1").lines.clear();
    std::unique_ptr<testsupport::FtpServer> server;
    if (row.listening) {
      server = downloadServer(row.remote, row.dropAfter);
    } else {
      shop.app.BackupFtpHost = testsupport::freeLoopbackAddress(21);
    }
    repair();
    EXPECT_EQ(shop.blocks(), (std::vector<std::string>{kAlarm, kDownloading}));
    const std::string log = dailyLog();
    EXPECT_NE(log.find("->" + row.logLine), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_FALSE(fs::exists(cashierCopy()));
    EXPECT_FALSE(fs::exists(cashierCopy() + ".part"));
    EXPECT_FALSE(fs::exists(stockCopy()));
  }
}

}  // namespace
