// The shared-connection helpers against the real server: the exact statements they send,
// their failure values, and settings whose quotes, backslashes and GBK characters must
// come back byte for byte.
#include "launcher/support/connection_helpers.h"

#include <functional>
#include <utility>
#include <vector>

#include "tests/launcher_db/client_fixture.h"

namespace launcher_db_test {
namespace {

using launcher::QuoteIdentifier;
using launcher::QuoteText;
using Log = std::vector<std::string>;

// The settings table as the shop schema defines it (note the spellings of the columns).
constexpr const char* kMysysset =
    "CREATE TABLE mysysset (ItemType varchar(50) NOT NULL, itemName varchar(100) NOT NULL, "
    "Itemvalue varchar(2000) DEFAULT NULL, Memo varchar(255) DEFAULT NULL, "
    "PRIMARY KEY (ItemType, itemName)) DEFAULT CHARSET=gbk;";

const std::string kLookup =
    "Select itemvalue from mysysset where itemtype='company' and itemName='name'";

TEST(ConnectionQuoting, DoublesQuotesAndBackslashesButNeverHalfACharacter) {
  // Double-byte characters whose second byte is a backslash and a backquote.
  ASSERT_EQ(std::string("淺"), "\x9c\x5c");
  ASSERT_EQ(std::string("宍"), "\x8c\x60");
  struct Case {
    std::string text;
    std::string quoted;
    std::string identifier;
  };
  const std::vector<Case> cases = {
      {"", "''", "``"},
      {"abc", "'abc'", "`abc`"},
      {"it's", "'it''s'", "`it's`"},
      {"a\\b", "'a\\\\b'", "`a\\b`"},
      {"x`y", "'x`y'", "`x``y`"},
      {"\\'", "'\\\\'''", "`\\'`"},
      {"淺宍", "'淺宍'", "`淺宍`"},
      {"淺\\'宍`", "'淺\\\\''宍`'", "`淺\\'宍```"},
      // A lead byte without a trail byte stands alone and does not hide the quote.
      {"\x81'", "'\x81'''", "`\x81'`"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(QuoteText(c.text), c.quoted);
    EXPECT_EQ(QuoteIdentifier(c.text), c.identifier);
  }
}

class ConnectionHelpers : public ServerTest {
 protected:
  void TearDown() override {
    shared_.Replace(nullptr);
    ServerTest::TearDown();
  }
  void useConnection(const std::string& database) {
    shared_.Replace(connect(database));
    shared_.Get()->StatementLog = &log_;
  }
  // What was sent since the last call.
  Log sent() { return std::exchange(log_, {}); }

  launcher::SharedConnection shared_;
  Log log_;
};

TEST_F(ConnectionHelpers, SendTheirExactStatements) {
  db_.run(kMysysset);
  useConnection(db_.name());
  const launcher::SharedConnection& s = shared_;
  struct Step {
    const char* name;
    std::function<std::string()> call;
    std::string result;
    Log statements;
  };
  const std::vector<Step> steps = {
      {"read a missing setting",
       [&] { return launcher::GetSysSetting(s, "company", "name", "总店"); },
       "总店",
       {kLookup}},
      {"first write inserts",
       [&] { return std::to_string(launcher::SetSysSetting(s, "company", "name", "分店'一\\号")); },
       "1",
       {kLookup,
        "insert into mysysset(itemtype,itemname,itemvalue) "
        "values('company','name','分店''一\\\\号')"}},
      {"second write updates",
       [&] { return std::to_string(launcher::SetSysSetting(s, "company", "name", "二号")); },
       "1",
       {kLookup,
        " update mysysset set itemvalue='二号' where itemtype='company' and itemName='name'"}},
      {"unchanged write reports 0 rows",
       [&] { return std::to_string(launcher::SetSysSetting(s, "company", "name", "二号")); },
       "0",
       {kLookup,
        " update mysysset set itemvalue='二号' where itemtype='company' and itemName='name'"}},
      {"still one row",
       [&] { return launcher::QueryValue(s, "select count(*) as n from mysysset", "n"); },
       "1",
       {"select count(*) as n from mysysset"}},
      {"read it back",
       [&] { return launcher::GetSysSetting(s, "company", "name", "总店"); },
       "二号",
       {kLookup}},
      {"blank it",
       [&] { return std::to_string(launcher::ExecSQL(s, "update mysysset set Itemvalue=' \t'")); },
       "1",
       {"update mysysset set Itemvalue=' \t'"}},
      {"blank reads as the default",
       [&] { return launcher::GetSysSetting(s, "company", "name", "总店"); },
       "总店",
       {kLookup}},
      {"leading blank",
       [&] { return std::to_string(launcher::SetSysSetting(s, "company", "name", " 三号")); },
       "1",
       {kLookup,
        " update mysysset set itemvalue=' 三号' where itemtype='company' and itemName='name'"}},
      {"leading blank is kept",
       [&] { return launcher::GetSysSetting(s, "company", "name", "总店"); },
       " 三号",
       {kLookup}},
      {"count as a number",
       [&] {
         return std::to_string(launcher::QueryInt(s, "select count(*) as n from mysysset", "n"));
       },
       "1",
       {"select count(*) as n from mysysset"}},
      {"a syntax error still counts as sent",
       [&] { return std::to_string(launcher::ExecSQL(s, "selec 1")); },
       "1",
       {"selec 1"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(step.call(), step.result);
    EXPECT_EQ(sent(), step.statements);
  }
}

TEST_F(ConnectionHelpers, QueryValueAndQueryIntReadTheFirstRowOnly) {
  useConnection(db_.name());
  struct Case {
    std::string sql;
    std::string column;
    std::string value;
    int number;
  };
  const std::vector<Case> cases = {
      {"select 42 as n union all select 7", "n", "42", 42},
      {"select -7 as n", "n", "-7", -7},
      {"select '+5' as n", "n", "+5", 5},
      {"select 2147483647 as n", "n", "2147483647", 2147483647},
      {"select 2147483648 as n", "n", "2147483648", 0},
      {"select '12abc' as n", "n", "12abc", 0},
      {"select '' as n", "n", "", 0},
      {"select null as n", "n", "", 0},
      {"select '提示' as n", "n", "提示", 0},
      {"select 5 as m", "n", "", 0},  // another column
      {"select 5 as N", "n", "", 0},  // letter case counts
      {"select 5 as n from dual where 1 = 0", "n", "", 0},
      {"selec 5 as n", "n", "", 0},  // rejected
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(launcher::QueryValue(shared_, c.sql, c.column), c.value);
    EXPECT_EQ(launcher::QueryInt(shared_, c.sql, c.column), c.number);
  }
}

TEST_F(ConnectionHelpers, FailWithoutAUsableConnectionAndSendNothing) {
  db_.run(kMysysset);
  struct Case {
    const char* name;
    std::function<void()> arrange;
  };
  const std::vector<Case> cases = {
      {"absent", [&] { shared_.Replace(nullptr); }},
      {"no database", [&] { useConnection(db_.name() + "_missing"); }},
      {"closed by the main window",
       [&] {
         useConnection(db_.name());
         shared_.Get()->Connected = false;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    EXPECT_EQ(launcher::ExecSQL(shared_, "select 1"), -1);
    EXPECT_EQ(launcher::QueryValue(shared_, "select 1 as n", "n"), "");
    EXPECT_EQ(launcher::QueryInt(shared_, "select 1 as n", "n"), 0);
    EXPECT_EQ(launcher::GetSysSetting(shared_, "company", "name", "总店"), "");
    EXPECT_EQ(launcher::SetSysSetting(shared_, "company", "name", "x"), -1);
    EXPECT_EQ(sent(), Log{});
  }
}

TEST_F(ConnectionHelpers, SettingsGiveFailureValuesForRejectedStatements) {
  useConnection(db_.name());
  // No settings table yet: the lookup is rejected.
  EXPECT_EQ(launcher::GetSysSetting(shared_, "company", "name", "总店"), "总店");
  EXPECT_EQ(launcher::SetSysSetting(shared_, "company", "name", "x"), -1);
  EXPECT_EQ(sent(), (Log{kLookup, kLookup}));
  // A table that refuses the value: the lookup passes, the insert is rejected.
  db_.run(
      "CREATE TABLE mysysset (ItemType varchar(50), itemName varchar(100), "
      "Itemvalue varchar(2000) CHECK (Itemvalue <> 'bad'));");
  EXPECT_EQ(launcher::SetSysSetting(shared_, "company", "name", "bad"), -1);
  EXPECT_EQ(sent(), (Log{kLookup,
                         "insert into mysysset(itemtype,itemname,itemvalue) "
                         "values('company','name','bad')"}));
}

TEST_F(ConnectionHelpers, SettingsKeepQuotesBackslashesAndGbkByteForByte) {
  db_.run(kMysysset);
  useConnection(db_.name());
  struct Case {
    std::string type;
    std::string name;
    std::string value;
  };
  const std::vector<Case> cases = {
      {"backup", "lastbackupex", "2024-01-02 03:04:05"},
      {"t1", "n", "a\\b'c"},
      {"t2", "n", "\\"},
      {"t3", "n", "'"},
      {"t4", "n", "\\'"},
      {"t5", "n", "ends with\\"},
      {"t6", "n", "''\\\\"},
      {"t7", "n", "提示：'引号'\\反斜杠"},
      {"t8", "n", "淺宍\\'淺"},
      {"t'\\9", "a\\b'c", "type and name quoted too"},
      {"locallogin", "淺宍", "2024-05-06 07:08:09"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(launcher::SetSysSetting(shared_, c.type, c.name, c.value), 1);
    EXPECT_EQ(launcher::GetSysSetting(shared_, c.type, c.name, "default"), c.value);
    EXPECT_EQ(launcher::QueryValue(shared_,
                                   "select concat(ItemType, '|', itemName) as k from mysysset "
                                   "where Itemvalue = " +
                                       QuoteText(c.value),
                                   "k"),
              c.type + "|" + c.name);
  }
}

TEST_F(ConnectionHelpers, QuotedIdentifiersNameWhatTheyQuote) {
  useConnection(db_.name());
  const std::string table = "表`淺宍";
  EXPECT_EQ(launcher::ExecSQL(shared_, "create table " + QuoteIdentifier(table) + " (a int)"), 1);
  EXPECT_EQ(launcher::QueryValue(shared_,
                                 "select table_name as t from information_schema.tables "
                                 "where table_schema = " +
                                     QuoteText(db_.name()),
                                 "t"),
            table);
}

}  // namespace
}  // namespace launcher_db_test
