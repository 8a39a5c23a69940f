// n_create_sql and c_n_cst_stockupdatesql through the host: whole statement
// texts compared byte for byte, so every blank and CR LF is checked, plus the
// integer results that of_AddUpdateSet delivers into its string result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/extension/library.h"

namespace {

using host::Value;
using host::ValueType;

struct Assignment {
  const char* column;
  const char* value;
  const char* flag;
};

class NCreateSql : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(nxtest::library().create("n_create_sql", "s"), PBX_OK); }
  void TearDown() override { nxtest::library().destroy("s"); }

  host::CallResult call(const char* method, std::vector<Value> args = {}) {
    return nxtest::library().call("s", method, std::move(args));
  }
  host::CallResult add(const char* column, const char* value, const char* flag) {
    return call("of_AddUpdateSet",
                {nxtest::textOrNull(column), nxtest::textOrNull(value), nxtest::textOrNull(flag)});
  }
  void prepare(const char* table, const char* where, const std::vector<Assignment>& rows) {
    ASSERT_EQ(call("of_SetTable", {Value::string(table)}).result.integer(), 1);
    ASSERT_EQ(call("of_SetWhere", {Value::string(where)}).result.integer(), 1);
    for (const Assignment& row : rows)
      ASSERT_EQ(add(row.column, row.value, row.flag).result.integer(), 1) << row.column;
  }
  std::string text(const char* method) {
    host::CallResult r = call(method);
    EXPECT_EQ(r.result.type(), ValueType::String);
    return r.result.text();
  }
};

