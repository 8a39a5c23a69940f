// The SELECT parser and composer on shop statements of three sizes: parsing
// alone (setSql) and parsing with composing (setSql, then compose with two
// conditions). The peer is Python's sqlparse parsing the same statements,
// measured by bench/sqlparse_peer.py in the same run; the ratios per size are
// printed after the figures.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/ratios.h"
#include "extension/sql/form_where.h"

namespace {

struct Statement {
  const char* name;   // benchmark argument name
  const char* label;  // how the ratio lines call it
  std::string text;   // GBK bytes
};

const char kShort[] =
    "select goodsno, name, model, unit, price from goods where shopid='01' and stopflag=0 "
    "order by goodsno";

// A stock report as the clients write them: sub-selects in the select list and
// in WHERE, joins, Chinese aliases and literals, line breaks of the clients.
const char kReport[] =
    "select g.goodsno as 商品编号, g.name as 商品名称, g.model 规格, g.unit as 单位,\r\n"
    "       g.price as 零售价, g.vipprice as 会员价,\r\n"
    "       (select sum(s.qty) from stock s where s.goodsno = g.goodsno and s.shopid = '01')"
    " as 库存数量,\r\n"
    "       (select max(d.saledate) from saledetail d where d.goodsno = g.goodsno) 最后销售日,\r\n"
    "       case when g.stopflag = 1 then '停用' when g.price = 0 then '赠品' else '正常' end"
    " as 状态,\r\n"
    "       c.name as 类别名称, v.name as 供应商\r\n"
    "  from goods g left join category c on c.classno = g.classno\r\n"
    "       left join vendor v on v.vendorno = g.vendorno\r\n"
    " where g.shopid = '01' and (g.name like '%可乐%' or g.name like '%雪碧%')\r\n"
    "   and g.classno in (select classno from category where name <> '赠品')\r\n"
    "   and exists (select 1 from stock s2 where s2.goodsno = g.goodsno and s2.qty > 0)\r\n"
    "   and g.remark <> '临时商品' -- kept apart from the promotion list\r\n"
    "   /* out of contract */ and v.vendorno <> '0099'\r\n"
    " group by g.goodsno, g.name, g.model, g.unit, g.price, g.vipprice, g.stopflag,"
    " c.name, v.name\r\n"
    " having sum(g.price) > 0\r\n"
    " order by c.name, g.goodsno\r\n"
    " limit 0, 200";

// Many columns and conditions, as a member list with every field shown and
// every field filterable.
std::string manyColumns() {
  std::string sql = "select m.cardno as 会员卡号, m.name as 会员姓名";
  for (int i = 0; i < 150; ++i) {
    const std::string n = std::to_string(1000 + i).substr(1);
    sql += ",\r\n m.field" + n + " as 字段" + n;
  }
  sql += ",\r\n (select sum(p.amount) from payment p where p.cardno = m.cardno) as 消费总额";
  sql +=
      "\r\n from member m left join memberclass k on k.classno = m.classno"
      "\r\n where m.shopid = '01'";
  for (int i = 0; i < 120; ++i) {
    const std::string n = std::to_string(1000 + i).substr(1);
    sql += "\r\n and (m.field" + n + " >= '值" + n + "' or m.field" + n + " is null)";
  }
  sql += "\r\n order by m.cardno";
  return sql;
}

std::array<Statement, 3>& statements() {
  static std::array<Statement, 3> all = {{{"short", "short statement", kShort},
                                          {"1KB", "1 KB statement", kReport},
                                          {"10KB", "10 KB statement", manyColumns()}}};
  return all;
}

// A statement the parser refuses would measure nothing but the refusal.
bool parses(benchmark::State& state, nx::sql::FormWhere& form, const std::string& sql) {
  if (form.setSql(sql).empty() && !form.parsed().columns.empty()) return true;
  state.SkipWithError("the statement does not parse");
  return false;
}

void count(benchmark::State& state, const nx::sql::FormWhere& form, const std::string& sql) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sql.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetLabel(std::to_string(sql.size()) + " bytes, " +
                 std::to_string(form.parsed().columns.size()) + " columns");
}

