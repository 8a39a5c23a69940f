// Settings tables and document numbering through the real library on the shop
// tables: every write variant, hostile text round trips, the number sequences,
// and four processes drawing numbers at once without ever sharing one.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "tests/extension_db/db_object.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

using dbtest::Value;
using dbtest::ValueType;
using host::CallResult;
using nxtest::textOrNull;

std::string shopScript() {
  std::ifstream in(NORVEX_SOURCE_DIR "/appdir/shop.SQL", std::ios::binary);
  std::stringstream script;
  script << in.rdbuf();
  return platform::utf8ToGbk(script.str()).value_or("");  // the test client speaks gbk
}

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// Each test works in a fresh copy of the shop tables, connected as root.
class ShopTables : public dbtest::DbObject {
 protected:
  void SetUp() override {
    DbObject::SetUp();
    shop_ = std::make_unique<testsupport::ScratchDatabase>("settings");
    const std::string script = shopScript();
    ASSERT_FALSE(script.empty());
    shop_->run(script);
    ASSERT_EQ(connectAsRoot(shop_->name()).result.integer(), 1);
  }
  std::unique_ptr<testsupport::ScratchDatabase> shop_;
};

class Settings : public ShopTables {};
class Numbering : public ShopTables {};

// One write method with its reader: how the value becomes arguments, and the
// query that shows what is stored (nothing when the row is gone).
struct Variant {
  const char* writer;
  const char* reader;
  std::vector<Value> (*writeArgs)(const std::string& value);
  std::vector<Value> readArgs;
  const char* stored;
};

const std::vector<Variant>& variants() {
  static const std::vector<Variant> all = {
      {"of_SetMySysSet",
       "of_GetMySysSet",
       [](const std::string& v) {
         return std::vector<Value>{Value::string("t"), Value::string("n"), Value::string(v)};
       },
       {Value::string("t"), Value::string("n"), Value::string("default")},
       "select concat(Itemvalue,'|',ifnull(Memo,'-')) from mysysset where itemtype='t'"},
      {"of_setmysysset_memo",
       "of_GetMySysSet",
       [](const std::string& v) {
         return std::vector<Value>{Value::string("t"), Value::string("n"), Value::string(v),
                                   Value::string("备注")};
       },
       {Value::string("t"), Value::string("n"), Value::null(ValueType::String)},
       "select concat(Itemvalue,'|',ifnull(Memo,'-')) from mysysset where itemtype='t'"},
      {"of_Setusersysset",
       "of_getusersysset",
       [](const std::string& v) {
         return std::vector<Value>{Value::string("t"), Value::string("n"), Value::string("u"),
                                   Value::string(v)};
       },
       {Value::string("t"), Value::string("n"), Value::string("u")},
       "select concat(Itemvalue,'|',userName) from usersysset"},
      {"of_SetMyWindw",
       "of_getmywindw",
       [](const std::string& v) {
         return std::vector<Value>{Value::string("w_sale"), Value::string("dw_1"),
                                   Value::string(v)};
       },
       {Value::string("w_sale"), Value::string("dw_1")},
       "select concat(dataobject,'|',dwName) from mywinDw"},
  };
  return all;
}

TEST_F(Settings, WritesInsertUpdateDeleteOrDoNothingAndReadBack) {
  struct Step {
    const char* value;
    const char* storedOthers;  // what the query shows afterwards; the user
    const char* storedUser;    // setting keeps trailing blanks and deletes only on ""
  };
  const std::vector<Step> steps = {
      {"v1", "v1", "v1"}, {"v2 \t", "v2", "v2 \t"}, {"  ", "", "  "}, {"", "", ""},
      {"", "", ""},  // nothing to do
  };
  for (const Variant& variant : variants()) {
    for (const Step& step : steps) {
      const std::string label = std::string(variant.writer) + " '" + step.value + "'";
      const bool user = std::string(variant.writer) == "of_Setusersysset";
      const std::string expected = user ? step.storedUser : step.storedOthers;
      EXPECT_EQ(call(variant.writer, variant.writeArgs(step.value)).result.integer(), 1) << label;
      const std::string rows = shop_->query(variant.stored);
      if (expected.empty()) {
        EXPECT_EQ(rows, "") << label;
      } else {
        const std::string suffix = variant.writer == std::string("of_SetMySysSet")        ? "-"
                                   : variant.writer == std::string("of_setmysysset_memo") ? "备注"
                                   : user                                                 ? "u"
                                                                                          : "dw_1";
        EXPECT_EQ(rows, expected + "|" + suffix + "\n") << label;
      }
      EXPECT_EQ(call(variant.reader, variant.readArgs).result.text(), expected) << label;
    }
    shop_->run("delete from mysysset where itemtype='t'");
  }
}

