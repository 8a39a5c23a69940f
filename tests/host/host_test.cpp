// The host against probe.pbx: how values are read and written, overloads,
// method ids, the message hook and calls of host-object functions.
#include "host/host.h"

#include <gtest/gtest.h>

namespace host {
namespace {

class ProbeHost : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(host.create("probe", "p"), PBX_OK); }
  Host host{PROBE_PATH};
};

std::vector<Value> allTypes() {
  return {Value::int16(-3),
          Value::long32(-100000),
          Value::ulong32(3000000000u),
          Value::boolean(true),
          Value::decimal("0012.340"),
          Value::date(2024, 2, 29),
          Value::dateTime(2023, 1, 2, 3, 4, 5),
          Value::string("\xd6\xd0"),
          Value::stringArray({"a", "b"})};
}

TEST_F(ProbeHost, ExtensionReadsEveryKindAsGiven) {
  CallResult r = host.call("p", "readall", allTypes());
  ASSERT_TRUE(r.result.wasSet());
  EXPECT_EQ(r.result.text(),
            "-3;-100000;3000000000;true;0012.340;2024-02-29;2023-01-02 03:04:05;\xd6\xd0;array;");

  std::vector<Value> nulls;
  for (const Value& v : allTypes()) nulls.push_back(Value::null(v.type()));
  r = host.call("p", "readall", std::move(nulls));
  EXPECT_EQ(r.result.text(), "null;null;null;null;null;null;null;null;array;");
}

TEST_F(ProbeHost, SettersReportTheirTypeAndReferencesShowAfterTheCall) {
  std::vector<Value> args;
  for (const Value& v : allTypes()) args.push_back(Value::null(v.type()));
  args[5] = Value::date(2000, 1, 1);
  args[6] = Value::dateTime(2000, 1, 1, 0, 0, 0);
  args[8] = Value::stringArray({"one"});
  const CallResult r = host.call("p", "writeall", std::move(args));
  EXPECT_EQ(r.result.type(), ValueType::Decimal);
  EXPECT_EQ(r.result.text(), "-0.01");
  EXPECT_EQ(r.args[0].integer(), -7);
  EXPECT_EQ(r.args[1].integer(), -70000);
  EXPECT_EQ(r.args[2].integer(), 4000000000);
  EXPECT_TRUE(r.args[3].flag());
  EXPECT_EQ(r.args[4].text(), "12.50");
  EXPECT_EQ(formatDate(r.args[5].dateValue()), "2024-02-29");
  EXPECT_EQ(formatDateTime(r.args[6].dateTimeValue()), "2024-12-31 23:59:58");
  EXPECT_EQ(r.args[7].text(), "\xc4\xe3\xba\xc3");
  // Setting element 3 of a one-element array grows it.
  EXPECT_EQ(r.args[8].items(), (std::vector<std::string>{"one", "", "three"}));
  for (const Value& arg : r.args) EXPECT_TRUE(arg.wasSet());
}

TEST_F(ProbeHost, OverloadIsChosenByArgumentCountAndIdsUseLow16Bits) {
  EXPECT_EQ(host.call("p", "COUNT", {}).result.integer(), 0);
  EXPECT_EQ(host.call("p", "count", {Value::string("x")}).result.integer(), 1);
  EXPECT_EQ(host.callId("p", 0x30005, {Value::string("x")}).result.integer(), 1);
  EXPECT_THROW(host.call("p", "count", {Value::string("x"), Value::string("y")}), HostError);
  EXPECT_THROW(host.call("p", "nosuch", {}), HostError);
  EXPECT_THROW(host.call("nobody", "count", {}), HostError);
  EXPECT_THROW(host.callId("p", 5, {}), HostError);
}

TEST_F(ProbeHost, UnsetResultIsReportedAsNotSet) {
  const CallResult r = host.callId("p", 6, {});  // beyond the class block
  EXPECT_EQ(r.code, PBX_OK);
  EXPECT_FALSE(r.result.wasSet());
}

TEST_F(ProbeHost, MessageBoxesOfACallAreCollectedForThatCallOnly) {
  CallResult r = host.call("p", "show",
                           {Value::string("show"), Value::string("open failure"),
                            Value::int16(static_cast<pbint>(PBMessageIcon::Error))});
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].caption, "show");
  EXPECT_EQ(r.messages[0].text, "open failure");
  EXPECT_EQ(r.messages[0].icon, PBMessageIcon::Error);
  r = host.call("p", "count", {});
  EXPECT_TRUE(r.messages.empty());
}

