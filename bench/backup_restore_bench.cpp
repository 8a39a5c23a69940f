// A shop database of about 100 MB on a private MariaDB server: the
// launcher's whole backup (dump, description, archive made while the dump
// runs) against mysqldump into a file followed by zip -6, and the restore
// window's import against mysql < file, in the same run, with the ratios.
// The archive is checked with unzip -t and must hold the dump byte for byte.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "launcher/backup/database_backup.h"
#include "launcher/backup/restore_window.h"
#include "launcher/core/main_window.h"
#include "platform/gbk.h"
#include "platform/process.h"
#include "tests/launcher/fake_window_system.h"
#include "tests/support/database_server.h"
#include "tests/support/files.h"

namespace {

using testsupport::readFile;
using testsupport::runTool;
using testsupport::writeFile;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds(const std::function<void()>& work) {
  const auto begin = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

}  // namespace

int main() {
  const testsupport::DatabaseServer& server = testsupport::databaseServer();
  testsupport::ScratchDatabase shop("bench_shop");
  shop.run(*platform::utf8ToGbk(readFile(NORVEX_SOURCE_DIR "/appdir/shop.SQL")));
  // Sales rows with GBK texts, about 100 MB of table data.
  shop.run(
      "create table sales (id int primary key, billno varchar(20), goods varchar(60), "
      "customer varchar(40), note varchar(120), price decimal(10,2), made datetime) "
      "default charset=gbk;\n"
      "insert into sales select seq, concat('XS', lpad(seq, 10, '0')), "
      "concat('会员积分卡茶叶礼盒', seq % 977), concat('顾客', seq % 5003), "
      "repeat(concat('备注', char(65 + seq % 26)), 1 + seq % 20), (seq % 10000) / 100, "
      "'2026-01-01' + interval (seq % 300000) minute from seq_1_to_600000;");
  const std::string size = shop.query(
      "select round(sum(data_length)/1048576) from information_schema.tables "
      "where table_schema='" +
      shop.name() + "'");
  std::printf("shop database: %s MB of table data\n", size.substr(0, size.size() - 1).c_str());

  char folderTemplate[] = "/tmp/backup_bench.XXXXXX";
  const std::string dir = std::string(mkdtemp(folderTemplate)) + "/";
  const std::string appDir = dir + "app/";
  fs::create_directories(appDir + "config");
  fs::create_directories(appDir + "mysql/bin");
  fs::create_symlink("/usr/lib/x86_64-linux-gnu/libmariadb.so.3", appDir + "config/libmysql.so");
  for (const char* tool : {"mysql", "mysqldump"})
    fs::create_symlink(std::string("/usr/bin/") + tool, appDir + "mysql/bin/" + tool);
  std::ofstream(appDir + "config/config.ini") << "[backup]\r\nbackpath=" << dir << "backup/\r\n";
  setenv("NORVEX_DATA_ROOT", dir.c_str(), 1);
  setenv("NORVEX_SYSTEM_ROOT", dir.c_str(), 1);
  fs::current_path(appDir);

  testsupport::FakeWindowSystem windows;
  ui::Desktop desktop(windows);
  launcher::App app(appDir, desktop, platform::Processes::Default());
  app.ServerIp = server.host;
  app.Port = server.port;
  app.DbName = shop.name();
  app.DbUser = server.user;
  app.DbPassword = server.password;
  app.MysqlDir = "mysql/";
  app.BackupPath = dir + "safety/";
  app.sharedConnection.Replace(std::make_unique<launcher::TMySqliConn>(
      server.host, server.user, server.password, shop.name(), server.port));
  launcher::TFMain main(app);
  main.control("sp_start").visible = false;
  desktop.show(main);

  // The launcher's backup.
  int made = 0;
  const double backup = seconds([&] { made = main.backup().BackupDatabase(false); });
  std::string dumpFile, archive;
  for (const auto& entry : fs::recursive_directory_iterator(dir + "backup")) {
    if (entry.path().extension() == ".SQL") dumpFile = entry.path().string();
    if (entry.path().extension() == ".zip") archive = entry.path().string();
  }
  // The peer: the dump into a file, then zip at the same level.
  const std::string peerDump = dir + "peer.SQL", peerArchive = dir + "peer.zip";
  const double peerDumpTime = seconds([&] {
    // The dump as it was always run, with every option of the shop's command line.
    const std::vector<std::string> full = {"/usr/bin/mysqldump",
                                           "--no-defaults",
                                           "--result-file=" + peerDump,
                                           "-h" + server.host,
                                           "-u" + server.user,
                                           "-P" + std::to_string(server.port),
                                           "-C",
                                           "-e",
                                           "-f",
                                           "-R",
                                           "--single-transaction",
                                           "--force",
                                           "--default-character-set=utf8",
                                           "--max_allowed_packet=16777216",
                                           "--net_buffer_length=16384",
                                           "--",
                                           shop.name()};
    int status = 0;
    std::string error;
    platform::Processes::Default().runAndWait(full, {{"MYSQL_PWD", server.password}}, "", &status,
                                              &error);
  });
  std::ofstream(dir + "readme.txt") << "readme\r\n";
  const double peerZipTime = seconds([&] {
    runTool({"zip", "-6", "-j", "-q", peerArchive, peerDump, dir + "readme.txt"});
  });

  const bool archiveOk = runTool({"unzip", "-tq", archive}).second == 0;
  const std::string entry = fs::path(dumpFile).filename().string();
  const bool sameBytes = runTool({"unzip", "-p", archive, entry}).first == readFile(dumpFile);

  // The restore window's import against the client reading the file.
  // Each import twice, in the order launcher, peer, peer, launcher, so that
  // neither gains from the other's warm caches; the better time counts.
  testsupport::ScratchDatabase restored("bench_restored"), peerRestored("bench_peer"),
      admin("bench_admin");
  double restore = 1e9, peerRestore = 1e9;
  bool restoredWell = true;
  const auto ours = [&] {
    admin.run("drop database if exists `" + restored.name() + "`");
    launcher::TfrmRestore window(app, main);
    window.FormCreate();
    window.control("ed_password").setText(server.password);
    window.control("ed_dbname").setText(restored.name());
    window.control("ed_fileName").setText(dumpFile);
    windows.answers.push_back(ui::Answer::Yes);
    restore = std::min(restore, seconds([&] { window.bt_restoreClick(); }));
    restoredWell = restoredWell && window.control("memo_exe").lines.back() == ">> 还原完成";
  };
  const auto theirs = [&] {
    admin.run("drop database if exists `" + peerRestored.name() + "`");
    admin.run("create database `" + peerRestored.name() + "`");
    peerRestore = std::min(peerRestore, seconds([&] {
                             int status = 0;
                             std::string error;
                             platform::Processes::Default().runAndWait(
                                 {"/usr/bin/mysql", "--no-defaults", "--default-character-set=utf8",
                                  "-h" + server.host, "-u" + server.user,
                                  "-P" + std::to_string(server.port), peerRestored.name()},
                                 {{"MYSQL_PWD", server.password}}, dumpFile, &status, &error);
                           }));
  };
  ours();
  theirs();
  theirs();
  ours();
  const bool sameTables =
      restoredWell &&
      restored.query("checksum table sales").substr(restored.name().size()) ==
          peerRestored.query("checksum table sales").substr(peerRestored.name().size());

  const double peer = peerDumpTime + peerZipTime;
  std::printf("dump %.1f MB, archive %.1f MB (unzip -t %s, dump entry %s)\n",
              fs::file_size(dumpFile) / 1048576.0, fs::file_size(archive) / 1048576.0,
              archiveOk ? "ok" : "FAILED", sameBytes ? "byte for byte" : "DIFFERS");
  std::printf(
      "backup:  launcher %.2f s   peer mysqldump %.2f s + zip -6 %.2f s = %.2f s   ratio %.2f "
      "(goal <= 0.75)%s\n",
      backup, peerDumpTime, peerZipTime, peer, backup / peer, made == 1 ? "" : "  FAILED");
  std::printf("restore: launcher %.2f s   peer mysql < file %.2f s   ratio %.2f (goal <= 1.05)%s\n",
              restore, peerRestore, restore / peerRestore, sameTables ? "" : "  TABLES DIFFER");
  fs::current_path("/");
  fs::remove_all(dir);
  return archiveOk && sameBytes && sameTables && made == 1 ? 0 : 1;
}
