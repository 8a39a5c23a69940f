// The network-disk upload against the vendor service's stand-in and two real
// FTP servers on loopback: the request as the service receives it, the order
// of the servers, every failure on the way, the confirmation after a success
// only, replies that grant nothing, and the shop's first business date.
#include "launcher/online/network_upload.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "launcher/online/vendor_requests.h"
#include "launcher/support/connection_helpers.h"
#include "launcher/support/text_cipher.h"
#include "platform/gbk.h"
#include "platform/profile.h"
#include "tests/launcher_online/online_fixture.h"
#include "tests/support/files.h"
#include "tests/support/ftp_server.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::ScopedSetting;
using testsupport::writeFile;

constexpr char kAccessPath[] = "/ywpost/getftp2014.aspx";
constexpr char kConfirmPath[] = "/ywpost/getftpok.aspx";

// One FTP server of the vendor's storage with its upload folder.
struct Storage {
  explicit Storage(const std::string& folder, const std::string& password = "pw")
      : root(folder), server(FTP_STANDIN, options(folder, password)) {}
  static testsupport::FtpServerOptions options(const std::string& folder,
                                               const std::string& password) {
    fs::create_directories(folder + "backup");
    testsupport::FtpServerOptions o;
    o.root = folder;
    o.user = "shop01";
    o.password = password;
    return o;
  }
  std::string host() const { return server.address(); }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root))
      if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), root).string());
    return names;
  }
  std::string root;
  testsupport::FtpServer server;
};

class Upload : public ::testing::Test {
 protected:
  Upload() : hosts("NORVEX_VENDOR_HOSTS", service.address() + ",ws2,ws3") {
    db.run(*platform::utf8ToGbk(readFile(SHOP_SQL)));
    db.run(
        "update subcom set comName='西湖店', bossmobile='13900000000', linkman='张三', "
        "address='西湖路1号', phone='0571 8888' where subno='01';");
    launcher::App& app = shop.app;
    app.sharedConnection.Replace(testsupport::connectTo(db.name()));
    app.CurrentBranchCode = "01";
    app.VerSoft = "2016.04.12";
    writeFile(folder.dir + "config/config.ini", "[ver]\r\nversoft=2016.04.12\r\n");
    archive = folder.temp() + "backup/202612/shop2026-12-10-0930-13900000000#ABC.zip";
    fs::create_directories(folder.temp() + "backup/202612");
    std::string bytes;
    for (unsigned i = 0; i < 300000; ++i) bytes += static_cast<char>(i * 7919u % 256);
    writeFile(archive, bytes);
  }

  // The service grants access to the two servers in this order.
  void grant(const std::string& first, const std::string& second,
             const std::string& remoteFolder = "backup") {
    const std::string access = "shop01,pw," + first + ":21|" + second + ":21," + remoteFolder;
    service.reply(kAccessPath, "OK:" + launcher::EncryptText(access, "36^tR&74"));
    service.reply(kConfirmPath, "OK");
  }
  void remember(const char* serverNo, const char* result) {
    if (serverNo) shop.app.WriteConfigValue("backup", "serverno", serverNo);
    if (result) shop.app.WriteConfigValue("backup", "result", result);
  }
  std::string setting(const char* key) {
    return platform::readProfileString(folder.dir + "config/config.ini", "backup", key, "none");
  }
  std::string name() const { return fs::path(archive).filename().string(); }

  testsupport::OnlineFolder folder;
  testsupport::VendorService service;
  ScopedSetting hosts;
  testsupport::ScratchDatabase db{"upload"};
  testsupport::OnlineLauncher shop{folder.dir};
  std::string archive;
};

