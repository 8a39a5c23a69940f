#include "launcher/online/network_upload.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "launcher/online/delimited_list.h"
#include "launcher/online/ftp_library.h"
#include "launcher/online/vendor_requests.h"
#include "launcher/support/connection_helpers.h"
#include "launcher/support/error.h"
#include "launcher/support/text_cipher.h"

namespace launcher {
namespace {

constexpr char kUploadKey[] = "36^tR&74";

std::string bareName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "YYYY-MM-DD" with an optional " HH:MM:SS" as local time.
std::optional<std::time_t> localTime(const std::string& text) {
  std::tm when{};
  int consumed = 0;
  const int fields =
      std::sscanf(text.c_str(), "%4d-%2d-%2d%n %2d:%2d:%2d%n", &when.tm_year, &when.tm_mon,
                  &when.tm_mday, &consumed, &when.tm_hour, &when.tm_min, &when.tm_sec, &consumed);
  if ((fields != 3 && fields != 6) || static_cast<std::size_t>(consumed) != text.size()) {
    return std::nullopt;
  }
  if (when.tm_mon < 1 || when.tm_mon > 12 || when.tm_mday < 1 || when.tm_mday > 31 ||
      when.tm_hour > 23 || when.tm_min > 59 || when.tm_sec > 59) {
    return std::nullopt;
  }
  when.tm_year -= 1900;
  when.tm_mon -= 1;
  when.tm_isdst = -1;
  const std::time_t then = std::mktime(&when);
  if (then == static_cast<std::time_t>(-1)) return std::nullopt;
  return then;
}

}  // namespace

std::optional<FtpAccess> ReadFtpAccess(const std::string& reply, std::string* reason) {
  if (!reply.starts_with("OK:")) {
    *reason = reply;
    return std::nullopt;
  }
  std::string text;
  try {
    text = DecryptText(reply.substr(3), kUploadKey);
  } catch (const LauncherError& error) {
    *reason = error.what();
    return std::nullopt;
  }
  const std::vector<std::string> items = SplitDelimited(text, ',');
  if (items.size() < 4) {
    // The text holds the password: it is not shown.
    *reason = "网盘访问信息不完整";
    return std::nullopt;
  }
  FtpAccess access;
  access.user = items[0];
  access.password = items[1];
  const std::string& servers = items[2];
  const std::size_t bar = servers.find('|');
  const std::string pairs[2] = {servers.substr(0, bar),
                                bar == std::string::npos ? std::string() : servers.substr(bar + 1)};
  for (int i = 0; i < 2; ++i) access.hosts[i] = pairs[i].substr(0, pairs[i].find(':'));
  access.folder = items[3];
  return access;
}

int DetermineBeginDate(App& app) {
  const SharedConnection& db = app.sharedConnection;
  if (db.Get() == nullptr) return -1;
  app.BeginDate = GetSysSetting(db, "sysset", "begindate", "");
  if (Trim(app.BeginDate).empty()) {
    app.BeginDate = QueryValue(db, "select min(out_date) as out_date from outone", "out_date");
    if (Trim(app.BeginDate).empty()) {
      app.BeginDate =
          QueryValue(db, "select min(modifydate) as modifydate from customer_small", "modifydate");
    }
    if (!Trim(app.BeginDate).empty()) SetSysSetting(db, "sysset", "begindate", app.BeginDate);
  }
  const std::string date = Trim(app.BeginDate);
  if (date.empty()) return -1;
  const std::optional<std::time_t> then = localTime(date);
  if (!then) return -1;
  return static_cast<int>(std::difftime(std::time(nullptr), *then) / 86400);
}

TNetworkUpload::TNetworkUpload(App& app, std::function<void(const std::string&)> addStatus)
    : app_(app), addStatus_(std::move(addStatus)) {}

std::string TNetworkUpload::requestParameters(const std::string& archive) {
  const SharedConnection& db = app_.sharedConnection;
  const std::string columns = "select bossmobile,comName,linkman,address,phone ";
  // Quoted like every other value, so that a code cannot rewrite the statement.
  std::string statement = columns + "from subcom where subno=" + QuoteText(app_.CurrentBranchCode);
  if (QueryValue(db, statement, "bossmobile").empty()) statement = columns + "from subcom ";
  const auto column = [&](const char* name) { return QueryValue(db, statement, name); };
  return "driverno=" + app_.InstallationId + "&mobile=" + column("bossmobile") +
         "&filename=" + UrlEncodeUtf8(bareName(archive)) +
         "&comname=" + UrlEncodeUtf8(column("comName")) +
         "&address=" + UrlEncodeUtf8(column("address")) + "&qq=" + "&phone=" + column("phone") +
         "&linkman=" + UrlEncodeUtf8(column("linkman")) +
         "&begindate=" + UrlEncodeUtf8(app_.BeginDate) + "&versoft=" + app_.VerSoft;
}

int TNetworkUpload::UploadArchive(const std::string& archive) {
  addStatus_("上传网络U盘:" + archive + "请稍后...");
  const std::string parameters = requestParameters(archive);
  const std::string reply = VendorRequest(app_, "ywpost/getftp2014.aspx", parameters);
  std::string reason;
  const std::optional<FtpAccess> access = ReadFtpAccess(reply, &reason);
  if (!access) {
    addStatus_("上传失败:" + reason);
    return 0;
  }

  // The server that took the last connection goes first; after a failed
  // connection, the other one.
  const std::string serverNo = app_.ReadConfigValue("backup", "serverno", "0");
  const std::string result = app_.ReadConfigValue("backup", "result", serverNo);
  int first = serverNo == "0" ? 0 : 1;
  if (result != "ok") first = 1 - first;

  TLibNxFtpDll ftp(app_.AppDir);
  const std::string name = bareName(archive);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int server = attempt == 0 ? first : 1 - first;
    const std::string& host = access->hosts[server];
    addStatus_("网络服务器:" + std::to_string(attempt) + "   " + host);
    ftp.of_DisConnect();
    ftp.host = host;
    ftp.port = "21";
    ftp.user = access->user;
    ftp.password = access->password;
    ftp.logFolder.clear();
    app_.WriteConfigValue("backup", "serverno", std::to_string(server));
    app_.WriteConfigValue("backup", "result", "begin");
    const int connected = ftp.of_Connect();
    if (connected != 1) {
      addStatus_("不能联结服务器:" + host + "  错误代码:" + std::to_string(connected));
      continue;
    }
    app_.WriteConfigValue("backup", "result", "ok");
    const int changed = ftp.of_ChangeDir(access->folder);
    if (changed != 1) {
      addStatus_("服务器目录:" + access->folder + "  失败" + std::to_string(changed));
      continue;
    }
    const int uploaded = ftp.of_UpFile(name, archive, 1);
    if (uploaded == 1) {
      addStatus_("上传网络U盘:" + archive + "成功");
      VendorRequest(app_, "ywpost/getftpok.aspx", parameters);
      break;
    }
    addStatus_("上传网络U盘:" + archive + "失败" + std::to_string(uploaded));
  }
  ftp.of_DisConnect();
  return 1;
}

}  // namespace launcher
