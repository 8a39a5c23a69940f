// c_n_form_where through the host: statements taken apart (clause texts,
// select columns, FROM tables, correlated references of sub-selects, LIMIT)
// and composed again. Composed texts are compared byte for byte, so every
// blank and CR LF of the fixed layout is checked.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/extension/library.h"

namespace {

using host::Value;
using host::ValueType;

const char* const kNotSelect = "这不是一条select语句,系统不能解析!前面6个字符不是select";
const char* const kNoFrom = "1: 这个select 没有from，即数据来源的表,这可能不是一个完整的SQL语句 !";

// Expression and alias of a column, or table and alias of a FROM entry.
using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Clauses {
  std::int64_t tables;
  std::string select;
  std::string from;
  std::string where;
  std::string group;
  std::string having;
  std::string order;
};

struct Step {
  std::string method;
  std::vector<Value> args;
};

Step addOns(const char* name, const char* condition) {
  return {"of_add_ons", {nxtest::textOrNull(name), nxtest::textOrNull(condition)}};
}
Step delOns(const char* name) { return {"of_del_ons", {nxtest::textOrNull(name)}}; }
Step delAllOns() { return {"of_del_allons", {}}; }
Step setAddons(const char* text) { return {"of_set_add_ons", {Value::string(text)}}; }
Step relate(const char* table, const char* ons) {
  return {"of_addrelatable", {Value::string(table), Value::string(ons)}};
}
Step unrelate(const char* table) { return {"of_delrelatable", {Value::string(table)}}; }
Step needAutoGroup(bool on) { return {"of_setneedautogroup", {Value::boolean(on)}}; }
Step columnsFromEntries(bool on) { return {"of_setdelgroupbycol", {Value::boolean(on)}}; }
Step topRows(pblong rows) { return {"of_settoprows", {Value::long32(rows)}}; }
Step addCol(const char* column, const char* alias, bool isExpression) {
  return {"of_addcol", {Value::string(column), Value::string(alias), Value::boolean(isExpression)}};
}
Step changeCol(const char* column, const char* newColumn, bool isExpression) {
  return {"of_changecol",
          {Value::string(column), Value::string(newColumn), Value::boolean(isExpression)}};
}
Step changeTable(const char* oldTable, const char* newTable) {
  return {"of_changetable", {Value::string(oldTable), Value::string(newTable)}};
}
Step addHaving(const char* name, const char* condition) {
  return {"of_add_havingons", {Value::string(name), Value::string(condition)}};
}
Step onlyWhere() { return {"of_getonlywhere", {}}; }

class FormWhere : public ::testing::Test {
 protected:
  void SetUp() override { renew(); }
  void TearDown() override { nxtest::library().destroy("w"); }

  // A new object: conditions and flags belong to the object and would leak
  // from one row into the next.
  void renew() { ASSERT_EQ(nxtest::library().create("c_n_form_where", "w"), PBX_OK); }

  host::CallResult call(const std::string& method, std::vector<Value> args = {}) {
    return nxtest::library().call("w", method, std::move(args));
  }
  std::string text(const std::string& method, std::vector<Value> args = {}) {
    host::CallResult r = call(method, std::move(args));
    EXPECT_TRUE(r.result.wasSet()) << method;
    EXPECT_EQ(r.result.type(), ValueType::String) << method;
    return r.result.text();
  }
  std::int64_t number(const std::string& method, std::vector<Value> args = {}) {
    host::CallResult r = call(method, std::move(args));
    EXPECT_TRUE(r.result.wasSet()) << method;
    return r.result.integer();
  }
  std::string setSql(const char* sql) { return text("of_SetSQL", {nxtest::textOrNull(sql)}); }
  std::string compose() { return text("of_form_where"); }
  void run(const std::vector<Step>& steps) {
    for (const Step& step : steps) call(step.method, step.args);
  }

  Clauses clauses() {
    host::CallResult r =
        call("of_GetWhereGroupValue",
             {Value::int16(-1), Value::string("?"), Value::string("?"), Value::string("?"),
              Value::string("?"), Value::string("?"), Value::string("?"), Value::string("?")});
    EXPECT_EQ(r.result.integer(), 1);
    EXPECT_EQ(r.args.at(2).text(), "") << "the keyword is always emptied";
    return {r.args.at(0).integer(), r.args.at(1).text(), r.args.at(3).text(), r.args.at(4).text(),
            r.args.at(5).text(),    r.args.at(6).text(), r.args.at(7).text()};
  }
  void expectClauses(const Clauses& want) {
    const Clauses got = clauses();
    EXPECT_EQ(got.tables, want.tables) << "tables";
    EXPECT_EQ(got.select, want.select) << "select";
    EXPECT_EQ(got.from, want.from) << "from";
    EXPECT_EQ(got.where, want.where) << "where";
    EXPECT_EQ(got.group, want.group) << "group";
    EXPECT_EQ(got.having, want.having) << "having";
    EXPECT_EQ(got.order, want.order) << "order";
  }