// The service receives the fields in their order, each encoded as it says,
// and the same text again as the confirmation.
TEST_F(Upload, TheArchiveArrivesWholeAndTheUploadIsConfirmed) {
  Storage a(folder.temp() + "ftp-a/"), b(folder.temp() + "ftp-b/");
  grant(a.host(), b.host());
  remember("0", "ok");
  shop.app.BeginDate = "2024-06-01 10:20:30";
  EXPECT_EQ(shop.main->UploadArchive(archive), 1);

  EXPECT_EQ(shop.blocks(), (std::vector<std::string>{"上传网络U盘:" + archive + "请稍后...",
                                                     "网络服务器:0   " + a.host(),
                                                     "上传网络U盘:" + archive + "成功"}));
  EXPECT_TRUE(readFile(a.root + "backup/" + name()) == readFile(archive));
  EXPECT_TRUE(b.files().empty());  // the second server is not asked at all
  EXPECT_EQ(setting("serverno"), "0");
  EXPECT_EQ(setting("result"), "ok");

  // Encoding A for the texts, then the form encoding of every value; the
  // blank in the phone number splits that field in two.
  const std::string expected =
      "driverno=A1B2-C3D4&mobile=13900000000&filename=shop2026-12-10-0930-13900000000%2523ABC.zip"
      "&comname=%25e8%25a5%25bf%25e6%25b9%2596%25e5%25ba%2597"
      "&address=%25e8%25a5%25bf%25e6%25b9%2596%25e8%25b7%25af1%25e5%258f%25b7&qq="
      "&phone=0571&8888&linkman=%25e5%25bc%25a0%25e4%25b8%2589"
      "&begindate=2024-06-01+10%253a20%253a30&versoft=2016.04.12";
  EXPECT_EQ(service.bodies(kAccessPath), std::vector<std::string>{expected});
  EXPECT_EQ(service.bodies(kConfirmPath), std::vector<std::string>{expected});
}

// serverno and result of the last run choose the first server; each server
// keeps its own number.
TEST_F(Upload, TheLastRunChoosesTheFirstServer) {
  Storage a(folder.temp() + "ftp-a/"), b(folder.temp() + "ftp-b/");
  grant(a.host(), b.host());
  const struct {
    const char* serverNo;
    const char* result;
    const char* first;  // "a" or "b"
  } rows[] = {
      {nullptr, nullptr, "b"},  // result defaults to serverno "0", which is not "ok"
      {"0", "ok", "a"},        {"1", "ok", "b"},    {"0", "begin", "b"},
      {"1", "begin", "a"},     {"1", nullptr, "a"}, {"x", "ok", "b"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.serverNo ? row.serverNo : "-") + "/" +
                 (row.result ? row.result : "-"));
    writeFile(folder.dir + "config/config.ini", "");
    remember(row.serverNo, row.result);
    shop.main->control("Memo1").lines.clear();
    EXPECT_EQ(shop.main->UploadArchive(archive), 1);
    const bool a_first = std::string(row.first) == "a";
    const std::vector<std::string> blocks = shop.blocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[1], "网络服务器:0   " + (a_first ? a.host() : b.host()));
    EXPECT_EQ(setting("serverno"), a_first ? "0" : "1");
    EXPECT_EQ(setting("result"), "ok");
  }
}

