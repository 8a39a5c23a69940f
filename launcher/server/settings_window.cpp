// The settings window: its three pages, what it reads from my.ini and the
// two launcher INI files, and the checked save into my.ini and config/db.ini.
#include "launcher/server/settings_window.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/profile.h"

namespace launcher {
namespace {

using ui::Kind;

enum Page { kDatabasePage, kNetworkPage, kBackupPage };

constexpr char kMysqld[] = "mysqld";
constexpr char kLocalAddress[] = "127.0.0.1";
constexpr char kLabelColon[] = "：";

bool allDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](unsigned char c) { return std::isdigit(c) != 0; });
}

bool isPort(const std::string& text) {
  // Five digits at most, so the value cannot overflow before the range check.
  if (!allDigits(text) || text.size() > 5) return false;
  const long port = std::strtol(text.c_str(), nullptr, 10);
  return port >= 1 && port <= 65535;
}

// The server's size syntax: a whole number of bytes, or of K, M or G.
bool isSize(const std::string& text) {
  if (text.empty()) return false;
  const char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
  const bool hasUnit = unit == 'K' || unit == 'M' || unit == 'G';
  return allDigits(hasUnit ? text.substr(0, text.size() - 1) : text);
}

bool isRecoveryLevel(const std::string& text) {
  return text.size() == 1 && text[0] >= '0' && text[0] <= '6';
}

// The fields the server would refuse to start with, in page order, with the
// label that names each in its warning.
struct CheckedField {
  const char* name;
  const char* label;
  bool (*valid)(const std::string&);
  const char* rule;
};

constexpr CheckedField kCheckedFields[] = {
    {"cbb_start", "Label2", isRecoveryLevel, "必须是0到6之间的整数"},
    {"ed_port", "Label3", isPort, "必须是1到65535之间的整数"},
    {"ed_tempsize", "Label4", isSize, "必须是整数，可带单位K、M或G，例如20M"},
    {"ed_max_allowed_packet", "Label6", isSize, "必须是整数，可带单位K、M或G，例如20M"},
};

std::string withoutColon(std::string label) {
  if (label.ends_with(kLabelColon)) label.resize(label.size() - std::strlen(kLabelColon));
  return label;
}

}  // namespace

TfrmSQL::TfrmSQL(App& app) : ui::Form("frmSQL", "TfrmSQL"), app_(app), pages_(kBackupPage + 1) {
  caption = "参数设置";
  clientWidth = 531;
  clientHeight = 404;
  addControls();
  PageControl1Change();
}

ui::Control& TfrmSQL::addOn(int page, const std::string& name, Kind kind, ui::Geometry bounds) {
  ui::Control& added = add(name, kind, bounds);
  pages_[std::size_t(page)].push_back(&added);
  return added;
}

