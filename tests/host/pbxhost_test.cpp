// pbxhost end to end: JSON lines in, JSON lines out, against the real
// nxclass.pbx and against probe.pbx.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/line_process.h"

namespace {

using nlohmann::json;

// The protocol is UTF-8, while plain literals here are GBK bytes.
std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

class Pbxhost {
 public:
  explicit Pbxhost(std::vector<std::string> extra = {}) : process_(argv(std::move(extra))) {}

  // A request written over several lines here travels as one line.
  json ask(std::string request) {
    for (char& c : request)
      if (c == '\n') c = ' ';
    process_.send(request);
    std::optional<std::string> line = process_.receive();
    if (!line) throw std::runtime_error("no reply to " + request);
    return json::parse(*line);
  }
  int finish() { return process_.finish(); }

 private:
  static std::vector<std::string> argv(std::vector<std::string> extra) {
    extra.insert(extra.begin(), PBXHOST_PATH);
    return extra;
  }
  testsupport::LineProcess process_;
};

TEST(PbxhostProtocol, DescribeCreateCallDestroy) {
  Pbxhost host;
  json r = host.ask(R"({"op":"describe"})");
  EXPECT_EQ(r["ok"], true);
  EXPECT_TRUE(
      r["text"].get<std::string>().starts_with("class n_cst_gbtobig5 from nonvisualobject\n"));

  EXPECT_EQ(host.ask(R"({"op":"create","class":"n_cst_app","as":"a"})"),
            json::parse(R"({"ok":true,"code":0})"));
  EXPECT_EQ(host.ask(R"({"op":"create","class":"n_get_sql","as":"g"})"),
            json::parse(R"({"ok":true,"code":-13})"));

  r = host.ask(
      R"({"op":"call","object":"a","method":"of_GetGuid","args":[{"type":"int","value":0}]})");
  EXPECT_EQ(r, json::parse(utf8(
                   u8R"({"ok":true,"code":0,"result":{"type":"string","value":"传入参数长度为0"},
                               "args":[{"type":"int","value":0}],"messages":[]})")));
  r = host.ask(R"({"op":"call","object":"a","id":1,"args":[{"type":"int","value":5}]})");
  EXPECT_EQ(r["result"]["value"].get<std::string>().size(), 5u);

  EXPECT_EQ(host.ask(R"({"op":"destroy","object":"a"})"), json::parse(R"({"ok":true})"));
  EXPECT_EQ(
      host.ask(R"({"op":"call","object":"a","id":1,"args":[{"type":"int","value":5}]})")["ok"],
      false);
  EXPECT_EQ(host.finish(), 0);
}

TEST(PbxhostProtocol, GlobalFunctionsShowByReferenceWritesAndSetterTypes) {
  Pbxhost host;
  json r =
      host.ask(utf8(u8R"({"op":"call","function":"gf_addstring",
                        "args":[{"type":"string","value":"a"},{"type":"string","value":"中"}]})"));
  EXPECT_EQ(r["result"], json::parse(R"({"type":"int","value":1})"));
  EXPECT_EQ(r["args"][0], json::parse(utf8(u8R"({"type":"string","value":"a\r\n中"})")));

  // Declared boolean, delivered as a text: the reply names the setter used.
  r = host.ask(R"({"op":"call","function":"gf_addline",
                   "args":[{"type":"string","value":"a"},{"type":"string","value":"b"}]})");
  EXPECT_EQ(r["result"], json::parse(R"({"type":"string","value":"a\r\nb"})"));

  r = host.ask(R"({"op":"call","function":"gf_getsubstring","args":[{"type":"string","value":"x,y"},
                   {"type":"string","value":","},{"type":"string[]","value":["1","2","3"]}]})");
  EXPECT_EQ(r["result"]["value"], 2);
  EXPECT_EQ(r["args"][2], json::parse(R"({"type":"string[]","value":["x","y","3"]})"));

  r = host.ask(
      R"({"op":"call","function":"gf_getmonthlastday","args":[{"type":"date","value":"2024-02-10"}]})");
  EXPECT_EQ(r["result"], json::parse(R"({"type":"date","value":"2024-02-29"})"));

  r = host.ask(
      R"({"op":"call","function":"gf_spectonum","args":[{"type":"string","value":"10*20"}]})");
  EXPECT_EQ(r["result"]["type"], "decimal");

  r = host.ask(R"({"op":"call","function":"gf_trim","args":[{"type":"string","null":true}]})");
  EXPECT_EQ(r["args"][0], json::parse(R"({"type":"string","null":true})"));
}

