// The restore window: its controls, the command preview, the file choice
// and the restore with its preconditions, the safety dump, the new database
// and the import fed from the file or the archive.
#include "launcher/backup/restore_window.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>

#include "launcher/backup/archive.h"
#include "launcher/backup/database_backup.h"
#include "launcher/core/daily_log.h"
#include "launcher/support/connection_helpers.h"
#include "launcher/support/error.h"
#include "launcher/support/mysql_client.h"
#include "platform/paths.h"
#include "platform/system_info.h"

namespace launcher {
namespace {

using ui::Kind;
using Clock = std::chrono::steady_clock;

constexpr char kAborted[] = "还原数据库操作终止！";

bool isArchive(const std::string& file) {
  std::string lower = file;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower.ends_with(".zip");
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

TfrmRestore::TfrmRestore(App& app, ui::Form& main)
    : ui::Form("frmRestore", "TfrmRestore"), app_(app), main_(main) {
  caption = "还原备份文件";
  clientWidth = 608;
  clientHeight = 424;
  addControls();
}

void TfrmRestore::addControls() {
  struct Field {
    const char* label;
    const char* caption;
    const char* edit;
    int top;
  };
  const Field fields[] = {{"Label1", "用户名：", "ed_username", 20},
                          {"Label2", "密码：", "ed_password", 52},
                          {"Label3", "数据库名称：", "ed_dbname", 84},
                          {"Label4", "备份文件：", "ed_fileName", 116}};
  for (const Field& field : fields) {
    add(field.label, Kind::Label, {20, field.top + 3, 90, 16}).setText(field.caption);
    add(field.edit, Kind::Edit, {112, field.top, 360, 22});
  }
  control("ed_username").setText("root");
  control("ed_password").password = true;
  control("ed_dbname").onChange = [this] { ed_dbnameChange(); };
  ui::Control& file = control("ed_fileName");
  file.readOnly = true;
  file.background = "#e4e4e4";
  ui::Control& choose = add("bt_GetfileName", Kind::Button, {482, 115, 100, 24});
  choose.setText("选择文件");
  choose.onClick = [this] { bt_GetfileNameClick(); };
  ui::Control& notes = add("Label5", Kind::Label, {20, 148, 568, 36});
  notes.setText(
      "说明：1、用户名、密码：  指数据库用户名、密码；2、数据库名称：指还原后的数据库名称；"
      "3、备份文件：指还原数据库所需要的数据库文件");
  notes.wordWrap = true;
  ui::Control& memo = add("memo_exe", Kind::Memo, {20, 190, 568, 180});
  memo.readOnly = true;
  memo.background = "#e4e4e4";
  ui::Control& restore = add("bt_restore", Kind::Button, {482, 384, 100, 28});
  restore.setText("开始还原");
  restore.onClick = [this] { bt_restoreClick(); };
  add("cbk_debug", Kind::CheckBox, {20, 388, 120, 20}).setText("调试模式");
}

void TfrmRestore::FormCreate() {
  control("ed_dbname").setText(app_.DbName);
  ed_dbnameChange();
}

void TfrmRestore::ed_dbnameChange() { refreshPreview(); }

std::string TfrmRestore::clientPath() const { return app_.AbsoluteMysqlDir() + "bin/mysql"; }

std::string TfrmRestore::SafetyDumpPath(const std::string& name) const {
  return app_.BackupPath + name + "-" + LocalTimeText("%Y%m%d%H%M%S") + "-" + "del.bak";
}

void TfrmRestore::line(const std::string& text) { control("memo_exe").appendLine(text); }

void TfrmRestore::warn(const std::string& text, ui::Icon kind) {
  app_.desktop.dialogs().messageBox("提示", text, kind, ui::Buttons::Ok);
}

void TfrmRestore::refreshPreview() {
  if (!platform::fileExists(clientPath())) {
    app_.desktop.dialogs().messageBox(app_.Title, clientPath() + " 还原程序不存在", ui::Icon::None,
                                      ui::Buttons::Ok);
    return;
  }
  // The password is never shown here.
  control("memo_exe")
      .setText(">> " + clientPath() + " --default-character-set=utf8 -h" + app_.ServerIp + " -u" +
               control("ed_username").text() + " -p******  " + " -P" + std::to_string(app_.Port) +
               "  " + control("ed_dbname").text() + " < " + control("ed_fileName").text());
}

void TfrmRestore::bt_GetfileNameClick() {
  const std::string dataBackup = platform::fromWindowsPath("d:\\backup\\");
  const std::string folder =
      platform::folderExists(dataBackup) ? dataBackup : platform::fromWindowsPath("c:\\backup\\");
  // The archives of the backups are offered beside the plain dumps.
  const std::optional<std::string> chosen =
      app_.desktop.dialogs().openFile("*.sql|*.sql|*.zip|*.zip", folder, "");
  if (!chosen) return;
  control("ed_fileName").setText(*chosen);
  refreshPreview();
}

void TfrmRestore::progress(long long done, long long total) {
  std::string text = "正在还原：已读入 " + std::to_string(done / (1024 * 1024)) + " MB";
  if (total > 0) text += "，约 " + std::to_string(done * 100 / total) + "%";
  main_.control("stat").setText(text);
  app_.desktop.reportProgress("restore", done, total);
}

TfrmRestore::Import TfrmRestore::import(const std::string& user, const std::string& password,
                                        const std::string& name, const std::string& file) {
  std::vector<std::string> argv = {clientPath(), "--no-defaults", "--default-character-set=utf8",
                                   "-h" + app_.ServerIp};
  if (!user.empty()) argv.push_back("-u" + user);
  argv.insert(argv.end(), {"-P" + std::to_string(app_.Port), "--", name});
  std::string error, output;
  std::unique_ptr<platform::CapturedChild> child =
      app_.processes.startFeeding(argv, {{"MYSQL_PWD", password}}, &error);
  if (!child) {
    line(">> 还原的数据库" + name + "失败" + kAborted);
    line(">> " + error);
    return Import::Failed;
  }
  long long total = 0, done = 0;
  DumpTail tail;
  Clock::time_point lastShown{};  // the first piece is shown at once
  const auto sink = [&](std::string_view bytes) {
    if (!child->feed(bytes, &output)) return false;
    done += static_cast<long long>(bytes.size());
    tail.Add(bytes);
    if (Clock::now() - lastShown >= std::chrono::seconds(1)) {
      lastShown = Clock::now();
      progress(done, total);
    }
    app_.desktop.processPendingEvents();
    return !app_.Closing;
  };
  bool fed = true;
  if (isArchive(file)) {
    std::string readError;
    fed = ReadArchiveDump(
        file, [&total](long long size) { total = size; }, sink, &readError);
    if (!readError.empty()) output += readError + "\n";
  } else {
    std::ifstream in(file, std::ios::binary);
    in.seekg(0, std::ios::end);
    total = static_cast<long long>(in.tellg());
    in.seekg(0);
    std::string buffer(1 << 20, '\0');
    while (fed && in) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      if (in.gcount() > 0) fed = sink(std::string_view(buffer.data(), std::size_t(in.gcount())));
    }
    if (in.bad()) {
      fed = false;
      output += file + ": read error\n";
    }
  }
  child->endInput();
  if (!fed) child->terminate();
  while (child->read(&output, std::chrono::milliseconds(100))) app_.desktop.processPendingEvents();
  const int code = child->wait();
  main_.control("stat").setText("");
  if (fed && code == 0) return tail.Complete() ? Import::Complete : Import::Unmarked;
  line(">> 还原数据库" + name + "时失败！" + kAborted);
  const std::string reason = Trim(output);
  if (!reason.empty()) line(">> " + reason);
  return Import::Failed;
}

void TfrmRestore::bt_restoreClick() {
  const std::string user = Trim(control("ed_username").text());
  const std::string name = Trim(control("ed_dbname").text());
  const std::string file = Trim(control("ed_fileName").text());
  const std::string password = control("ed_password").text();
  if (main_.control("sp_start").visible) {
    warn("数据库服务未启动，不能执行还原数据库操作，\r\n请启动数据库服务后重试！");
    return;
  }
  if (file.empty()) {
    warn("请选择需要还原的备份文件！");
    return;
  }
  if (!platform::fileExists(file)) {
    warn("输入的文件名" + control("ed_fileName").text() + "不存在");
    return;
  }
  if (password.empty()) {
    warn("密码不能为空！");
    return;
  }
  if (!platform::fileExists(clientPath())) {
    warn(clientPath() + " 还原程序不存在");
    return;
  }
  if (app_.desktop.dialogs().messageBox(
          "提示",
          "警告：还原数据库将会恢复到以前的备份数据，当前的部分数据可能会丢失。        \r\n"
          "您确定执行还原数据库吗？",
          ui::Icon::Question, ui::Buttons::YesNo) != ui::Answer::Yes) {
    return;
  }

  std::unique_ptr<TMySqliConn> connection;
  try {
    connection = std::make_unique<TMySqliConn>(app_.ServerIp, user, password, "mysql", app_.Port);
  } catch (const LauncherError&) {
  }
  if (!connection) {
    warn("用户名或密码不正确，连接数据库失败", ui::Icon::Error);
    return;
  }
  if (!connection->Connected) {
    warn("用户名或密码不正确\r\n" + connection->ErrorText, ui::Icon::Error);
    return;
  }
  const auto execute = [&connection](const std::string& sql) {
    try {
      TMySqli statement(*connection);
      statement.SetSQL(sql);
      return statement.Execute() >= 0;
    } catch (const LauncherError&) {
      return false;
    }
  };

  std::string exists = "0";
  try {
    TMySqli query(*connection);
    query.SetSQL(
        "SELECT count(*) as count FROM  information_schema.SCHEMATA    where SCHEMA_NAME=" +
        QuoteText(name) + ";");
    std::unique_ptr<TMySqliQueryResult> result = query.Open();
    if (!result) throw LauncherError("no result");
    exists = result->GetDataByFieldName("count");
  } catch (const LauncherError&) {
    // Not knowing whether there is old data to keep, nothing is changed.
    line(">> 查询数据库是否存在时出现错误！");
    line(std::string(">> ") + kAborted);
    return;
  }

  std::string safetyDump;
  if (exists == "1") {
    const std::string tool = app_.AbsoluteMysqlDir() + "bin/mysqldump";
    if (!platform::fileExists(tool)) {
      line(">> 由于还原的数据库" + name + "已经存在，" + "故先备份已经存在的数据库" + name + "，" +
           "但是备份程序不存在！");
      return;
    }
    safetyDump = SafetyDumpPath(name);
    line(">> 正在备份原有的数据库" + name + "。" + "备份的文件名：" + safetyDump);
    platform::createFolders(folderOf(safetyDump));
    // The old data is dropped only once this dump is complete.
    const std::string reason = RunDumpTool(
        app_, DumpArguments(tool, app_.ServerIp, user, app_.Port, name), password, safetyDump,
        [](std::string_view) {}, [](long long) {});
    if (!reason.empty()) {
      line(">> 备份原有的数据库" + name + "失败。" + kAborted);
      line(">> " + reason);
      return;
    }
    line(">> 正在删除原有的数据库" + name);
    if (!execute("Drop DataBase IF EXISTS " + QuoteIdentifier(name))) {
      line(">> 由于还原的数据库" + name + "已经存在，" + "故需要删除已经存在的数据库" + name +
           "。" + "在删除已经存在的数据库" + name + "时失败，" +
           "请已经登录了的用户退出系统后重试！" + kAborted);
      return;
    }
  }
  line(">> 正在创建还原的数据库" + name);
  if (!execute("Create DataBase IF NOT EXISTS  " + QuoteIdentifier(name))) {
    line(">> 创建还原的数据库" + name + "失败！" + kAborted);
    if (!safetyDump.empty()) line(">> 原有的数据在：" + safetyDump);
    return;
  }
  if (control("cbk_debug").checked) {
    control("memo_exe")
        .setText(clientPath() + " --default-character-set=utf8 -h" + app_.ServerIp + " -u" + user +
                 " -p" + password + " -P" + std::to_string(app_.Port) + "  " + name + " < " + file);
  }
  line(">> 正在还原数据库" + name);
  const Import imported = import(user, password, name, file);
  if (imported == Import::Failed) {
    // What the database held is kept in its safety dump.
    if (!safetyDump.empty()) line(">> 原有的数据在：" + safetyDump);
    return;
  }
  // A dump cut short at a statement's end imports without error: the old
  // data's only copy stays until a complete dump replaced it.
  if (imported == Import::Unmarked && !safetyDump.empty()) {
    line(">> 还原的文件没有备份完成标记，可能不完整。原有的数据仍在：" + safetyDump);
    line(">> 还原完成");
    warn("还原完成，但还原的文件没有备份完成标记，可能不完整，请检查数据。\r\n原有的数据仍在：" +
         safetyDump);
    return;
  }
  if (!safetyDump.empty()) std::remove(safetyDump.c_str());
  line(">> 还原完成");
  warn("还原完成！", ui::Icon::Information);
}

}  // namespace launcher