void TfrmSQL::addControls() {
  ui::Control& pages = add("PageControl1", Kind::TabBar, {8, 8, 515, 28});
  pages.items = {"数据库设置", "网络版设置", "云端备份"};
  pages.itemIndex = kNetworkPage;
  pages.onChange = [this] { PageControl1Change(); };

  addOn(kDatabasePage, "chk_127", Kind::CheckBox, {24, 52, 220, 20})
      .setText("仅限本机访问MySQL数据库");
  addOn(kDatabasePage, "cbk_CmdRun", Kind::CheckBox, {284, 52, 220, 20})
      .setText("以命令行方式运行");
  struct Row {
    const char* label;
    const char* caption;
    const char* field;
    Kind kind;
    const char* text;
  };
  const Row rows[] = {{"Label1", "局域网服务器IP：", "ed_serverip", Kind::Edit, ""},
                      {"Label2", "MySQL启动方式：", "cbb_start", Kind::ComboBox, "0"},
                      {"Label3", "使用端口号：", "ed_port", Kind::Edit, "3306"},
                      {"Label4", "临时表内存大小：", "ed_tempsize", Kind::Edit, "50M"},
                      {"Label5", "联结数据库：", "ed_dbname", Kind::Edit, ""},
                      {"Label6", "最大允许包：", "ed_max_allowed_packet", Kind::Edit, "20M"}};
  int top = 88;
  for (const Row& row : rows) {
    addOn(kDatabasePage, row.label, Kind::Label, {24, top, 112, 22}).setText(row.caption);
    addOn(kDatabasePage, row.field, row.kind, {140, top, 130, 22}).setText(row.text);
    top += 34;
  }
  ui::Control& start = control("cbb_start");
  start.editable = true;
  start.items = {"0", "1", "2", "3", "4", "5", "6"};
  start.itemIndex = 0;
  const char* const notes[] = {"说明：", "0-- 正常启动", "1-- 少量数据出错，跳过启动",
                               "4-- MySQL崩溃，跳过主线程，直接启动",
                               "6-- 保存MySQL启动，先导出数据"};
  top = start.bounds.top + 2;
  int number = 7;
  for (const char* note : notes) {
    addOn(kDatabasePage, "Label" + std::to_string(number++), Kind::Label, {290, top, 230, 18})
        .setText(note);
    top += 20;
  }

  addOn(kNetworkPage, "Label12", Kind::Label, {24, 60, 112, 22}).setText("服务器地址：");
  addOn(kNetworkPage, "ed_url", Kind::Edit, {140, 60, 220, 22});
  addOn(kNetworkPage, "Label13", Kind::Label, {368, 60, 150, 22}).setText("(没有特殊服务器不填)");
  addOn(kNetworkPage, "Label14", Kind::Label, {24, 96, 112, 22}).setText("公司编码：");
  addOn(kNetworkPage, "ed_comname", Kind::Edit, {140, 96, 220, 22});

  ui::Control& tel = addOn(kBackupPage, "rb_tel", Kind::RadioButton, {40, 60, 240, 20});
  tel.setText("电信联通双线机房");
  tel.checked = true;
  tel.onClick = [this] { rb_telClick(); };
  ui::Control& bgp = addOn(kBackupPage, "rb_bgp", Kind::RadioButton, {40, 92, 240, 20});
  bgp.setText("BGP机房");
  bgp.onClick = [this] { rb_bgpClick(); };

  ui::Control& save = add("bt_save", Kind::Button, {334, 362, 88, 30});
  save.setText("保存");
  save.onClick = [this] { bt_saveClick(); };
  ui::Control& close = add("bt_close", Kind::Button, {432, 362, 88, 30});
  close.setText("关闭");
  close.onClick = [this] { bt_closeClick(); };
}

std::string TfrmSQL::MyIniFile() const { return app_.AbsoluteMysqlDir() + "my.ini"; }

void TfrmSQL::FormCreate() {
  // The address the launcher started with decides, not the one in the box.
  if (app_.ServerIp == kLocalAddress) {
    const std::string myIni = MyIniFile();
    const auto option = [&myIni](const char* key, const char* fallback) {
      return platform::readProfileString(myIni, kMysqld, key, fallback);
    };
    control("ed_tempsize").setText(option("tmp_table_size", "10M"));
    control("chk_127").checked = option("bind-address", "") == kLocalAddress;
    ui::Control& start = control("cbb_start");
    start.setText(option("innodb_force_recovery", "0"));
    const auto listed = std::find(start.items.begin(), start.items.end(), start.text());
    start.itemIndex = listed != start.items.end() ? int(listed - start.items.begin()) : -1;
    control("ed_max_allowed_packet").setText(option("max_allowed_packet", "10M"));
  }

  // db.ini is what this window saves into, so it wins over config.ini.
  const std::string db = app_.dbFile();
  const std::string config = app_.configFile();
  const auto setting = [&](const char* section, const char* key, const char* fallback) {
    const std::string value = platform::readProfileString(db, section, key, "");
    return value.empty() ? platform::readProfileString(config, section, key, fallback) : value;
  };
  control("ed_dbname").setText(setting("db", "name", ""));
  control("ed_serverip").setText(setting("db", "serverip", kLocalAddress));
  control("ed_url").setText(setting("db", "url", ""));
  control("ed_comname").setText(setting("db", "comname", ""));
  control("ed_port").setText(setting("db", "port", ""));
  control("cbk_CmdRun").checked =
      std::strtol(setting("db", "cmdrun", "0").c_str(), nullptr, 10) != 0;
  const bool firstHost = setting("backup", "server", "1") == "1";
  control("rb_tel").checked = firstHost;
  control("rb_bgp").checked = !firstHost;
}