TEST(PbxhostProtocol, BytesThatAreNotGbkTravelAsHex) {
  Pbxhost host;
  json r =
      host.ask(R"({"op":"call","function":"gf_trim","args":[{"type":"string","hex":"20ff4120"}]})");
  EXPECT_EQ(r["result"]["hex"], "ff41");
  EXPECT_EQ(r["args"][0]["hex"], "20ff4120");
  r = host.ask(R"({"op":"call","function":"gf_trim","args":[{"type":"string","hex":"20d6d020"}]})");
  EXPECT_EQ(r["result"], json::parse(utf8(u8R"({"type":"string","value":"中"})")));
}

TEST(PbxhostProtocol, MalformedRequestsAreAnsweredAndTheToolGoesOn) {
  Pbxhost host;
  const std::string requests[] = {
      "not json",
      R"([1,2])",
      R"({"op":"fly"})",
      R"({"op":"create","class":"n_cst_app"})",
      R"({"op":"call","object":"nobody","method":"x","args":[]})",
      R"({"op":"call","function":"gf_trim","args":[{"type":"float","value":1}]})",
      utf8(u8R"({"op":"call","function":"gf_trim","args":[{"type":"string","value":"한"}]})"),
      R"({"op":"call","function":"gf_trim","args":[{"type":"string","hex":"zz"}]})",
      R"({"op":"call","function":"gf_trim","args":[{"type":"int","value":70000}]})",
      R"({"op":"call","function":"gf_getmonthlastday","args":[{"type":"date","value":"2023-02-29"}]})",
      R"({"op":"call","function":"gf_trim","args":[]})",
      R"({"op":"destroy","object":"nobody"})",
      R"({"op":"hostobject","as":"dw","answers":{"describe":{}}})",
      R"({"op":"hostobject","as":"dw","class":"u_dw"})",
      R"({"op":"hostobject","as":"dw","class":"u_dw","answers":[]})",
      R"({"op":"hostobject","as":"dw","class":"u_dw","answers":{"describe":"!"}})",
      R"({"op":"hostobject","as":"dw","class":"u_dw","answers":{"describe":{"a":1}}})",
      R"({"op":"hostobject","as":"dw","class":"u_dw","default":{"describe":true}})",
      R"({"op":"call","function":"gf_trim","args":[{"type":"object","value":"nobody"}]})",
  };
  for (const std::string& request : requests) {
    const json r = host.ask(request);
    EXPECT_EQ(r["ok"], false) << request;
    EXPECT_TRUE(r["error"].is_string()) << request;
  }
  EXPECT_EQ(host.ask(R"({"op":"describe"})")["ok"], true);
}

TEST(PbxhostProtocol, MessageBoxesOfTheCallAreListed) {
  Pbxhost host({"--lib", PROBE_PATH});
  ASSERT_EQ(host.ask(R"({"op":"create","class":"probe","as":"p"})")["code"], 0);
  const json r =
      host.ask(utf8(u8R"({"op":"call","object":"p","method":"show","args":[
      {"type":"string","value":"show"},{"type":"string","value":"修改库存"},{"type":"int","value":3}]})"));
  EXPECT_EQ(r["messages"],
            json::parse(utf8(u8R"([{"caption":"show","text":"修改库存","icon":"error"}])")));
  const json w = host.ask(R"({"op":"call","object":"p","method":"writeall","args":[
      {"type":"int","null":true},{"type":"long","null":true},{"type":"ulong","null":true},
      {"type":"boolean","null":true},{"type":"decimal","value":"1"},{"type":"date","value":"2000-01-01"},
      {"type":"datetime","value":"2000-01-01 00:00:00"},{"type":"string","null":true},
      {"type":"string[]","value":[]}]})");
  EXPECT_EQ(w["result"], json::parse(R"({"type":"decimal","value":"-0.01"})"));
  EXPECT_EQ(w["args"],
            json::parse(utf8(u8R"([{"type":"int","value":-7},{"type":"long","value":-70000},
      {"type":"ulong","value":4000000000},{"type":"boolean","value":true},{"type":"decimal","value":"12.50"},
      {"type":"date","value":"2024-02-29"},{"type":"datetime","value":"2024-12-31 23:59:58"},
      {"type":"string","value":"你好"},{"type":"string[]","value":["","","three"]}])")));
}

