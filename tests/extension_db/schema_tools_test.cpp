// Schema and object tools against real tables, views, routines and triggers:
// column size and type, the existence test, creation texts, and the repair of
// the column types in a data window definition.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/extension_db/db_object.h"

namespace {

using dbtest::Value;
using dbtest::ValueType;

class SchemaTools : public dbtest::DbObject {
 protected:
  void SetUp() override {
    DbObject::SetUp();
    db_.run(
        "CREATE TABLE goods (code VARCHAR(30), name CHAR(8), qty INT, price DECIMAL(12,2),"
        " born DATE, seen DATETIME, memo TEXT);\n"
        "CREATE VIEW v_goods AS SELECT code FROM goods;\n"
        "CREATE PROCEDURE p_x() SELECT 1;\n"
        "CREATE FUNCTION f_x() RETURNS INT RETURN 2;\n"
        "CREATE TRIGGER tr_x BEFORE INSERT ON goods FOR EACH ROW SET NEW.qty = NEW.qty + 1");
    ASSERT_EQ(connectAsRoot(db_.name()).result.integer(), 1);
  }
  // Field `index` of the one row a SHOW CREATE statement gives the mysql client.
  std::string shown(const std::string& statement, std::size_t index) {
    std::string row = db_.query(statement);
    if (!row.empty() && row.back() == '\n') row.pop_back();
    std::size_t at = 0;
    for (std::size_t i = 0; i < index; ++i) at = row.find('\t', at) + 1;
    return row.substr(at, row.find('\t', at) - at);
  }

