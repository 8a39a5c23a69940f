// c_n_cst_dw through the real nxclass.pbx: the command each operation sends
// to a scripted DataWindow (a host object with describe and modify), how the
// answer comes back, and the calls that must not reach the DataWindow.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tests/extension/library.h"

namespace {

using host::Value;
using host::ValueType;

constexpr const char* kNoModify = "u_dw modify not exist";

// A text or an integer result.
using Expected = std::variant<std::string, int>;

void expectResult(const host::CallResult& r, const Expected& expected, const std::string& label) {
  ASSERT_TRUE(r.result.wasSet()) << label;
  if (const auto* text = std::get_if<std::string>(&expected)) {
    EXPECT_EQ(r.result.type(), ValueType::String) << label;
    EXPECT_FALSE(r.result.isNull()) << label;
    EXPECT_EQ(r.result.text(), *text) << label;
  } else {
    EXPECT_EQ(r.result.type(), ValueType::Int) << label;
    EXPECT_EQ(r.result.integer(), std::get<int>(expected)) << label;
  }
}

// Every object gets a name of its own: the library's host is shared by all
// tests of the program.
std::string uniqueName(const char* prefix) {
  static int counter = 0;
  return std::string(prefix) + std::to_string(++counter);
}

std::string newAdapter() {
  const std::string name = uniqueName("adapter");
  EXPECT_EQ(nxtest::library().create("c_n_cst_dw", name), PBX_OK);
  return name;
}

// A DataWindow that answers `answer` to `command` of `function` only; other
// commands get answers no row expects.
pbobject scriptedDw(const std::string& function, const std::string& command,
                    std::optional<std::string> answer) {
  std::vector<host::ScriptedFunction> functions = {
      {"describe", {}, std::string("unexpected describe")},
      {"modify", {}, std::string("unexpected modify")}};
  for (host::ScriptedFunction& f : functions)
    if (f.name == function) f.answers[command] = std::move(answer);
  return nxtest::library()
      .addScriptedObject(uniqueName("dw"), "u_dw", std::move(functions))
      .handle();
}

host::CallResult attach(const std::string& adapter, pbobject dw) {
  return nxtest::library().call(
      adapter, "of_SetDw", {dw != nullptr ? Value::object(dw) : Value::null(ValueType::Object)});
}

Value text(const char* t) { return nxtest::textOrNull(t); }

struct CommandRow {
  std::string method;
  std::vector<Value> args;
  std::string function;               // the DataWindow function that must be called
  std::string command;                // and the command it must receive
  std::optional<std::string> answer;  // nullopt: the DataWindow answers the null text
  Expected result;
};

TEST(DwAdapter, EachOperationSendsItsCommandAndTreatsTheAnswer) {
  const std::vector<CommandRow> rows = {
      {"of_SetLableText", {text("t_name"), text("单价")}, "modify", "t_name.text='单价'", "", ""},
      {"of_SetLableText", {text("t_name"), text(nullptr)}, "modify", "t_name.text=''", "", ""},
      {"of_SetLableText",
       {text("t_x"), text("a")},
       "modify",
       "t_x.text='a'",
       "Line 0 Column 7: incorrect syntax.",
       "Line 0 Column 7: incorrect syntax."},
      {"of_SetLableText", {text("t_x"), text("a")}, "modify", "t_x.text='a'", std::nullopt, ""},
      {"of_columncount", {}, "describe", "DataWindow.Column.Count", "12", 12},
      {"of_columncount", {}, "describe", "DataWindow.Column.Count", "7 cols", 7},
      {"of_columncount", {}, "describe", "DataWindow.Column.Count", "!", 0},
      {"of_columncount", {}, "describe", "DataWindow.Column.Count", std::nullopt, 0},
      {"of_columncount", {}, "describe", "DataWindow.Column.Count", "99999", 32767},
      {"of_columnname", {Value::int16(3)}, "describe", "#3.name", "goodsno \t\r\n", "goodsno"},
      {"of_columnname", {Value::int16(40)}, "describe", "#40.name", "!", ""},
      {"of_columnname", {Value::int16(-1)}, "describe", "#-1.name", "?", ""},
      {"of_columnname", {Value::int16(2)}, "describe", "#2.name", "! ", ""},
      {"of_column_visible",
       {text("price"), Value::boolean(true)},
       "modify",
       "price.Visible=yes",
       "",
       ""},
      {"of_column_visible",
       {text("price"), Value::boolean(false)},
       "modify",
       "price.Visible=no",
       "",
       ""},
      {"of_column_visible",
       {text("nosuch"), Value::boolean(false)},
       "modify",
       "nosuch.Visible=no",
       "Unknown column",
       "Unknown column"},
      {"of_GetColumnId", {text("price")}, "describe", "price.id", "4", 4},
      {"of_GetColumnId", {text("price")}, "describe", "price.id", "!", -1},
      {"of_GetColumnId", {text("compute_1")}, "describe", "compute_1.id", "0", -1},
      {"of_GetColumnId", {text("x")}, "describe", "x.id", "-2", -1},
      {"of_GetColumnId", {text("x")}, "describe", "x.id", "70000", -1},
      {"of_getcolumndbname",
       {text("2")},
       "describe",
       "#2.DBName",
       "goods.goodsno",
       "goods.goodsno"},
      {"of_getcolumndbname", {text("goodsno")}, "describe", "#goodsno.DBName", "!", ""},
      {"of_getcolumndbname", {text("goodsno")}, "describe", "#goodsno.DBName", "?", ""},
      {"of_getdisplayvalue",
       {text("unit"), Value::long32(5)},
       "describe",
       "Evaluate('LookUpDisplay(unit) ', 5)",
       "箱",
       "箱"},
      {"of_getdisplayvalue",
       {text("unit"), Value::long32(100000)},
       "describe",
       "Evaluate('LookUpDisplay(unit) ', 100000)",
       "?",
       ""},
      {"of_getdwdata",
       {},
       "describe",
       "DataWindow.Data",
       "1\t苹果\r\n2\t梨\r\n",
       "1\t苹果\r\n2\t梨\r\n"},
      {"of_getdwdata", {}, "describe", "DataWindow.Data", "!!", "!!"},
      {"of_getfilter", {}, "describe", "DataWindow.Table.Filter", "''", ""},
      {"of_getfilter", {}, "describe", "DataWindow.Table.Filter", "中", ""},
      {"of_getfilter", {}, "describe", "DataWindow.Table.Filter", "a=1", "a=1"},
      {"of_getfilter", {}, "describe", "DataWindow.Table.Filter", "?", ""},
      {"of_getlabletext", {text("t_price")}, "describe", "t_price.text", "单价", "单价"},
      {"of_getlabletext", {text("t_none")}, "describe", "t_none.text", "!", ""},
  };
  for (const CommandRow& row : rows) {
    const std::string label = row.method + " " + row.command;
    const std::string adapter = newAdapter();
    ASSERT_FALSE(
        attach(adapter, scriptedDw(row.function, row.command, row.answer)).result.wasSet());
    const host::CallResult r = nxtest::library().call(adapter, row.method, row.args);
    ASSERT_EQ(r.received.size(), 1u) << label;
    EXPECT_EQ(r.received[0].function, row.function) << label;
    EXPECT_EQ(r.received[0].command, row.command) << label;
    expectResult(r, row.result, label);
    nxtest::library().destroy(adapter);
  }
}

struct SilentRow {
  std::string method;
  std::vector<Value> args;
  Expected result;
};

// Without a DataWindow: Modify answers kNoModify, Describe the empty text.
const std::vector<SilentRow>& withoutDwRows() {
  static const std::vector<SilentRow> rows = {
      {"of_SetLableText", {text("t"), text("x")}, kNoModify},
      {"of_column_visible", {text("c"), Value::boolean(true)}, kNoModify},
      {"of_columncount", {}, 0},
      {"of_columnname", {Value::int16(1)}, ""},
      {"of_GetColumnId", {text("c")}, -1},
      {"of_getcolumndbname", {text("c")}, ""},
      {"of_getdisplayvalue", {text("c"), Value::long32(1)}, ""},
      {"of_getdwdata", {}, ""},
      {"of_getfilter", {}, ""},
      {"of_getlabletext", {text("t")}, ""},
  };
  return rows;
}

TEST(DwAdapter, WithoutADataWindowNothingIsCalled) {
  // How the adapter came to have none: never attached, attached to a null
  // object, or detached by one after a real DataWindow.
  const std::vector<std::vector<pbobject>> histories = {
      {}, {nullptr}, {scriptedDw("describe", "", "x"), nullptr}};
  for (std::size_t h = 0; h < histories.size(); ++h) {
    const std::string adapter = newAdapter();
    for (pbobject dw : histories[h]) attach(adapter, dw);
    for (const SilentRow& row : withoutDwRows()) {
      const std::string label = row.method + " history " + std::to_string(h);
      const host::CallResult r = nxtest::library().call(adapter, row.method, row.args);
      EXPECT_TRUE(r.received.empty()) << label;
      expectResult(r, row.result, label);
    }
  }
}

TEST(DwAdapter, ANullPartOfACommandSendsNothing) {
  const std::vector<SilentRow> rows = {
      {"of_SetLableText", {text(nullptr), text("x")}, ""},
      {"of_columnname", {Value::null(ValueType::Int)}, ""},
      {"of_column_visible", {text(nullptr), Value::boolean(true)}, ""},
      {"of_column_visible", {text("c"), Value::null(ValueType::Boolean)}, ""},
      {"of_GetColumnId", {text(nullptr)}, -1},
      {"of_getcolumndbname", {text(nullptr)}, ""},
      {"of_getdisplayvalue", {text(nullptr), Value::long32(1)}, ""},
      {"of_getdisplayvalue", {text("c"), Value::null(ValueType::Long)}, ""},
      {"of_getlabletext", {text(nullptr)}, ""},
  };
  const std::string adapter = newAdapter();
  attach(adapter, scriptedDw("describe", "", "answer"));
  for (const SilentRow& row : rows) {
    const host::CallResult r = nxtest::library().call(adapter, row.method, row.args);
    EXPECT_TRUE(r.received.empty()) << row.method;
    expectResult(r, row.result, row.method);
  }
}

// A DataWindow class without the function, or with it under another
// signature: the host cannot prepare the call.
TEST(DwAdapter, ACallTheHostCannotPrepareAnswersNoModify) {
  host::Host& h = nxtest::library();
  const auto answering = [](const char* name, const char* signature, int argumentCount = 1) {
    return host::HostFunction{name, signature, argumentCount,
                              [](std::vector<Value>&, Value& result) { result.SetString("9"); }};
  };
  const pbobject onlyDescribe =
      h.addScriptedObject(uniqueName("dw"), "u_dw", {{"describe", {}, std::string("9")}}).handle();
  const pbobject onlyModify =
      h.addScriptedObject(uniqueName("dw"), "u_dw", {{"modify", {}, std::string("9")}}).handle();
  const pbobject otherSignatures =
      h.addHostObject(uniqueName("dw"),
                      std::make_unique<host::HostObject>(
                          "u_dw", std::vector<host::HostFunction>{answering("describe", "SS"),
                                                                  answering("modify", "S")}))
          .handle();
  // Declared as one text in, but the host gives the call no argument.
  const pbobject withoutArgument =
      h.addHostObject(uniqueName("dw"),
                      std::make_unique<host::HostObject>(
                          "u_dw", std::vector<host::HostFunction>{answering("describe", "SXS", 0)}))
          .handle();
  struct Row {
    pbobject dw;
    std::string method;
    std::vector<Value> args;
    Expected result;
    std::size_t received;
  };
  const std::vector<Row> rows = {
      {onlyDescribe, "of_SetLableText", {text("t"), text("x")}, kNoModify, 0},
      {onlyDescribe, "of_column_visible", {text("c"), Value::boolean(false)}, kNoModify, 0},
      {onlyDescribe, "of_columncount", {}, 9, 1},
      {onlyModify, "of_column_visible", {text("c"), Value::boolean(true)}, "9", 1},
      {onlyModify, "of_columncount", {}, 0, 0},
      {onlyModify, "of_GetColumnId", {text("c")}, -1, 0},
      {onlyModify, "of_columnname", {Value::int16(1)}, kNoModify, 0},
      {onlyModify, "of_getfilter", {}, kNoModify, 0},
      {otherSignatures, "of_getdwdata", {}, kNoModify, 0},
      {otherSignatures, "of_SetLableText", {text("t"), text("x")}, kNoModify, 0},
      {withoutArgument, "of_getdwdata", {}, kNoModify, 0},
  };
  for (const Row& row : rows) {
    const std::string adapter = newAdapter();
    attach(adapter, row.dw);
    const host::CallResult r = h.call(adapter, row.method, row.args);
    EXPECT_EQ(r.received.size(), row.received) << row.method;
    expectResult(r, row.result, row.method);
    h.destroy(adapter);
  }
}

TEST(DwAdapter, AttachingAgainSwitchesTheDataWindowAndOnlyDeclaredIdsAct) {
  host::Host& h = nxtest::library();
  const std::string adapter = newAdapter();
  attach(adapter, scriptedDw("describe", "DataWindow.Column.Count", "3"));
  EXPECT_EQ(h.call(adapter, "of_columncount", {}).result.integer(), 3);
  attach(adapter, scriptedDw("describe", "DataWindow.Column.Count", "8"));
  const host::CallResult r = h.call(adapter, "of_columncount", {});
  EXPECT_EQ(r.result.integer(), 8);
  EXPECT_EQ(r.received.size(), 1u);

  // Ids follow the class block: 2 is of_columncount, 11 is past its end.
  EXPECT_EQ(h.callId(adapter, 0x10002, {}).result.integer(), 8);
  const host::CallResult past = h.callId(adapter, 11, {});
  EXPECT_FALSE(past.result.wasSet());
  EXPECT_TRUE(past.received.empty());
}

}  // namespace
