// A Gregorian calendar date with the arithmetic of the global date functions.
// A failed setYmd leaves error markers in the fields (-2 bad year, month or day
// below 1; -3 a day beyond its month) instead of raising anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nx {

struct CalendarDate {
  std::int32_t year = 0;
  std::int32_t month = 0;
  std::int32_t day = 0;
  std::int32_t leap = 0;
  std::int32_t dayOfYear = 0;
  std::string text;  // the last text handed to parse

  // 1 when the date is valid; -1 with the error markers set otherwise.
  int setYmd(std::int32_t y, std::int32_t m, std::int32_t d);
  // "yyyy-mm-dd", "yyyy/m/d hh:mm:ss", "yyyymmdd", ...; always 1, the
  // outcome of the validation is in the fields.
  int parse(std::string_view value);
  // year, month and day move; leap and dayOfYear keep the starting date's.
  int addDays(std::int32_t n);
  // year and month move; the day stays, even where the month is shorter.
  int addMonths(std::int32_t n);
  // Uses the leap field, not the current year.
  int setLastDayOfMonth();
  std::string formatYearMonth() const;  // "%4d%02d"
};

bool isLeapYear(std::int64_t year);
// 0 for a month outside 1 to 12.
int monthLength(int month, bool leap);

}  // namespace nx