TEST_F(NCreateSql, StatementsFromCollectedAssignments) {
  struct Row {
    const char* name;
    std::vector<Assignment> rows;
    std::string update;
    std::string insert;
  };
  const std::vector<Row> rows = {
      {"goods example",
       {{"name", "tea", "Y"}, {"qty", "5", "N"}},
       "Update goods \r\nset \r\n     name='tea' , \r\n      qty=5 \r\nwhere id=7",
       " insert into goods(\r\nname , qty\r\n) \r\nvalues(\r\n'tea' , 5\r\n)"},
      {"no entries",
       {},
       "Update goods \r\nset  \r\nwhere id=7",
       " insert into goods(\r\n\r\n) \r\nvalues(\r\n\r\n)"},
      {"line break after every third entry",
       {{"a", "1", "Y"}, {"b", "2", "N"}, {"c", "3", ""}, {"d", "4", "N"}},
       "Update goods \r\nset \r\n     a='1' , \r\n      b=2 , \r\n     c='3' , \r\n      d=4 "
       "\r\nwhere id=7",
       " insert into goods(\r\na , b , c\r\n , d\r\n) \r\nvalues(\r\n'1' , 2 , '3'\r\n , 4\r\n)"},
      {"six entries end on a break",
       {{"a", "1", "N"},
        {"b", "2", "N"},
        {"c", "3", "N"},
        {"d", "4", "N"},
        {"e", "5", "N"},
        {"f", "6", "N"}},
       "Update goods \r\nset \r\n      a=1 , \r\n      b=2 , \r\n      c=3 , \r\n      d=4 , "
       "\r\n      e=5 , \r\n      f=6 \r\nwhere id=7",
       " insert into goods(\r\na , b , c\r\n , d , e , f\r\n\r\n) \r\nvalues(\r\n"
       "1 , 2 , 3\r\n , 4 , 5 , 6\r\n\r\n)"},
      {"only exact Y or empty quotes; apostrophes stay",
       {{"a", "x", "y"}, {"b", "o'k", "Y"}, {"c", "z", "YES"}},
       "Update goods \r\nset \r\n      a=x , \r\n     b='o'k' , \r\n      c=z \r\nwhere id=7",
       " insert into goods(\r\na , b , c\r\n\r\n) \r\nvalues(\r\nx , 'o'k' , z\r\n\r\n)"},
      {"empty values: quoted gives two apostrophes, bare is skipped in the values",
       {{"a", "", "Y"}, {"b", "", "N"}, {"c", "3", "N"}},
       "Update goods \r\nset \r\n     a='' , \r\n      b= , \r\n      c=3 \r\nwhere id=7",
       " insert into goods(\r\na , b , c\r\n\r\n) \r\nvalues(\r\n'' , 3\r\n\r\n)"},
      {"names lower-cased and trimmed at the end only; double-byte kept",
       {{" Qty\t\b ", "5", "N"}, {"名称NAME", "茶", "Y"}},
       "Update goods \r\nset \r\n       qty=5 , \r\n     名称name='茶' \r\nwhere id=7",
       " insert into goods(\r\n qty , 名称name\r\n) \r\nvalues(\r\n5 , '茶'\r\n)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    nxtest::library().destroy("s");
    ASSERT_EQ(nxtest::library().create("n_create_sql", "s"), PBX_OK);
    prepare("goods", "id=7", row.rows);
    EXPECT_EQ(text("of_GetUpdateSQL"), row.update);
    EXPECT_EQ(text("of_GetInsertSQL"), row.insert);
    // Producing a statement changes nothing.
    EXPECT_EQ(text("of_GetUpdateSQL"), row.update);
  }
}

TEST_F(NCreateSql, FreshObjectHasEmptyTableAndWhere) {
  EXPECT_EQ(text("of_GetUpdateSQL"), "Update  \r\nset  \r\nwhere ");
  EXPECT_EQ(text("of_GetInsertSQL"), " insert into (\r\n\r\n) \r\nvalues(\r\n\r\n)");
}

TEST_F(NCreateSql, AddingAColumnAgainKeepsItsPlaceWithTheLastValueAndFlag) {
  prepare("t", "k=1",
          {{"Name", "a", "Y"},
           {"qty", "1", "N"},
           {"NAME  ", "b", "N"},
           {"name", "c", ""},
           {"qty", "2", "Y"}});
  EXPECT_EQ(text("of_GetUpdateSQL"),
            "Update t \r\nset \r\n     name='c' , \r\n     qty='2' \r\nwhere k=1");
  EXPECT_EQ(text("of_GetInsertSQL"),
            " insert into t(\r\nname , qty\r\n) \r\nvalues(\r\n'c' , '2'\r\n)");
}

TEST_F(NCreateSql, AddUpdateSetDeliversIntegers) {
  struct Row {
    const char* column;
    const char* value;
    const char* flag;
    std::int64_t expected;
  };
  const std::vector<Row> rows = {
      {"col", "v", "", 1},      {"col", "v", "N", 1},    {"", "v", "Y", 0},
      {" \t\r\n", "v", "Y", 0}, {"\b", "v", "Y", 0},     {nullptr, "v", "Y", -1},
      {"x", nullptr, "Y", -1},  {"y", "v", nullptr, -1},
  };
  for (const Row& row : rows) {
    host::CallResult r = add(row.column, row.value, row.flag);
    EXPECT_EQ(r.result.type(), ValueType::Int) << (row.column ? row.column : "null");
    EXPECT_EQ(r.result.integer(), row.expected) << (row.column ? row.column : "null");
  }
  // Only the accepted column was stored.
  EXPECT_EQ(text("of_GetUpdateSQL"), "Update  \r\nset \r\n      col=v \r\nwhere ");
}

TEST_F(NCreateSql, NullTableOrWhereFailsAndKeepsTheOldText) {
  prepare("t", "a=1", {});
  for (const char* method : {"of_SetTable", "of_SetWhere"}) {
    host::CallResult r = call(method, {Value::null(ValueType::String)});
    EXPECT_EQ(r.result.type(), ValueType::Int);
    EXPECT_EQ(r.result.integer(), -1) << method;
  }
  EXPECT_EQ(text("of_GetUpdateSQL"), "Update t \r\nset  \r\nwhere a=1");
}

TEST_F(NCreateSql, AssignmentsGrowWithoutLimit) {
  std::string columns;
  for (int i = 0; i < 2000; ++i) {
    const std::string name = "c" + std::to_string(i);
    ASSERT_EQ(add(name.c_str(), "1", "N").result.integer(), 1);
    if (i > 0) columns += i % 3 == 0 ? "\r\n , " : " , ";
    columns += name;
  }
  const std::string insert = text("of_GetInsertSQL");
  const std::string head = " insert into (\r\n" + columns + "\r\n) \r\nvalues(\r\n";
  ASSERT_GE(insert.size(), head.size());
  EXPECT_EQ(insert.substr(0, head.size()), head);
}

TEST(StockUpdateSql, ColumnCountIs1110) {
  ASSERT_EQ(nxtest::library().create("c_n_cst_stockupdatesql", "stock"), PBX_OK);
  host::CallResult r = nxtest::library().call("stock", "of_columncount", {});
  EXPECT_EQ(r.result.type(), ValueType::Int);
  EXPECT_EQ(r.result.integer(), 1110);
  nxtest::library().destroy("stock");
}

}  // namespace
