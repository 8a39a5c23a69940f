// n_cst_dbfunc, settings tables and document numbering: system and user
// settings, the data window per window, and the three counters. Every quoted
// text goes through the connection's escaping; counters are drawn under a row lock.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "extension/db/db_connection.h"
#include "extension/db/n_cst_dbfunc.h"

namespace nx {
namespace {

constexpr unsigned int kDuplicateKey = 1062;
constexpr unsigned int kLockWaitTimeout = 1205;
constexpr unsigned int kDeadlock = 1213;
// Contention only arises while a counter's first row is being created, so a
// few attempts settle it; the bound keeps a broken server from looping forever.
constexpr int kAttempts = 10;
constexpr std::int64_t kCyclingLimit = 30000;

// Between quotes only escaped text may go, or a value could end the literal.
std::string q(std::string_view text) { return db::escape(text); }

std::string trimTrailingSpace(std::string value) {
  while (!value.empty()) {
    const unsigned char last = static_cast<unsigned char>(value.back());
    if (last != 32 && (last < 9 || last > 13)) break;
    value.pop_back();
  }
  return value;
}

// The three statements of one write variant, already composed.
struct WriteStatements {
  std::string exists;
  std::string update;
  std::string insert;
  std::string remove;
};

// Update, insert, delete or nothing, as the value and the existing rows decide;
// 1 done, -1 when the statement fails (rolled back).
int writeSetting(const WriteStatements& s, bool valueEmpty) {
  const bool found = db::query(s.exists).rowCount() > 0;
  if (valueEmpty && !found) return 1;
  const std::string& statement = valueEmpty ? s.remove : (found ? s.update : s.insert);
  db::begin();
  if (db::execute(statement) < 0) {
    db::rollback();
    return -1;
  }
  db::commit();
  return 1;
}

bool retryable(unsigned int error) {
  return error == kDeadlock || error == kLockWaitTimeout || error == kDuplicateKey;
}

// How one counter is read and advanced: the reading query (locked here), the
// statement for an existing counter given the new stored value, and the
// statement that creates it.
struct Counter {
  std::string read;
  std::string column;
  std::string (*advance)(const Counter&, std::int64_t stored);
  std::string insert;
  std::string key1;  // escaped texts the advance statement needs
  std::string key2;
};

// Reads and writes the counter in one transaction that holds the row lock, so
// concurrent clients are served one after another. A first insert that meets
// a concurrent one fails on the key (or deadlocks) and is retried as an update.
// `next` maps the stored value to {new stored value, result}.
template <typename Next>
std::int64_t drawFromCounter(const Counter& counter, std::int64_t insertResult, Next next) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    db::begin();
    const db::ResultCursor row = db::query(counter.read + " for update");
    if (const unsigned int error = db::lastErrorNumber(); error != 0) {
      db::rollback();
      if (retryable(error)) continue;
      return -1;
    }
    std::string statement;
    std::int64_t result = insertResult;
    if (row.rowCount() > 0) {
      const std::int64_t current = row.wholeNumber(counter.column, 0);
      const auto [stored, answer] = next(current);
      statement = counter.advance(counter, stored);
      result = answer;
    } else {
      statement = counter.insert;
    }
    if (db::execute(statement) < 0) {
      const unsigned int error = db::lastErrorNumber();
      db::rollback();
      if (retryable(error)) continue;
      return -1;
    }
    if (db::commit() != 0) {
      const unsigned int error = db::lastErrorNumber();
      db::rollback();
      if (retryable(error)) continue;
      return -1;
    }
    return result;
  }
  return -1;
}

}  // namespace

void n_cst_dbfunc::of_GetMySysSet(const Call& call) {
  const std::optional<std::string> type = call.text(0);
  const std::optional<std::string> name = call.text(1);
  if (!type || !name || !db::connected()) {
    call.returnText("");
    return;
  }
  const std::string sql = "select Itemvalue from mysysset where itemtype='" + q(*type) +
                          "' and itemName='" + q(*name) + "'";
  call.returnText(db::query(sql).value("itemvalue", ""));
}

