// n_cst_dwsrc through the host: sample syntaxes loaded with CR LF line ends
// and produced again, column additions, property changes and the syntaxes
// that lack one of the markers. Every produced text is compared byte for
// byte, so each blank and line feed of the fixed frame is checked.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/extension/dw_samples.h"
#include "tests/extension/library.h"

namespace {

using host::Value;
using host::ValueType;

// Exports carry CR LF; the samples are written with LF.
std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string lines(const std::vector<std::string>& objects) {
  std::string out;
  for (const std::string& o : objects) out += o + "\n";
  return out;
}

// The produced frame around the segments (all line ends already LF).
std::string frame(const std::string& head, const std::string& defs, const std::string& statement,
                  const std::string& rest, const std::string& objects, const std::string& tail) {
  return head + "\ntable(" + defs + " \n  retrieve=\"" + statement + "\"  \n" + rest + "  \n" +
         objects + "\n" + tail;
}

// The grid sample's segments as produced.
const std::string kGridHead =
    "$PBExportHeader$d_goods.srd\nrelease 10;\n"
    "datawindow(units=0 timer_interval=0 color=1073741824 processing=1 grid.lines=0 )\n"
    "header(height=80 color=\"536870912\" )\nsummary(height=80 color=\"536870912\" )\n"
    "footer(height=72 color=\"536870912\" )\ndetail(height=80 color=\"536870912\" )\n";
const std::string kGridDefs =
    "column=(type=char(20) updatewhereclause=yes name=goodsno dbname=\"goods.goodsno\" )\n"
    "column=(type=char(40) updatewhereclause=yes name=goodsname dbname=\"goods.goodsname\" )\n"
    "column=(type=decimal(2) updatewhereclause=yes name=price dbname=\"goods.price\" )\n";
const std::string kGridSelect = "select goods.goodsno, goods.goodsname, goods.price";
const std::string kGridFromWhere = "\n  from goods  \n  where goods.flag = 1";
// Once a column is added the select list is rebuilt from its entries.
const std::string kGridRebuiltSelect =
    "select goods.goodsno , \n  goods.goodsname , \n  goods.price , \n  ";
const std::string kGridRest = "update=\"goods\" updatewhere=1 updatekeyinplace=no )\n";
const std::string kGridTail = "htmltable(border=\"1\" )\nhtmlgen(clientevents=\"1\" )\n";

const std::string kT1 =
    "text(band=header alignment=\"2\" text=\"编号\" border=\"0\" color=\"33554432\" x=\"9\" "
    "y=\"8\" "
    "height=\"64\" width=\"297\" name=goodsno_t font.face=\"宋体\" )";
const std::string kT2 =
    "text(band=header alignment=\"2\" text=\"品名\" border=\"0\" color=\"33554432\" x=\"315\" "
    "y=\"8\" height=\"64\" width=\"549\" name=goodsname_t font.face=\"宋体\" )";
const std::string kT3 =
    "text(band=header alignment=\"2\" text=\"单价\" border=\"0\" color=\"33554432\" x=\"873\" "
    "y=\"8\" height=\"64\" width=\"256\" name=price_t font.face=\"宋体\" )";
const std::string kC1 =
    "column(band=detail id=1 alignment=\"0\" tabsequence=10 border=\"0\" color=\"33554432\" "
    "x=\"9\" y=\"8\" height=\"64\" width=\"297\" format=\"[general]\" name=goodsno edit.limit=20 )";
const std::string kC2 =
    "column(band=detail id=2 alignment=\"0\" tabsequence=20 border=\"0\" color=\"33554432\" "
    "x=\"315\" y=\"8\" height=\"64\" width=\"549\" format=\"[general]\" name=goodsname "
    "edit.limit=40 )";
const std::string kC3 =
    "column(band=detail id=3 alignment=\"1\" tabsequence=30 border=\"0\" color=\"33554432\" "
    "x=\"873\" y=\"8\" height=\"64\" width=\"256\" format=\"0.00\" name=price )";
const std::string kS1 =
    "compute(band=summary alignment=\"1\" expression=\"sum(price for all)\" border=\"0\" "
    "color=\"33554432\" x=\"873\" y=\"4\" height=\"64\" width=\"256\" format=\"0.00\" "
    "name=price_sum )";
const std::string kF1 =
    "text(band=footer alignment=\"0\" text=\"页脚\" border=\"0\" color=\"33554432\" x=\"900\" "
    "y=\"4\" height=\"64\" width=\"200\" name=foot_t )";

// Rebuilt texts: properties joined by three blanks, no blank before ")".
std::string rebuiltT2(const std::string& x) {
  return "text(band=header   alignment=\"2\"   text=\"品名\"   border=\"0\"   color=\"33554432\"   "
         "x=\"" +
         x +
         "\"   y=\"8\"   height=\"64\"   width=\"549\"   name=goodsname_t   "
         "font.face=\"宋体\")";
}
std::string rebuiltT3(const std::string& x) {
  return "text(band=header   alignment=\"2\"   text=\"单价\"   border=\"0\"   color=\"33554432\"   "
         "x=\"" +
         x +
         "\"   y=\"8\"   height=\"64\"   width=\"256\"   name=price_t   "
         "font.face=\"宋体\")";
}
std::string rebuiltC2(const std::string& x) {
  return "column(band=detail   id=2   alignment=\"0\"   tabsequence=20   border=\"0\"   "
         "color=\"33554432\"   x=\"" +
         x +
         "\"   y=\"8\"   height=\"64\"   width=\"549\"   "
         "format=\"[general]\"   name=goodsname   edit.limit=40)";
}
std::string rebuiltC3(const std::string& x) {
  return "column(band=detail   id=3   alignment=\"1\"   tabsequence=30   border=\"0\"   "
         "color=\"33554432\"   x=\"" +
         x +
         "\"   y=\"8\"   height=\"64\"   width=\"256\"   "
         "format=\"0.00\"   name=price)";
}
std::string rebuiltS1(const std::string& x) {
  return "compute(band=summary   alignment=\"1\"   expression=\"sum(price for all)\"   "
         "border=\"0\"   color=\"33554432\"   x=\"" +
         x +
         "\"   y=\"4\"   height=\"64\"   "
         "width=\"256\"   format=\"0.00\"   name=price_sum)";
}

class DwSyntax : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(nxtest::library().create("n_cst_dwsrc", "d"), PBX_OK); }
  void TearDown() override { nxtest::library().destroy("d"); }
  // Each row of a table starts from a new editor.
  void fresh() { ASSERT_EQ(nxtest::library().create("n_cst_dwsrc", "d"), PBX_OK); }

  host::CallResult call(const char* method, std::vector<Value> args = {}) {
    return nxtest::library().call("d", method, std::move(args));
  }
  void load(const char* sample) {
    EXPECT_EQ(call("of_SetDwSyntax", {Value::string(crlf(sample))}).code, PBX_OK);
  }
  // Produced twice: producing changes nothing.
  std::string produce() {
    const std::string first = call("of_GetDwSyntax").result.text();
    EXPECT_EQ(call("of_GetDwSyntax").result.text(), first);
    return first;
  }
};