  host::CallResult getColumns() {
    return call("of_GetColumns", {Value::int16(-1), Value::stringArray({}), Value::stringArray({}),
                                  Value::stringArray({}), Value::stringArray({}),
                                  Value::stringArray({}), Value::stringArray({})});
  }
  Pairs columns() {
    const host::CallResult r = getColumns();
    EXPECT_EQ(r.result.integer(), 1);
    const std::size_t count = static_cast<std::size_t>(r.args.at(0).integer());
    const std::vector<std::string>& expressions = r.args.at(1).items();
    const std::vector<std::string>& aliases = r.args.at(3).items();
    EXPECT_EQ(expressions.size(), count);
    EXPECT_EQ(r.args.at(2).items(), expressions) << "both column arrays hold the expressions";
    EXPECT_EQ(r.args.at(4).items(), std::vector<std::string>(count)) << "comments are empty";
    Pairs out;
    for (std::size_t i = 0; i < count && i < expressions.size() && i < aliases.size(); ++i)
      out.emplace_back(expressions[i], aliases[i]);
    return out;
  }
  Pairs tables() {
    const host::CallResult r = getColumns();
    const std::vector<std::string>& names = r.args.at(5).items();
    const std::vector<std::string>& aliases = r.args.at(6).items();
    EXPECT_EQ(names.size(), aliases.size());
    Pairs out;
    for (std::size_t i = 0; i < names.size() && i < aliases.size(); ++i)
      out.emplace_back(names[i], aliases[i]);
    EXPECT_EQ(number("of_GetTables"), static_cast<std::int64_t>(out.size()));
    return out;
  }
};

TEST_F(FormWhere, ClauseTextsOfStatements) {
  struct Row {
    const char* sql;
    Clauses want;
  };
  const std::vector<Row> rows = {
      {"select a, b from t where x = 1 order by a", {1, "a, b", "t", "x = 1", "", "", "a"}},
      {"SELECT Name N, sum(qty) as total FROM Goods g GROUP BY Name",
       {1, "Name N, sum(qty) as total", "Goods g", "", "Name", "", ""}},
      {"select a, sum(b) from t where a>1 group by a having sum(b)>2 order by a desc limit 5, 20",
       {1, "a, sum(b)", "t", "a>1", "a", "sum(b)>2", "a desc"}},
      {"Select A From T Where B=1 Group By A Having Count(*)>1 Order By A",
       {1, "A", "T", "B=1", "A", "Count(*)>1", "A"}},
      {"select a from t group by a order by a", {1, "a", "t", "", "a", "", "a"}},
      // A keyword glued to its text is none.
      {"select a from t where(a=1)", {1, "a", "t where(a=1)", "", "", "", ""}},
      // HAVING is no keyword right after WHERE, nor WHERE after ORDER BY.
      {"select a, count(*) from t where a>1 having count(*)>1",
       {1, "a, count(*)", "t", "a>1 having count(*)>1", "", "", ""}},
      {"select a from t order by a where x=1", {1, "a", "t", "", "", "", "a where x=1"}},
      {"select a from t where x=1 group a", {1, "a", "t", "x=1 group a", "", "", ""}},
      // A keyword that is the last token stays in the clause text.
      {"select a from t where", {1, "a", "t where", "", "", "", ""}},
      {"select a from t order", {1, "a", "t order", "", "", "", ""}},
      {"select a from t where x=1 group", {1, "a", "t", "x=1 group", "", "", ""}},
      {"select * from t limit", {1, "*", "t limit", "", "", "", ""}},
      // ...except FROM, which still ends the select list.
      {"select a from", {0, "a", "", "", "", "", ""}},
      {"select * from t limit 20", {1, "*", "t", "", "", "", ""}},
      // A clause text drops only the one byte before the keyword.
      {"select  a  from  t  where  x=1", {1, "a ", "t ", "x=1", "", "", ""}},
      {"select a,\r\n b\r\nfrom t\r\nwhere x=1\r\norder by a",
       {1, "a,\r\n b\r", "t\r", "x=1\r", "", "", "a"}},
      {"select\ta\tfrom\tt", {1, "a", "t", "", "", "", ""}},
      // Comments go before the statement is cut, leaving their line ends.
      {"select a -- first column\r\nfrom t", {1, "a \r", "t", "", "", "", ""}},
      {"select a /* 数量 */ from t", {1, "a ", "t", "", "", "", ""}},
      {"-- 商品列表\r\n/* v2 */ select a from t", {1, "a", "t", "", "", "", ""}},
      // Sub-selects are single tokens: their keywords are not the statement's.
      {"select a from t where a in (select b from u where c=1) order by a",
       {1, "a", "t", "a in (select b from u where c=1)", "", "", "a"}},
      {"select a, (select max(p) from price where price.id=t.id) as m from t where x=1",
       {1, "a, (select max(p) from price where price.id=t.id) as m", "t", "x=1", "", "", ""}},
      {"select * from (select a from b where c=1) x where y=2",
       {1, "*", "(select a from b where c=1) x", "y=2", "", "", ""}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    expectClauses(row.want);
    EXPECT_EQ(text("of_GetFrom"), row.want.from);
    EXPECT_EQ(text("of_getoldsql"), row.sql);
  }
}

TEST_F(FormWhere, SelectColumnsAndTheirAutomaticGroupBy) {
  struct Row {
    const char* sql;
    Pairs columns;
    std::string autoGroup;  // the columns an automatic GROUP BY must list
  };
  const std::vector<Row> rows = {
      {"select a, b from t", {{"a", ""}, {"b", ""}}, "a ,\r\n b"},
      {"SELECT Name N, sum(qty) as total FROM Goods g GROUP BY Name",
       {{"Name N", ""}, {"sum(qty)", "total"}},
       "Name N"},
      // Only a lower-case " as " splits the alias off.
      {"select A AS B, a as b from t", {{"A AS B", ""}, {"a", "b"}}, "A AS B ,\r\n a"},
      // Numbers above 0 and the written zeros are constants, -1 is not.
      {"select -1 as n, 0 as z, 1 as o, 0.5 as h, 0.00 as q, x from t",
       {{"-1", "n"}, {"0", "z"}, {"1", "o"}, {"0.5", "h"}, {"0.00", "q"}, {"x", ""}},
       "-1 ,\r\n x"},
      {"select isnull(sum(a),0) from t", {{"isnull(sum(a),0)", ""}}, "isnull(sum(a),0)"},
      {"select a, max(x)+1 from t", {{"a", ""}, {"max(x) +1", ""}}, "a"},
      {"select count(distinct a) n, sum (q) as s, k from t",
       {{"count(distinct a) n", ""}, {"sum (q)", "s"}, {"k", ""}},
       "k"},
      // The aggregate names are matched case-sensitively before "(", but
      // ignoring case before a blank.
      {"select a, COUNT(*) from t", {{"a", ""}, {"COUNT(*)", ""}}, "a ,\r\n COUNT(*)"},
      {"select a, COUNT (*) from t", {{"a", ""}, {"COUNT (*)", ""}}, "a"},
      {"select case when a=1 then 1 else 0 end as x from t",
       {{"1 then 1 else 0 end as x", "case when a"}},
       ""},
      {"select 'it''s' x from t", {{"'it' 's' x", ""}}, ""},
      {"select '合计' as 名称, \"x\" y, $@abc, n from t",
       {{"'合计'", "名称"}, {"\"x\" y", ""}, {"$@abc", ""}, {"n", ""}},
       "n"},
      {"select (a+b) s, (a-b) as d, (select max(p) from pr where pr.id=t.id) as m from t",
       {{"(a+b)", "s"}, {"(a-b)", "d"}, {"(select max(p) from pr where pr.id=t.id)", "m"}},
       "(a+b) ,\r\n (a-b) ,\r\n (select max(p) from pr where pr.id=t.id)"},
      {"select total=sum(q), a from t", {{"sum(q)", "total"}, {"a", ""}}, "a"},
      // "=" as the first byte is no alias.
      {"select =a from t", {{"= a", ""}}, "= a"},
      // Columns are rebuilt from tokens.
      {"select a*b as p from t", {{"a* b", "p"}}, "a* b"},
      {"select a *b from t", {{"a * b", ""}}, "a * b"},
      {"select a*, b from t", {{"a*", ""}, {"b", ""}}, "a* ,\r\n b"},
      {"select t.*, u.k from t, u", {{"t.*", ""}, {"u.k", ""}}, "t.* ,\r\n u.k"},
      {"select a*=b from t", {{"b", "a *"}}, ""},
      {"select a *= b from t", {{"b", "a *"}}, ""},
      // Quotes and parentheses keep their commas.
      {"select 'a, b' as s, isnull(a, 0) as v, ')' x, c from t",
       {{"'a, b'", "s"}, {"isnull(a, 0)", "v"}, {"')' x", ""}, {"c", ""}},
       "isnull(a, 0) ,\r\n c"},
      // Empty columns are not recorded.
      {"select a, from t", {{"a", ""}}, "a"},
      {"select a,, b from t", {{"a", ""}, {"b", ""}}, "a ,\r\n b"},
      {"select 名称 as 品名, sum(数量) as 合计, 員工 from 商品",
       {{"名称", "品名"}, {"sum(数量)", "合计"}, {"員工", ""}},
       "名称 ,\r\n 員工"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    EXPECT_EQ(columns(), row.columns);
    EXPECT_EQ(text("of_getautogroupby"), row.autoGroup);
  }
}

TEST_F(FormWhere, AggregateColumnsDecideTheAutomaticGroupBy) {
  struct Row {
    const char* sql;
    std::string composed;
  };
  const std::vector<Row> rows = {
      {"select a, b, sum(q) from t", "select a, b, sum(q)\r\n  from t  \r\n group by a ,\r\n b"},
      {"select a, max(x)+1 from t", "select a, max(x)+1\r\n  from t  \r\n group by a"},
      {"select a, COUNT (*) from t", "select a, COUNT (*)\r\n  from t  \r\n group by a"},
      // Neither is an aggregate.
      {"select isnull(sum(a),0) from t", "select isnull(sum(a),0)\r\n  from t "},
      {"select a, COUNT(*) from t", "select a, COUNT(*)\r\n  from t "},
      // An alias-equals column is never analysed for aggregates.
      {"select total=sum(q), a from t", "select total=sum(q), a\r\n  from t "},
      {"select a, sum(q) from t group by a, b", "select a, sum(q)\r\n  from t  \r\n group by a, b"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    EXPECT_EQ(compose(), row.composed);
  }
}

TEST_F(FormWhere, FromTables) {
  struct Row {
    const char* sql;
    Pairs tables;
  };
  const std::vector<Row> rows = {
      {"select * from Goods g", {{"goods", "g"}}},
      {"select * from A as X", {{"a", "x"}}},
      {"select * from a As b", {{"a", "b"}}},
      {"select * from GOODS", {{"goods", ""}}},
      {"select * from goods  g", {{"goods", "g"}}},
      {"select * from goods g where x=1", {{"goods", "g"}}},
      {"select * from a, b c", {{"a", ""}, {"b", "c"}}},
      {"select * from a left join b on a.id=b.id", {{"a", "left join b on a.id= b.id"}}},
      {"select * from stock s inner join goods g on s.goodsno = g.goodsno, dep d",
       {{"stock", "s inner join goods g on s.goodsno = g.goodsno"}, {"dep", "d"}}},
      {"select * from (select a from b) c", {{"(select", "a from b) c"}}},
      // Lower-casing leaves both bytes of a double-byte character alone.
      {"select * from 商品 SP, 餘料 YL", {{"商品", "sp"}, {"餘料", "yl"}}},
      {"select * from t,", {{"t", ""}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    EXPECT_EQ(tables(), row.tables);
  }
}

TEST_F(FormWhere, CorrelatedReferencesOfSubSelectColumns) {
  struct Row {
    const char* sql;
    std::string autoGroup;
  };
  const std::vector<Row> rows = {
      {"select t.name, c=(select max(x) from d where d.id = t.id or d.k = g.k) from t, g",
       "t.name ,\r\n t.id ,\r\n g.k"},
      // The table list is matched as text: ", e" is not ",e".
      {"select c=(select max(v) from d, e where e.id = t.id and e.k = t.k) from t",
       "e.id ,\r\n t.id ,\r\n e.k ,\r\n t.k"},
      {"select c=(select max(v) from d,e where e.id = t.id) from t", "t.id"},
      {"select c=(select max(v) from d dd where dd.id = t.id) from t", "dd.id ,\r\n t.id"},
      {"select c=(select max(v) from d as x where x.id = t.id) from t", "t.id"},
      {"select c=(select max(v) from D where D.id = t.id) from t", "D.id ,\r\n t.id"},
      // A quoted value is skipped with what it holds.
      {"select c=(select max(v) from d where d.name = 'a=b' and d.id = t.id) from t", "t.id"},
      {"select c=(select max(v) from d where d.name='a=b' and d.id=t.id) from t", "t.id"},
      // A qualified-looking literal is no reference either.
      {"select c=(select max(v) from d where d.name = 'x.y' and d.id = t.id) from t", "t.id"},
      {"select c=(select max(x) from d where d.id = t.id group by d.k) from t", "t.id"},
      // A term opening with "(" keeps its qualifier.
      {"select c=(select count(*) from d where (t.id = d.id) and d.k = g.k) from t, g",
       "t.id ,\r\n g.k"},
      {"select c=(select count(*) from d where ( t.id = d.id)) from t", "t.id"},
      // The sub-select's own closing bracket is not part of the last term.
      {"select c=(select max(v) from d where (d.id = t.id)) from t", "t.id"},
      {"select c=(select max(x) from d) from t", ""},
      {"select c=(SELECT MAX(x) FROM d WHERE d.id = t.id) from t", ""},
      // Plain columns first, then the references in column order.
      {"select c1=(select max(x) from d where d.id = t.id), t.name, "
       "c2=(select min(y) from e where e.k = t.k) from t",
       "t.name ,\r\n t.id ,\r\n t.k"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    EXPECT_EQ(text("of_getautogroupby"), row.autoGroup);
  }
}

TEST_F(FormWhere, RejectedStatementsLeaveNothingParsed) {
  struct Row {
    const char* sql;
    const char* message;
  };
  const std::vector<Row> rows = {
      {"update t set a=1", kNotSelect},
      {"selecta from t", kNotSelect},
      {"insert into t select a from u", kNotSelect},
      {"(select a from t)", kNotSelect},
      {"-- 注释\r\nupdate t set a=1", kNotSelect},
      {"select 1", kNoFrom},
      {"SELECT", kNoFrom},
      {"select a, b", kNoFrom},
      {"select a fromt", kNoFrom},
      // An open parenthesis or quote swallows the rest.
      {"select (a from t", kNoFrom},
      {"select 'a from t", kNoFrom},
      // Quotes inside parentheses do not hide a bracket.
      {"select f('(') y from t", kNoFrom},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    renew();
    ASSERT_EQ(setSql("select a, b from t g where x=1 group by a having c>1 order by a"), "");
    EXPECT_EQ(setSql(row.sql), row.message);
    expectClauses({0, "", "", "", "", "", ""});
    EXPECT_EQ(tables(), Pairs{});
    EXPECT_EQ(columns(), Pairs{});
    EXPECT_EQ(text("of_getautogroupby"), "");
    EXPECT_EQ(text("of_getoldsql"), row.sql);
    EXPECT_EQ(compose(), "select \r\n  from  ");
  }
}

TEST_F(FormWhere, BlankStatementsAreNoError) {
  const std::vector<const char*> rows = {"", "  \r\n\t ", "-- 只有注释", "/* a */ \r\n -- b",
                                         nullptr};
  for (const char* sql : rows) {
    SCOPED_TRACE(sql != nullptr ? sql : "null");
    renew();
    ASSERT_EQ(setSql("select a from t where x=1"), "");
    EXPECT_EQ(setSql(sql), "");
    expectClauses({0, "", "", "", "", "", ""});
    EXPECT_EQ(columns(), Pairs{});
    EXPECT_EQ(text("of_getoldsql"), sql != nullptr ? sql : "");
  }
}

TEST_F(FormWhere, LimitForms) {
  struct Row {
    const char* sql;
    std::vector<Step> steps;
    std::string composed;
  };
  const std::vector<Row> rows = {
      {"select * from t limit 5, 20", {}, "select *\r\n  from t  \r\n limit 5,20"},
      {"select * from t limit 5,20", {}, "select *\r\n  from t  \r\n limit 5,20"},
      {"select * from t limit 3 ,4", {}, "select *\r\n  from t  \r\n limit 3,4"},
      {"select * from t limit 20", {}, "select *\r\n  from t  \r\n limit 20"},
      {"select * from t LIMIT 7", {}, "select *\r\n  from t  \r\n limit 7"},
      {"select * from t where a=1 limit 20",
       {},
       "select *\r\n  from t  \r\n  where a=1 \r\n limit 20"},
      {"select * from t limit 10 offset 5", {}, "select *\r\n  from t  \r\n limit 10"},
      // An offset below 1 is not written.
      {"select * from t limit 0, 10", {}, "select *\r\n  from t  \r\n limit 10"},
      {"select * from t limit x", {}, "select *\r\n  from t  \r\n limit 0"},
      {"select a from t order by a desc limit 1",
       {},
       "select a\r\n  from t  \r\n order by a desc \r\n limit 1"},
      {"select a from t group by a limit 2",
       {},
       "select a\r\n  from t  \r\n group by a \r\n limit 2"},
      {"select * from t limit", {}, "select *\r\n  from t limit "},
      // The row count only shows where the statement had a LIMIT clause.
      {"select * from t", {topRows(50)}, "select *\r\n  from t "},
      {"select * from t limit 10", {topRows(50)}, "select *\r\n  from t  \r\n limit 50"},
      {"select * from t limit 5, 20", {topRows(50)}, "select *\r\n  from t  \r\n limit 50"},
      {"select * from t limit 5, 20", {topRows(0)}, "select *\r\n  from t  \r\n limit 0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    run(row.steps);
    EXPECT_EQ(compose(), row.composed);
  }
}

TEST_F(FormWhere, ComposedStatements) {
  struct Row {
    const char* name;
    const char* sql;  // null: no statement was ever set
    std::vector<Step> steps;
    std::string composed;
  };
  const char* const ab = "select a, b from t";
  const char* const abWhere = "select a, b from t where z=1";
  const std::vector<Row> rows = {
      {"nothing set", ab, {}, "select a, b\r\n  from t "},
      {"WHERE only", abWhere, {}, "select a, b\r\n  from t  \r\n  where z=1"},
      {"one condition opens a WHERE",
       ab,
       {addOns("c1", "x>1")},
       "select a, b\r\n  from t  \r\n   where (x>1)"},
      {"two conditions",
       ab,
       {addOns("c1", "x>1"), addOns("c2", "y<2")},
       "select a, b\r\n  from t  \r\n   where (x>1) \r\n     and (y<2)"},
      {"WHERE and two conditions",
       abWhere,
       {addOns("c1", "x>1"), addOns("c2", "y<2")},
       "select a, b\r\n  from t where z=1 \r\n  and (x>1) \r\n     and (y<2)"},
      {"condition and extra condition",
       ab,
       {addOns("c1", "x>1"), setAddons("k=1")},
       "select a, b\r\n  from t  \r\n   where (x>1)  \r\n and k=1"},
      {"extra condition alone, trimmed and not lower-cased",
       ab,
       {setAddons("  K='A' \r\n")},
       "select a, b\r\n  from t  \r\n   where K='A'"},
      {"WHERE and extra condition",
       abWhere,
       {setAddons("k=1")},
       "select a, b\r\n  from t where z=1 \r\n  and k=1"},
      {"related table",
       ab,
       {relate("stock", "s.id=t.id")},
       "select a, b\r\n from t,stock  \r\n \r\n   where (s.id=t.id)"},
      {"related table lower-cased",
       ab,
       {relate("Stock", "S.ID=T.ID")},
       "select a, b\r\n from t,stock  \r\n \r\n   where (s.id=t.id)"},
      {"two related tables and WHERE",
       abWhere,
       {relate("stock", "s.id=t.id"), relate("dep", "d.id=t.dep")},
       "select a, b\r\n from t,stock , \r\ndep  \r\nwhere z=1 \r\n  and (s.id=t.id) \r\n"
       "     and (d.id=t.dep)"},
      {"related table given twice",
       ab,
       {relate("stock", "a=1"), relate("STOCK", "b=2")},
       "select a, b\r\n from t,stock  \r\n \r\n   where (b=2)"},
      {"related table removed",
       ab,
       {relate("stock", "s.id=t.id"), unrelate("STOCK")},
       "select a, b\r\n  from t "},
      {"removed related table leaves the next",
       ab,
       {relate("stock", "s.id=t.id"), relate("dep", "d.id=t.dep"), unrelate("stock")},
       "select a, b\r\n from t,dep  \r\n \r\n   where (d.id=t.dep)"},
      {"condition lower-cased",
       ab,
       {addOns("c", "Name='ABC'")},
       "select a, b\r\n  from t  \r\n   where (name='abc')"},
      {"double-byte characters survive lower-casing",
       ab,
       {addOns("c", "NAME='餘員'")},
       "select a, b\r\n  from t  \r\n   where (name='餘員')"},
      {"leading blanks kept",
       ab,
       {addOns("c", "  x>1")},
       "select a, b\r\n  from t  \r\n   where (  x>1)"},
      {"trailing white space removed",
       ab,
       {addOns("c", "x>1 \r\n")},
       "select a, b\r\n  from t  \r\n   where (x>1)"},
      {"condition-only text trims the stored conditions",
       ab,
       {addOns("c", "  x>1"), onlyWhere()},
       "select a, b\r\n  from t  \r\n   where (x>1)"},
      {"reactivated in its old place",
       ab,
       {addOns("c1", "x>1"), addOns("c2", "y<2"), delOns("c1"), addOns("c1", "w>3")},
       "select a, b\r\n  from t  \r\n   where (w>3) \r\n     and (y<2)"},
      {"deactivated condition",
       ab,
       {addOns("c1", "x>1"), addOns("c2", "y<2"), delOns("C2 ")},
       "select a, b\r\n  from t  \r\n   where (x>1)"},
      {"all deactivated",
       abWhere,
       {addOns("c1", "x>1"), addOns("c2", "y<2"), delAllOns()},
       "select a, b\r\n  from t  \r\n  where z=1"},
      {"same name replaces",
       ab,
       {addOns("C1 ", "x>1"), addOns("c1", "y<2")},
       "select a, b\r\n  from t  \r\n   where (y<2)"},
      {"empty conditions skipped",
       ab,
       {addOns("c1", ""), addOns("c2", " \t "), addOns("c3", nullptr)},
       "select a, b\r\n  from t "},
      {"blank name stores nothing",
       ab,
       {addOns("   ", "x>1"), addOns(nullptr, "y>1")},
       "select a, b\r\n  from t "},
      {"having conditions are not composed",
       ab,
       {addHaving("h", "count(*)>1")},
       "select a, b\r\n  from t "},
      {"automatic GROUP BY on demand",
       ab,
       {needAutoGroup(true)},
       "select a, b\r\n  from t  \r\n group by a ,\r\n b"},
      {"GROUP BY written kept",
       "select a, b from t group by b",
       {needAutoGroup(true)},
       "select a, b\r\n  from t  \r\n group by b"},
      {"having and order",
       "select a, sum(b) from t group by a having sum(b)>1 order by a",
       {},
       "select a, sum(b)\r\n  from t  \r\n group by a \r\n having sum(b)>1 \r\n order by a"},
      {"every clause",
       "select a, sum(b) from t where a>1 group by a having sum(b)>2 "
       "order by a desc limit 5, 20",
       {addOns("c", "b<9")},
       "select a, sum(b)\r\n  from t where a>1 \r\n  and (b<9) \r\n group by a \r\n"
       " having sum(b)>2 \r\n order by a desc \r\n limit 5,20"},
      // Correlated references replace a written GROUP BY only with both flags.
      {"references with aggregate and no GROUP BY",
       "select t.name, c=(select max(x) from d where d.id = t.id), sum(t.q) from t",
       {},
       "select t.name, c=(select max(x) from d where d.id = t.id), sum(t.q)\r\n  from t  \r\n"
       " group by t.name ,\r\n t.id"},
      {"references keep a written GROUP BY",
       "select t.name, c=(select max(x) from d where d.id = t.id), sum(t.q) from t group by "
       "t.name",
       {},
       "select t.name, c=(select max(x) from d where d.id = t.id), sum(t.q)\r\n  from t  \r\n"
       " group by t.name"},
      {"references replace it on demand",
       "select t.name, c=(select max(x) from d where d.id = t.id), sum(t.q) from t group by "
       "t.name",
       {needAutoGroup(true)},
       "select t.name, c=(select max(x) from d where d.id = t.id), sum(t.q)\r\n  from t  \r\n"
       " group by t.name ,\r\n t.id"},
      {"no statement", nullptr, {}, "select \r\n  from  "},
      {"conditions without a statement",
       nullptr,
       {addOns("c", "x>1")},
       "select \r\n  from   \r\n   where (x>1)"},
      {"GBK texts",
       "select 名称, 数量 from 商品 where 类别='茶'",
       {addOns("价格", "价格>10")},
       "select 名称, 数量\r\n  from 商品 where 类别='茶' \r\n  and (价格>10)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    renew();
    if (row.sql != nullptr) {
      ASSERT_EQ(setSql(row.sql), "");
    }
    run(row.steps);
    EXPECT_EQ(compose(), row.composed);
    // Composing again, by either name, gives the same text.
    EXPECT_EQ(text("of_getsqlselect"), row.composed);
  }
}

TEST_F(FormWhere, OperationResults) {
  struct Row {
    Step step;
    std::int64_t expected;
  };
  const std::vector<Row> rows = {
      {addOns("c1", "x>1"), 1},
      {addOns("", "x>1"), 0},
      {addOns("   ", "x>1"), 0},
      {addOns(nullptr, "x>1"), 0},
      {addOns("c2", ""), 1},
      {delOns(""), 0},
      {delOns(nullptr), 0},
      {delOns("zz"), -1},
      // Tested for emptiness before its trailing blanks go.
      {delOns("   "), -1},
      {delOns("C1 "), 1},
      {delOns("c1"), 1},
      {delAllOns(), 1},
      {setAddons("k=1"), 1},
      {relate("stock", "s.id=t.id"), 1},
      {unrelate("nothere"), 1},
      {unrelate("stock"), 1},
      {needAutoGroup(false), 1},
      {columnsFromEntries(false), 1},
      {topRows(5), 1},
      {changeTable("a", "b"), 1},
      {addCol("  ", "x", false), 0},
      {changeCol("", "x", false), 0},
      {changeCol("zz", "x", false), -1},
      {changeCol("A", "x", false), 1},
      {addCol("n", "m", false), 1},
      {{"of_replacesq", {Value::string("a"), Value::string("b")}}, 1},
      {{"of_retrieve", {}}, -1},
  };
  ASSERT_EQ(setSql("select a from t"), "");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.step.method);
    host::CallResult r = call(row.step.method, row.step.args);
    EXPECT_TRUE(r.result.wasSet());
    EXPECT_EQ(r.result.integer(), row.expected);
  }
}

TEST_F(FormWhere, ConditionTextAlone) {
  struct Row {
    const char* name;
    const char* sql;
    std::vector<Step> steps;
    std::string onlyWhere;
  };
  const std::vector<Row> rows = {
      {"none", "select a from t where z=1", {}, ""},
      {"one keeps its line break",
       "select a from t where z=1",
       {addOns("c1", "x>1")},
       " \r\n (x>1)"},
      {"two",
       "select a from t",
       {addOns("c1", "x>1"), addOns("c2", "y<2")},
       "(x>1) \r\n and (y<2)"},
      {"three",
       "select a from t",
       {addOns("c1", "x>1"), addOns("c2", "y<2"), addOns("c3", "z=3")},
       "(x>1) \r\n and (y<2) \r\n and (z=3)"},
      {"one and extra condition",
       "select a from t",
       {addOns("c1", "x>1"), setAddons("k=1")},
       " \r\n (x>1)  \r\n and k=1"},
      {"extra condition alone", "select a from t", {setAddons("k=1")}, "k=1"},
      {"inactive and empty skipped",
       "select a from t",
       {addOns("c1", "x>1"), addOns("c2", ""), addOns("c3", "y<2"), delOns("c1")},
       " \r\n (y<2)"},
      {"stored texts trimmed", "select a from t", {addOns("c1", "  x>1")}, " \r\n (x>1)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    run(row.steps);
    EXPECT_EQ(text("of_getonlywhere"), row.onlyWhere);
  }
}

TEST_F(FormWhere, OneOffConditionsAndRetrieve) {
  struct Row {
    const char* name;
    std::vector<Step> steps;
    const char* field;
    const char* op;
    const char* value;
    std::string composed;  // with the one-off condition
    std::string after;     // composed again afterwards
  };
  const std::vector<Row> rows = {
      {"alone",
       {},
       "name",
       " like ",
       "'a%'",
       "select a, b\r\n  from t  \r\n   where (name like 'a%')",
       "select a, b\r\n  from t "},
      {"after a condition, lower-cased",
       {addOns("c1", "x>1")},
       "Name",
       "=",
       "'A'",
       "select a, b\r\n  from t  \r\n   where (x>1) \r\n     and (name='a')",
       "select a, b\r\n  from t  \r\n   where (x>1)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    renew();
    ASSERT_EQ(setSql("select a, b from t"), "");
    run(row.steps);
    EXPECT_EQ(number("of_del_ons", {Value::string("createcond")}), -1);
    EXPECT_EQ(text("of_form_where",
                   {Value::string(row.field), Value::string(row.op), Value::string(row.value)}),
              row.composed);
    EXPECT_EQ(compose(), row.after);
    EXPECT_EQ(text("of_getonlywhere"), row.steps.empty() ? "" : " \r\n (x>1)");
    // The entry stays in the list, inactive.
    EXPECT_EQ(number("of_del_ons", {Value::string("createcond")}), 1);
  }

  renew();
  ASSERT_EQ(setSql("select a, b from t"), "");
  EXPECT_EQ(number("of_retrieve"), -1);
  EXPECT_EQ(number("of_del_ons", {Value::string("retrieve_cond")}), -1);
  host::CallResult r =
      call("of_retrieve", {Value::string("a"), Value::string("="), Value::string("1")});
  EXPECT_EQ(r.result.type(), ValueType::Int);
  EXPECT_EQ(r.result.integer(), 1);
  EXPECT_EQ(compose(), "select a, b\r\n  from t ");
  EXPECT_EQ(number("of_del_ons", {Value::string("retrieve_cond")}), 1);
}

TEST_F(FormWhere, HavingConditions) {
  struct Row {
    Step step;
    std::int64_t expected;
  };
  const std::vector<Row> rows = {
      {addHaving("h1", "Count(*)>1"), 1},
      {addHaving("", "sum(q)>0"), 1},
      {addHaving("h2", "  "), 0},
      {addHaving("H1", "max(q)>2"), 1},
      {addHaving("h3", "min(q)>0"), 1},
      {{"of_del_havingons", {Value::string("h3")}}, 1},
      {{"of_del_havingons", {Value::string("H1")}}, 1},
      {{"of_del_havingons", {Value::string("")}}, 1},
      {{"of_del_havingons", {Value::string("h2")}}, -1},
      {{"of_del_havingons", {Value::string("zz")}}, -1},
  };
  ASSERT_EQ(setSql("select a from t"), "");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.step.method + " " + row.step.args.at(0).text());
    host::CallResult r = call(row.step.method, row.step.args);
    EXPECT_EQ(r.result.type(), ValueType::Int);
    EXPECT_EQ(r.result.integer(), row.expected);
  }
  EXPECT_EQ(compose(), "select a\r\n  from t ");
}

TEST_F(FormWhere, AddedColumns) {
  struct Row {
    const char* name;
    const char* sql;  // null: no statement was ever set
    std::vector<Step> steps;
    std::string select;  // the stored select list
    Pairs columns;
    std::string composed;
  };
  const std::vector<Row> rows = {
      {"plain column",
       "select a, b as bb from t",
       {addCol("newc", "nc", false)},
       "a, b as bb,newc as nc",
       {{"a", ""}, {"b", "bb"}, {"newc", "nc"}},
       "select a , \r\n  b  as bb , \r\n  newc as nc\r\n  from t "},
      {"expression",
       "select a from t",
       {addCol("total", "sum(q)", true)},
       "a,total=(sum(q))",
       {{"a", ""}, {"(sum(q))", "total"}},
       "select a , \r\n   (sum(q)) as total\r\n  from t "},
      {"parenthesised expression",
       "select a from t",
       {addCol("total", "(sum(q))", true)},
       "a,total=(sum(q))",
       {{"a", ""}, {"(sum(q))", "total"}},
       "select a , \r\n   (sum(q)) as total\r\n  from t "},
      {"alias blanks kept",
       "select a from t",
       {addCol(" c ", " x ", false)},
       "a,c as  x ",
       {{"a", ""}, {"c", " x "}},
       "select a , \r\n  c as x\r\n  from t "},
      {"empty column",
       "select a from t",
       {addCol(" \t", "x", false)},
       "a",
       {{"a", ""}},
       "select a\r\n  from t "},
      {"no statement",
       nullptr,
       {addCol("a", "b", false)},
       ",a as b",
       {{"a", "b"}},
       "select a as b\r\n  from  "},
      // How each alias kind is written back.
      {"alias kinds",
       "select a, b as bb, x=a+1, (a+b) s, (a-b) as d from t",
       {columnsFromEntries(true)},
       "a, b as bb, x=a+1, (a+b) s, (a-b) as d",
       {{"a", ""}, {"b", "bb"}, {"a+1", "x"}, {"(a+b)", "s"}, {"(a-b)", "d"}},
       "select a , \r\n  b  as bb , \r\n   a+1 as x , \r\n  (a+b) as s , \r\n  (a-b) as d"
       "\r\n  from t "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    renew();
    if (row.sql != nullptr) {
      ASSERT_EQ(setSql(row.sql), "");
    }
    run(row.steps);
    EXPECT_EQ(clauses().select, row.select);
    EXPECT_EQ(columns(), row.columns);
    EXPECT_EQ(compose(), row.composed);
  }
}

TEST_F(FormWhere, ChangedColumns) {
  struct Row {
    const char* name;
    const char* sql;
    std::vector<Step> steps;
    std::string select;
    Pairs columns;
    std::string group;
    std::string autoGroup;
    std::string composed;
  };
  const char* const sub =
      "select t.name, c=(select max(x) from d where d.id = t.id or d.k = g.k) "
      "from t, g";
  const std::vector<Row> rows = {
      {"by alias",
       "select a, b as bb from t group by a, b",
       {changeCol("BB", "c+1", false)},
       "a ,\r\n  (c+1) as BB",
       {{"a", ""}, {"(c+1)", "BB"}},
       "a, b",
       "a ,\r\n (c+1)",
       "select a ,\r\n  (c+1) as BB\r\n  from t  \r\n group by a, b"},
      {"by expression",
       "select a, b from t",
       {changeCol("A", "x", false)},
       " (x) as A ,\r\n b",
       {{"(x)", "A"}, {"b", ""}},
       "",
       "(x) ,\r\n b",
       "select  (x) as A ,\r\n b\r\n  from t "},
      {"first match wins",
       "select a as x, x from t",
       {changeCol("x", "y", false)},
       " (y) as x ,\r\n x",
       {{"(y)", "x"}, {"x", ""}},
       "",
       "(y) ,\r\n x",
       "select  (y) as x ,\r\n x\r\n  from t "},
      {"parenthesised new column",
       "select a, b from t",
       {changeCol("b", "  (q)  ", false)},
       "a ,\r\n  ((q)) as b",
       {{"a", ""}, {"(q)", "b"}},
       "",
       "a ,\r\n (q)",
       "select a ,\r\n  ((q)) as b\r\n  from t "},
      {"emptied column",
       "select a, b from t group by a, b",
       {changeCol("b", "", false)},
       "a ,\r\n  () as b",
       {{"a", ""}, {"()", "b"}},
       "",
       "a",
       "select a ,\r\n  () as b\r\n  from t "},
      {"no match",
       "select a, b from t",
       {changeCol("zz", "x", false)},
       "a, b",
       {{"a", ""}, {"b", ""}},
       "",
       "a ,\r\n b",
       "select a, b\r\n  from t "},
      // An expression drops the references recorded under its alias.
      {"expression drops references",
       sub,
       {changeCol("C", "(select 1)", true)},
       "t.name ,\r\n  ((select 1)) as C",
       {{"t.name", ""}, {"(select 1)", "C"}},
       "",
       "t.name",
       "select t.name ,\r\n  ((select 1)) as C\r\n  from t, g "},
      {"non-expression keeps references",
       sub,
       {changeCol("C", "(select 1)", false)},
       "t.name ,\r\n  ((select 1)) as C",
       {{"t.name", ""}, {"(select 1)", "C"}},
       "",
       "t.name ,\r\n t.id ,\r\n g.k",
       "select t.name ,\r\n  ((select 1)) as C\r\n  from t, g "},
      {"expression written from entries",
       "select a, b from t",
       {changeCol("b", "q+1", true), columnsFromEntries(true)},
       "a ,\r\n  (q+1) as b",
       {{"a", ""}, {"(q+1)", "b"}},
       "",
       "a ,\r\n (q+1)",
       "select a , \r\n   (q+1) as b\r\n  from t "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    run(row.steps);
    const Clauses got = clauses();
    EXPECT_EQ(got.select, row.select);
    EXPECT_EQ(got.group, row.group);
    EXPECT_EQ(columns(), row.columns);
    EXPECT_EQ(text("of_getautogroupby"), row.autoGroup);
    EXPECT_EQ(compose(), row.composed);
  }
}

TEST_F(FormWhere, ChangedTables) {
  struct Row {
    const char* name;
    const char* sql;
    std::vector<Step> steps;
    std::string from;
    Pairs tables;
  };
  const std::vector<Row> rows = {
      {"by table name",
       "select * from goods g, stock",
       {changeTable("STOCK", "Stock2")},
       "goods as g ,\r\n stock2 as stock",
       {{"goods", "g"}, {"stock2", "stock"}}},
      // Matching the alias rewrites the text, not the entry.
      {"then by alias",
       "select * from goods g, stock",
       {changeTable("STOCK", "Stock2"), changeTable("g", "gg")},
       "gg as g ,\r\n stock2 as stock",
       {{"goods", "g"}, {"stock2", "stock"}}},
      {"trailing blanks",
       "select * from t",
       {changeTable("T  ", "u \r\n")},
       "u as t",
       {{"u", "t"}}},
      {"no match rewrites anyway",
       "select * from a x, b",
       {changeTable("zz", "y")},
       "a as x ,\r\n b",
       {{"a", "x"}, {"b", ""}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    run(row.steps);
    EXPECT_EQ(text("of_GetFrom"), row.from);
    EXPECT_EQ(tables(), row.tables);
    EXPECT_EQ(compose(), "select *\r\n  from " + row.from + " ");
  }
}

TEST_F(FormWhere, AutomaticGroupByIsStoredAndKept) {
  ASSERT_EQ(setSql("select a, sum(q) from t"), "");
  EXPECT_EQ(clauses().group, "");
  EXPECT_EQ(compose(), "select a, sum(q)\r\n  from t  \r\n group by a");
  EXPECT_EQ(clauses().group, "a");
  ASSERT_EQ(number("of_addcol", {Value::string("b"), Value::string("bb"), Value::boolean(false)}),
            1);
  EXPECT_EQ(text("of_getautogroupby"), "a ,\r\n b");
  // The stored list wins over the grown automatic one.
  EXPECT_EQ(compose(), "select a , \r\n  sum(q) , \r\n  b as bb\r\n  from t  \r\n group by a");

  // A new statement drops the added column and the stored list, not the flag.
  ASSERT_EQ(setSql("select a, c, sum(q) from t"), "");
  EXPECT_EQ(compose(), "select a , \r\n  c , \r\n  sum(q)\r\n  from t  \r\n group by a ,\r\n c");
}

TEST_F(FormWhere, ObjectStateSurvivesNewStatements) {
  run({addOns("c1", "x>1")});
  ASSERT_EQ(setSql("select a from t"), "");
  EXPECT_EQ(compose(), "select a\r\n  from t  \r\n   where (x>1)");
  run({setAddons("k=1"), relate("stock", "s.id=t.id"), needAutoGroup(true)});
  ASSERT_EQ(setSql("select b from u where y=2"), "");
  EXPECT_EQ(compose(),
            "select b\r\n from u,stock  \r\nwhere y=2 \r\n  and (x>1) \r\n     and (s.id=t.id)"
            "  \r\n and k=1 \r\n group by b");
  // A failed statement keeps them too.
  EXPECT_EQ(setSql("delete from u"), kNotSelect);
  EXPECT_EQ(text("of_getonlywhere"), "(x>1) \r\n and (s.id=t.id)  \r\n and k=1");
}

TEST_F(FormWhere, ArgumentArraysAndCounts) {
  ASSERT_EQ(setSql("select a, b x from t, u v"), "");
  const std::vector<std::string> old = {"o1", "o2", "o3", "o4"};
  host::CallResult r =
      call("of_GetColumns", {Value::int16(-1), Value::stringArray(old), Value::stringArray(old),
                             Value::null(ValueType::StringArray), Value::stringArray(old),
                             Value::stringArray(old), Value::stringArray(old)});
  EXPECT_EQ(r.result.integer(), 1);
  EXPECT_EQ(r.args[0].integer(), 2);
  // Elements beyond the counts keep their values; a null array is skipped.
  EXPECT_EQ(r.args[1].items(), (std::vector<std::string>{"a", "b x", "o3", "o4"}));
  EXPECT_EQ(r.args[2].items(), (std::vector<std::string>{"a", "b x", "o3", "o4"}));
  EXPECT_TRUE(r.args[3].isNull());
  EXPECT_EQ(r.args[4].items(), (std::vector<std::string>{"", "", "o3", "o4"}));
  EXPECT_EQ(r.args[5].items(), (std::vector<std::string>{"t", "u", "o3", "o4"}));
  EXPECT_EQ(r.args[6].items(), (std::vector<std::string>{"", "v", "o3", "o4"}));

  host::CallResult tableCount = call("of_GetTables");
  EXPECT_EQ(tableCount.result.type(), ValueType::Int);
  EXPECT_EQ(tableCount.result.integer(), 2);
}

TEST_F(FormWhere, ReplacingInTheStatement) {
  struct Row {
    const char* sql;
    const char* from;
    const char* to;
    std::string replaced;
    Pairs columns;
    Pairs tables;
  };
  const std::vector<Row> rows = {
      {"select a from goods where a=1",
       "goods",
       "stock",
       "select a from stock where a=1",
       {{"a", ""}},
       {{"stock", ""}}},
      {"select aaa from t", "aa", "b", "select ba from t", {{"ba", ""}}, {{"t", ""}}},
      {"select Goods from goods",
       "goods",
       "g",
       "select Goods from g",
       {{"Goods", ""}},
       {{"g", ""}}},
      {"select x from y", "x", "xx", "select xx from y", {{"xx", ""}}, {{"y", ""}}},
      {"select a from t where n='x'",
       "'x'",
       "'茶'",
       "select a from t where n='茶'",
       {{"a", ""}},
       {{"t", ""}}},
      // The parse result is dropped: a broken statement still answers 1.
      {"select a from t", "select", "update", "update a from t", {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    EXPECT_EQ(number("of_replacesq", {Value::string(row.from), Value::string(row.to)}), 1);
    EXPECT_EQ(text("of_getoldsql"), row.replaced);
    EXPECT_EQ(columns(), row.columns);
    EXPECT_EQ(tables(), row.tables);
  }
}

// Statements as the shop client writes them: line breaks, sub-selects, joins,
// Chinese aliases and literals, comments, LIMIT.
TEST_F(FormWhere, ShopStatements) {
  struct Row {
    const char* name;
    const char* sql;
    Clauses clauses;
    Pairs columns;
    Pairs tables;
    std::string autoGroup;
    std::vector<Step> steps;
    std::string composed;
  };
  const std::vector<Row> rows = {
      {"goods list with stock sub-select",
       "select g.goodsno, g.name as 品名,\r\n (select sum(s.qty) from stock s where s.goodsno = "
       "g.goodsno) as 库存, g.price\r\nfrom goods g left join unit u on g.unit = u.id\r\nwhere "
       "g.status = '正常' and g.price > 0\r\norder by g.goodsno\r\nlimit 0, 100",
       {1,
        "g.goodsno, g.name as 品名,\r\n (select sum(s.qty) from stock s where s.goodsno = "
        "g.goodsno) as 库存, g.price\r",
        "goods g left join unit u on g.unit = u.id\r", "g.status = '正常' and g.price > 0\r", "",
        "", "g.goodsno\r"},
       {{"g.goodsno", ""},
        {"g.name", "品名"},
        {"(select sum(s.qty) from stock s where s.goodsno = g.goodsno)", "库存"},
        {"g.price", ""}},
       {{"goods", "g left join unit u on g.unit = u.id"}},
       "g.goodsno ,\r\n g.name ,\r\n (select sum(s.qty) from stock s where s.goodsno = "
       "g.goodsno) ,\r\n g.price",
       {addOns("kind", "g.kind='饮料'")},
       "select g.goodsno, g.name as 品名,\r\n (select sum(s.qty) from stock s where s.goodsno = "
       "g.goodsno) as 库存, g.price\r\r\n  from goods g left join unit u on g.unit = u.id\r "
       "where g.status = '正常' and g.price > 0 \r\n  and (g.kind='饮料') \r\n order by "
       "g.goodsno \r\n limit 100"},
      {"member report",
       "SELECT m.cardno, m.name 会员名, sum(x.amount) as 消费额, count(*) 次数 FROM member m, "
       "xsd x WHERE m.cardno = x.cardno and x.billdate >= '2024-01-01' and m.cardno not in "
       "(select cardno from blacklist where flag = 1) GROUP BY m.cardno, m.name HAVING "
       "sum(x.amount) > 100 ORDER BY 消费额 desc",
       {2, "m.cardno, m.name 会员名, sum(x.amount) as 消费额, count(*) 次数", "member m, xsd x",
        "m.cardno = x.cardno and x.billdate >= '2024-01-01' and m.cardno not in (select cardno "
        "from blacklist where flag = 1)",
        "m.cardno, m.name", "sum(x.amount) > 100", "消费额 desc"},
       {{"m.cardno", ""},
        {"m.name 会员名", ""},
        {"sum(x.amount)", "消费额"},
        {"count(*) 次数", ""}},
       {{"member", "m"}, {"xsd", "x"}},
       "m.cardno ,\r\n m.name 会员名",
       {},
       "select m.cardno, m.name 会员名, sum(x.amount) as 消费额, count(*) 次数\r\n  from member "
       "m, xsd x  \r\n  where m.cardno = x.cardno and x.billdate >= '2024-01-01' and m.cardno "
       "not in (select cardno from blacklist where flag = 1) \r\n group by m.cardno, m.name "
       "\r\n having sum(x.amount) > 100 \r\n order by 消费额 desc"},
      {"alias-equals columns with comments",
       "select 商品编号 = g.goodsno, 库存 = (select sum(qty) from stock s where s.goodsno = "
       "g.goodsno and s.depno = d.depno) -- 当前库存\r\nfrom goods g, dep d /* 门店 */ where "
       "d.depno = '01'",
       {2,
        "商品编号 = g.goodsno, 库存 = (select sum(qty) from stock s where s.goodsno = g.goodsno "
        "and s.depno = d.depno) \r",
        "goods g, dep d ", "d.depno = '01'", "", "", ""},
       {{"g.goodsno", "商品编号"},
        {"(select sum(qty) from stock s where s.goodsno = g.goodsno and s.depno = d.depno)",
         "库存"}},
       {{"goods", "g"}, {"dep", "d"}},
       // "stock s" names no alias with "as ", so s.* count as outside.
       "s.goodsno ,\r\n g.goodsno ,\r\n s.depno ,\r\n d.depno",
       {needAutoGroup(true)},
       "select 商品编号 = g.goodsno, 库存 = (select sum(qty) from stock s where s.goodsno = "
       "g.goodsno and s.depno = d.depno) \r\r\n  from goods g, dep d   \r\n  where d.depno = "
       "'01' \r\n group by s.goodsno ,\r\n g.goodsno ,\r\n s.depno ,\r\n d.depno"},
      {"sales lines with join and page",
       "select a.billno, a.billdate, b.goodsno, b.qty*b.price as 金额 from xsd a inner join "
       "xsdmx b on a.billno = b.billno where a.billdate between '2024-01-01' and '2024-01-31' "
       "order by a.billno, b.goodsno limit 20, 20",
       {1, "a.billno, a.billdate, b.goodsno, b.qty*b.price as 金额",
        "xsd a inner join xsdmx b on a.billno = b.billno",
        "a.billdate between '2024-01-01' and '2024-01-31'", "", "", "a.billno, b.goodsno"},
       {{"a.billno", ""}, {"a.billdate", ""}, {"b.goodsno", ""}, {"b.qty* b.price", "金额"}},
       {{"xsd", "a inner join xsdmx b on a.billno = b.billno"}},
       "a.billno ,\r\n a.billdate ,\r\n b.goodsno ,\r\n b.qty* b.price",
       {},
       "select a.billno, a.billdate, b.goodsno, b.qty*b.price as 金额\r\n  from xsd a inner join "
       "xsdmx b on a.billno = b.billno  \r\n  where a.billdate between '2024-01-01' and "
       "'2024-01-31' \r\n order by a.billno, b.goodsno \r\n limit 20,20"},
      {"goods with a related stock table",
       "select g.goodsno, g.name from goods g where g.status = 1",
       {1, "g.goodsno, g.name", "goods g", "g.status = 1", "", "", ""},
       {{"g.goodsno", ""}, {"g.name", ""}},
       {{"goods", "g"}},
       "g.goodsno ,\r\n g.name",
       {relate("stock", "stock.goodsno = goods.goodsno")},
       "select g.goodsno, g.name\r\n from goods g,stock  \r\nwhere g.status = 1 \r\n  and "
       "(stock.goodsno = goods.goodsno)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    renew();
    ASSERT_EQ(setSql(row.sql), "");
    expectClauses(row.clauses);
    EXPECT_EQ(columns(), row.columns);
    EXPECT_EQ(tables(), row.tables);
    EXPECT_EQ(text("of_getautogroupby"), row.autoGroup);
    run(row.steps);
    EXPECT_EQ(compose(), row.composed);
  }
}

}  // namespace
