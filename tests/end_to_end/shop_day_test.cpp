// A shop's day through the real programs, on a fresh demo application folder:
// the launcher installs and starts the folder's server and learns its branch
// from the vendor service; root's first login creates the shop database; the
// shop manager's login starts the cashier with its parameter string; two
// clients load the extension, connect with the credentials of that string
// and draw document numbers and settings at once; the automatic backup packs
// the database and uploads it to the FTP storage, which the vendor service
// hears of; the restore window loads that archive into a second database
// equal to the first; the launcher closes at once and the server stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "launcher/core/installation_id.h"
#include "launcher/support/text_cipher.h"
#include "platform/gbk.h"
#include "platform/profile.h"
#include "tests/support/demo_folder.h"
#include "tests/support/files.h"
#include "tests/support/ftp_server.h"
#include "tests/support/headless_launcher.h"
#include "tests/support/line_process.h"
#include "tests/support/loopback.h"
#include "tests/support/scoped_setting.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::readFile;
using testsupport::runTool;
using Clock = std::chrono::steady_clock;

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

std::string gbkToUtf8(const std::string& gbk) { return platform::gbkToUtf8(gbk).value_or(gbk); }

// A client program's use of the extension: pbxhost with the client folder's
// core file, one n_cst_dbfunc object "db".
class Client {
 public:
  explicit Client(const std::string& library) : process_({PBXHOST, "--lib", library}) {
    const json created = ask(R"({"op":"create","class":"n_cst_dbfunc","as":"db"})");
    if (created["ok"] != true) throw std::runtime_error("n_cst_dbfunc: " + created.dump());
  }
  json ask(const std::string& request) {
    process_.send(request);
    const std::optional<std::string> line = process_.receive(60000);
    if (!line) throw std::runtime_error("pbxhost: no reply to " + request);
    return json::parse(*line);
  }
  // A method call sent now; its reply is read with `result`, so that two
  // clients work at the same time.
  void send(const std::string& method, const json& args) {
    process_.send(
        json{{"op", "call"}, {"object", "db"}, {"method", method}, {"args", args}}.dump());
  }
  json result() {
    const std::optional<std::string> line = process_.receive(60000);
    if (!line) throw std::runtime_error("pbxhost: no reply");
    const json reply = json::parse(*line);
    if (reply["ok"] != true) throw std::runtime_error("pbxhost: " + reply.dump());
    return reply["result"]["value"];
  }
  int finish() { return process_.finish(); }

 private:
  testsupport::LineProcess process_;
};

json text(const std::string& value) { return {{"type", "string"}, {"value", value}}; }
json int16(int value) { return {{"type", "int"}, {"value", static_cast<std::int16_t>(value)}}; }

// The fields of the client parameter string.
std::map<std::string, std::string> fieldsOf(const std::string& parameters) {
  std::map<std::string, std::string> fields;
  std::size_t start = 0;
  while (start <= parameters.size()) {
    std::size_t end = parameters.find(';', start);
    if (end == std::string::npos) end = parameters.size();
    const std::string field = parameters.substr(start, end - start);
    const std::size_t equals = field.find('=');
    fields[field.substr(0, equals)] = equals == std::string::npos ? "" : field.substr(equals + 1);
    start = end + 1;
  }
  return fields;
}

