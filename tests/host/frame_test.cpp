// The extension frame of nxclass.pbx seen through the host: the class
// description, creation by class name, method dispatch and global lookup.
#include <gtest/gtest.h>

#include "host/host.h"

namespace host {
namespace {

class Frame : public ::testing::Test {
 protected:
  Host host{NXCLASS_PATH};
};

TEST_F(Frame, DescriptionHasEveryClassBlockInOrder) {
  const std::string& text = host.descriptionText();
  EXPECT_TRUE(text.ends_with("\nend globalfunctions\n"));
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.find(" \n"), std::string::npos);
  EXPECT_TRUE(text.starts_with("class n_cst_gbtobig5 from nonvisualobject\n"));

  struct Block {
    const char* name;
    std::size_t methods;
  };
  const Block expected[] = {
      {"n_cst_gbtobig5", 5},  {"n_cst_app", 2},     {"c_n_cst_stockupdatesql", 1},
      {"c_n_form_where", 29}, {"c_n_cst_dw", 11},   {"n_cst_dwsrc", 12},
      {"n_get_sql", 1},       {"n_cst_dbfunc", 47}, {"n_cst_textToJpg", 6},
      {"n_create_sql", 5},
  };
  const Description& d = host.description();
  ASSERT_EQ(d.classes.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(d.classes[i].name, expected[i].name);
    EXPECT_EQ(d.classes[i].ancestor, "nonvisualobject");
    EXPECT_EQ(d.classes[i].methods.size(), expected[i].methods) << expected[i].name;
  }
  EXPECT_EQ(d.globals.size(), 45u);
  EXPECT_EQ(d.globals.front().name, "gf_addstring");
  EXPECT_EQ(d.globals.back().name, "gf_stop_process");
}

TEST_F(Frame, DescriptionKeepsItsOwnSpacing) {
  const char* lines[] = {
      "\nfunction string  of_isgb(string as_str)\n",
      "\nfunction integer of_addrelatable (string as_tablename,string as_ons)\n",
      "\nfunction string  gf_booltochar ( boolean ab_bool )\n",
      "\nfunction long    trimlength(string as_src)\n",
      "\nsubroutine of_SetDwSyntax(string as_syntax)\n",
      "\nfunction int  gf_intToDateTime(ref Datetime adt_datetime, integer ai_year,integer "
      "ai_month,integer ai_day)\n",
      "\nfunction integer of_GetWhereGroupValue(ref int ii_tables,ref string is_select,ref string "
      "is_keyword,ref string is_from,ref string is_where,ref string is_group,ref string "
      "is_having,ref string is_order )\n",
  };
  for (const char* line : lines)
    EXPECT_NE(host.descriptionText().find(line), std::string::npos) << line;
}

TEST_F(Frame, ClassesAreCreatedByNameIgnoringCase) {
  struct Case {
    const char* name;
    PBXRESULT code;
  };
  const Case cases[] = {
      {"c_n_cst_dw", PBX_OK},     {"c_n_cst_stockupdatesql", PBX_OK},
      {"n_cst_dbfunc", PBX_OK},   {"N_CST_DBFUNC", PBX_OK},
      {"N_Cst_DbFunc", PBX_OK},   {"c_n_form_where", PBX_OK},
      {"n_cst_gbtobig5", PBX_OK}, {"n_cst_textToJpg", PBX_OK},
      {"n_cst_dwsrc", PBX_OK},    {"n_cst_app", PBX_OK},
      {"n_create_sql", PBX_OK},   {"n_get_sql", PBX_E_NO_SUCH_CLASS},
      {"", PBX_E_NO_SUCH_CLASS},  {"n_cst_app ", PBX_E_NO_SUCH_CLASS},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(host.create(c.name, "o"), c.code) << c.name;
    EXPECT_EQ(host.hasObject("o"), c.code == PBX_OK) << c.name;
    host.destroy("o");
  }
}

TEST_F(Frame, MethodsWithoutOperationAnswerSuccessWithNothingSet) {
  ASSERT_EQ(host.create("n_cst_dbfunc", "db"), PBX_OK);
  CallResult r =
      host.call("db", "of_ConnectServer",
                {Value::string("s"), Value::string("d"), Value::string("u"), Value::string("p")});
  EXPECT_EQ(r.code, PBX_OK);
  EXPECT_FALSE(r.result.wasSet());
  for (const Value& arg : r.args) EXPECT_FALSE(arg.wasSet());

  ASSERT_EQ(host.create("n_cst_gbtobig5", "g"), PBX_OK);
  r = host.call("g", "of_isgb", {Value::string("x")});
  EXPECT_EQ(r.code, PBX_OK);
  EXPECT_FALSE(r.result.wasSet());
}

TEST_F(Frame, OnlyTheLow16BitsOfAMethodIdCount) {
  ASSERT_EQ(host.create("n_cst_app", "app"), PBX_OK);
  const CallResult r = host.callId("app", 0x70001, {Value::int16(0)});
  EXPECT_EQ(r.result.text(), "传入参数长度为0");
}

TEST_F(Frame, GlobalFunctionsAreFoundIgnoringCase) {
  CallResult r = host.callFunction("GF_TRIM", {Value::string("  x ")});
  EXPECT_EQ(r.result.text(), "x");
  struct Case {
    const char* name;
    std::vector<Value> args;
  };
  const Case cases[] = {{"gf_GetPBXVer", {}},
                        {"gf_stop_process", {Value::string("mysqld")}},
                        {"no_such_function", {}}};
  for (const auto& [name, args] : cases) {
    r = host.callFunction(name, args);
    EXPECT_EQ(r.code, PBX_OK) << name;
    EXPECT_FALSE(r.result.wasSet()) << name;
  }
}

// A value of every declared parameter type, as a script would pass it.
Value sampleOf(const Parameter& p) {
  std::string type = p.type;
  for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (p.isArray) return Value::stringArray({"a", "b"});
  if (type == "string") return Value::string("a,b");
  if (type == "integer" || type == "int") return Value::int16(2);
  if (type == "long") return Value::long32(2);
  if (type == "ulong") return Value::ulong32(2);
  if (type == "boolean") return Value::boolean(true);
  if (type == "decimal") return Value::decimal("2.5");
  if (type == "date") return Value::date(2024, 1, 31);
  if (type == "datetime") return Value::dateTime(2024, 1, 31, 8, 0, 0);
  return Value::null(ValueType::Object);
}

// Operations with real effects on the machine (files, processes, the
// database) are left to their own tests.
bool touchesTheMachine(const std::string& name) {
  static const char* kNames[] = {"gf_writefile",   "gf_createfile",     "gf_RunAs",
                                 "gf_run_process", "gf_dispdatabytext", "of_SaveBmp",
                                 "of_AutoConnect", "of_ConnectMySQL",   "of_ShutDown"};
  for (const char* n : kNames)
    if (name == n) return true;
  return false;
}

TEST_F(Frame, EveryDeclaredMethodAndFunctionRunsWithoutFault) {
  for (const ClassBlock& block : host.description().classes) {
    if (host.create(block.name, "o") != PBX_OK) continue;
    for (std::size_t id = 0; id < block.methods.size(); ++id) {
      const Method& m = block.methods[id];
      if (touchesTheMachine(m.name)) continue;
      std::vector<Value> args;
      for (const Parameter& p : m.parameters) args.push_back(sampleOf(p));
      EXPECT_EQ(host.callId("o", static_cast<pbmethodID>(id), std::move(args)).code, PBX_OK)
          << block.name << "." << m.name;
    }
    host.destroy("o");
  }
  for (const Method& m : host.description().globals) {
    if (touchesTheMachine(m.name)) continue;
    std::vector<Value> args;
    for (const Parameter& p : m.parameters) args.push_back(sampleOf(p));
    EXPECT_EQ(host.callFunction(m.name, std::move(args)).code, PBX_OK) << m.name;
  }
}

}  // namespace
}  // namespace host