  testsupport::ScratchDatabase db_{"schema_tools"};
};

TEST_F(SchemaTools, ColumnSizeAndTypeFollowTheServersDescription) {
  struct Row {
    const char* column;
    int size;
    const char* type;
  };
  const std::vector<Row> rows = {
      {"code", 30, "varchar(30)"},   {"name", 8, "char(8)"}, {"qty", 4, "int(11)"},
      {"price", 4, "decimal(12,2)"}, {"born", 4, "date"},    {"seen", 8, "datetime"},
      {"memo", 4, "text"},           {"missing", -1, ""},
  };
  for (const Row& row : rows) {
    const std::vector<Value> args = {Value::string("goods"), Value::string(row.column)};
    EXPECT_EQ(call("of_getcolsize", args).result.integer(), row.size) << row.column;
    EXPECT_EQ(call("of_getcoltype", args).result.text(), row.type) << row.column;
  }
  const Value none = Value::null(ValueType::String);
  EXPECT_EQ(call("of_getcolsize", {none, Value::string("code")}).result.integer(), 0);
  EXPECT_EQ(call("of_getcoltype", {Value::string("goods"), none}).result.text(), "");
  // Only the exact type text "mysql" asks the server.
  call("of_SetDbType", {Value::string("MYSQL")});
  EXPECT_EQ(call("of_getcolsize", {Value::string("goods"), Value::string("code")}).result.integer(),
            0);
  call("of_SetDbType", {Value::string("mssql")});
  EXPECT_EQ(call("of_getcoltype", {Value::string("goods"), Value::string("code")}).result.text(),
            "");
}

TEST_F(SchemaTools, ExistenceCoversTablesViewsRoutinesAndTriggersOfTheOwnConnection) {
  ASSERT_EQ(nxtest::library().create("n_cst_dbfunc", "other"), PBX_OK);
  struct Row {
    const char* name;
    bool own;    // through the object that connected
    bool other;  // through one that did not
  };
  const std::vector<Row> rows = {
      {"goods", true, true},          {" goods\t", true, true},
      {"v_goods", true, true},        {"go%", true, true},
      {"p_x", true, false},           {"f_x", true, false},
      {"tr_x", true, false},          {"nothing", false, false},
      {"x' or '1'='1", false, false},  // the name stays one value
  };
  for (const Row& row : rows) {
    EXPECT_EQ(call("of_isexisttable", {Value::string(row.name)}).result.flag(), row.own)
        << row.name;
    EXPECT_EQ(
        nxtest::library().call("other", "of_isexisttable", {Value::string(row.name)}).result.flag(),
        row.other)
        << row.name;
  }
  const host::CallResult none = call("of_isexisttable", {Value::null(ValueType::String)});
  EXPECT_EQ(none.result.type(), ValueType::Boolean);
  EXPECT_FALSE(none.result.flag());
  nxtest::library().destroy("other");
}

TEST_F(SchemaTools, HelptextTakesTheCreationColumnOfTheNamedKind) {
  struct Row {
    const char* name;
    const char* type;
    std::string text;
  };
  const std::vector<Row> rows = {
      {"p_x", "proc", shown("show create procedure p_x", 2)},
      {"p_x", "PROCEDURE", shown("show create procedure p_x", 2)},
      {"f_x", "Func", shown("show create function f_x", 2)},
      {"tr_x", "trigger", shown("show create trigger tr_x", 2)},
      {"v_goods", "view", shown("show create view v_goods", 1)},
      {"goods", "table", ""},  // becomes TABL, which the server refuses
      {"nothing", "view", ""},
  };
  for (const Row& row : rows) {
    // A kind the server knows must have given a text to compare with.
    ASSERT_EQ(row.text.empty(),
              row.name == std::string("goods") || row.name == std::string("nothing"))
        << row.name;
    EXPECT_EQ(call("of_Helptext", {Value::string(row.name), Value::string(row.type)}).result.text(),
              row.text)
        << row.name << " " << row.type;
  }
  EXPECT_NE(rows[0].text.find("PROCEDURE `p_x`"), std::string::npos);
  EXPECT_FALSE(
      call("of_Helptext", {Value::null(ValueType::String), Value::string("view")}).result.wasSet());
  EXPECT_FALSE(call("of_Helptext", {Value::string("v_goods"), Value::null(ValueType::String)})
                   .result.wasSet());
}

TEST_F(SchemaTools, DwRepairWidensCharTypes) {
  const std::string head = "release 10;\r\ndatawindow(units=0 )\r\n";
  const std::string tail = " retrieve=\"select code from goods\" )\r\ntext(name=t )";
  const auto definition = [&](const std::string& columns) {
    return head + "table(" + columns + tail;
  };
  const std::string computed =
      "column=(type=char(10) updatewhereclause=yes name=total dbname=\"total\" )\r\n ";
  const std::string narrow =
      "column=(type=char(8) updatewhereclause=yes name=code dbname=\"goods.code\" )\r\n ";
  const std::string wide =
      "column=(type=char(40) updatewhereclause=yes name=code dbname=\"goods.code\" )\r\n ";
  const std::string repaired =
      "release 10;\r\ndatawindow(units=0 )\r\ntable("
      "column=(type=char(255) updatewhereclause=yes name=total dbname=\"total\" ) \r\n "
      "column=(type=char(30) updatewhereclause=yes name=code dbname=\"goods.code\" )\r\n"
      "retrieve=\"select code from goods\" )\r\ntext(name=t )";
  struct Row {
    Value given;
    int result;
    std::string after;  // the argument afterwards
  };
  const std::vector<Row> rows = {
      {Value::string(definition(computed + narrow)), 1, repaired},
      {Value::string(definition(wide)), 0, definition(wide)},
      {Value::string(definition("column=(type=Char(10) name=total dbname=\"total\" )\r\n "
                                "column=(type=long name=n dbname=\"n\" )\r\n ")),
       0, ""},
      {Value::string(head + "table(" + computed + ")"), 0, ""},  // no retrieve=
      {Value::string(head + computed + tail), -1, ""},           // no table(
      {Value::null(ValueType::String), -1, ""},
  };
  for (const Row& row : rows) {
    const host::CallResult r = call("of_setDwRepairSyntax", {row.given});
    EXPECT_EQ(r.result.integer(), row.result) << row.given.text();
    const std::string expected = row.after.empty() ? row.given.text() : row.after;
    if (!row.given.isNull()) {
      EXPECT_EQ(r.args.at(0).text(), expected) << row.given.text();
    }
  }
}

}  // namespace