TEST_F(Settings, QuotesBackslashesAndGbkTextRoundTripExactly) {
  // 0x81 0x5C is a GBK character whose second byte is a backslash.
  const std::string hostile = "it's a\\b \"q\" 单据 \x81\x5c '; drop table mysysset; -- \\";
  struct Row {
    const char* writer;
    std::vector<Value> writeArgs;
    const char* reader;
    std::vector<Value> readArgs;
  };
  const Value key = Value::string(
      "k'\\"
      "键");
  const std::vector<Row> rows = {
      {"of_SetMySysSet",
       {key, key, Value::string(hostile)},
       "of_GetMySysSet",
       {key, key, Value::string("")}},
      {"of_setmysysset_memo",
       {key, Value::string("m"), Value::string(hostile), Value::string(hostile)},
       "of_GetMySysSet",
       {key, Value::string("m"), Value::string("")}},
      {"of_Setusersysset",
       {key, key, key, Value::string(hostile)},
       "of_getusersysset",
       {key, key, key}},
      {"of_SetMyWindw", {key, key, Value::string(hostile)}, "of_getmywindw", {key, key}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(call(row.writer, row.writeArgs).result.integer(), 1) << row.writer;
    EXPECT_EQ(call(row.reader, row.readArgs).result.text(), hostile) << row.reader;
    // A second write of the same value takes the update path.
    EXPECT_EQ(call(row.writer, row.writeArgs).result.integer(), 1) << row.writer;
  }
  // Stored bytes, not only what the readers answer.
  EXPECT_EQ(shop_->query("select hex(Itemvalue), hex(ItemType) from mysysset where itemName='m'"),
            hex(hostile) + "\t" + hex("k'\\键") + "\n");
  EXPECT_EQ(shop_->query("select hex(Memo) from mysysset where itemName='m'"), hex(hostile) + "\n");
  EXPECT_EQ(shop_->query("select count(*) from mysysset"), "3\n");
}

TEST_F(Settings, NullArgumentsAnswerWithoutTouchingTheTables) {
  const Value null = Value::null(ValueType::String);
  const Value s = Value::string("x");
  struct Row {
    const char* method;
    std::vector<Value> args;
    bool set;
    int integer;       // for integer results
    const char* text;  // for text results, else nullptr
  };
  const std::vector<Row> rows = {
      {"of_GetMySysSet", {s, null, s}, true, 0, ""},
      {"of_GetMySysSet",
       {Value::string("sysset"), Value::string("defaultsubno"), null},
       true,
       0,
       "01"},
      {"of_getusersysset", {s, s, null}, true, 0, ""},
      {"of_SetMySysSet", {null, s, s}, true, -1, nullptr},
      {"of_setmysysset_memo", {s, s, s, null}, true, -1, nullptr},
      {"of_Setusersysset", {s, s, s, null}, false, 0, nullptr},
      {"of_SetMyWindw", {s, null, s}, true, -1, nullptr},
      {"of_getmywindw", {null, s}, false, 0, nullptr},
  };
  for (const Row& row : rows) {
    const CallResult r = call(row.method, row.args);
    ASSERT_EQ(r.result.wasSet(), row.set) << row.method;
    if (!row.set) continue;
    if (row.text != nullptr) {
      EXPECT_EQ(r.result.text(), row.text) << row.method;
    } else {
      EXPECT_EQ(r.result.integer(), row.integer) << row.method;
    }
  }
  EXPECT_EQ(shop_->query("select (select count(*) from mysysset) + (select count(*) from "
                         "usersysset) + (select count(*) from mywinDw)"),
            "1\n");
}

TEST_F(Numbering, PerDayAndContinuousNumbersReserveBlocks) {
  struct Row {
    const char* method;
    std::vector<Value> args;
    int result;
  };
  const auto day = [](const char* bill, const char* date, int count) {
    return std::vector<Value>{textOrNull(bill), textOrNull(date),
                              Value::int16(static_cast<pbint>(count))};
  };
  const auto continuous = [](const char* bill, int count) {
    return std::vector<Value>{textOrNull(bill), Value::int16(static_cast<pbint>(count))};
  };
  const std::vector<Row> rows = {
      {"of_findnextid", day("销售单", "2024-01-02", 3), 1},
      {"of_findnextid", day("销售单", "2024-01-02", 1), 4},
      {"of_findnextid", day("销售单", "2024-01-03", 2), 1},
      {"of_findnextid", day("销售单", "2024-01-02", 0), -1},
      {"of_findnextid", day(nullptr, "2024-01-02", 1), -1},
      {"of_findnextid", day("销售单", nullptr, 1), -1},
      {"of_findnextid", day("it's", "2024-01-02", 2), 1},
      {"of_findnext_continueid", continuous("退货单", 3), 1},
      {"of_findnext_continueid", continuous("退货单", 1), 4},
      {"of_findnext_continueid", continuous("退货单", -1), -1},
      {"of_findnext_continueid", continuous(nullptr, 1), -1},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(call(row.method, row.args).result.integer(), row.result)
        << row.method << " " << row.args[0].text();
  }
  EXPECT_EQ(shop_->query("select date, billName, nowNo from paramter order by date, billName"),
            "2024-01-02\tit's\t2\n2024-01-02\t销售单\t4\n2024-01-03\t销售单\t2\n");
  EXPECT_EQ(shop_->query("select billName, nowNo from paramtercontinue"), "退货单\t4\n");
}

TEST_F(Numbering, CyclingNumberWrapsAfterThirtyThousandAndOne) {
  struct Row {
    const char* seed;  // the spid rows before, "" for an empty table
    int result;
    const char* stored;
  };
  const std::vector<Row> rows = {
      {"", 1, ""},  // an empty table stays empty
      {"(0)", 1, "1\n"},     {"(-5)", 1, "1\n"},
      {"(41)", 42, "42\n"},  {"(30000)", 30001, "30001\n"},
      {"(30001)", 1, "1\n"}, {"(7),(9)", 10, "10\n10\n"},
  };
  for (const Row& row : rows) {
    shop_->run("delete from spid");
    if (*row.seed != '\0') shop_->run(std::string("insert into spid(maxid) values ") + row.seed);
    EXPECT_EQ(call("of_getspid").result.integer(), row.result) << row.seed;
    EXPECT_EQ(shop_->query("select maxid from spid"), row.stored) << row.seed;
  }
}

// Worker side of the concurrency test: runs only when the test below starts
// this program again with its environment; stdin reaching its end is the start signal.
TEST(NumberingWorker, DISABLED_DrawsNumbersForTheParent) {
  const char* database = std::getenv("NUMBERING_DB");
  ASSERT_NE(database, nullptr);
  const int draws = std::atoi(std::getenv("NUMBERING_DRAWS"));
  std::ofstream out(std::getenv("NUMBERING_OUT"));
  ASSERT_EQ(nxtest::library().create("n_cst_dbfunc", "db"), PBX_OK);
  const CallResult connected = nxtest::library().call(
      "db", "of_ConnectMySQL",
      {Value::string(std::getenv("NUMBERING_HOST")), Value::string(database),
       Value::string(std::getenv("NUMBERING_USER")),
       Value::string(std::getenv("NUMBERING_PASSWORD")),
       Value::int16(static_cast<pbint>(std::atoi(std::getenv("NUMBERING_PORT"))))});
  ASSERT_EQ(connected.result.integer(), 1);
  char buffer[16];
  while (read(0, buffer, sizeof buffer) > 0) {
  }
  for (int i = 0; i < draws; ++i) {
    const int count = i % 2 + 1;
    const auto draw = [&](const char* method, std::vector<Value> args) {
      const std::int64_t first =
          nxtest::library().call("db", method, std::move(args)).result.integer();
      out << method << ' ' << first << ' ' << count << '\n';
    };
    draw("of_findnextid", {Value::string("销售单"), Value::string("2024-05-06"),
                           Value::int16(static_cast<pbint>(count))});
    draw("of_findnext_continueid",
         {Value::string("销售单"), Value::int16(static_cast<pbint>(count))});
    out << "of_getspid " << nxtest::library().call("db", "of_getspid", {}).result.integer()
        << " 1\n";
  }
  nxtest::library().destroy("db");
}

TEST_F(Numbering, ConcurrentClientsNeverShareANumber) {
  constexpr int kWorkers = 4;
  constexpr int kDraws = 40;
  shop_->run("insert into spid(maxid) values (0)");
  const testsupport::DatabaseServer& server = testsupport::databaseServer();
  TempDir dir;
  int start[2];
  ASSERT_EQ(pipe2(start, O_CLOEXEC), 0);
  // The running image itself, even when a rebuild has replaced the file meanwhile.
  const std::string self = "/proc/self/exe";
  std::vector<pid_t> workers;
  for (int w = 0; w < kWorkers; ++w) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    const std::string outFile = dir.path() + "numbers" + std::to_string(w);
    env.push_back("NUMBERING_DB=" + shop_->name());
    env.push_back("NUMBERING_DRAWS=" + std::to_string(kDraws));
    env.push_back("NUMBERING_OUT=" + outFile);
    env.push_back("NUMBERING_HOST=" + server.host);
    env.push_back("NUMBERING_PORT=" + std::to_string(server.port));
    env.push_back("NUMBERING_USER=" + server.user);
    env.push_back("NUMBERING_PASSWORD=" + server.password);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=NumberingWorker.DISABLED_DrawsNumbersForTheParent";
    std::string disabled = "--gtest_also_run_disabled_tests";
    std::vector<char*> argv = {const_cast<char*>(self.c_str()), filter.data(), disabled.data(),
                               nullptr};
    const std::string log = outFile + ".log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, start[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), envp.data()), 0)
        << log;
    posix_spawn_file_actions_destroy(&actions);
    workers.push_back(pid);
  }
  close(start[0]);
  close(start[1]);  // every worker sees the end of its input now: all start together

  std::map<std::string, std::map<std::int64_t, int>> handedOut;  // method -> number -> times
  for (int w = 0; w < kWorkers; ++w) {
    int status = 0;
    ASSERT_EQ(waitpid(workers[w], &status, 0), workers[w]);
    const std::string outFile = dir.path() + "numbers" + std::to_string(w);
    std::ifstream log(outFile + ".log");
    std::stringstream logText;
    logText << log.rdbuf();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << logText.str();
    std::ifstream in(outFile);
    std::string method;
    std::int64_t first = 0;
    int count = 0;
    while (in >> method >> first >> count) {
      ASSERT_GT(first, 0) << method;
      for (int i = 0; i < count; ++i) ++handedOut[method][first + i];
    }
  }
  // Counts 1 and 2 alternate, so each worker reserves 60 per-day and
  // continuous numbers and draws 40 cycling ones.
  const std::map<std::string, std::int64_t> totals = {
      {"of_findnextid", kWorkers * kDraws / 2 * 3},
      {"of_findnext_continueid", kWorkers * kDraws / 2 * 3},
      {"of_getspid", kWorkers * kDraws},
  };
  for (const auto& [method, total] : totals) {
    const std::map<std::int64_t, int>& numbers = handedOut[method];
    EXPECT_EQ(static_cast<std::int64_t>(numbers.size()), total) << method;
    for (const auto& [number, times] : numbers) {
      EXPECT_EQ(times, 1) << method << " " << number;
      EXPECT_TRUE(number >= 1 && number <= total) << method << " " << number;
    }
  }
  EXPECT_EQ(shop_->query("select nowNo from paramter"),
            std::to_string(totals.at("of_findnextid")) + "\n");
  EXPECT_EQ(shop_->query("select nowNo from paramtercontinue"),
            std::to_string(totals.at("of_findnext_continueid")) + "\n");
  EXPECT_EQ(shop_->query("select maxid from spid"), std::to_string(totals.at("of_getspid")) + "\n");
}

}  // namespace
