// CalendarDate: the forms parse accepts, the error markers of setYmd, and the
// day, month and last-day arithmetic of the date functions.
#include "extension/frame/calendar_date.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using nx::CalendarDate;

struct Fields {
  int year, month, day;
};

CalendarDate dateOf(int year, int month, int day) {
  CalendarDate date;
  EXPECT_EQ(date.setYmd(year, month, day), 1);
  return date;
}

void expectFields(const CalendarDate& date, const Fields& expected) {
  EXPECT_EQ(date.year, expected.year);
  EXPECT_EQ(date.month, expected.month);
  EXPECT_EQ(date.day, expected.day);
}

TEST(CalendarDateParse, DashesSlashesTimeOfDayAndEightDigitsAgree) {
  const std::vector<std::pair<std::string, Fields>> rows = {
      {"2024-03-05", {2024, 3, 5}},
      {"2024/3/5 13:45:00", {2024, 3, 5}},
      {"2024-03-05 00:00:00", {2024, 3, 5}},
      {"20240305", {2024, 3, 5}},
      {" 2024-3-5", {2024, 3, 5}},
      {"2024/3/7-x", {2024, 3, 7}},  // "/" wins over "-"
      {"1-2-3", {1, 2, 3}},
      {"2000-02-29", {2000, 2, 29}},
  };
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(text);
    CalendarDate date;
    EXPECT_EQ(date.parse(text), 1);
    expectFields(date, expected);
    EXPECT_EQ(date.text, text);
  }
}

TEST(CalendarDateParse, InvalidDatesLeaveErrorMarkers) {
  const std::vector<std::pair<std::string, int>> rows = {
      {"2024-02-30", -3}, {"2023-02-29", -3}, {"1900-02-29", -3}, {"2024-04-31", -3},
      {"2024-13-01", -2}, {"2024-00-10", -2}, {"2024-01-00", -2}, {"abc", -2},
      {"2024-05", -2},  // no second separator: the month takes the rest, the day reads 0
      {"", -2},
  };
  for (const auto& [text, marker] : rows) {
    SCOPED_TRACE(text);
    CalendarDate date;
    EXPECT_EQ(date.parse(text), 1);
    expectFields(date, {marker, marker, marker});
    EXPECT_EQ(date.dayOfYear, marker);
  }
}

TEST(CalendarDateSetYmd, LeapFieldAfterFailure) {
  CalendarDate date = dateOf(2024, 3, 1);
  EXPECT_EQ(date.setYmd(2024, 13, 1), -1);
  EXPECT_EQ(date.leap, 1);  // -2 keeps the earlier leap
  EXPECT_EQ(date.setYmd(-1, 1, 1), -1);
  EXPECT_EQ(date.year, -2);
  EXPECT_EQ(date.setYmd(2023, 2, 29), -1);
  EXPECT_EQ(date.leap, -3);
}

TEST(CalendarDateSetYmd, LeapAndDayOfYear) {
  struct Row {
    Fields date;
    int leap, dayOfYear;
  };
  const std::vector<Row> rows = {
      {{2024, 1, 1}, 1, 1},     {{2024, 3, 1}, 1, 61},    {{2023, 3, 1}, 0, 60},
      {{2024, 12, 31}, 1, 366}, {{2023, 12, 31}, 0, 365}, {{2000, 2, 29}, 1, 60},
      {{1900, 3, 1}, 0, 60},    {{0, 1, 1}, 1, 1},
  };
  for (const Row& row : rows) {
    CalendarDate date = dateOf(row.date.year, row.date.month, row.date.day);
    EXPECT_EQ(date.leap, row.leap) << row.date.year;
    EXPECT_EQ(date.dayOfYear, row.dayOfYear) << row.date.year << "-" << row.date.month;
  }
}

TEST(CalendarDateAddDays, CrossesMonthAndYearEnds) {
  struct Row {
    Fields start;
    int days;
    Fields expected;
  };
  const std::vector<Row> rows = {
      {{2024, 12, 30}, 1, {2024, 12, 31}},  {{2024, 12, 31}, 1, {2025, 1, 1}},
      {{2024, 1, 31}, 30, {2024, 3, 1}},    {{2024, 3, 1}, -1, {2024, 2, 29}},
      {{2023, 3, 1}, -1, {2023, 2, 28}},    {{2024, 5, 5}, 0, {2024, 5, 5}},
      {{2024, 1, 1}, -366, {2022, 12, 31}}, {{2000, 1, 1}, 146097, {2400, 1, 1}},
      {{1900, 2, 28}, 1, {1900, 3, 1}},     {{1, 1, 1}, -1, {0, 12, 31}},
  };
  for (const Row& row : rows) {
    CalendarDate date = dateOf(row.start.year, row.start.month, row.start.day);
    EXPECT_EQ(date.addDays(row.days), 1);
    expectFields(date, row.expected);
  }
}

TEST(CalendarDateAddDays, LeapAndDayOfYearKeepTheStartingDate) {
  CalendarDate date = dateOf(2024, 12, 31);
  date.addDays(1);
  EXPECT_EQ(date.leap, 1);
  EXPECT_EQ(date.dayOfYear, 366);
}

TEST(CalendarDateAddMonths, MovesYearAndMonthKeepingTheDay) {
  struct Row {
    Fields start;
    int months;
    Fields expected;
  };
  const std::vector<Row> rows = {
      {{2024, 1, 15}, -13, {2022, 12, 15}}, {{2024, 1, 31}, 1, {2024, 2, 31}},
      {{2024, 12, 1}, 1, {2025, 1, 1}},     {{2024, 5, 1}, -5, {2023, 12, 1}},
      {{2024, 5, 1}, 12, {2025, 5, 1}},     {{2024, 5, 1}, 0, {2024, 5, 1}},
      {{2024, 12, 1}, -12, {2023, 12, 1}},  {{2024, 3, 1}, 22, {2026, 1, 1}},
      {{2024, 3, 1}, -27, {2021, 12, 1}},
  };
  for (const Row& row : rows) {
    CalendarDate date = dateOf(row.start.year, row.start.month, row.start.day);
    EXPECT_EQ(date.addMonths(row.months), 1);
    expectFields(date, row.expected);
  }
}

TEST(CalendarDateSetLastDayOfMonth, UsesTheGregorianLeapRule) {
  const std::vector<std::pair<Fields, int>> rows = {
      {{2024, 2, 1}, 29}, {{1900, 2, 1}, 28},  {{2000, 2, 1}, 29},
      {{2023, 4, 1}, 30}, {{2023, 12, 1}, 31}, {{2023, 2, 28}, 28},
  };
  for (const auto& [start, last] : rows) {
    CalendarDate date = dateOf(start.year, start.month, start.day);
    EXPECT_EQ(date.setLastDayOfMonth(), 1);
    EXPECT_EQ(date.day, last) << start.year << "-" << start.month;
  }
}

TEST(CalendarDateFormatYearMonth, FourPlacesThenTwoDigits) {
  const std::vector<std::pair<Fields, std::string>> rows = {
      {{2024, 3, 1}, "202403"},
      {{2024, 12, 1}, "202412"},
      {{5, 1, 1}, "   501"},
      {{12345, 6, 1}, "1234506"},
  };
  for (const auto& [fields, expected] : rows)
    EXPECT_EQ(dateOf(fields.year, fields.month, fields.day).formatYearMonth(), expected);
}

}  // namespace