void n_cst_dbfunc::of_getusersysset(const Call& call) {
  const std::optional<std::string> type = call.text(0);
  const std::optional<std::string> name = call.text(1);
  const std::optional<std::string> user = call.text(2);
  if (!type || !name || !user) {
    call.returnText("");
    return;
  }
  const std::string sql = "select Itemvalue from usersysset where itemtype='" + q(*type) +
                          "' and itemName='" + q(*name) + "'" + " and userName='" + q(*user) + "'";
  call.returnText(db::query(sql).value("itemvalue", ""));
}

void n_cst_dbfunc::of_SetMySysSet(const Call& call) {
  const std::optional<std::string> type = call.text(0);
  const std::optional<std::string> name = call.text(1);
  const std::optional<std::string> value = call.text(2);
  if (!type || !name || !value || !db::connected()) {
    call.returnInt(-1);
    return;
  }
  // The escaping doubles each backslash, which is the doubling this method owes.
  const std::string v = trimTrailingSpace(*value);
  const std::string t = q(*type), n = q(*name), ev = q(v);
  const WriteStatements s{
      "select ItemType,itemName,Itemvalue,Memo from mysysset where itemtype='" + t +
          "' and itemName='" + n + "'",
      " Update mysysset set Itemvalue='" + ev + "' \r\n " + " where itemtype='" + t +
          "' and itemName='" + n + "' ",
      " Insert into mysysset(itemtype,itemName,Itemvalue) \r\n values('" + t + "','" + n + "','" +
          ev + "')",
      "Delete from mysysset where itemtype='" + t + "' and itemName='" + n + "'"};
  call.returnInt(static_cast<pbint>(writeSetting(s, v.empty())));
}

void n_cst_dbfunc::of_setmysysset_memo(const Call& call) {
  const std::optional<std::string> type = call.text(0);
  const std::optional<std::string> name = call.text(1);
  const std::optional<std::string> value = call.text(2);
  const std::optional<std::string> memo = call.text(3);
  if (!type || !name || !value || !memo) {
    call.returnInt(-1);
    return;
  }
  const std::string v = trimTrailingSpace(*value);
  const std::string t = q(*type), n = q(*name), ev = q(v), m = q(*memo);
  const WriteStatements s{
      "select ItemType,itemName,Itemvalue,Memo from mysysset where itemtype='" + t +
          "' and itemName='" + n + "'",
      "Update mysysset set Itemvalue='" + ev + "',Memo='" + m + "' where itemtype='" + t +
          "' and itemName='" + n + "'",
      "Insert into mysysset(ItemType,itemName,Itemvalue,Memo)values('" + t + "','" + n + "','" +
          ev + "','" + m + "')",
      "Delete from mysysset where itemtype='" + t + "' and itemName='" + n + "'"};
  call.returnInt(static_cast<pbint>(writeSetting(s, v.empty())));
}

void n_cst_dbfunc::of_Setusersysset(const Call& call) {
  const std::optional<std::string> type = call.text(0);
  const std::optional<std::string> name = call.text(1);
  const std::optional<std::string> user = call.text(2);
  const std::optional<std::string> value = call.text(3);
  if (!type || !name || !user || !value) return;
  const std::string t = q(*type), n = q(*name), u = q(*user), v = q(*value);
  const WriteStatements s{
      "select itemtype,itemName,Itemvalue,userName from usersysset where itemtype='" + t +
          "' and itemName='" + n + "'" + " and userName='" + u + "'",
      " Update usersysset set Itemvalue='" + v + "' \r\n " + " where itemtype='" + t +
          "' and itemName='" + n + "' and userName='" + u + "'",
      " Insert into usersysset(itemtype,itemName,userName,Itemvalue) \r\n values('" + t + "','" +
          n + "','" + u + "','" + v + "')",
      "delete from usersysset where itemtype='" + t + "' and itemName='" + n + "'" +
          " and userName='" + u + "'"};
  call.returnInt(static_cast<pbint>(writeSetting(s, value->empty())));
}