// Each failure is reported in its own words and the other server is tried;
// only a success is confirmed.
TEST_F(Upload, AFailingServerIsReportedAndTheOtherOneTried) {
  Storage b(folder.temp() + "ftp-b/");
  const std::string nobody = testsupport::freeLoopbackAddress(21);
  struct Row {
    const char* name;
    std::function<std::string()> firstServer;  // its host; set up as the row needs
    std::function<std::string(const std::string&)> report;
    const char* folderName;
  };
  std::unique_ptr<Storage> a;
  std::unique_ptr<testsupport::FtpServer> cutting;
  const std::string root = folder.temp() + "ftp-a/";
  const std::vector<Row> rows = {
      {"nothing listens", [&] { return nobody; },
       [&](const std::string& host) { return "不能联结服务器:" + host + "  错误代码:7"; },
       "backup"},
      {"a wrong password",
       [&] {
         a = std::make_unique<Storage>(root, "other");
         return a->host();
       },
       [&](const std::string& host) { return "不能联结服务器:" + host + "  错误代码:530"; },
       "backup"},
      {"no such folder",
       [&] {
         a = std::make_unique<Storage>(root);
         fs::remove_all(root + "backup");
         fs::create_directories(root + "other");
         return a->host();
       },
       [&](const std::string&) { return std::string("服务器目录:backup  失败550"); }, "backup"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    a.reset();
    fs::remove_all(root);
    fs::remove_all(b.root + "backup/" + name());
    const std::string first = row.firstServer();
    grant(first, b.host(), row.folderName);
    writeFile(folder.dir + "config/config.ini", "");
    remember("0", "ok");
    shop.main->control("Memo1").lines.clear();
    const std::size_t confirmed = service.bodies(kConfirmPath).size();
    EXPECT_EQ(shop.main->UploadArchive(archive), 1);
    EXPECT_EQ(shop.blocks(), (std::vector<std::string>{"上传网络U盘:" + archive + "请稍后...",
                                                       "网络服务器:0   " + first, row.report(first),
                                                       "网络服务器:1   " + b.host(),
                                                       "上传网络U盘:" + archive + "成功"}));
    EXPECT_TRUE(readFile(b.root + "backup/" + name()) == readFile(archive));
    EXPECT_EQ(service.bodies(kConfirmPath).size(), confirmed + 1);
    EXPECT_EQ(setting("serverno"), "1");
  }
}

TEST_F(Upload, ATransferCutShortIsAFailureAndNotConfirmed) {
  const std::string rootA = folder.temp() + "ftp-a/", rootB = folder.temp() + "ftp-b/";
  testsupport::FtpServerOptions o = Storage::options(rootA, "pw");
  o.dropAfter = 65536;
  testsupport::FtpServer a(FTP_STANDIN, o);
  o = Storage::options(rootB, "pw");
  o.dropAfter = 65536;
  testsupport::FtpServer b(FTP_STANDIN, o);
  grant(a.address(), b.address());
  remember("0", "ok");
  EXPECT_EQ(shop.main->UploadArchive(archive), 1);
  const std::vector<std::string> blocks = shop.blocks();
  ASSERT_EQ(blocks.size(), 5u) << testing::PrintToString(blocks);
  for (const std::size_t failed : {2u, 4u}) {
    EXPECT_TRUE(blocks[failed].starts_with("上传网络U盘:" + archive + "失败")) << blocks[failed];
    EXPECT_NE(blocks[failed], "上传网络U盘:" + archive + "失败1");
  }
  EXPECT_TRUE(service.bodies(kConfirmPath).empty());
  EXPECT_EQ(setting("serverno"), "1");
  EXPECT_EQ(setting("result"), "ok");  // the connection itself worked
  // Neither server keeps a cut-off archive that could pass for the backup.
  for (const std::string& root : {rootA, rootB}) EXPECT_TRUE(fs::is_empty(root + "backup")) << root;
}

TEST_F(Upload, WithoutTheFtpLibraryNeitherServerConnects) {
  Storage a(folder.temp() + "ftp-a/"), b(folder.temp() + "ftp-b/");
  fs::remove(folder.dir + "sysdll/NxFtpContrlVc.so");
  grant(a.host(), b.host());
  remember("0", "ok");
  EXPECT_EQ(shop.main->UploadArchive(archive), 1);
  const std::vector<std::string> blocks = shop.blocks();
  ASSERT_EQ(blocks.size(), 5u);
  EXPECT_EQ(blocks[2], "不能联结服务器:" + a.host() + "  错误代码:-1");
  EXPECT_EQ(blocks[4], "不能联结服务器:" + b.host() + "  错误代码:-1");
  EXPECT_EQ(setting("result"), "begin");
  EXPECT_TRUE(service.bodies(kConfirmPath).empty());
}

// A reply that grants nothing usable ends the upload before any server is
// asked, with the reason.
TEST_F(Upload, AReplyWithoutUsableAccessUploadsNothing) {
  Storage a(folder.temp() + "ftp-a/");
  const std::string nobody = testsupport::freeLoopbackAddress(80);
  const struct {
    std::string reply;  // empty: no service answers at all; "-": it hangs up; "~": it answers
                        // only after the time limit
    std::string status;
  } rows[] = {
      {"-", "上传失败:Couldn't connect to server"},  // the other hosts are not there
      {"~", "上传失败:Couldn't connect to server"},
      {"ER:未开通网络U盘", "上传失败:ER:未开通网络U盘"},
      {"OK:zz00112233445566", "上传失败:Error: not a Hex String"},
      {"OK:" + launcher::EncryptText("shop01,pw," + a.host() + ":21", "36^tR&74"),
       "上传失败:网盘访问信息不完整"},
      {"", "上传失败:Couldn't connect to server"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.reply);
    shop.main->control("Memo1").lines.clear();
    writeFile(folder.dir + "config/config.ini", "");
    std::optional<ScopedSetting> dead;
    if (row.reply == "-" || row.reply == "~") {
      vendor::HttpReply fault;
      fault.closeWithoutAnswer = row.reply == "-";
      fault.delay = row.reply == "~" ? launcher::kVendorTimeLimit + std::chrono::seconds(5)
                                     : std::chrono::milliseconds(0);
      fault.body =
          "OK:" + launcher::EncryptText("shop01,pw," + a.host() + ":21|" + a.host() + ":21,backup",
                                        "36^tR&74");
      service.reply(kAccessPath, fault);
    } else if (row.reply.empty()) {
      dead.emplace("NORVEX_VENDOR_HOSTS", nobody + "," + nobody + "," + nobody);
      shop.app.VendorHost.set("");
    } else {
      service.reply(kAccessPath, row.reply);
    }
    EXPECT_EQ(shop.main->UploadArchive(archive), 0);
    EXPECT_EQ(shop.blocks(),
              (std::vector<std::string>{"上传网络U盘:" + archive + "请稍后...", row.status}));
    EXPECT_TRUE(a.files().empty());
    EXPECT_EQ(setting("serverno"), "none");
  }
  EXPECT_TRUE(service.bodies(kConfirmPath).empty());
}

// A branch code without a row of its own reports the first branch's contact.
TEST_F(Upload, ABranchWithoutItsOwnRowReportsTheFirstRow) {
  service.reply(kAccessPath, "ER:x");
  shop.app.CurrentBranchCode = "99\" or \"1";
  EXPECT_EQ(shop.main->UploadArchive(archive), 0);
  const std::vector<std::string> bodies = service.bodies(kAccessPath);
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_NE(bodies[0].find("&mobile=13900000000&"), std::string::npos) << bodies[0];
  EXPECT_NE(bodies[0].find("&linkman=%25e5%25bc%25a0%25e4%25b8%2589&"), std::string::npos);
}

TEST_F(Upload, TheFirstBusinessDateComesFromTheSettingsOrTheFirstSaleOrCustomer) {
  launcher::App& app = shop.app;
  const launcher::SharedConnection& connection = app.sharedConnection;
  const struct {
    const char* name;
    const char* sql;
    const char* date;
  } rows[] = {
      {"nothing yet", "", ""},
      {"a customer", "insert into customer_small values ('c1','甲','2023-03-04 05:06:07');",
       "2023-03-04 05:06:07"},
      {"a sale wins over the customer",
       "insert into outone values ('o1','2022-01-02 03:04:05'),('o2','2024-01-01 00:00:00');",
       "2022-01-02 03:04:05"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (*row.sql) db.run(row.sql);
    db.run("delete from mysysset where itemtype='sysset' and itemname='begindate';");
    const int days = launcher::DetermineBeginDate(app);
    EXPECT_EQ(app.BeginDate, row.date);
    EXPECT_EQ(launcher::GetSysSetting(connection, "sysset", "begindate", "none"),
              *row.date ? row.date : "none");
    if (*row.date) {
      EXPECT_GT(days, 300);
    } else {
      EXPECT_EQ(days, -1);
    }
  }
  // A stored date stands, whatever the tables hold; one that is no date
  // counts no days.
  launcher::SetSysSetting(connection, "sysset", "begindate", "2020-05-06");
  launcher::DetermineBeginDate(app);
  EXPECT_EQ(app.BeginDate, "2020-05-06");
  launcher::SetSysSetting(connection, "sysset", "begindate", "soon");
  EXPECT_EQ(launcher::DetermineBeginDate(app), -1);
  EXPECT_EQ(app.BeginDate, "soon");
  app.sharedConnection.Replace(nullptr);
  app.BeginDate = "kept";
  EXPECT_EQ(launcher::DetermineBeginDate(app), -1);
  EXPECT_EQ(app.BeginDate, "kept");
}

}  // namespace
