// n_cst_dbfunc, connection layer: connecting (explicitly or from the remote
// configuration file), the database type, transactions, free statements and
// single-value queries. Failures travel only in results, never as exceptions.
#include "extension/db/n_cst_dbfunc.h"

#include <cstdlib>
#include <new>

#include "extension/db/db_connection.h"
#include "extension/db/password_cipher.h"
#include "extension/frame/message_box.h"
#include "extension/general/text_rules.h"
#include "platform/gbk_text.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace nx {
namespace {

constexpr std::string_view kSection = "nxremote";
constexpr std::string_view kPasswordKey = "&+hkxvq%?";
constexpr unsigned int kDefaultPort = 3306;

// Ports above 32767 arrive as negative 16-bit integers; their bits are the port.
unsigned int portOf(pbint value) { return static_cast<std::uint16_t>(value); }

// The digits of an unsigned decimal prefix; 3306 for an empty value.
unsigned int portOf(const std::string& text) {
  if (text.empty()) return kDefaultPort;
  return static_cast<unsigned int>(std::strtoul(text.c_str(), nullptr, 10));
}

}  // namespace

namespace db {

DatabaseTypeChoice chooseDatabaseType(std::string_view text) {
  for (std::string_view known : {"mssql", "access", "mysql"}) {
    if (platform::equalsIgnoreCase(text, known)) return {std::string(text), false};
  }
  return {"mssql", true};
}

std::string setStringStatement(std::string_view select, std::string_view column,
                               std::string_view escapedValue) {
  const std::string lower = platform::lowerAscii(select);
  const std::size_t where = lower.find(" where ", 1);
  if (where == std::string::npos) return std::string();
  const std::size_t from = lower.find(" from ");
  if (from == std::string::npos || from >= where) return std::string();
  const std::size_t tableAt = from + 6;
  const std::string_view table = trimSpace(select.substr(tableAt, where - tableAt));
  const std::string_view condition = trimSpace(select.substr(where + 7));
  if (table.empty() || condition.empty()) return std::string();
  std::string statement = "Update ";
  statement.append(table).append(" set ").append(column).append("='");
  statement.append(escapedValue).append("' where ").append(condition);
  return statement;
}

}  // namespace db

IPBX_NonVisualObject* n_cst_dbfunc::create(IPB_Session* session, pbobject object) {
  db::setDatabaseType("sql");
  return new (std::nothrow) n_cst_dbfunc(session, object);
}

int n_cst_dbfunc::connectProcedure(const std::string& server, const std::string& database,
                                   const std::string& user, const std::string& password,
                                   unsigned int port) {
  const int result = db::connect(server, user, password, database, port);
  if (result != 0) {
    showMessage(session_, "show", "open failure", PBMessageIcon::None);
    return result;
  }
  server_ = server;
  database_ = database;
  user_ = user;
  password_ = password;
  db::setDatabaseType("mysql");
  return 1;
}

void n_cst_dbfunc::of_SetDbType(const Call& call) {
  const std::optional<std::string> text = call.text(0);
  if (!text) {
    call.returnInt(-1);
    return;
  }
  db::DatabaseTypeChoice choice = db::chooseDatabaseType(*text);
  db::setDatabaseType(std::move(choice.type));
  if (choice.answersOne) call.returnInt(1);
}

void n_cst_dbfunc::of_getLastError(const Call& call) { call.returnText(""); }

void n_cst_dbfunc::of_getmssqlserverday(const Call& call) {
  pbdatetime handle = call.arg(0)->GetDateTime();
  if (handle == nullptr) return;
  const std::string now =
      db::query("select CONVERT(NOW(),CHAR(19))  as gettoday ").value("gettoday", "");
  // Fixed positions of "yyyy-mm-dd hh:mm:ss"; a short answer reads as zeros.
  auto field = [&now](std::size_t at, std::size_t length) {
    return at < now.size() ? leadingInteger(std::string_view(now).substr(at, length)) : 0;
  };
  call.session()->SetDateTime(handle, static_cast<pbint>(field(0, 4)),
                              static_cast<pbint>(field(5, 2)), static_cast<pbint>(field(8, 2)),
                              static_cast<pbint>(field(11, 2)), static_cast<pbint>(field(14, 2)),
                              static_cast<double>(field(17, 2)));
  call.arg(0)->SetDateTime(handle);
  call.returnInt(1);
}

