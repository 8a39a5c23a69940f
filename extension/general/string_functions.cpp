// The global string, number and date functions: each reads its arguments
// through Call, applies a rule of text_rules / rmb_capital / CalendarDate and
// writes the result. A null argument takes the function's null path.
#include "extension/general/string_functions.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "extension/frame/calendar_date.h"
#include "extension/general/rmb_capital.h"
#include "extension/general/text_rules.h"
#include "platform/gbk_text.h"
#include "platform/paths.h"

namespace nx {
namespace {

// For the texts of functions without a null path, and those where null counts
// as empty: the host would hand a null on unchanged, which we must not crash on.
std::string textOrEmpty(const Call& call, int position) {
  return call.text(position).value_or(std::string());
}

// A null count reads 0, as the host's integer of a null value.
int integerOrZero(const Call& call, int position) { return call.integer(position).value_or(0); }

pblong clampLong(std::size_t n) {
  return static_cast<pblong>(std::min<std::size_t>(n, std::numeric_limits<pblong>::max()));
}

void replaceWith(const Call& call, bool onlyFirst) {
  const auto text = call.text(0);
  const auto from = call.text(1);
  const auto to = call.text(2);
  if (!text || !from || !to) {
    call.returnLong(0);
    return;
  }
  call.setText(0, onlyFirst ? replaceFirst(*text, *from, *to) : replaceAll(*text, *from, *to));
  call.returnLong(1);
}

// Date arguments arrive as the host's "yyyy-mm-dd[ hh:mm:ss]" text.
CalendarDate parsed(const std::string& text) {
  CalendarDate date;
  date.parse(text);
  return date;
}

}  // namespace

void gf_addstring(const Call& call) {
  call.setText(0, appendLine(textOrEmpty(call, 0), textOrEmpty(call, 1)));
  call.returnInt(1);
}

void gf_addstring_and(const Call& call) {
  call.setText(0, appendCondition(textOrEmpty(call, 0), textOrEmpty(call, 1)));
  call.returnInt(1);
}

void gf_addstring_list(const Call& call) {
  call.setText(
      0, appendWithSeparator(textOrEmpty(call, 0), textOrEmpty(call, 1), textOrEmpty(call, 2)));
  call.returnInt(1);
}

// Declared boolean, yet a text is delivered, as the client expects.
void gf_addline(const Call& call) {
  call.returnText(textOrEmpty(call, 0) + "\r\n" + textOrEmpty(call, 1));
}

void trimlength(const Call& call) {
  const auto text = call.text(0);
  call.returnLong(text ? clampLong(trimmedLength(*text)) : 0);
}

void gf_trim(const Call& call) { call.returnText(trimWhite(textOrEmpty(call, 0))); }

void gf_del_rem(const Call& call) {
  const auto sql = call.text(0);
  if (sql) call.returnText(removeComments(*sql));
}

// A null flag reads as false (no null path of its own).
void gf_booltochar(const Call& call) {
  call.returnText(call.boolean(0).value_or(false) ? "Y" : "N");
}

void gf_chartobool(const Call& call) {
  const auto text = call.text(0);
  call.returnBool(text && isTrueWord(*text));
}

// True when the texts differ.
void gf_stricmp(const Call& call) {
  call.returnBool(!platform::equalsIgnoreCase(textOrEmpty(call, 0), textOrEmpty(call, 1)));
}

void gf_getfilename(const Call& call) {
  const std::string name = textOrEmpty(call, 0);
  const std::size_t separator = platform::lastPathSeparator(name);
  call.returnText(separator == std::string::npos ? name : name.substr(separator + 1));
}

void gf_getfilepath(const Call& call) {
  const std::string name = textOrEmpty(call, 0);
  const std::size_t separator = platform::lastPathSeparator(name);
  call.returnText(separator == std::string::npos ? name : name.substr(0, separator + 1));
}

void gf_getpartlikes(const Call& call) {
  const auto value = call.text(0);
  const auto column = call.text(1);
  call.returnText(value && column ? wordCondition(*value, *column) : std::string());
}

void gf_is_operater(const Call& call) { call.returnText(acceptedOperator(textOrEmpty(call, 0))); }

void gf_readcard_userpwd(const Call& call) { call.returnText(keepCardBytes(textOrEmpty(call, 0))); }

void gf_iswhitechar(const Call& call) {
  const auto text = call.text(0);
  call.returnBool(!text || isAllWhite(*text));
}

void gf_replaceall(const Call& call) { replaceWith(call, false); }

void gf_replace(const Call& call) { replaceWith(call, true); }

void gf_getsubstring(const Call& call) {
  const auto text = call.text(0);
  const auto separator = call.text(1);
  if (!text || !separator || !call.isArray(2)) {
    call.returnInt(-1);
    return;
  }
  const std::vector<std::string> items = splitItems(*text, *separator);
  if (!items.empty()) call.setTextArray(2, items);
  // The integer result cannot carry more items; the array holds them all.
  call.returnInt(static_cast<pbint>(std::min<std::size_t>(items.size(), 32767)));
}

// A null amount reads as the empty text, which is worth 元整 like 0.
void gf_rmb_c(const Call& call) {
  call.returnText(capitalAmount(call.decimalText(0).value_or(std::string())));
}

void gf_spectonum(const Call& call) {
  const auto measure = call.text(0);
  call.returnDecimal(std::to_string(measure ? specificationValue(*measure) : 0));
}

void gf_getmonthfirstday(const Call& call) {
  const auto text = call.dateText(0);
  if (!text) return;
  const CalendarDate date = parsed(*text);
  call.returnDate(0, date.year, date.month, 1);
}

void gf_getmonthlastday(const Call& call) {
  const auto text = call.dateText(0);
  if (!text) return;
  CalendarDate date = parsed(*text);
  date.setLastDayOfMonth();
  call.returnDate(0, date.year, date.month, date.day);
}

void gf_relativeday_c(const Call& call) {
  const auto text = call.dateTimeText(0);
  if (!text) return;
  CalendarDate date = parsed(*text);
  date.addDays(integerOrZero(call, 1));
  call.returnDateTime(0, date.year, date.month, date.day, 0, 0, 0);
}

void gf_lastmonth(const Call& call) {
  const auto month = call.text(0);
  call.returnText(month ? formatPeriod(previousMonth(readPeriod(*month))) : "000000");
}

void gf_relativedatetimemonth_c(const Call& call) {
  const auto text = call.dateTimeText(0);
  if (!text) return;
  CalendarDate date = parsed(*text);
  date.addMonths(integerOrZero(call, 1));
  call.returnText(date.formatYearMonth());
}

void gf_relativemonthbyperiod(const Call& call) {
  const auto period = call.text(0);
  if (!period) return;
  call.returnText(formatPeriod(movePeriod(readPeriod(*period), integerOrZero(call, 1))));
}

// Declared integer, yet the date-time is delivered, as the client expects.
// A null first argument sets nothing (returnDateTime's null path).
void gf_intToDateTime(const Call& call) {
  call.returnDateTime(0, integerOrZero(call, 1), integerOrZero(call, 2), integerOrZero(call, 3), 0,
                      0, 0);
}

}  // namespace nx
