// Which class names create which objects, and which global function names
// reach which operations.
#include "extension/frame/class_table.h"

#include <array>

#include "extension/datawindow/c_n_cst_dw.h"
#include "extension/datawindow/n_cst_dwsrc.h"
#include "extension/db/n_cst_dbfunc.h"
#include "extension/general/n_cst_app.h"
#include "extension/general/n_cst_gbtobig5.h"
#include "extension/general/n_cst_texttojpg.h"
#include "extension/general/string_functions.h"
#include "extension/general/system_functions.h"
#include "extension/sql/c_n_cst_stockupdatesql.h"
#include "extension/sql/c_n_form_where.h"
#include "extension/sql/n_create_sql.h"
#include "platform/gbk_text.h"

namespace nx {
namespace {

struct ClassEntry {
  const char* name;
  Factory factory;
};

constexpr std::array<ClassEntry, 9> kClasses = {{
    {"c_n_cst_dw", c_n_cst_dw::create},
    {"c_n_cst_stockupdatesql", c_n_cst_stockupdatesql::create},
    {"n_cst_dbfunc", n_cst_dbfunc::create},
    {"c_n_form_where", c_n_form_where::create},
    {"n_cst_gbtobig5", n_cst_gbtobig5::create},
    {"n_cst_texttojpg", n_cst_texttojpg::create},
    {"n_cst_dwsrc", n_cst_dwsrc::create},
    {"n_cst_app", n_cst_app::create},
    {"n_create_sql", n_create_sql::create},
}};

struct FunctionEntry {
  const char* name;
  GlobalOperation operation;
};

constexpr std::array<FunctionEntry, 43> kFunctions = {{
    {"gf_addstring", gf_addstring},
    {"gf_addstring_list", gf_addstring_list},
    {"gf_addstring_and", gf_addstring_and},
    {"trimlength", trimlength},
    {"gf_trim", gf_trim},
    {"gf_del_rem", gf_del_rem},
    {"gf_dispdatabytext", gf_dispdatabytext},
    {"gf_booltochar", gf_booltochar},
    {"gf_chartobool", gf_chartobool},
    {"gf_stricmp", gf_stricmp},
    {"gf_addline", gf_addline},
    {"gf_getfilename", gf_getfilename},
    {"gf_getfilepath", gf_getfilepath},
    {"gf_getpartlikes", gf_getpartlikes},
    {"gf_is_operater", gf_is_operater},
    {"gf_rmb_c", gf_rmb_c},
    {"gf_readcard_userpwd", gf_readcard_userpwd},
    {"gf_lastmonth", gf_lastmonth},
    {"getusername", GetUserName},
    {"findwindow", FindWindow},
    {"getwindowsdirectory", GetWindowsDirectory},
    {"getsystemdirectory", GetSystemDirectory},
    {"getcomputername", GetComputerName},
    {"getmodulehandle", GetModuleHandle},
    {"gf_iswhitechar", gf_iswhitechar},
    {"gf_replaceall", gf_replaceall},
    {"gf_replace", gf_replace},
    {"gf_spectonum", gf_spectonum},
    {"gf_writefile", gf_writefile},
    {"gf_getsubstring", gf_getsubstring},
    {"gf_readfiletostring", gf_readfiletostring},
    {"gf_createfile", gf_createfile},
    {"gf_getmonthfirstday", gf_getmonthfirstday},
    {"gf_getmonthlastday", gf_getmonthlastday},
    {"gf_relativeday_c", gf_relativeday_c},
    {"gf_relativedatetimemonth_c", gf_relativedatetimemonth_c},
    {"gf_relativemonthbyperiod", gf_relativemonthbyperiod},
    {"gf_intToDateTime", gf_intToDateTime},
    {"gf_getselfprintlist", gf_getselfprintlist},
    {"gf_runas", gf_RunAs},
    {"gf_getsessionid", gf_GetSessionID},
    {"gf_is_running", gf_is_running},
    {"gf_run_process", gf_run_process},
}};

}  // namespace

Factory findFactory(std::string_view className) {
  for (const ClassEntry& entry : kClasses)
    if (platform::equalsIgnoreCase(className, entry.name)) return entry.factory;
  return nullptr;
}

GlobalOperation findGlobalFunction(std::string_view functionName) {
  for (const FunctionEntry& entry : kFunctions)
    if (platform::equalsIgnoreCase(functionName, entry.name)) return entry.operation;
  return nullptr;
}

}  // namespace nx