void n_cst_dbfunc::of_commit(const Call& call) {
  db::commit();
  call.returnBool(true);
}

void n_cst_dbfunc::of_rollback(const Call& call) {
  db::rollback();
  call.returnBool(true);
}

void n_cst_dbfunc::of_BeginTrans(const Call& call) { call.returnBool(true); }

void n_cst_dbfunc::of_execute(const Call& call) {
  if (const std::optional<std::string> statement = call.text(0)) db::execute(*statement);
  call.returnText("");
}

void n_cst_dbfunc::of_GetString(const Call& call) {
  const std::optional<std::string> statement = call.text(0);
  if (!statement) {
    call.returnText("");
    return;
  }
  if (!call.text(1)) return;
  call.returnText(db::query(*statement).value(std::size_t{0}, ""));
}

void n_cst_dbfunc::of_SetString(const Call& call) {
  const std::optional<std::string> select = call.text(0);
  const std::optional<std::string> column = call.text(1);
  const std::optional<std::string> value = call.text(2);
  if (!select || !column || !value || db::query(*select).rowCount() == 0) {
    call.returnInt(-1);
    return;
  }
  if (platform::lowerAscii(*select).find(" where ", 1) == std::string::npos) {
    call.returnInt(-2);
    return;
  }
  const std::string statement = db::setStringStatement(*select, *column, db::escape(*value));
  call.returnInt(!statement.empty() && db::execute(statement) > 0 ? 1 : -1);
}

void n_cst_dbfunc::of_ConnectMySQL(const Call& call) {
  const std::optional<std::string> server = call.text(0);
  const std::optional<std::string> database = call.text(1);
  const std::optional<std::string> user = call.text(2);
  const std::optional<std::string> password = call.text(3);
  if (!server || !database || !user || !password) return;
  const int result =
      connectProcedure(*server, *database, *user, *password, portOf(call.integer(4).value_or(0)));
  if (result > 0) db::setConnected();
  call.returnInt(static_cast<pbint>(result));
}

void n_cst_dbfunc::of_AutoConnect(const Call& call) {
  const std::optional<std::string> database = call.text(0);
  if (!database || database->empty()) {
    call.returnInt(0);
    return;
  }
  std::string file = platform::fromWindowsPath("d:\\nxremote.ini");
  std::string server = platform::readProfileString(file, kSection, "server", "");
  if (server.empty()) {
    file = "./dbconfig.ini";
    server = platform::readProfileString(file, kSection, "server", "");
  }
  const std::string user = platform::readProfileString(file, kSection, "userid", "");
  const std::string stored = platform::readProfileString(file, kSection, "password", "");
  const std::string port = platform::readProfileString(file, kSection, "port", "");
  if (server.empty() || user.empty() || stored.empty()) {
    call.returnInt(0);
    return;
  }
  const std::string password = db::decryptStoredPassword(stored, kPasswordKey);
  if (connectProcedure(server, *database, user, password, portOf(port)) > 0) {
    db::setConnected();
    call.returnInt(1);
    return;
  }
  call.returnInt(-1);
}

void n_cst_dbfunc::of_ShutDown(const Call& call) {
  call.returnInt(static_cast<pbint>(db::shutDown()));
}

void n_cst_dbfunc::of_showtable(const Call& call) {
  const std::optional<std::string> statement = call.text(0);
  call.returnText(statement ? db::query(*statement).value(std::size_t{1}, "") : std::string());
}

}  // namespace nx
