// n_cst_dbfunc, stock quantity statements: composes the insert that creates
// missing stock rows and the update that adds or takes a document's summed
// quantities. Nothing is sent; both texts go back by reference, insert first.
#include <optional>
#include <string>

#include "extension/db/db_connection.h"
#include "extension/db/n_cst_dbfunc.h"
#include "extension/frame/message_box.h"
#include "extension/general/text_rules.h"

namespace nx {
namespace {

// The client runs these texts as they are, so values go in unescaped.
std::string storeInsert(const std::string& t, const std::string& g, const std::string& s,
                        const std::string& w) {
  return " insert into stocknum(goo_code,stocknum,stockcode) \r\n  select " + g + ",0,'" + s +
         "' \r\n" + " from " + t + "\r\n" + "  where " + w + "\r\n" +
         "  and not exists (select * from stocknum where stocknum.goo_code=" + t + "." + g +
         "\r\n" + " and stocknum.stockcode='" + s + "' ) " + "\r\n" + " group by " + g;
}

std::string storeUpdate(const std::string& t, const std::string& g, const std::string& q,
                        const std::string& s, const std::string& w, const char* sign) {
  return "update stocknum , \r\n ( select " + g + " as goo_code, sum(" + q + ") as num  \r\n " +
         "  from " + t + " where " + w + " group by " + g + ") as tt  \r\n " +
         "  set stocknum=stocknum.stocknum" + sign + "ifnull(tt.num,0)   \r\n " +
         " where stocknum.goo_code=tt.goo_code and stocknum.stockcode='" + s + "'";
}

std::string detailInsert(const std::string& t, const std::string& g, const std::string& sc,
                         const std::string& w) {
  return "insert into stocknum(goo_code,stocknum,stockcode) \r\nselect " + g + ",0," + sc +
         " from " + t + " where " + w +
         "  and not exists (select * from stocknum where stocknum.goo_code=" + g +
         " and stocknum.stockcode=" + sc + " ) " + " group by " + g + "," + sc;
}

std::string detailUpdate(const std::string& t, const std::string& g, const std::string& q,
                         const std::string& sc, const std::string& w, const char* sign) {
  return "update stocknum , \r\n ( select " + g + " as goo_code, " + sc + " as stockcode" +
         ",sum(" + q + ") as num  \r\n " + "  from " + t + " where " + w + " group by " + g + "," +
         sc + ") as tt  \r\n " + "  set stocknum=stocknum.stocknum" + sign +
         "ifnull(tt.num,0) \r\n " +
         " where stocknum.goo_code=tt.goo_code and stocknum.stockcode=tt.stockcode";
}

std::string positionInsert(const std::string& bt, const std::string& bn) {
  return "insert into stockposnum(posno,goo_code,stockcode,stocknum) \r\n select "
         "posno,goo_code,stockcode,0  from stockpos  where billtable='" +
         bt + "' and billNO='" + bn +
         "'  and not exists (select * from stockposnum where "
         "stockpos.goo_code=stockposnum.goo_code    and stockpos.stockcode=stockposnum.stockcode "
         "and stockpos.posno=stockposnum.posno   and billtable='" +
         bt + "'  and billNO='" + bn + "' )  group by posno,goo_code,stockcode ";
}

// The position update's own form (the set part before the derived table,
// isnull) is SQL Server's; MySQL refuses it, so on a MySQL connection the
// same update is written the way the quantity updates are.
std::string positionUpdate(const std::string& bt, const std::string& bn, const char* sign) {
  const std::string derived =
      "( select goo_code,posno,stockcode,sum(num) as num  \r\n   from stockpos where "
      "billtable='" +
      bt + "' and billNO='" + bn + "' group by goo_code,posno,stockcode) as tt  \r\n ";
  const std::string match =
      " where stockposnum.goo_code=tt.goo_code and stockposnum.stockcode=tt.stockcode "
      " and   stockposnum.posno=tt.posno ";
  if (db::databaseType() == "mysql") {
    return " update stockposnum , \r\n " + derived + " set stocknum=stockposnum.stocknum" + sign +
           "ifnull(tt.num,0)   \r\n " + match;
  }
  return std::string(" update stockposnum set stocknum=stockposnum.stocknum") + sign +
         "isnull(tt.num,0) from \r\n " + derived + match;
}

// A null flag counts as false: the statements then take away.
const char* signOf(const Call& call, int position) {
  return call.boolean(position).value_or(false) ? "+" : "-";
}

}  // namespace

void n_cst_dbfunc::of_updatestocknum(const Call& call) {
  const std::optional<std::string> table = call.text(0);
  const std::optional<std::string> goods = call.text(1);
  const std::optional<std::string> quantity = call.text(2);
  const std::optional<std::string> store = call.text(3);
  const std::optional<std::string> condition = call.text(4);
  call.returnText("");
  if (!table || !goods || !quantity || !store || !condition) return;
  const std::string where(trimSpace(*condition));
  const std::string code(trimSpace(*store));
  // An (almost) empty condition would touch the whole stock table.
  if (trimmedLength(where) < 3) {
    showMessage(call.session(), "show", "update " + *table + "出错, as_where 条件不足",
                PBMessageIcon::Error);
    return;
  }
  if (code.empty()) {
    showMessage(call.session(), "show", "修改库存时，仓库代码不能为空", PBMessageIcon::Error);
    return;
  }
  call.setText(6, storeInsert(*table, *goods, code, where));
  call.setText(7, storeUpdate(*table, *goods, *quantity, code, where, signOf(call, 5)));
}

void n_cst_dbfunc::of_updatestocknumbydetail(const Call& call) {
  const std::optional<std::string> table = call.text(0);
  const std::optional<std::string> goods = call.text(1);
  const std::optional<std::string> quantity = call.text(2);
  const std::optional<std::string> storeColumn = call.text(3);
  const std::optional<std::string> condition = call.text(4);
  call.returnText("");
  if (!table || !goods || !quantity || !storeColumn || !condition) return;
  call.setText(6, detailInsert(*table, *goods, *storeColumn, *condition));
  call.setText(7,
               detailUpdate(*table, *goods, *quantity, *storeColumn, *condition, signOf(call, 5)));
}

void n_cst_dbfunc::of_updatestockpos(const Call& call) {
  const std::optional<std::string> billTable = call.text(0);
  const std::optional<std::string> billNo = call.text(1);
  call.returnText("");
  if (!billTable || !billNo) return;
  call.setText(3, positionInsert(*billTable, *billNo));
  call.setText(4, positionUpdate(*billTable, *billNo, signOf(call, 2)));
}

}  // namespace nx
