#include "tests/property/hostile_values.h"

#include <limits>

#include "platform/gbk_text.h"

namespace property {
namespace {

const std::vector<std::string> kSqlPieces = {
    "select a,b from t where x=1",
    "select * from goods g left join stock s on g.id=s.id where g.name like '%中%' group by g.id "
    "having count(*)>1 order by 1 desc limit 10",
    "SELECT DISTINCT TOP 5 a AS 'x', b \"y\" FROM t1, t2 WHERE t1.a = t2.a",
    "select (select max(id) from t2 where t2.a=t1.a) as m from t1",
    "select a from t union all select b from u",
    "select count(*) from (select a from t) x",
    "select a from t where b in (select c from d where e = 'f''g')",
    "select 名称, sum(数量) 合计 from 商品 where 名称='张三' group by 名称",
    "select a, from",
    "select from where group by having order by",
    "select a from t t1 join t t2 on t1.a=t2.a",
    "insert into t values(1)",
    "update t set a=1 where b=2",
    "drop table t;",
    "select",
    "from",
    "where",
    "group by",
    "having",
    "order by",
    "limit 1,2",
    "union",
    "(",
    ")",
    "((",
    "))",
    ",",
    ",,",
    "'",
    "''",
    "'abc",
    "--",
    "-- note\r\n",
    "/*",
    "*/",
    "/* x */",
    "*",
    " as ",
    " and ",
    " or ",
    "=",
    "<>",
    ">=",
    " like ",
    " is null",
    " not like ",
    "case when a=1 then 'x' else 'y' end",
    "sum(a)",
    "lower(name)",
    "t.a",
    "`t`",
    "[t]",
    ";",
    "@@identity",
};

const std::vector<std::string> kDataWindowPieces = {
    "release 10;\r\n",
    "datawindow(units=0 timer_interval=0 color=1073741824 processing=0 )\r\n",
    "header(height=80 color=\"536870912\" )\r\n",
    "detail(height=88 )\r\n",
    "summary(height=0 )\r\n",
    "table(column=(type=char(20) updatewhereclause=yes name=name dbname=\"goods.name\" )\r\n "
    "column=(type=decimal(2) updatewhereclause=yes name=price dbname=\"goods.price\" )\r\n "
    "retrieve=\"PBSELECT( VERSION(400) TABLE(NAME=~\"goods~\" ) COLUMN(NAME=~\"goods.name~\")) \" "
    "update=\"goods\" updatewhere=1 updatekeyinplace=no )\r\n",
    "table(column=(type=long name=id dbname=\"t.id\" ) retrieve=\"select id from t\" )\r\n",
    "text(band=header alignment=\"2\" text=\"名称\" border=\"0\" color=\"33554432\" x=\"9\" "
    "y=\"8\" "
    "height=\"64\" width=\"300\" name=name_t )\r\n",
    "column(band=detail id=1 alignment=\"0\" tabsequence=10 border=\"0\" color=\"33554432\" "
    "x=\"9\" "
    "y=\"8\" height=\"76\" width=\"300\" format=\"[general]\" name=name edit.limit=20 )\r\n",
    "compute(band=detail alignment=\"1\" expression=\"price*2\" border=\"0\" x=\"400\" y=\"8\" "
    "height=\"76\" width=\"200\" name=c_1 )\r\n",
    "htmltable(border=\"1\" )\r\n",
    "retrieve=\"select a from t\"",
    "name=",
    "band=",
    "text=\"\"",
    "x=\"-1\"",
    "width=\"99999999999\"",
    "id=0",
    "id=99999",
    "~\"",
    "~~",
    "\"",
    "(",
    ")",
    "name.Visible=no",
    "DataWindow.Column.Count",
    "DataWindow.Table.Filter",
    "#1.name",
    "Evaluate('LookUpDisplay(a) ', 1)",
};

const std::vector<std::string> kColumnTypes = {"char(20)", "decimal(2)", "long",    "number",
                                               "datetime", "date",       "char(0)", "real",
                                               "char(",    "decimal(-1)"};

const std::vector<std::string> kWords = {
    "a",        "id",       "name",     "t",      "goods",       "price",      "c_1",
    "name_t",   "#1",       "x.y",      "t1.a",   "商品",        "名称",       "表",
    "张三",     "root",     "nobody",   "mysql",  "sql",         "mssql",      "access",
    "Y",        "N",        "yes",      "TRUE",   "like",        "LIKE ",      "<=",
    "not like", "partlike", "leftlike", "is",     "char(20)",    "decimal(2)", "compute",
    "column",   "text",     "header",   "detail", "name_t.text",
};

const std::vector<std::string> kNumberTexts = {
    "-1",
    "0",
    "1",
    "32767",
    "32768",
    "-32768",
    "-32769",
    "2147483647",
    "2147483648",
    "-2147483649",
    "4294967295",
    "99999999999999999999",
    "1e309",
    "-0",
    "0.05",
    "10*20",
    "*20",
    "2.5*4",
    "*",
    "-",
    "+",
    "  42",
    "0x1F",
    "１２３",
    "1.2.3",
    "99999999999999999999.99",
    "202401",
    "2024",
    "201312",
    "-000001",
    "9999-12-31 23:59:59",
    "2024-02-30",
    "2024/13/45",
    "1-1-1",
    "--",
    "2024-",
    "/",
};

const std::vector<std::string> kDecimals = {
    "",
    "abc",
    "1e309",
    "-0",
    "99999999999999999999.99",
    "0",
    "0.05",
    "0.5",
    "1.05",
    "10.50",
    "-5.2",
    "5.",
    ".5",
    "  12.3  ",
    "+1",
    "1.2.3",
    "-",
    ".",
    "00000000000000000000000000000001",
    "123456789012.34",
    "1e-5",
    " ",
    "１２",
    "1 2",
    "100000000",
    "2000000000000",
    "123456789.12",
    "0.00",
    "-.",
};

const std::vector<std::string> kQuotes = {"'", "\"", "\\",   "`",   "''",   "\\'", "\x95\\", "~\"",
                                          "%", "_",  "\\\\", "'\\", "\"\"", "\\0", "\\n"};

const std::vector<std::string> kInvalidGbk = {
    "\x80", "\x81",     "\xfe",     "\xff",    "\xa1\x7f", "\x81\x20", "\xd6", "\x81\x30\x81\x30",
    "\xa1", "\xff\xff", "\x81\x5c", "\x81\x2f"};

const std::string kWhite = " \t\r\n\b\v\f";

std::string repeated(std::string_view piece, std::size_t size) {
  std::string out;
  out.reserve(size + piece.size());
  while (out.size() < size) out += piece;
  return out;
}

}  // namespace

HostileValues::HostileValues(Rng& rng) : rng_(rng) {
  constexpr std::size_t kMegabyte = 1 << 20;
  huge_.push_back(repeated("a", kMegabyte));
  huge_.push_back(repeated("中文", kMegabyte));
  huge_.push_back(repeated("select a,b from t where x=1 and ", kMegabyte));
  huge_.push_back(repeated("(", kMegabyte));
  huge_.push_back(repeated("\r\n", kMegabyte));
  huge_.push_back(repeated("'", kMegabyte));
  huge_.push_back(repeated("column(band=detail id=1 name=a ) ", kMegabyte));
  std::string noise;
  noise.reserve(kMegabyte);
  std::uniform_int_distribution<int> byte(1, 255);
  while (noise.size() < kMegabyte) noise += static_cast<char>(byte(rng_));
  huge_.push_back(std::move(noise));
}

std::string HostileValues::randomBytes(std::size_t most) {
  std::string out(below(most + 1), '\0');
  std::uniform_int_distribution<int> byte(1, 255);
  for (char& c : out) c = static_cast<char>(byte(rng_));
  return out;
}

std::string HostileValues::invalidGbk() {
  std::string out;
  const std::size_t pieces = 1 + below(8);
  for (std::size_t i = 0; i < pieces; ++i) out += chance(0.3) ? pick(kWords) : pick(kInvalidGbk);
  return out;
}

// A SELECT of a plausible shape: columns with aliases and comments, tables
// with joins, sub-selects, every clause now and then.
std::string HostileValues::composedSelect(int depth) {
  static const std::vector<std::string> kColumns = {
      "a", "t.b", "sum(c)", "count(*)", "名称", "lower(name)", "'x,y'", "a+b", "*", "t.*"};
  static const std::vector<std::string> kTables = {"t",    "goods g", "stock as s",
                                                   "商品", "t1, t2",  "t left join u on t.a=u.a"};
  std::string sql = chance(0.2) ? "SELECT " : "select ";
  if (chance(0.1)) sql += "distinct ";
  if (chance(0.1)) sql += "top 10 ";
  const std::size_t columns = 1 + below(6);
  for (std::size_t i = 0; i < columns; ++i) {
    if (i > 0) sql += chance(0.9) ? "," : ",,";
    if (depth < 2 && chance(0.1)) {
      sql += "(" + composedSelect(depth + 1) + ")";
    } else {
      sql += pick(kColumns);
    }
    if (chance(0.3)) sql += chance(0.5) ? " as al" + std::to_string(i) : " 别名";
    if (chance(0.1)) sql += " /*说明*/";
    if (chance(0.05)) sql += " --note\r\n";
  }
  sql += " from " + pick(kTables);
  if (depth < 2 && chance(0.1)) sql += ", (" + composedSelect(depth + 1) + ") x";
  static const std::vector<std::string> kConditions = {"a=1",
                                                       "name like '%中%'",
                                                       "t.a = u.a and b in (1,2)",
                                                       "x between 1 and 2",
                                                       "(a=1 or b=2)",
                                                       "a is not null",
                                                       "名称='张三'",
                                                       "b<>'it''s'",
                                                       "c>=(select max(c) from t)",
                                                       "1=1"};
  if (chance(0.6)) sql += " where " + (chance(0.8) ? pick(kConditions) : pick(kSqlPieces));
  if (chance(0.3)) sql += " group by a";
  if (chance(0.2)) sql += " having count(*)>1";
  if (chance(0.3)) sql += " order by 1";
  if (chance(0.1)) sql += " limit 5";
  if (chance(0.05)) sql += " union select a from u";
  return sql;
}

// A DataWindow syntax of a plausible shape: bands, a table block whose
// columns the display objects refer to, labels, columns and computed fields.
std::string HostileValues::composedDataWindow() {
  std::string dw = chance(0.9) ? "release 10;\r\n" : "";
  dw += "datawindow(units=0 color=1073741824 processing=" + std::to_string(below(3)) + " )\r\n";
  for (const char* band : {"header", "summary", "footer", "detail"})
    if (chance(0.7)) dw += std::string(band) + "(height=" + std::to_string(below(200)) + " )\r\n";
  const std::size_t columns = below(6);
  if (chance(0.9)) {
    dw += "table(";
    for (std::size_t i = 0; i < columns; ++i)
      dw += "column=(type=" + pick(kColumnTypes) + " updatewhereclause=yes name=c" +
            std::to_string(i) + " dbname=\"t.c" + std::to_string(i) + "\" )\r\n ";
    const std::string select = composedSelect(0);
    std::string quoted;
    for (char c : select) quoted += c == '"' ? std::string("~\"") : std::string(1, c);
    dw += "retrieve=\"" + quoted + "\"";
    if (chance(0.5)) dw += " update=\"t\" updatewhere=1";
    dw += " )\r\n";
  }
  for (std::size_t i = 0; i < columns; ++i) {
    const std::string x = std::to_string(below(2000));
    if (chance(0.7))
      dw += "text(band=header alignment=\"2\" text=\"标题" + std::to_string(i) + "\" x=\"" + x +
            "\" y=\"8\" height=\"64\" width=\"200\" name=c" + std::to_string(i) + "_t )\r\n";
    if (chance(0.8))
      dw += "column(band=detail id=" + std::to_string(i + 1) + " x=\"" + x +
            "\" y=\"8\" height=\"64\" width=\"200\" name=c" + std::to_string(i) + " )\r\n";
  }
  if (chance(0.3))
    dw += "compute(band=summary expression=\"sum(c0 for all)\" x=\"9\" name=total )\r\n";
  if (chance(0.5)) dw += "htmltable(border=\"1\" )\r\n";
  return dw;
}

// Cut short, a piece put in, or a stretch doubled.
std::string HostileValues::mutated(std::string text) {
  if (text.empty()) return text;
  switch (below(4)) {
    case 0:
      text.resize(below(text.size()));
      break;
    case 1:
      text.insert(below(text.size() + 1), fragment());
      break;
    case 2: {
      const std::size_t from = below(text.size());
      text.insert(from, text.substr(from, below(64)));
      break;
    }
    default:
      text.erase(below(text.size()), 1 + below(8));
      break;
  }
  return text;
}

// One small piece of any kind.
std::string HostileValues::fragment() {
  switch (below(9)) {
    case 0:
      return pick(kSqlPieces);
    case 1:
      return pick(kDataWindowPieces);
    case 2:
      return pick(kWords);
    case 3:
      return pick(kNumberTexts);
    case 4:
      return pick(kQuotes);
    case 5:
      return invalidGbk();
    case 6:
      return std::string(1 + below(4), kWhite[below(kWhite.size())]);
    case 7:
      return randomBytes(16);
    default:
      return std::string();
  }
}

std::string HostileValues::shortText() {
  std::string out;
  const std::size_t pieces = below(5);
  for (std::size_t i = 0; i < pieces; ++i) {
    out += fragment();
    if (chance(0.3)) out += ' ';
  }
  return out;
}

std::optional<std::string> HostileValues::text() {
  const std::size_t kind = below(100);
  if (kind < 8) return std::nullopt;
  if (kind < 16) return std::string();
  if (kind < 17) return pick(huge_);
  if (kind < 19) {  // tens of kilobytes of pieces
    std::string large;
    const std::size_t size = 1000 + below(60000);
    while (large.size() < size) large += fragment();
    return large;
  }
  if (kind < 27) {  // a host text ends at NUL: bytes after it must stay unseen
    std::string before = shortText();
    before += '\0';
    return before + shortText();
  }
  if (kind < 31) return pick(kSqlPieces);
  if (kind < 35) return pick(kDataWindowPieces);
  if (kind < 40) {
    std::string sql = composedSelect(0);
    return chance(0.4) ? mutated(std::move(sql)) : sql;
  }
  if (kind < 45) {
    std::string dw = composedDataWindow();
    return chance(0.4) ? mutated(std::move(dw)) : dw;
  }
  if (kind < 52) return pick(kWords);
  if (kind < 58) return pick(kNumberTexts);
  if (kind < 64) return invalidGbk();
  if (kind < 70) {
    std::string quotes;
    for (std::size_t i = 1 + below(10); i > 0; --i) quotes += pick(kQuotes);
    return quotes;
  }
  if (kind < 75) return randomBytes(64);
  return shortText();
}

host::Value HostileValues::int16() {
  if (chance(0.08)) return host::Value::null(host::ValueType::Int);
  static const std::vector<pbint> kEdges = {-32768, 32767, 0, -1, 1, 2, 3, 12, 13, 100, -100};
  if (chance(0.6)) return host::Value::int16(pick(kEdges));
  if (chance(0.5)) return host::Value::int16(static_cast<pbint>(static_cast<int>(below(101)) - 50));
  return host::Value::int16(static_cast<pbint>(rng_()));
}

host::Value HostileValues::long32() {
  if (chance(0.08)) return host::Value::null(host::ValueType::Long);
  static const std::vector<pblong> kEdges = {std::numeric_limits<pblong>::min(),
                                             std::numeric_limits<pblong>::max(),
                                             0,
                                             -1,
                                             1,
                                             32767,
                                             32768,
                                             -32769,
                                             1000000};
  if (chance(0.6)) return host::Value::long32(pick(kEdges));
  if (chance(0.5)) return host::Value::long32(static_cast<pblong>(below(201)) - 100);
  return host::Value::long32(static_cast<pblong>(rng_()));
}

host::Value HostileValues::ulong32() {
  if (chance(0.08)) return host::Value::null(host::ValueType::Ulong);
  static const std::vector<pbulong> kEdges = {
      0, 1, std::numeric_limits<pbulong>::max(), 0x80000000u, 0x7fffffffu, 65535, 65536};
  if (chance(0.6)) return host::Value::ulong32(pick(kEdges));
  return host::Value::ulong32(static_cast<pbulong>(rng_()));
}

host::Value HostileValues::boolean() {
  if (chance(0.1)) return host::Value::null(host::ValueType::Boolean);
  return host::Value::boolean(chance(0.5));
}

host::Value HostileValues::decimal() {
  if (chance(0.08)) return host::Value::null(host::ValueType::Decimal);
  if (chance(0.6)) return host::Value::decimal(pick(kDecimals));
  if (chance(0.3)) return host::Value::decimal(text().value_or(std::string()));
  std::string digits;
  for (std::size_t i = below(41); i > 0; --i) digits += static_cast<char>('0' + below(10));
  if (chance(0.5)) digits.insert(below(digits.size() + 1), ".");
  if (chance(0.3)) digits.insert(0, "-");
  return host::Value::decimal(digits);
}

namespace {

struct Ymd {
  int year, month, day;
};

// Edges of the calendar; a few are no calendar day at all, as a broken host
// could send them.
const std::vector<Ymd> kDates = {
    {1, 1, 1},
    {1900, 1, 1},
    {1970, 1, 1},
    {1999, 12, 31},
    {2000, 2, 29},
    {2024, 2, 29},
    {2023, 1, 31},
    {2023, 12, 31},
    {9999, 12, 31},
    {9999, 1, 1},
    {1000, 2, 28},
    {2100, 2, 28},
    {0, 0, 0},
    {2023, 2, 29},
    {2023, 4, 31},
    {2023, 13, 1},
    {-1, 1, 1},
    {10000, 1, 1},
    {32767, 12, 31},
    {2024, 0, 15},
    {2024, 6, 0},
    {std::numeric_limits<int>::max(), 12, 31},
    {std::numeric_limits<int>::min(), 1, 1},
};

}  // namespace

host::Value HostileValues::date() {
  if (chance(0.08)) return host::Value::null(host::ValueType::Date);
  if (chance(0.6)) {
    const Ymd d = pick(kDates);
    return host::Value::date(d.year, d.month, d.day);
  }
  const int year = 1 + static_cast<int>(below(9999));
  const int month = 1 + static_cast<int>(below(12));
  return host::Value::date(year, month, 1 + static_cast<int>(below(28)));
}

host::Value HostileValues::dateTime() {
  if (chance(0.08)) return host::Value::null(host::ValueType::DateTime);
  static const std::vector<double> kSeconds = {0, 59, 59.999999, 30.5, -0.0, 0.000001};
  const host::Value day = date();
  const pbdate_& d = day.isNull() ? pbdate_{} : day.dateValue();
  int hour = static_cast<int>(below(24));
  int minute = static_cast<int>(below(60));
  double second = pick(kSeconds);
  if (chance(0.1)) {  // no time of day at all
    hour = chance(0.5) ? 24 : -1;
    minute = chance(0.5) ? 60 : -1;
    second = chance(0.5) ? 60.0 : -0.5;
  }
  return host::Value::dateTime(d.year, d.month, d.day, hour, minute, second);
}

host::Value HostileValues::textArray() {
  if (chance(0.1)) return host::Value::null(host::ValueType::StringArray);
  static const std::vector<std::size_t> kSizes = {0, 1, 2, 3, 7, 100, 1000};
  std::vector<std::string> items(pick(kSizes));
  for (std::string& item : items) item = shortText();
  return host::Value::stringArray(std::move(items));
}

std::optional<host::Value> HostileValues::of(const std::string& declaredType, bool isArray) {
  const std::string type = platform::lowerAscii(declaredType);
  if (isArray) {
    if (type == "string") return textArray();
    return std::nullopt;
  }
  if (type == "string") {
    std::optional<std::string> t = text();
    return t ? host::Value::string(std::move(*t)) : host::Value::null(host::ValueType::String);
  }
  if (type == "integer" || type == "int") return int16();
  if (type == "long") return long32();
  if (type == "ulong") return ulong32();
  if (type == "boolean") return boolean();
  if (type == "decimal") return decimal();
  if (type == "date") return date();
  if (type == "datetime") return dateTime();
  return std::nullopt;  // powerobject comes from the run's host objects
}

}  // namespace property