void n_cst_dbfunc::of_SetMyWindw(const Call& call) {
  const std::optional<std::string> window = call.text(0);
  const std::optional<std::string> dw = call.text(1);
  const std::optional<std::string> object = call.text(2);
  if (!window || !dw || !object) {
    call.returnInt(-1);
    return;
  }
  const std::string o = trimTrailingSpace(*object);
  const std::string w = q(*window), d = q(*dw), eo = q(o);
  const WriteStatements s{
      "select winName,dwName,dataobject,isSelectRep,seq from mywinDw where winName='" + w +
          "' and dwName='" + d + "'",
      " Update mywinDw set dataobject='" + eo + "'" + " where winName='" + w + "' and dwName='" +
          d + "'",
      " Insert into mywinDw(winName,dwName,dataobject)  values('" + w + "','" + d + "','" + eo +
          "')",
      "Delete from mywinDw  where winName='" + w + "' and dwName='" + d + "'"};
  call.returnInt(static_cast<pbint>(writeSetting(s, o.empty())));
}

void n_cst_dbfunc::of_getmywindw(const Call& call) {
  const std::optional<std::string> window = call.text(0);
  const std::optional<std::string> dw = call.text(1);
  if (!window) return;
  if (!dw) {
    call.returnText("");
    return;
  }
  const std::string sql = "select dataobject from mywindw where winName='" + q(*window) + "' " +
                          " and dwName='" + q(*dw) + "'";
  call.returnText(db::query(sql).value("dataobject", ""));
}

void n_cst_dbfunc::of_findnextid(const Call& call) {
  const std::optional<std::string> bill = call.text(0);
  const std::optional<std::string> date = call.text(1);
  const std::optional<pbint> count = call.integer(2);
  if (!bill || !date || !count || *count < 1) {
    call.returnLong(-1);
    return;
  }
  const std::string b = q(*bill), dt = q(*date);
  const Counter counter{
      "select date,nowNo,billname from paramter where date='" + dt + "' and billName='" + b + "'",
      "nowNo",
      [](const Counter& c, std::int64_t stored) {
        return "update paramter set nowNo=" + std::to_string(stored) + " where date='" + c.key1 +
               "' and billName='" + c.key2 + "'";
      },
      "insert into paramter(date,billName,nowNo) values('" + dt + "','" + b + "'," +
          std::to_string(*count) + ")",
      dt,
      b};
  const std::int64_t q32 = *count;
  call.returnLong(static_cast<pblong>(drawFromCounter(counter, 1, [q32](std::int64_t k) {
    return std::pair<std::int64_t, std::int64_t>{k + q32, k + 1};
  })));
}

void n_cst_dbfunc::of_findnext_continueid(const Call& call) {
  const std::optional<std::string> bill = call.text(0);
  const std::optional<pbint> count = call.integer(1);
  if (!bill || !count || *count < 1) {
    call.returnLong(-1);
    return;
  }
  const std::string b = q(*bill);
  const Counter counter{"select nowNo,billname from paramtercontinue where billName='" + b + "'",
                        "nowNO",
                        [](const Counter& c, std::int64_t stored) {
                          return "update paramtercontinue set nowNo=" + std::to_string(stored) +
                                 " where billName='" + c.key1 + "'";
                        },
                        "insert into paramtercontinue(billName,nowNo) values( '" + b + "'," +
                            std::to_string(*count) + ")",
                        b,
                        ""};
  const std::int64_t q32 = *count;
  call.returnLong(static_cast<pblong>(drawFromCounter(counter, 1, [q32](std::int64_t k) {
    return std::pair<std::int64_t, std::int64_t>{k + q32, k + 1};
  })));
}

void n_cst_dbfunc::of_getspid(const Call& call) {
  const Counter counter{"Select Max(maxid) as maxid from spid ",
                        "maxid",
                        [](const Counter&, std::int64_t stored) {
                          char statement[64];
                          std::snprintf(statement, sizeof statement, "Update spid set maxid=%d  ",
                                        static_cast<int>(stored));
                          return std::string(statement);
                        },
                        "Insert into spid(maxid) values(1) ",
                        "",
                        ""};
  call.returnLong(static_cast<pblong>(drawFromCounter(counter, 1, [](std::int64_t v) {
    const std::int64_t next = (v > kCyclingLimit || v <= 0) ? 1 : v + 1;
    return std::pair<std::int64_t, std::int64_t>{next, next};
  })));
}

}  // namespace nx
