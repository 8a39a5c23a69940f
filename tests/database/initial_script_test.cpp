// The initial script of a new installation loads into an empty database:
// every table the launcher and the extension use, in gbk, with the demo rows.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/gbk.h"
#include "tests/support/database_server.h"

namespace {

TEST(InitialScript, CreatesEveryTableWithTheDemoRows) {
  std::ifstream in(SHOP_SQL, std::ios::binary);
  std::stringstream script;
  script << in.rdbuf();
  // The script is UTF-8; the test client speaks gbk.
  const std::optional<std::string> gbk = platform::utf8ToGbk(script.str());
  ASSERT_TRUE(gbk.has_value());
  testsupport::ScratchDatabase db("initial");
  db.run(*gbk);
  // Loading it again changes nothing: every statement is idempotent.
  db.run(*gbk);

  EXPECT_EQ(db.query("select table_name from information_schema.tables where table_schema='" +
                     db.name() + "' and table_collation='gbk_chinese_ci' order by table_name"),
            "backdb_his\ncustomer_small\nmysysset\nmyuser\nmywindw\noutone\nparamter\n"
            "paramtercontinue\nspid\nstocknum\nstockpos\nstockposnum\nstore\nsubcom\nusersysset\n");
  // Both spellings reach the same table.
  EXPECT_EQ(db.query("select count(*) from mywinDw"), db.query("select count(*) from mywindw"));
  EXPECT_EQ(db.query("select Username, newpass from myuser"), "店长\t303a7a46ba99ec7b\n");
  EXPECT_EQ(db.query("select subno, comName from subcom"), "01\t总店\n");
  EXPECT_EQ(db.query("select sto_code, sto_name from store"), "01\t总店\n");
}

}  // namespace