TEST_F(DwSyntax, LoadAndProduceUnchanged) {
  struct Row {
    const char* name;
    const char* sample;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"grid", dwsamples::kGrid,
       "$PBExportHeader$d_goods.srd\nrelease 10;\n"
       "datawindow(units=0 timer_interval=0 color=1073741824 processing=1 grid.lines=0 )\n"
       "header(height=80 color=\"536870912\" )\nsummary(height=80 color=\"536870912\" )\n"
       "footer(height=72 color=\"536870912\" )\ndetail(height=80 color=\"536870912\" )\n"
       "\n"
       "table(column=(type=char(20) updatewhereclause=yes name=goodsno dbname=\"goods.goodsno\" )\n"
       "column=(type=char(40) updatewhereclause=yes name=goodsname dbname=\"goods.goodsname\" )\n"
       "column=(type=decimal(2) updatewhereclause=yes name=price dbname=\"goods.price\" )\n"
       " \n"
       "  retrieve=\"select goods.goodsno, goods.goodsname, goods.price\n"
       "  from goods  \n"
       "  where goods.flag = 1\"  \n"
       "update=\"goods\" updatewhere=1 updatekeyinplace=no )\n"
       "  \n" +
           kT1 + "\n" + kT2 + "\n" + kT3 + "\n" + kC1 + "\n" + kC2 + "\n" + kC3 + "\n" + kS1 +
           "\n" + kF1 +
           "\n"
           "\n"
           "htmltable(border=\"1\" )\nhtmlgen(clientevents=\"1\" )\n"},
      {"freeform", dwsamples::kFreeform,
       "release 10;\n"
       "datawindow(units=0 timer_interval=0 color=1073741824 processing=0 )\n"
       "header(height=0 color=\"536870912\" )\ndetail(height=260 color=\"536870912\" )\n"
       "\n"
       "table(column=(type=char(20) updatewhereclause=yes key=yes name=cardno "
       "dbname=\"member.cardno\" )\n"
       "column=(type=char(30) updatewhereclause=yes name=membername "
       "dbname=\"member.membername\" )\n"
       " \n"
       "  retrieve=\"select member.cardno, member.membername\n"
       "  from member  \n"
       " order by member.cardno\"  \n"
       "update=\"member\" updatewhere=1 updatekeyinplace=no )\n"
       "  \n"
       "text(band=detail alignment=\"1\" text=\"卡号\" border=\"0\" color=\"33554432\" x=\"37\" "
       "y=\"16\" height=\"64\" width=\"233\" name=cardno_t )\n"
       "column(band=detail id=1 alignment=\"0\" tabsequence=10 border=\"5\" color=\"33554432\" "
       "x=\"288\" y=\"16\" height=\"64\" width=\"421\" name=cardno )\n"
       "text(band=detail alignment=\"1\" text=\"姓名\" border=\"0\" color=\"33554432\" x=\"37\" "
       "y=\"96\" height=\"64\" width=\"233\" name=membername_t )\n"
       "column(band=detail id=2 alignment=\"0\" tabsequence=20 border=\"5\" color=\"33554432\" "
       "x=\"288\" y=\"96\" height=\"64\" width=\"421\" name=membername )\n"
       "\n"
       "htmltable(border=\"1\" )\n"},
      {"computed fields, objects start at the first column", dwsamples::kComputed,
       "release 10;\n"
       "datawindow(units=0 color=1073741824 processing=1 )\n"
       "summary(height=80 color=\"536870912\" )\ndetail(height=80 color=\"536870912\" )\n"
       "\n"
       "table(column=(type=char(20) updatewhereclause=yes name=goodsno dbname=\"sale.goodsno\" )\n"
       "column=(type=decimal(2) updatewhereclause=yes name=price dbname=\"sale.price\" )\n"
       "column=(type=decimal(2) updatewhereclause=yes name=qty dbname=\"sale.qty\" )\n"
       " \n"
       "  retrieve=\"select sale.goodsno, sale.price, sale.qty\n"
       "  from sale \"  \n"
       ")\n"
       "  \n"
       "column(band=detail id=1 alignment=\"0\" border=\"0\" x=\"9\" y=\"8\" height=\"64\" "
       "width=\"297\" name=goodsno )\n"
       "compute(band=detail alignment=\"1\" expression=\"if(isnull(price),0,price)*qty\" "
       "border=\"0\" x=\"315\" y=\"8\" height=\"64\" width=\"256\" format=\"0.00\" name=amount )\n"
       "compute(band=summary alignment=\"0\" expression=\"'合计(' + string(count(goodsno for "
       "all))\" border=\"0\" x=\"9\" y=\"8\" height=\"64\" width=\"500\" format=\"[general]\" "
       "name=total_count )\n"
       "\n"
       "htmltable(border=\"1\" )\n"},
      {"tilde quote cuts the statement", dwsamples::kTilde,
       "release 10;\n"
       "\n"
       "table(column=(type=char(20) updatewhereclause=yes name=goodsno dbname=\"goods.goodsno\" )\n"
       " \n"
       "  retrieve=\"select goods.goodsno\n"
       "  from goods  \n"
       "  where goods.unit = ~\"  \n"
       "pcs~\"\" update=\"goods\" )\n"
       "  \n"
       "column(band=detail id=1 x=\"9\" y=\"8\" width=\"297\" name=goodsno )\n"
       "\n"
       "htmltable(border=\"1\" )\n"},
      {"structured form is no select", dwsamples::kStructured,
       "release 10;\n"
       "\n"
       "table(column=(type=char(20) updatewhereclause=yes name=goodsno dbname=\"goods.goodsno\" )\n"
       " \n"
       "  retrieve=\"select \n"
       "  from  \"  \n"
       "goods~\" ) COLUMN(NAME=~\"goods.goodsno~\")) \" )\n"
       "  \n"
       "column(band=detail id=1 x=\"9\" y=\"8\" width=\"297\" name=goodsno )\n"
       "\n"
       "htmltable(border=\"1\" )\n"},
      {"no table marker: all before the first object is head", dwsamples::kNoTable,
       "release 10;\ndatawindow(units=0 )\n"
       "\n"
       "table( \n"
       "  retrieve=\"select \n"
       "  from  \"  \n"
       "  \n"
       "text(band=header text=\"标题\" x=\"10\" y=\"4\" width=\"200\" name=title_t )\n"
       "\n"
       "htmltable(border=\"1\" )\n"},
      {"no retrieve marker: the table block stays in the head", dwsamples::kNoRetrieve,
       "release 10;\ntable(column=(type=long name=id dbname=\"id\" )\n )\n"
       "\n"
       "table( \n"
       "  retrieve=\"select \n"
       "  from  \"  \n"
       "  \n"
       "text(band=header text=\"标题\" x=\"10\" y=\"4\" width=\"200\" name=title_t )\n"
       "\n"
       "htmltable(border=\"1\" )\n"},
      {"no display object: retrieve part ends at htmltable", dwsamples::kNoObject,
       "release 10;\n"
       "\n"
       "table(column=(type=long updatewhereclause=yes name=id dbname=\"t.id\" )\n"
       " \n"
       "  retrieve=\"select t.id\n"
       "  from t \"  \n"
       ")\n"
       "  \n"
       "\n"
       "htmltable(border=\"1\" )\n"},
      {"no display object nor htmltable: retrieve part to the end", dwsamples::kNoObjectNoMarker,
       "release 10;\n"
       "\n"
       "table(column=(type=long updatewhereclause=yes name=id dbname=\"t.id\" )\n"
       " \n"
       "  retrieve=\"select t.id\n"
       "  from t \"  \n"
       ")\n"
       "  \n"
       "\n"},
      {"no htmltable: objects run to the end, no tail", dwsamples::kNoHtmltable,
       "release 10;\n"
       "\n"
       "table(column=(type=long updatewhereclause=yes name=id dbname=\"t.id\" )\n"
       " \n"
       "  retrieve=\"select t.id\n"
       "  from t \"  \n"
       ")\n"
       "  \n"
       "text(band=header text=\"号\" x=\"10\" y=\"4\" width=\"200\" name=id_t )\n"
       "column(band=detail id=1 x=\"10\" y=\"4\" width=\"200\" name=id )\n"
       "\n"},
  };
  for (const Row& row : rows) {
    fresh();
    load(row.sample);
    EXPECT_EQ(produce(), row.expected) << row.name;
  }
}

