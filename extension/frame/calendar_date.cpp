// Calendar arithmetic on proleptic Gregorian day numbers (days since
// 1970-01-01), so month and year ends need no special cases.
#include "extension/frame/calendar_date.h"

#include "extension/general/text_rules.h"

namespace nx {
namespace {

constexpr int kMonthLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// H. Hinnant's days_from_civil; month 1 to 12, any year, day taken linearly.
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, std::int64_t& m, std::int64_t& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

std::string_view piece(std::string_view text, std::size_t from, std::size_t count) {
  return from < text.size() ? text.substr(from, count) : std::string_view();
}

void setMarker(CalendarDate& date, std::int32_t marker) {
  date.year = date.month = date.day = date.dayOfYear = marker;
}

}  // namespace

bool isLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int monthLength(int month, bool leap) {
  if (month < 1 || month > 12) return 0;
  return month == 2 && leap ? 29 : kMonthLengths[month - 1];
}

int CalendarDate::setYmd(std::int32_t y, std::int32_t m, std::int32_t d) {
  if (y < 0 || m < 1 || m > 12 || d < 1) {
    setMarker(*this, -2);
    return -1;
  }
  const bool isLeap = isLeapYear(y);
  if (d > monthLength(m, isLeap)) {
    setMarker(*this, -3);
    leap = -3;
    return -1;
  }
  year = y;
  month = m;
  day = d;
  leap = isLeap ? 1 : 0;
  dayOfYear = d;
  for (int before = 1; before < m; ++before) dayOfYear += monthLength(before, isLeap);
  return 1;
}

int CalendarDate::parse(std::string_view value) {
  text = std::string(value);
  // A separator counts only after the first character, so a leading '-' is a
  // sign; "/" wins over "-".
  char separator = 0;
  if (value.find('-', 1) != std::string_view::npos) separator = '-';
  if (value.find('/', 1) != std::string_view::npos) separator = '/';

  std::int32_t y = 0, m = 0, d = 0;
  if (separator != 0) {
    const std::size_t first = value.find(separator, 1);
    y = leadingInteger(value.substr(0, first));
    std::string_view rest = value.substr(first + 1);
    const std::size_t second = rest.find(separator);
    // Without a second separator the month takes the rest and the day reads 0.
    m = leadingInteger(rest.substr(0, second));
    rest = second == std::string_view::npos ? std::string_view() : rest.substr(second + 1);
    const std::size_t blank = rest.find(' ', 1);
    d = leadingInteger(rest.substr(0, blank));
  } else {
    y = leadingInteger(piece(value, 0, 4));
    m = leadingInteger(piece(value, 4, 2));
    d = leadingInteger(piece(value, 6, 2));
  }
  setYmd(y, m, d);
  return 1;
}

int CalendarDate::addDays(std::int32_t n) {
  if (n == 0) return 1;
  // Fields that are not a valid date still give a defined result: the month is
  // carried into the year and the day counted on from day 1.
  std::int64_t monthIndex = static_cast<std::int64_t>(month) - 1;
  std::int64_t y = year + (monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12);
  monthIndex -= (y - year) * 12;
  const std::int64_t serial =
      daysFromCivil(y, monthIndex + 1, 1) + (static_cast<std::int64_t>(day) - 1) + n;
  std::int64_t m = 0, d = 0;
  civilFromDays(serial, y, m, d);
  year = static_cast<std::int32_t>(y);
  month = static_cast<std::int32_t>(m);
  day = static_cast<std::int32_t>(d);
  return 1;
}

int CalendarDate::addMonths(std::int32_t n) {
  std::int64_t y = static_cast<std::int64_t>(year) + n / 12;
  std::int64_t m = static_cast<std::int64_t>(month) + n % 12;
  if (n <= 0) {
    if (m <= 0) {
      y -= 1;
      m += 12;
    }
  } else if (m > 12) {
    y += 1;
    m -= 12;
  }
  year = static_cast<std::int32_t>(y);
  month = static_cast<std::int32_t>(m);
  return 1;
}

int CalendarDate::setLastDayOfMonth() {
  const int length = monthLength(month, leap == 1);
  if (length != 0) day = length;  // an invalid month keeps its day
  return 1;
}

std::string CalendarDate::formatYearMonth() const { return formatPeriod(Period{year, month}); }

}  // namespace nx