void TfrmSQL::PageControl1Change() {
  const int current = control("PageControl1").itemIndex;
  for (std::size_t page = 0; page < pages_.size(); ++page)
    for (ui::Control* member : pages_[page]) member->visible = int(page) == current;
}

void TfrmSQL::rb_telClick() {
  if (control("rb_tel").checked) control("rb_bgp").checked = false;
}

void TfrmSQL::rb_bgpClick() {
  if (control("rb_bgp").checked) control("rb_tel").checked = false;
}

void TfrmSQL::warn(const std::string& text) {
  app_.desktop.dialogs().messageBox("提示", text, ui::Icon::Warning, ui::Buttons::Ok);
}

bool TfrmSQL::fieldsAreValid() {
  for (const CheckedField& field : kCheckedFields) {
    ui::Control& box = control(field.name);
    box.setText(Trim(box.text()));
    if (field.valid(box.text())) continue;
    // The bad field may sit on a page that is not shown.
    control("PageControl1").itemIndex = kDatabasePage;
    PageControl1Change();
    focus = field.name;
    warn(withoutColon(control(field.label).text()) + field.rule);
    return false;
  }
  return true;
}

bool TfrmSQL::writeServerOptions() {
  if (app_.MysqlDir.empty()) return true;
  const std::string myIni = MyIniFile();
  const auto put = [&](const char* key, const char* field) {
    return platform::writeProfileString(myIni, kMysqld, key, control(field).text());
  };
  const bool written =
      put("port", "ed_port") && put("tmp_table_size", "ed_tempsize") &&
      (control("chk_127").checked
           ? platform::writeProfileString(myIni, kMysqld, "bind-address", kLocalAddress)
           : platform::deleteProfileKey(myIni, kMysqld, "bind-address")) &&
      put("innodb_force_recovery", "cbb_start") &&
      put("max_allowed_packet", "ed_max_allowed_packet");
  if (!written) warn("保存失败，无法写入文件 " + myIni);
  return written;
}

bool TfrmSQL::writeConnectionEntries() {
  const std::string db = app_.dbFile();
  const auto put = [&db](const char* section, const char* key, const std::string& value) {
    return platform::writeProfileString(db, section, key, value);
  };
  const auto shown = [this](const char* field) { return control(field).text(); };
  const bool written = put("db", "name", shown("ed_dbname")) &&
                       put("db", "serverip", shown("ed_serverip")) &&
                       put("db", "url", shown("ed_url")) && put("db", "port", shown("ed_port")) &&
                       put("db", "comname", shown("ed_comname")) &&
                       put("db", "cmdrun", control("cbk_CmdRun").checked ? "1" : "0") &&
                       put("backup", "server", control("rb_tel").checked ? "1" : "2");
  if (!written) warn("保存失败，无法写入文件 " + db);
  return written;
}

void TfrmSQL::bt_saveClick() {
  if (!fieldsAreValid() || !writeServerOptions() || !writeConnectionEntries()) return;
  // Only these two take effect at once; the rest waits for the next start.
  app_.CmdRun = control("cbk_CmdRun").checked;
  app_.Url = control("ed_url").text();
  app_.desktop.dialogs().messageBox("提示", "保存成功！", ui::Icon::Information, ui::Buttons::Ok);
  app_.desktop.close(*this);
}

void TfrmSQL::bt_closeClick() { app_.desktop.close(*this); }

}  // namespace launcher