// A load without a retrieve part keeps the statement object's statement; the
// columns, objects and retrieve rest of the earlier syntax go.
TEST_F(DwSyntax, LoadWithoutStatementKeepsTheEarlierOne) {
  struct Row {
    const char* name;
    Value syntax;
    std::string expected;
  };
  const std::string statement = kGridSelect + kGridFromWhere;
  const std::vector<Row> rows = {
      {"empty text", Value::string(""), frame("", "", statement, "", "", "")},
      {"null text", Value::null(ValueType::String), frame("", "", statement, "", "", "")},
      {"no table marker", Value::string(crlf(dwsamples::kNoTable)),
       frame("release 10;\ndatawindow(units=0 )\n", "", statement, "",
             "text(band=header text=\"标题\" x=\"10\" y=\"4\" width=\"200\" name=title_t )\n",
             "htmltable(border=\"1\" )\n")},
  };
  for (const Row& row : rows) {
    fresh();
    load(dwsamples::kGrid);
    call("of_SetDwSyntax", {row.syntax});
    EXPECT_EQ(produce(), row.expected) << row.name;
    EXPECT_EQ(call("of_addcol", {Value::string("char(10)"), Value::string("n"), Value::string("n"),
                                 Value::string("n"), Value::string("n"), Value::string("goodsno"),
                                 Value::string("goodsno"), Value::int16(0), Value::boolean(false)})
                  .result.integer(),
              -1)
        << row.name << ": the earlier table columns are gone";
  }
}

