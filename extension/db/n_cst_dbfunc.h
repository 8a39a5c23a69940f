// n_cst_dbfunc: the client scripts' access to the shop database over the
// library's one shared connection. The table has one entry per method line
// of the class block; entries without an operation here stay null.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "extension/frame/extension_object.h"

namespace nx {

class n_cst_dbfunc final : public ExtensionObject<n_cst_dbfunc> {
 public:
  // Every creation sets the process-wide database type to "sql".
  static IPBX_NonVisualObject* create(IPB_Session* session, pbobject object);

  void of_SetDbType(const Call& call);
  void of_getLastError(const Call& call);
  void of_getmssqlserverday(const Call& call);
  void of_commit(const Call& call);
  void of_rollback(const Call& call);
  void of_BeginTrans(const Call& call);
  void of_execute(const Call& call);
  void of_GetString(const Call& call);
  void of_SetString(const Call& call);
  void of_ConnectMySQL(const Call& call);
  void of_AutoConnect(const Call& call);
  void of_ShutDown(const Call& call);
  void of_showtable(const Call& call);

  static constexpr std::array<Operation, 47> kOperations = {
      nullptr,                              // 0 of_ConnectServer
      nullptr,                              // 1 of_GetMySysSet
      nullptr,                              // 2 of_SetMySysSet
      &n_cst_dbfunc::of_SetDbType,          // 3
      nullptr,                              // 4 of_findnextid
      nullptr,                              // 5 of_findnext_continueid
      &n_cst_dbfunc::of_getLastError,       // 6
      &n_cst_dbfunc::of_getmssqlserverday,  // 7
      nullptr,                              // 8 of_getmywindw
      nullptr,                              // 9 of_getcolsize
      nullptr,                              // 10 of_getcoltype
      nullptr,                              // 11 of_setDwRepairSyntax
      nullptr,                              // 12 of_getusersysset
      nullptr,                              // 13 of_Setusersysset
      nullptr,                              // 14 of_setmysysset_memo
      &n_cst_dbfunc::of_commit,             // 15
      &n_cst_dbfunc::of_rollback,           // 16
      &n_cst_dbfunc::of_BeginTrans,         // 17
      &n_cst_dbfunc::of_execute,            // 18
      nullptr,                              // 19 of_updatestocknum
      nullptr,                              // 20 of_updatestocknumbydetail
      nullptr,                              // 21 of_updatestockpos
      nullptr,                              // 22 of_getspid
      nullptr,                              // 23 of_isexisttable
      nullptr,                              // 24 of_ConnectAccess
      &n_cst_dbfunc::of_GetString,          // 25
      &n_cst_dbfunc::of_SetString,          // 26
      nullptr,                              // 27 of_addUser
      nullptr,                              // 28 of_delUser
      nullptr,                              // 29 of_changePassword
      nullptr,                              // 30 of_rename
      nullptr,                              // 31 of_restoredb
      nullptr,                              // 32 of_SetMyWindw
      nullptr,                              // 33 gf_ExportMydwFile
      nullptr,                              // 34 gf_ExportMydw
      nullptr,                              // 35 gf_ImportMydwFile
      nullptr,                              // 36 gf_ImportMydw
      nullptr,                              // 37 gf_ImportNewTableToDB
      nullptr,                              // 38 gf_UpdateNewTable
      &n_cst_dbfunc::of_ConnectMySQL,       // 39
      nullptr,                              // 40 of_CreateOrAlterObject
      nullptr,                              // 41 of_GetPBCreateObjSQL
      nullptr,                              // 42 of_GetObjSyntax
      nullptr,                              // 43 of_Helptext
      &n_cst_dbfunc::of_AutoConnect,        // 44
      &n_cst_dbfunc::of_ShutDown,           // 45
      &n_cst_dbfunc::of_showtable,          // 46
  };

 private:
  n_cst_dbfunc(IPB_Session* session, pbobject object) : session_(session), object_(object) {}

  // 1 on success (texts kept, type "mysql"); else the box "open failure" and -2 or -3.
  int connectProcedure(const std::string& server, const std::string& database,
                       const std::string& user, const std::string& password, unsigned int port);

  IPB_Session* session_;
  pbobject object_;
  std::string server_;
  std::string database_;
  std::string user_;
  std::string password_;
};

namespace db {

// What of_SetDbType does with a text: the type it stores, and whether it answers 1.
struct DatabaseTypeChoice {
  std::string type;
  bool answersOne = false;
};
DatabaseTypeChoice chooseDatabaseType(std::string_view text);

// of_SetString's update for a SELECT text: "Update <FROM table> set <column>='<value>' where
// <WHERE condition>", the value already escaped; empty when the text has no " where " after
// its first character or no " from " before it.
std::string setStringStatement(std::string_view select, std::string_view column,
                               std::string_view escapedValue);

}  // namespace db
}  // namespace nx