TEST(PbxhostProtocol, ScriptedHostObjectsAnswerAndListWhatTheyReceived) {
  Pbxhost host;
  ASSERT_EQ(host.ask(utf8(u8R"({"op":"hostobject","as":"dw","class":"u_dw",
      "answers":{"describe":{"t_价.text":"单价","DataWindow.Table.Filter":"''"},
                 "modify":{"price.Visible=no":""}},
      "default":{"describe":"!","modify":"Line 1: unknown"}})")),
            json::parse(R"({"ok":true})"));
  ASSERT_EQ(host.ask(R"({"op":"create","class":"c_n_cst_dw","as":"a"})")["code"], 0);

  // The object argument travels by name, both ways.
  EXPECT_EQ(host.ask(R"({"op":"call","object":"a","method":"of_SetDw",
                         "args":[{"type":"object","value":"dw"}]})"),
            json::parse(R"({"ok":true,"code":0,"result":null,
                            "args":[{"type":"object","value":"dw"}],"messages":[],"received":[]})"));

  struct Row {
    std::string request;
    json result;    // the reply's result
    json received;  // the reply's received
  };
  const std::vector<Row> rows = {
      {utf8(u8R"({"op":"call","object":"a","method":"of_getlabletext",
                  "args":[{"type":"string","value":"t_价"}]})"),
       json::parse(utf8(u8R"({"type":"string","value":"单价"})")),
       json::parse(utf8(u8R"([{"function":"describe","command":"t_价.text"}])"))},
      {R"({"op":"call","object":"a","method":"of_getlabletext",
           "args":[{"type":"string","value":"t_none"}]})",
       json::parse(R"({"type":"string","value":""})"),
       json::parse(R"([{"function":"describe","command":"t_none.text"}])")},
      {R"({"op":"call","object":"a","method":"of_getfilter"})",
       json::parse(R"({"type":"string","value":""})"),
       json::parse(R"([{"function":"describe","command":"DataWindow.Table.Filter"}])")},
      {R"({"op":"call","object":"a","method":"of_column_visible",
           "args":[{"type":"string","value":"price"},{"type":"boolean","value":false}]})",
       json::parse(R"({"type":"string","value":""})"),
       json::parse(R"([{"function":"modify","command":"price.Visible=no"}])")},
      {R"({"op":"call","object":"a","method":"of_SetLableText",
           "args":[{"type":"string","value":"t"},{"type":"string","value":"x"}]})",
       json::parse(R"({"type":"string","value":"Line 1: unknown"})"),
       json::parse(R"([{"function":"modify","command":"t.text='x'"}])")},
      {R"({"op":"call","object":"a","method":"of_SetLableText",
           "args":[{"type":"string","null":true},{"type":"string","value":"x"}]})",
       json::parse(R"({"type":"string","value":""})"), json::array()},
      // A command that is no GBK text shows its bytes too.
      {R"({"op":"call","object":"a","method":"of_getlabletext","args":[{"type":"string","hex":"ff"}]})",
       json::parse(R"({"type":"string","value":""})"),
       json::parse(utf8(u8R"([{"function":"describe","command":"�.text","hex":"ff2e74657874"}])"))},
  };
  for (const Row& row : rows) {
    const json r = host.ask(row.request);
    EXPECT_EQ(r["ok"], true) << row.request;
    EXPECT_EQ(r["result"], row.result) << row.request;
    EXPECT_EQ(r["received"], row.received) << row.request;
  }
  EXPECT_EQ(host.finish(), 0);
}

TEST(PbxhostProtocol, ALibraryThatCannotBeLoadedEndsTheTool) {
  Pbxhost host({"--lib", "/nonexistent.pbx"});
  EXPECT_EQ(host.finish(), 1);
}

}  // namespace