TEST_F(DwSyntax, AddColumnToGrid) {
  struct Row {
    const char* name;
    int side;  // of_Setdirection
    std::vector<Value> args;
    std::string definition;
    std::string selectItem;
    std::vector<std::string> objects;
  };
  auto args = [](const char* type, const char* col, const char* sqlcol, const char* dbname,
                 Value text, const char* copy, const char* at, pbint direction, bool isexp) {
    return std::vector<Value>{
        Value::string(type),   Value::string(col),      Value::string(sqlcol),
        Value::string(dbname), std::move(text),         Value::string(copy),
        Value::string(at),     Value::int16(direction), Value::boolean(isexp)};
  };
  const std::vector<Row> rows = {
      {"copy goodsname at price, side 0: header, detail and summary at x>=873 move by 549",
       0,
       args("char(20)", "model", "goods.model", "goods.modelname", Value::string("规格"),
            "GoodsName", "price", 0, false),
       "column=(type=char(20) updatewhereclause=yes  name=model  dbname=\"goods.model\")",
       "goods.modelname as model",
       {kT1, kT2, rebuiltT3("1422"), kC1, kC2, rebuiltC3("1422"), rebuiltS1("1422"), kF1,
        "column(band=detail   id=4   alignment=\"0\"   tabsequence=20   border=\"0\"   "
        "color=\"33554432\"   x=\"873\"   y=\"8\"   height=\"64\"   width=\"549\"   "
        "format=\"[general]\"   name=model   edit.limit=40)",
        "text(band=header   alignment=\"2\"   text=\"规格\"   border=\"0\"   color=\"33554432\"   "
        "x=\"873\"   y=\"8\"   height=\"64\"   width=\"549\"   name=model_t   "
        "font.face=\"宋体\")"}},
      {"expression column after goodsname, side 1 (the argument's 0 takes no part)",
       1,
       args("decimal(2)", "price2", "price2", "p2", Value::string("双价"), "goodsno", "goodsname",
            0, true),
       "column=(type=decimal(2) updatewhereclause=yes  name=price2  dbname=\"price2\")",
       " (price2) as p2",
       {kT1, kT2, rebuiltT3("1170"), kC1, kC2, rebuiltC3("1170"), rebuiltS1("1170"), kF1,
        "column(band=detail   id=4   alignment=\"0\"   tabsequence=10   border=\"0\"   "
        "color=\"33554432\"   x=\"864\"   y=\"8\"   height=\"64\"   width=\"297\"   "
        "format=\"[general]\"   name=price2   edit.limit=20)",
        "text(band=header   alignment=\"2\"   text=\"双价\"   border=\"0\"   color=\"33554432\"   "
        "x=\"864\"   y=\"8\"   height=\"64\"   width=\"297\"   name=price2_t   "
        "font.face=\"宋体\")"}},
      {"computer keeps the id, still shifts; a blank label text copies no label",
       0,
       args("computer", "price_c", "goods.price", "goods.price", Value::string("  "), "price",
            "goodsname", 1, false),
       "column=(type=computer updatewhereclause=yes  name=price_c  dbname=\"goods.price\")",
       "goods.price as price_c",
       {kT1, rebuiltT2("571"), rebuiltT3("1129"), kC1, rebuiltC2("571"), rebuiltC3("1129"),
        rebuiltS1("1129"), kF1,
        "column(band=detail   id=3   alignment=\"1\"   tabsequence=30   border=\"0\"   "
        "color=\"33554432\"   x=\"315\"   y=\"8\"   height=\"64\"   width=\"256\"   "
        "format=\"0.00\"   name=price_c)"}},
      {"missing placement: copies at their sources' own x and y",
       0,
       args("char(40)", "memo", "goods.memo", "goods.memo", Value::string("备注"), "goodsname",
            "nosuch", 0, false),
       "column=(type=char(40) updatewhereclause=yes  name=memo  dbname=\"goods.memo\")",
       "goods.memo as memo",
       {kT1, rebuiltT2("864"), rebuiltT3("1422"), kC1, rebuiltC2("864"), rebuiltC3("1422"),
        rebuiltS1("1422"), kF1,
        "column(band=detail   id=4   alignment=\"0\"   tabsequence=20   border=\"0\"   "
        "color=\"33554432\"   x=\"315\"   y=\"8\"   height=\"64\"   width=\"549\"   "
        "format=\"[general]\"   name=memo   edit.limit=40)",
        "text(band=header   alignment=\"2\"   text=\"备注\"   border=\"0\"   color=\"33554432\"   "
        "x=\"315\"   y=\"8\"   height=\"64\"   width=\"549\"   name=memo_t   "
        "font.face=\"宋体\")"}},
      {"null label text reads as empty: no label",
       0,
       args("char(40)", "memo", "goods.memo", "goods.memo", Value::null(ValueType::String),
            "goodsno", "foot_t", 0, false),
       "column=(type=char(40) updatewhereclause=yes  name=memo  dbname=\"goods.memo\")",
       "goods.memo as memo",
       {kT1, kT2, kT3, kC1, kC2, kC3, kS1, kF1,
        "column(band=detail   id=4   alignment=\"0\"   tabsequence=10   border=\"0\"   "
        "color=\"33554432\"   x=\"900\"   y=\"4\"   height=\"64\"   width=\"297\"   "
        "format=\"[general]\"   name=memo   edit.limit=20)"}},
  };
  for (const Row& row : rows) {
    fresh();
    load(dwsamples::kGrid);
    EXPECT_EQ(
        call("of_Setdirection", {Value::int16(static_cast<pbint>(row.side))}).result.integer(), 1)
        << row.name;
    EXPECT_EQ(call("of_addcol", row.args).result.integer(), 1) << row.name;
    EXPECT_EQ(produce(), frame(kGridHead, kGridDefs + row.definition,
                               kGridRebuiltSelect + row.selectItem + kGridFromWhere, kGridRest,
                               lines(row.objects), kGridTail))
        << row.name;
  }
}

