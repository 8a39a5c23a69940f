// Work over the shared connection: the database type rules, free statements
// and transactions, single-value queries, of_SetString's update, the server's
// clock, and the answers without a connection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extension/db/db_connection.h"
#include "extension/db/n_cst_dbfunc.h"
#include "tests/extension_db/db_object.h"

namespace {

using dbtest::Value;
using dbtest::ValueType;

TEST(DbFuncType, SetDbTypeKeepsKnownNamesAsGivenAndMakesOthersMssql) {
  struct Row {
    const char* given;
    const char* stored;
    bool answersOne;
  };
  const std::vector<Row> rows = {
      {"mysql", "mysql", false}, {"MYSQL", "MYSQL", false}, {"Access", "Access", false},
      {"mssql", "mssql", false}, {"oracle", "mssql", true}, {"", "mssql", true},
      {"mysql ", "mssql", true},
  };
  for (const Row& row : rows) {
    const nx::db::DatabaseTypeChoice choice = nx::db::chooseDatabaseType(row.given);
    EXPECT_EQ(choice.type, row.stored) << row.given;
    EXPECT_EQ(choice.answersOne, row.answersOne) << row.given;
  }
}

TEST(DbFuncType, CreatingAnObjectSetsTheTypeBackToSql) {
  nx::db::setDatabaseType("mysql");
  IPBX_NonVisualObject* object = nx::n_cst_dbfunc::create(nullptr, nullptr);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(nx::db::databaseType(), "sql");
  object->Destroy();
}

class DbFunc : public dbtest::DbObject {};

TEST_F(DbFunc, SetDbTypeAnswersThroughTheHost) {
  struct Row {
    Value given;
    bool set;
    int result;
  };
  const std::vector<Row> rows = {
      {Value::null(ValueType::String), true, -1},
      {Value::string("MYSQL"), false, 0},
      {Value::string("access"), false, 0},
      {Value::string("oracle"), true, 1},
  };
  for (const Row& row : rows) {
    host::CallResult r = call("of_SetDbType", {row.given});
    EXPECT_EQ(r.result.wasSet(), row.set) << row.given.text();
    if (row.set) {
      EXPECT_EQ(r.result.integer(), row.result) << row.given.text();
    }
  }
}

TEST_F(DbFunc, ExecuteAndTransactionsAnswerFixedValuesAndReachTheServer) {
  testsupport::ScratchDatabase db("dbfunc_exec");
  db.run("CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(20)) ENGINE=InnoDB");
  ASSERT_EQ(connectAsRoot(db.name()).result.integer(), 1);
  struct Row {
    std::vector<const char*> steps;  // of_execute texts, or the name of a method
    std::string rows;                // the table's ids afterwards
  };
  const std::vector<Row> rows = {
      {{"insert into t values (1,'a')"}, "1\n"},
      {{"insert into t values (1,'duplicate')", "no such statement"}, "1\n"},
      {{"start transaction", "insert into t values (2,'b')", "of_rollback"}, "1\n"},
      {{"of_BeginTrans", "start transaction", "insert into t values (3,'c')", "of_commit"},
       "1\n3\n"},
      {{"select * from t", "delete from t where id=1"}, "3\n"},  // rows are read, not left
      {{"of_commit", "of_rollback", "of_BeginTrans"}, "3\n"},    // nothing to end: still true
  };
  for (const Row& row : rows) {
    for (const char* step : row.steps) {
      const std::string text = step;
      if (text.rfind("of_", 0) == 0) {
        host::CallResult r = call(step);
        EXPECT_EQ(r.result.type(), ValueType::Boolean) << step;
        EXPECT_TRUE(r.result.flag()) << step;
      } else {
        host::CallResult r = call("of_execute", {Value::string(text)});
        EXPECT_TRUE(r.result.wasSet()) << step;
        EXPECT_EQ(r.result.text(), "") << step;
      }
    }
    EXPECT_EQ(db.query("select id from t order by id"), row.rows) << row.steps.back();
  }
  EXPECT_EQ(call("of_execute", {Value::null(ValueType::String)}).result.text(), "");
  EXPECT_EQ(call("of_getLastError").result.text(), "");
}

TEST_F(DbFunc, GetStringAndShowtableTakeTheFirstRowsFirstOrSecondColumn) {
  testsupport::ScratchDatabase db("dbfunc_get");
  db.run(
      "CREATE TABLE t (a VARCHAR(20), b VARCHAR(20));\n"
      "INSERT INTO t VALUES ('甲', '乙'), ('x', 'y')");
  ASSERT_EQ(connectAsRoot(db.name()).result.integer(), 1);
  struct Row {
    Value sql;
    Value column;
    bool set;
    std::string getString;
  };
  const std::vector<Row> rows = {
      {Value::string("select a, b from t where b='y'"), Value::string("b"), true, "x"},
      {Value::string("select b, a from t where a='甲'"), Value::string("nothing"), true, "乙"},
      {Value::string("select a from t where 1=0"), Value::string("a"), true, ""},
      {Value::string("select nonsense from t"), Value::string("a"), true, ""},
      {Value::string("select null"), Value::string("a"), true, ""},
      {Value::null(ValueType::String), Value::string("a"), true, ""},
      {Value::string("select a from t"), Value::null(ValueType::String), false, ""},
  };
  for (const Row& row : rows) {
    host::CallResult r = call("of_GetString", {row.sql, row.column});
    EXPECT_EQ(r.result.wasSet(), row.set) << row.sql.text();
    EXPECT_EQ(r.result.text(), row.getString) << row.sql.text();
  }
  const std::string created = db.query("show create table t");
  const std::string statement = created.substr(created.find('\t') + 1);
  EXPECT_EQ(call("of_showtable", {Value::string("show create table t")}).result.text() + "\n",
            statement);
  EXPECT_EQ(call("of_showtable", {Value::string("select a from t")}).result.text(), "");
  EXPECT_EQ(call("of_showtable", {Value::null(ValueType::String)}).result.text(), "");
}

TEST_F(DbFunc, SetStringUpdatesTheFromTableWhereTheQuerySays) {
  testsupport::ScratchDatabase db("dbfunc_set");
  db.run(
      "CREATE TABLE goods (id INT, name VARCHAR(40));\n"
      "INSERT INTO goods VALUES (1, 'a'), (2, 'b')");
  ASSERT_EQ(connectAsRoot(db.name()).result.integer(), 1);
  struct Row {
    Value sql;
    Value value;
    int result;
    std::string names;  // the table afterwards
  };
  const Value query = Value::string("SELECT name FROM goods WHERE id = 2");
  const std::vector<Row> rows = {
      {query, Value::string("新品 it's \\ ok"), 1, "a\n新品 it's \\ ok\n"},
      {query, Value::string("新品 it's \\ ok"), -1, "a\n新品 it's \\ ok\n"},  // no row changed
      {Value::string("select name from goods where id = 9"), Value::string("z"), -1,
       "a\n新品 it's \\ ok\n"},
      {Value::string("select name from goods"), Value::string("z"), -2, "a\n新品 it's \\ ok\n"},
      {Value::null(ValueType::String), Value::string("z"), -1, "a\n新品 it's \\ ok\n"},
      {query, Value::null(ValueType::String), -1, "a\n新品 it's \\ ok\n"},
      {Value::string("select name from goods where id=1 or 1=1"), Value::string("all"), 1,
       "all\nall\n"},
  };
  for (const Row& row : rows) {
    host::CallResult r = call("of_SetString", {row.sql, Value::string("name"), row.value});
    EXPECT_EQ(r.result.integer(), row.result) << row.sql.text() << " / " << row.value.text();
    EXPECT_EQ(db.query("select name from goods order by id"), row.names) << row.sql.text();
  }
  EXPECT_EQ(nx::db::setStringStatement("select x from  t1  where a=1", "c", "v"),
            "Update t1 set c='v' where a=1");
}

TEST_F(DbFunc, ServerDayWritesTheServersClockIntoTheArgument) {
  testsupport::ScratchDatabase db("dbfunc_day");
  ASSERT_EQ(connectAsRoot(db.name()).result.integer(), 1);
  const std::string before = db.query("select CONVERT(NOW(),CHAR(19))");
  host::CallResult r = call("of_getmssqlserverday", {Value::dateTime(1900, 1, 1, 0, 0, 0)});
  const std::string after = db.query("select CONVERT(NOW(),CHAR(19))");
  EXPECT_EQ(r.result.integer(), 1);
  ASSERT_EQ(r.args.size(), 1u);
  const std::string got = host::formatDateTime(r.args[0].dateTimeValue()) + "\n";
  EXPECT_LE(before, got);
  EXPECT_LE(got, after);
  EXPECT_FALSE(call("of_getmssqlserverday", {Value::null(ValueType::DateTime)}).result.wasSet());
}

TEST_F(DbFunc, WithoutConnectionNothingIsSentAndTheAnswersStayFixed) {
  disconnect();
  EXPECT_EQ(getString("select 1 as c"), "");
  EXPECT_EQ(call("of_showtable", {Value::string("show databases")}).result.text(), "");
  EXPECT_EQ(call("of_execute", {Value::string("select 1")}).result.text(), "");
  EXPECT_EQ(call("of_SetString", {Value::string("select a from t where 1=1"), Value::string("a"),
                                  Value::string("b")})
                .result.integer(),
            -1);
  for (const char* method : {"of_commit", "of_rollback", "of_BeginTrans"})
    EXPECT_TRUE(call(method).result.flag()) << method;
  EXPECT_EQ(call("of_ShutDown").result.integer(), -1);
}

}  // namespace
