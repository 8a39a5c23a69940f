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

  // Settings tables and document numbering.
  void of_GetMySysSet(const Call& call);
  void of_SetMySysSet(const Call& call);
  void of_findnextid(const Call& call);
  void of_findnext_continueid(const Call& call);
  void of_getmywindw(const Call& call);
  void of_getusersysset(const Call& call);
  void of_Setusersysset(const Call& call);
  void of_setmysysset_memo(const Call& call);
  void of_getspid(const Call& call);
  void of_SetMyWindw(const Call& call);

  // Stock quantity statements.
  void of_updatestocknum(const Call& call);
  void of_updatestocknumbydetail(const Call& call);
  void of_updatestockpos(const Call& call);

  // Schema and object tools.
  void of_getcolsize(const Call& call);
  void of_getcoltype(const Call& call);
  void of_setDwRepairSyntax(const Call& call);
  void of_isexisttable(const Call& call);
  void of_Helptext(const Call& call);

  static constexpr std::array<Operation, 47> kOperations = {
      nullptr,                                   // 0 of_ConnectServer
      &n_cst_dbfunc::of_GetMySysSet,             // 1
      &n_cst_dbfunc::of_SetMySysSet,             // 2
      &n_cst_dbfunc::of_SetDbType,               // 3
      &n_cst_dbfunc::of_findnextid,              // 4
      &n_cst_dbfunc::of_findnext_continueid,     // 5
      &n_cst_dbfunc::of_getLastError,            // 6
      &n_cst_dbfunc::of_getmssqlserverday,       // 7
      &n_cst_dbfunc::of_getmywindw,              // 8
      &n_cst_dbfunc::of_getcolsize,              // 9
      &n_cst_dbfunc::of_getcoltype,              // 10
      &n_cst_dbfunc::of_setDwRepairSyntax,       // 11
      &n_cst_dbfunc::of_getusersysset,           // 12
      &n_cst_dbfunc::of_Setusersysset,           // 13
      &n_cst_dbfunc::of_setmysysset_memo,        // 14
      &n_cst_dbfunc::of_commit,                  // 15
      &n_cst_dbfunc::of_rollback,                // 16
      &n_cst_dbfunc::of_BeginTrans,              // 17
      &n_cst_dbfunc::of_execute,                 // 18
      &n_cst_dbfunc::of_updatestocknum,          // 19
      &n_cst_dbfunc::of_updatestocknumbydetail,  // 20
      &n_cst_dbfunc::of_updatestockpos,          // 21
      &n_cst_dbfunc::of_getspid,                 // 22
      &n_cst_dbfunc::of_isexisttable,            // 23
      nullptr,                                   // 24 of_ConnectAccess
      &n_cst_dbfunc::of_GetString,               // 25
      &n_cst_dbfunc::of_SetString,               // 26
      nullptr,                                   // 27 of_addUser
      nullptr,                                   // 28 of_delUser
      nullptr,                                   // 29 of_changePassword
      nullptr,                                   // 30 of_rename
      nullptr,                                   // 31 of_restoredb
      &n_cst_dbfunc::of_SetMyWindw,              // 32
      nullptr,                                   // 33 gf_ExportMydwFile
      nullptr,                                   // 34 gf_ExportMydw
      nullptr,                                   // 35 gf_ImportMydwFile
      nullptr,                                   // 36 gf_ImportMydw
      nullptr,                                   // 37 gf_ImportNewTableToDB
      nullptr,                                   // 38 gf_UpdateNewTable
      &n_cst_dbfunc::of_ConnectMySQL,            // 39
      nullptr,                                   // 40 of_CreateOrAlterObject
      nullptr,                                   // 41 of_GetPBCreateObjSQL
      nullptr,                                   // 42 of_GetObjSyntax
      &n_cst_dbfunc::of_Helptext,                // 43
      &n_cst_dbfunc::of_AutoConnect,             // 44
      &n_cst_dbfunc::of_ShutDown,                // 45
      &n_cst_dbfunc::of_showtable,               // 46
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