// A definition written by an earlier addition has two blanks before its keys;
// copying it again still finds "name=" and "dbname=".
TEST_F(DwSyntax, AddColumnCopiesAnAddedDefinition) {
  load(dwsamples::kGrid);
  auto add = [this](const char* type, const char* col, const char* copy) {
    return call("of_addcol", {Value::string(type), Value::string(col),
                              Value::string(std::string("goods.") + col), Value::string(col),
                              Value::string(""), Value::string(copy), Value::string("goodsname"),
                              Value::int16(0), Value::boolean(false)})
        .result.integer();
  };
  ASSERT_EQ(add("char(20)", "model", "goodsname"), 1);
  ASSERT_EQ(add("char(30)", "model2", "MODEL"), 1);
  const std::string produced = produce();
  EXPECT_NE(
      produced.find(
          "column=(type=char(20) updatewhereclause=yes  name=model  dbname=\"goods.model\")"
          "column=(type=char(30) updatewhereclause=yes  name=model2  dbname=\"goods.model2\") "
          "\n  retrieve=\"select goods.goodsno , \n  goods.goodsname , \n  goods.price , \n  "
          "model as model , \n  model2 as model2\n  from goods"),
      std::string::npos)
      << produced;
}

// A copy is found by its new name, and a second addition places and shifts
// from where the first one moved the objects, so no two columns overlap.
TEST_F(DwSyntax, LaterEditsSeeEarlierOnes) {
  load(dwsamples::kGrid);
  auto add = [this](const char* col, const char* copy) {
    return call("of_addcol", {Value::string("char(10)"), Value::string(col), Value::string(col),
                              Value::string(col), Value::string("新列"), Value::string(copy),
                              Value::string("price"), Value::int16(0), Value::boolean(false)})
        .result.integer();
  };
  auto update = [this](const char* object, const char* key, const char* value) {
    return call("of_updateProp", {Value::string(object), Value::string(key), Value::string(value)})
        .result.integer();
  };
  ASSERT_EQ(add("model", "goodsname"), 1);  // at price's x 873; price moves by 549 to 1422
  EXPECT_EQ(update("model", "format", "\"@@@\""), 1);
  EXPECT_EQ(update("MODEL_T", "color", "\"255\""), 1);
  ASSERT_EQ(add("model2", "goodsno"), 1);  // at price's new x 1422; price moves by 297
  const std::string produced = produce();
  for (const std::string& text :
       {rebuiltT3("1719"), rebuiltC3("1719"), rebuiltS1("1719"),
        std::string("column(band=detail   id=4   alignment=\"0\"   tabsequence=20   border=\"0\"   "
                    "color=\"33554432\"   x=\"873\"   y=\"8\"   height=\"64\"   width=\"549\"   "
                    "format=\"@@@\"   name=model   edit.limit=40)"),
        std::string("column(band=detail   id=5   alignment=\"0\"   tabsequence=10   border=\"0\"   "
                    "color=\"33554432\"   x=\"1422\"   y=\"8\"   height=\"64\"   width=\"297\"   "
                    "format=\"[general]\"   name=model2   edit.limit=20)")}) {
    EXPECT_NE(produced.find(text), std::string::npos) << text << "\n---\n" << produced;
  }
}