void Parse(benchmark::State& state, int which) {
  const std::string& sql = statements()[which].text;
  nx::sql::FormWhere form;
  if (!parses(state, form, sql)) return;
  for (auto _ : state) {
    std::string message = form.setSql(sql);
    benchmark::DoNotOptimize(message);
    benchmark::DoNotOptimize(form.parsed());
  }
  count(state, form, sql);
}
BENCHMARK_CAPTURE(Parse, short, 0);
BENCHMARK_CAPTURE(Parse, 1KB, 1);
BENCHMARK_CAPTURE(Parse, 10KB, 2);

void ParseCompose(benchmark::State& state, int which) {
  const std::string& sql = statements()[which].text;
  nx::sql::FormWhere form;
  // Conditions belong to the object and survive each new statement.
  form.addCondition("shop", "shopid = '01'");
  form.addCondition("period", "saledate between '2026-01-01' and '2026-12-31'");
  if (!parses(state, form, sql)) return;
  for (auto _ : state) {
    form.setSql(sql);
    std::string composed = form.compose();
    benchmark::DoNotOptimize(composed);
  }
  count(state, form, sql);
}
BENCHMARK_CAPTURE(ParseCompose, short, 0);
BENCHMARK_CAPTURE(ParseCompose, 1KB, 1);
BENCHMARK_CAPTURE(ParseCompose, 10KB, 2);

// Single quotes keep the shell from reading anything in the path.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Nanoseconds per statement by name; empty when no interpreter has sqlparse.
// Debian's interpreter first: python3-sqlparse installs for it, and the one
// on PATH may be another.
std::map<std::string, double> measurePeer() {
  std::map<std::string, double> nanoseconds;
  char pattern[] = "/tmp/select_bench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return nanoseconds;
  const std::filesystem::path folder = pattern;
  std::string arguments;
  for (const Statement& s : statements()) {
    const std::filesystem::path file = folder / (std::string(s.name) + ".sql");
    std::ofstream(file, std::ios::binary) << s.text;
    arguments += " " + quoted(std::string(s.name) + "=" + file.string());
  }
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    if (python[0] == '/' && access(python, X_OK) != 0) continue;
    const std::string command =
        quoted(python) + " " + quoted(SQLPARSE_PEER) + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) continue;
    std::map<std::string, double> found;
    char name[64];
    double ns = 0;
    while (std::fscanf(pipe, "%63s %lf", name, &ns) == 2) found[name] = ns;
    const int status = pclose(pipe);
    if (status == 0 && found.size() == statements().size()) {
      nanoseconds = found;
      break;
    }
  }
  std::filesystem::remove_all(folder);
  return nanoseconds;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::map<std::string, double> nanoseconds = bench::runCollectingTimes();

  bool parsed = false;
  for (const auto& [name, ns] : nanoseconds) parsed = parsed || name.rfind("Parse/", 0) == 0;
  if (!parsed) {
    benchmark::Shutdown();
    return 0;
  }
  std::printf("\nsqlparse.parse on the same statements, measured now...\n");
  std::fflush(stdout);
  const std::map<std::string, double> peer = measurePeer();
  if (peer.empty()) {
    std::printf("peer missing: no python3 with sqlparse (Debian package python3-sqlparse)\n");
  } else {
    std::printf("\nRatios against the peer measured in the same run (parse only):\n");
    for (const Statement& s : statements()) {
      const auto ours = nanoseconds.find(std::string("Parse/") + s.name);
      const auto theirs = peer.find(s.name);
      if (ours == nanoseconds.end() || theirs == peer.end() || ours->second == 0) continue;
      const double ratio = theirs->second / ours->second;
      std::printf("%s (%zu bytes): ours %.0f ns, sqlparse %.0f ns, ratio %.1f x %s\n", s.label,
                  s.text.size(), ours->second, theirs->second, ratio >= 1 ? ratio : 1 / ratio,
                  ratio >= 1 ? "faster" : "slower");
    }
  }
  benchmark::Shutdown();
  return 0;
}