TEST_F(ProbeHost, ExtensionCallsFunctionsOfHostObjects) {
  std::vector<std::string> received;
  HostFunction describe{"describe", "SXS", 1, [&received](std::vector<Value>& args, Value& result) {
                          received.push_back(args[0].text());
                          result.SetString(("answer:" + args[0].text()).c_str());
                        }};
  HostObject& dw = host.addHostObject(
      "dw", std::make_unique<HostObject>("u_dw", std::vector<HostFunction>{describe}));

  struct Case {
    std::string function;
    std::string expected;
  };
  const Case cases[] = {
      {"describe", "answer:datawindow.column.count"},
      {"DESCRIBE", "answer:datawindow.column.count"},
      {"modify", "no function"},
  };
  for (const Case& c : cases) {
    const CallResult r = host.call("p", "ask",
                                   {Value::object(dw.handle()), Value::string(c.function),
                                    Value::string("datawindow.column.count")});
    EXPECT_EQ(r.result.text(), c.expected) << c.function;
  }
  EXPECT_EQ(received.size(), 2u);
  const CallResult none = host.call(
      "p", "ask", {Value::null(ValueType::Object), Value::string("describe"), Value::string("x")});
  EXPECT_EQ(none.result.text(), "no object");
}

TEST_F(ProbeHost, ScriptedObjectsAnswerFromTablesAndListWhatTheyReceived) {
  std::vector<ScriptedFunction> functions = {
      {"describe", {{"DataWindow.Data", "1\t2"}, {"gone", std::nullopt}}, std::string("!")},
      {"modify", {{"a.text='b'", ""}}, std::nullopt}};
  HostObject& dw = host.addScriptedObject("dw", "u_dw", std::move(functions));

  struct Case {
    std::string function;
    std::string command;
    std::string expected;  // as the probe reads it: "null" for the null text
  };
  const Case cases[] = {
      {"describe", "DataWindow.Data", "1\t2"},
      {"describe", "datawindow.data", "!"},  // commands match exactly
      {"describe", "gone", "null"},
      {"modify", "a.text='b'", ""},
      {"modify", "other", "null"},
  };
  for (const Case& c : cases) {
    const CallResult r = host.call(
        "p", "ask",
        {Value::object(dw.handle()), Value::string(c.function), Value::string(c.command)});
    EXPECT_EQ(r.result.text(), c.expected) << c.command;
    ASSERT_EQ(r.received.size(), 1u) << c.command;
    EXPECT_EQ(r.received[0].function, c.function);
    EXPECT_EQ(r.received[0].command, c.command);
  }
  EXPECT_TRUE(host.hasScriptedObjects());
  EXPECT_TRUE(host.call("p", "count", {}).received.empty());
}

TEST_F(ProbeHost, AReplacedHostObjectStaysCallableThroughItsOldHandle) {
  const pbobject first =
      host.addScriptedObject("dw", "u_dw", {{"describe", {}, std::string("first")}}).handle();
  const pbobject second =
      host.addScriptedObject("dw", "u_dw", {{"describe", {}, std::string("second")}}).handle();
  EXPECT_EQ(host.hostObject("dw")->handle(), second);
  EXPECT_EQ(host.hostObjectNames().count(first), 0u);
  for (auto [handle, expected] : {std::pair{first, "first"}, std::pair{second, "second"}}) {
    const CallResult r = host.call(
        "p", "ask", {Value::object(handle), Value::string("describe"), Value::string("x")});
    EXPECT_EQ(r.result.text(), expected);
  }
}

TEST(HostLoading, GlobalFunctionsAndUnknownClasses) {
  Host host(PROBE_PATH);
  EXPECT_EQ(host.callFunction("pr_sum", {Value::long32(40), Value::long32(2)}).result.integer(),
            42);
  EXPECT_THROW(host.callFunction("pr_sum", {Value::long32(40)}), HostError);
  EXPECT_EQ(host.create("nothing", "n"), PBX_E_NO_SUCH_CLASS);
  EXPECT_FALSE(host.hasObject("n"));
}

TEST(HostLoading, MissingLibraryOrEntryPointIsAnError) {
  EXPECT_THROW(Host("/nonexistent/nxclass.pbx"), HostError);
  // A shared object without the entry points.
  EXPECT_THROW(Host("libm.so.6"), HostError);
}

}  // namespace
}  // namespace host