TEST_F(DwSyntax, AddColumnWithUnknownCopyColumnChangesNothing) {
  load(dwsamples::kGrid);
  const std::string before = produce();
  EXPECT_EQ(call("of_addcol", {Value::string("char(10)"), Value::string("x"), Value::string("x"),
                               Value::string("x"), Value::string("x"), Value::string("goodsno_t"),
                               Value::string("price"), Value::int16(0), Value::boolean(false)})
                .result.integer(),
            -1);
  EXPECT_EQ(produce(), before);
}

TEST_F(DwSyntax, UpdatePropertyRebuildsOneObject) {
  struct Row {
    const char* name;
    const char* sample;
    const char* object;
    const char* key;
    const char* value;
    int result;
    std::string oldText;  // empty: nothing changes
    std::string newText;
  };
  const std::vector<Row> rows = {
      {"names and keys ignore case; the key stays as written", dwsamples::kGrid, "GoodsName",
       "COLOR", "\"255\"", 1, kC2,
       "column(band=detail   id=2   alignment=\"0\"   tabsequence=20   border=\"0\"   "
       "color=\"255\"   x=\"315\"   y=\"8\"   height=\"64\"   width=\"549\"   "
       "format=\"[general]\"   name=goodsname   edit.limit=40)"},
      {"a quoted value holding brackets stays one property", dwsamples::kComputed, "total_count",
       "format", "\"#,##0\"", 1,
       "compute(band=summary alignment=\"0\" expression=\"'合计(' + string(count(goodsno for "
       "all))\" border=\"0\" x=\"9\" y=\"8\" height=\"64\" width=\"500\" format=\"[general]\" "
       "name=total_count )",
       "compute(band=summary   alignment=\"0\"   expression=\"'合计(' + string(count(goodsno for "
       "all))\"   border=\"0\"   x=\"9\"   y=\"8\"   height=\"64\"   width=\"500\"   "
       "format=\"#,##0\"   name=total_count)"},
      {"unknown object", dwsamples::kGrid, "nosuch", "x", "\"1\"", -1, "", ""},
      {"unknown property", dwsamples::kGrid, "goodsname", "nosuchprop", "1", -1, "", ""},
  };
  for (const Row& row : rows) {
    fresh();
    load(row.sample);
    std::string expected = produce();
    EXPECT_EQ(call("of_updateProp",
                   {Value::string(row.object), Value::string(row.key), Value::string(row.value)})
                  .result.integer(),
              row.result)
        << row.name;
    if (!row.oldText.empty()) {
      const std::size_t at = expected.find(row.oldText);
      ASSERT_NE(at, std::string::npos) << row.name;
      expected.replace(at, row.oldText.size(), row.newText);
    }
    EXPECT_EQ(produce(), expected) << row.name;
  }
}

// of_setSQL hands its text to the statement object; the rest stays.
TEST_F(DwSyntax, SetSqlReplacesTheProducedStatement) {
  load(dwsamples::kGrid);
  const host::CallResult r =
      call("of_setSQL", {Value::string("select goods.goodsno from goods order by goods.goodsno")});
  EXPECT_FALSE(r.result.wasSet());
  EXPECT_EQ(
      produce(),
      frame(kGridHead, kGridDefs, "select goods.goodsno\n  from goods  \n order by goods.goodsno",
            kGridRest, lines({kT1, kT2, kT3, kC1, kC2, kC3, kS1, kF1}), kGridTail));
}

}  // namespace