bool contains(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

TEST(ShopDay, EveryPartWorksTogetherFromStartToClose) {
  testsupport::DemoFolder folder(CREATE_APPDIR, CLIENT_STANDIN);
  const std::string& app = folder.app();

  // The vendor's services on loopback addresses of their own.
  fs::create_directories(folder.temp() + "storage/backup");
  testsupport::FtpServer storage(
      FTP_STANDIN, {.root = folder.temp() + "storage", .user = "shop", .password = "secret"});
  const std::string service = testsupport::freeLoopbackAddress(80);
  testsupport::LineProcess vendor(
      {VENDOR_STANDIN, "--address", service, "--branch", utf8(u8"012,演示分店"), "--ftp-access",
       "shop,secret," + storage.address() + ":21|" + storage.address() + ":21,backup"});
  ASSERT_EQ(vendor.receive(), std::optional<std::string>("ready"));
  testsupport::ScopedSetting host("NORVEX_VENDOR_DEFAULT_HOST", service),
      hosts("NORVEX_VENDOR_HOSTS", service + ",127.0.2.4,127.0.2.5"),
      data("NORVEX_DATA_ROOT", folder.temp() + "data/"),
      system("NORVEX_SYSTEM_ROOT", folder.temp() + "system/");
  // The folder belongs to the chain: the service names its branch.
  std::string ini = readFile(app + "config/config.ini");
  ini.replace(ini.find("url=\r"), 5, "url=" + service + "\r");
  ini.replace(ini.find("comname=\r"), 9, "comname=DEMO01\r");
  testsupport::writeFile(app + "config/config.ini", ini);

  testsupport::HeadlessLauncher launcher(MAIN_PATH, app);
  const auto mainWindow = [&] {
    return launcher.ask(R"({"op":"dump","window":"FMain"})")["window"]["controls"];
  };
  // Lets the launcher's own timers run until `done` holds (30 s at most).
  const auto waitFor = [&](const auto& done) {
    for (int i = 0; i < 300 && !done(); ++i) launcher.ask(R"({"op":"wait","ms":100})");
    return done();
  };

  // The launcher installs the folder's server and starts it.
  EXPECT_EQ(launcher.ask(R"({"op":"click","window":"FMain","control":"sp_start"})")["ok"], true);
  EXPECT_EQ(mainWindow()["ed_status"]["text"], utf8(u8"已启动服务"));
  ASSERT_TRUE(folder.serverAnswers());

  // The deferred start-up step asks the vendor service for the branch.
  const std::string online = utf8(u8"演示分店【012】在线");
  EXPECT_TRUE(waitFor([&] { return mainWindow()["ed_subName"]["text"] == online; }));

  // Root's first login creates the shop database from the initial script.
  launcher.createShop("demo");
  EXPECT_EQ(folder.query("select count(*) from shop.subcom"), "1\n");

  // The shop manager's login starts the cashier with its parameter string.
  launcher.logIn(utf8(u8"店长"), "123");
  const std::string argsFile = app + "pos/pos.args";
  // The stand-in writes its argument as a line.
  for (int i = 0; i < 100 && !readFile(argsFile).ends_with('\n'); ++i)
    launcher.ask(R"({"op":"wait","ms":100})");
  const std::string parameters = gbkToUtf8(readFile(argsFile));
  const std::string key = "K417q#58";
  EXPECT_EQ(parameters, utf8(u8"loginuser=店长;loginpwd=") + launcher::EncryptText("123", key) +
                            ";dbname=shop;dbip=127.0.0.1;dbport=" + std::to_string(folder.port()) +
                            ";maindbuser=root;maindbpass=" + launcher::EncryptText("demo", key) +
                            ";comname=DEMO01;driverno=" + launcher::ObtainInstallationId(app) +
                            "\n");
  std::map<std::string, std::string> fields = fieldsOf(parameters.substr(0, parameters.find('\n')));

  // Two clients at the counter, each as the cashier would connect.
  std::vector<std::unique_ptr<Client>> clients;
  for (const char* folderName : {"pos", "jxc"}) {
    clients.push_back(std::make_unique<Client>(app + folderName + "/nxclass_mysql.pbx"));
    clients.back()->send("of_ConnectMySQL",
                         {text(fields["dbip"]), text(fields["dbname"]), text(fields["maindbuser"]),
                          text(launcher::DecryptText(fields["maindbpass"], key)),
                          int16(std::stoi(fields["dbport"]))});
    ASSERT_EQ(clients.back()->result(), 1);
  }
  constexpr int kDraws = 25;
  std::map<std::string, std::set<std::int64_t>> numbers;
  for (int draw = 0; draw < kDraws; ++draw) {
    for (std::size_t c = 0; c < clients.size(); ++c) {
      const std::string who = "till" + std::to_string(c);
      clients[c]->send("of_findnextid", {text(utf8(u8"销售单")), text("2026-12-11"), int16(1)});
      clients[c]->send("of_findnext_continueid", {text(utf8(u8"退货单")), int16(2)});
      clients[c]->send("of_SetMySysSet",
                       {text(utf8(u8"收银台")), text(who), text("draw " + std::to_string(draw))});
      clients[c]->send("of_GetMySysSet", {text(utf8(u8"收银台")), text(who), text("")});
    }
    for (std::size_t c = 0; c < clients.size(); ++c) {
      EXPECT_TRUE(numbers["day"].insert(clients[c]->result().get<std::int64_t>()).second);
      const std::int64_t first = clients[c]->result().get<std::int64_t>();
      EXPECT_TRUE(numbers["continuous"].insert(first).second);
      EXPECT_TRUE(numbers["continuous"].insert(first + 1).second);
      EXPECT_EQ(clients[c]->result(), 1);
      EXPECT_EQ(clients[c]->result(), "draw " + std::to_string(draw));
    }
  }
  // The cashier narrows a list with a filter condition and reads it.
  Client& cashier = *clients[0];
  ASSERT_EQ(cashier.ask(R"({"op":"create","class":"c_n_form_where","as":"where"})")["ok"], true);
  const auto composer = [&](const std::string& method, const json& args) {
    return cashier.ask(json{{"op", "call"}, {"object", "where"}, {"method", method}, {"args", args}}
                           .dump())["result"]["value"];
  };
  composer("of_SetSQL", json::array({text("select nowNo from paramter where nowNo > 0")}));
  EXPECT_EQ(composer("of_add_ons", {text("day"), text("date = '2026-12-11'")}), 1);
  const json filtered = composer("of_getsqlselect", json::array());
  cashier.send("of_GetString", {text(filtered.get<std::string>()), text("nowNo")});
  EXPECT_EQ(cashier.result(), std::to_string(2 * kDraws)) << filtered;
  for (auto& client : clients) EXPECT_EQ(client->finish(), 0);
  ASSERT_FALSE(contains(launcher.lines("FMain", "Memo1"),
                        utf8(u8"系统正在自动备份...,上次备份时间:  时间差:100小时")))
      << "the backup's first tick came before the clients were done: a machine far too slow";
  EXPECT_EQ(numbers["day"].size(), 2u * kDraws);
  EXPECT_EQ(*numbers["day"].rbegin(), 2 * kDraws);
  EXPECT_EQ(*numbers["continuous"].rbegin(), 4 * kDraws);

  // The automatic backup at the timer's first tick, and its upload. The
  // tick comes 10 s after the start; the clients are done long before, so
  // the archive holds their numbers and settings.
  const std::string packed = utf8(u8"压缩到:");
  std::vector<std::string> memo;
  EXPECT_TRUE(waitFor([&] {
    memo = launcher.lines("FMain", "Memo1");
    return contains(memo, utf8(u8"自动备份完毕！"));
  }));
  std::string archive;
  for (const std::string& line : memo)
    if (line.starts_with(packed)) archive = line.substr(packed.size());
  ASSERT_FALSE(archive.empty());
  EXPECT_TRUE(contains(memo, utf8(u8"上传网络U盘:") + archive + utf8(u8"成功")));
  const std::string name = fs::path(archive).filename();
  EXPECT_EQ(readFile(folder.temp() + "storage/backup/" + name), readFile(archive));
  EXPECT_EQ(runTool({"unzip", "-tq", archive}).second, 0);
  std::vector<std::string> requests;
  for (std::optional<std::string> line; (line = vendor.receive(100));)
    requests.push_back(line->substr(0, line->find(' ')));
  EXPECT_EQ(requests,
            (std::vector<std::string>{"/ywpost/getsubcomname.aspx", "/ywpost/getftp2014.aspx",
                                      "/ywpost/getftpok.aspx"}));

  // The restore window loads that archive into a second database.
  for (const std::string& request :
       {std::string(R"({"op":"click","window":"FMain","control":"bt_restore"})"),
        json{{"op", "answer"}, {"reply", archive}}.dump(),
        std::string(R"({"op":"click","window":"frmRestore","control":"bt_GetfileName"})"),
        std::string(R"({"op":"set","window":"frmRestore","control":"ed_password","text":"demo"})"),
        std::string(
            R"({"op":"set","window":"frmRestore","control":"ed_dbname","text":"shop_copy"})"),
        std::string(R"({"op":"answer","reply":"yes"})"),
        std::string(R"({"op":"click","window":"frmRestore","control":"bt_restore"})"),
        std::string(R"({"op":"close","window":"frmRestore"})")}) {
    launcher.send(request);
  }
  for (int replies = 0; replies < 8; ++replies)
    EXPECT_EQ(launcher.reply("the restore")["ok"], true);
  const auto tables = [&](const std::string& database) {
    return folder.query(
        "select table_name, table_type from information_schema.tables "
        "where table_schema='" +
        database + "' order by table_name");
  };
  const std::string shopTables = tables("shop");
  EXPECT_GT(std::count(shopTables.begin(), shopTables.end(), '\n'), 10);
  EXPECT_EQ(tables("shop_copy"), shopTables);
  // After the dump the backup recorded itself (a history row, the time of
  // the last backup); everything else is the same.
  const auto checksums = [&](const std::string& database) {
    std::string list;
    std::string rows = folder.query(
        "select table_name from information_schema.tables where table_type='BASE TABLE' and "
        "table_name not in ('backdb_his','mysysset') and table_schema='" +
        database + "'");
    for (std::size_t end; (end = rows.find('\n')) != std::string::npos; rows.erase(0, end + 1))
      list += (list.empty() ? "" : ",") + database + "." + rows.substr(0, end);
    std::string result = folder.query("checksum table " + list);
    for (std::size_t at; (at = result.find(database + ".")) != std::string::npos;)
      result.erase(at, database.size() + 1);
    return result;
  };
  EXPECT_EQ(checksums("shop_copy"), checksums("shop"));
  const auto settings = [&](const std::string& database) {
    return folder.query("select ItemType, itemName, Itemvalue, Memo from " + database +
                        ".mysysset where (ItemType, itemName) != ('backup', 'lastbackup') "
                        "order by 1, 2");
  };
  EXPECT_EQ(settings("shop_copy"), settings("shop"));
  EXPECT_NE(settings("shop").find(utf8(u8"收银台\ttill1\tdraw ")), std::string::npos);
  const auto backups = [&](const std::string& database) {
    return folder.query("select backupman, backfileName from " + database +
                        ".backdb_his order by id");
  };
  EXPECT_EQ(backups("shop"), backups("shop_copy") + utf8(u8"店长\t") +
                                 archive.substr(0, archive.size() - 4) + ".SQL\n");
  EXPECT_EQ(folder.query("select billName, nowNo from shop_copy.paramter"),
            utf8(u8"销售单\t") + std::to_string(2 * kDraws) + "\n");

  // The launcher closes; its background work ends with it, the server stays.
  const auto closing = Clock::now();
  launcher.send(R"({"op":"close","window":"FMain"})");
  EXPECT_EQ(launcher.finish(), 0);
  EXPECT_LT(Clock::now() - closing, std::chrono::seconds(1));
  EXPECT_TRUE(folder.serverAnswers());
}

}  // namespace
