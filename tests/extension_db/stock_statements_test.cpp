// The stock quantity statements: their exact texts for both signs, the two
// checks of of_updatestocknum and their message boxes, and that the texts run
// on the server against the shop tables and move the quantities as intended.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "tests/extension_db/db_object.h"

namespace {

using dbtest::Value;
using dbtest::ValueType;

class StockStatements : public dbtest::DbObject {
 protected:
  // The method's by-reference insert and update after a call.
  struct Written {
    std::string insert;
    std::string update;
  };
  static Written written(const host::CallResult& r, std::size_t insertAt) {
    return {r.args.at(insertAt).text(), r.args.at(insertAt + 1).text()};
  }
  host::CallResult byStore(const char* where, const char* store, bool add) {
    return call("of_updatestocknum",
                {Value::string("bill"), Value::string("goods"), Value::string("qty"),
                 nxtest::textOrNull(store), nxtest::textOrNull(where), Value::boolean(add),
                 Value::string("old insert"), Value::string("old update")});
  }
  host::CallResult byDetail(const char* where, bool add) {
    return call("of_updatestocknumbydetail",
                {Value::string("bill"), Value::string("goods"), Value::string("qty"),
                 Value::string("store"), nxtest::textOrNull(where), Value::boolean(add),
                 Value::string(""), Value::string("")});
  }
  host::CallResult byPosition(const char* table, const char* number, bool add) {
    return call("of_updatestockpos", {nxtest::textOrNull(table), nxtest::textOrNull(number),
                                      Value::boolean(add), Value::string(""), Value::string("")});
  }
  // The shop tables from the installation's script, and a document table "bill".
  static void loadShop(const testsupport::ScratchDatabase& db) {
    std::ifstream in(NORVEX_SOURCE_DIR "/appdir/shop.SQL", std::ios::binary);
    std::stringstream script;
    script << in.rdbuf();
    const std::optional<std::string> gbk = platform::utf8ToGbk(script.str());
    ASSERT_TRUE(gbk.has_value());
    db.run(*gbk);
    db.run(
        "CREATE TABLE bill (billno VARCHAR(10), goods VARCHAR(30), store VARCHAR(20),"
        " qty DECIMAL(18,4));\n"
        "INSERT INTO bill VALUES ('B1','g1','01',2),('B1','g1','01',3),('B1','g2','01',1),"
        "('B1','g2','02',7),('B2','g1','01',100)");
  }
};

TEST_F(StockStatements, TextsAreExactForBothSigns) {
  for (const bool add : {true, false}) {
    const std::string sign = add ? "+" : "-";
    // Condition and store code arrive trimmed in the by-store texts.
    const Written n = written(byStore(" \tbillno='B1'\r\n", " 01 ", add), 6);
    EXPECT_EQ(n.insert,
              " insert into stocknum(goo_code,stocknum,stockcode) \r\n  select goods,0,'01' \r\n"
              " from bill\r\n  where billno='B1'\r\n  and not exists (select * from stocknum "
              "where stocknum.goo_code=bill.goods\r\n and stocknum.stockcode='01' ) \r\n"
              " group by goods");
    EXPECT_EQ(
        n.update,
        "update stocknum , \r\n ( select goods as goo_code, sum(qty) as num  \r\n   from "
        "bill where billno='B1' group by goods) as tt  \r\n   set stocknum=stocknum.stocknum" +
            sign +
            "ifnull(tt.num,0)   \r\n  where stocknum.goo_code=tt.goo_code and "
            "stocknum.stockcode='01'");
    const Written d = written(byDetail(" billno='B1' ", add), 6);
    EXPECT_EQ(d.insert,
              "insert into stocknum(goo_code,stocknum,stockcode) \r\nselect goods,0,store from "
              "bill where  billno='B1'   and not exists (select * from stocknum where "
              "stocknum.goo_code=goods and stocknum.stockcode=store )  group by goods,store");
    EXPECT_EQ(d.update,
              "update stocknum , \r\n ( select goods as goo_code, store as stockcode,sum(qty) as "
              "num  \r\n   from bill where  billno='B1'  group by goods,store) as tt  \r\n   set "
              "stocknum=stocknum.stocknum" +
                  sign +
                  "ifnull(tt.num,0) \r\n  where stocknum.goo_code=tt.goo_code and "
                  "stocknum.stockcode=tt.stockcode");
    const Written p = written(byPosition("入库单", "B1", add), 3);
    EXPECT_EQ(p.insert,
              "insert into stockposnum(posno,goo_code,stockcode,stocknum) \r\n select "
              "posno,goo_code,stockcode,0  from stockpos  where billtable='入库单' and "
              "billNO='B1'  and not exists (select * from stockposnum where "
              "stockpos.goo_code=stockposnum.goo_code    and "
              "stockpos.stockcode=stockposnum.stockcode and stockpos.posno=stockposnum.posno   "
              "and billtable='入库单'  and billNO='B1' )  group by posno,goo_code,stockcode ");
    EXPECT_EQ(p.update,
              " update stockposnum set stocknum=stockposnum.stocknum" + sign +
                  "isnull(tt.num,0) from \r\n ( select goo_code,posno,stockcode,sum(num) as num  "
                  "\r\n   from stockpos where billtable='入库单' and billNO='B1' group by "
                  "goo_code,posno,stockcode) as tt  \r\n  where "
                  "stockposnum.goo_code=tt.goo_code and stockposnum.stockcode=tt.stockcode  and "
                  "  stockposnum.posno=tt.posno ");
  }
}

TEST_F(StockStatements, ChecksShowTheirMessageAndLeaveTheArgumentsAlone) {
  const std::string tooShort = "update bill出错, as_where 条件不足";
  const std::string noStore = "修改库存时，仓库代码不能为空";
  struct Row {
    const char* where;
    const char* store;
    std::string message;  // empty: the statements are written
  };
  const std::vector<Row> rows = {
      {"甲", "01", tooShort},       // one Chinese character is two bytes
      {" a=\b\t", "01", tooShort},  // a backspace at the end does not count
      {"   ", "01", tooShort},
      {"a=1", " \t ", noStore},
      {"", "", tooShort},  // the condition is checked first
      {"a=1", "01", ""},
      {"a=1\b", "01", ""},  // trimmed length of "a=1" then a backspace is 3
  };
  for (const Row& row : rows) {
    const host::CallResult r = byStore(row.where, row.store, true);
    EXPECT_TRUE(r.result.wasSet()) << row.where;
    EXPECT_EQ(r.result.text(), "") << row.where;
    if (row.message.empty()) {
      EXPECT_TRUE(r.messages.empty()) << row.where;
      EXPECT_NE(r.args[6].text(), "old insert") << row.where;
      continue;
    }
    ASSERT_EQ(r.messages.size(), 1u) << row.where;
    EXPECT_EQ(r.messages[0].caption, "show");
    EXPECT_EQ(r.messages[0].text, row.message);
    EXPECT_EQ(r.messages[0].icon, PBMessageIcon::Error);
    EXPECT_EQ(r.args[6].text(), "old insert") << row.where;
    EXPECT_EQ(r.args[7].text(), "old update") << row.where;
  }
}

TEST_F(StockStatements, NullTextsWriteNothing) {
  const Value none = Value::null(ValueType::String);
  const host::CallResult rows[] = {
      byStore(nullptr, "01", true),
      byStore("a=1", nullptr, true),
      call("of_updatestocknum",
           {Value::string("t"), none, Value::string("q"), Value::string("01"), Value::string("a=1"),
            Value::boolean(true), Value::string("old insert"), Value::string("old update")}),
      call("of_updatestocknumbydetail",
           {Value::string("t"), Value::string("g"), Value::string("q"), none, Value::string("a=1"),
            Value::boolean(true), Value::string("old insert"), Value::string("old update")}),
      call("of_updatestockpos", {Value::string("t"), none, Value::boolean(true),
                                 Value::string("old insert"), Value::string("old update")}),
  };
  for (const host::CallResult& r : rows) {
    EXPECT_EQ(r.result.text(), "");
    EXPECT_TRUE(r.messages.empty());
    const std::size_t at = r.args.size() - 2;
    EXPECT_EQ(r.args[at].text(), "old insert");
    EXPECT_EQ(r.args[at + 1].text(), "old update");
  }
}

TEST_F(StockStatements, ComposedStatementsMoveTheQuantitiesOnTheServer) {
  testsupport::ScratchDatabase db("stock_run");
  loadShop(db);
  ASSERT_EQ(connectAsRoot(db.name()).result.integer(), 1);
  db.run("INSERT INTO stocknum VALUES ('g1','01',10)");
  const auto run = [this](const Written& w) {
    EXPECT_EQ(call("of_execute", {Value::string(w.insert)}).result.text(), "");
    EXPECT_EQ(call("of_execute", {Value::string(w.update)}).result.text(), "");
  };
  const std::string select = "select goo_code, stockcode, stocknum+0 from stocknum order by 1, 2";
  // One store given as a value: every row of the document counts for store 01.
  run(written(byStore("billno='B1'", "01", true), 6));
  EXPECT_EQ(db.query(select), "g1\t01\t15.0000\ng2\t01\t8.0000\n");
  run(written(byStore("billno='B1'", "01", false), 6));
  EXPECT_EQ(db.query(select), "g1\t01\t10.0000\ng2\t01\t0.0000\n");
  // Each detail row names its own store.
  run(written(byDetail("billno='B1'", true), 6));
  EXPECT_EQ(db.query(select), "g1\t01\t15.0000\ng2\t01\t1.0000\ng2\t02\t7.0000\n");
  run(written(byDetail("billno='B1'", false), 6));
  EXPECT_EQ(db.query(select), "g1\t01\t10.0000\ng2\t01\t0.0000\ng2\t02\t0.0000\n");

  // On a MySQL connection the position update is written in the form MySQL
  // takes, so the positions of the bill move too.
  db.run(
      "INSERT INTO stockpos (billtable,billNO,posno,goo_code,stockcode,num) VALUES "
      "('入库单','B1','P1','g1','01',4),('入库单','B1','P1','g1','01',1),"
      "('入库单','B2','P2','g2','01',9)");
  const Written p = written(byPosition("入库单", "B1", true), 3);
  EXPECT_EQ(p.update,
            " update stockposnum , \r\n ( select goo_code,posno,stockcode,sum(num) as num  \r\n"
            "   from stockpos where billtable='入库单' and billNO='B1' group by "
            "goo_code,posno,stockcode) as tt  \r\n  set stocknum=stockposnum.stocknum+"
            "ifnull(tt.num,0)   \r\n  where stockposnum.goo_code=tt.goo_code and "
            "stockposnum.stockcode=tt.stockcode  and   stockposnum.posno=tt.posno ");
  const std::string positions = "select posno, goo_code, stockcode, stocknum+0 from stockposnum";
  run(p);
  EXPECT_EQ(db.query(positions), "P1\tg1\t01\t5.0000\n");
  run(written(byPosition("入库单", "B1", false), 3));
  EXPECT_EQ(db.query(positions), "P1\tg1\t01\t0.0000\n");
}

}  // namespace
