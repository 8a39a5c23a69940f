// The date functions through the host: dates go in as host values (read back
// by the library as "yyyy-mm-dd[ hh:mm:ss]" text), date results are the
// argument's own value changed in place and stored as the result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/extension/library.h"

namespace {

using host::Value;
using host::ValueType;
using nxtest::callGlobal;

struct Ymd {
  int year, month, day;
};

void expectDate(const pbdate_& actual, const Ymd& expected) {
  EXPECT_EQ(actual.year, expected.year);
  EXPECT_EQ(actual.month, expected.month);
  EXPECT_EQ(actual.day, expected.day);
}

void expectMidnight(const pbdatetime_& actual, const Ymd& expected) {
  EXPECT_EQ(actual.year, expected.year);
  EXPECT_EQ(actual.month, expected.month);
  EXPECT_EQ(actual.day, expected.day);
  EXPECT_EQ(actual.hour, 0);
  EXPECT_EQ(actual.minute, 0);
  EXPECT_EQ(actual.second, 0);
}

TEST(GfGetmonthfirstday, DayOneOfTheSameMonth) {
  const std::vector<std::pair<Ymd, Ymd>> rows = {
      {{2024, 2, 15}, {2024, 2, 1}}, {{2023, 12, 31}, {2023, 12, 1}}, {{2024, 1, 1}, {2024, 1, 1}}};
  for (const auto& [input, expected] : rows) {
    host::CallResult r =
        callGlobal("gf_getmonthfirstday", {Value::date(input.year, input.month, input.day)});
    ASSERT_EQ(r.result.type(), ValueType::Date);
    expectDate(r.result.dateValue(), expected);
    expectDate(r.args[0].dateValue(), expected);  // the argument itself was changed
  }
}

TEST(GfGetmonthlastday, LastDayWithGregorianLeapYears) {
  const std::vector<std::pair<Ymd, Ymd>> rows = {
      {{2024, 2, 10}, {2024, 2, 29}},  {{2023, 2, 10}, {2023, 2, 28}},
      {{1900, 2, 3}, {1900, 2, 28}},   {{2000, 2, 1}, {2000, 2, 29}},
      {{2024, 12, 5}, {2024, 12, 31}}, {{2024, 4, 30}, {2024, 4, 30}},
      {{2024, 1, 1}, {2024, 1, 31}},
  };
  for (const auto& [input, expected] : rows) {
    host::CallResult r =
        callGlobal("gf_getmonthlastday", {Value::date(input.year, input.month, input.day)});
    ASSERT_EQ(r.result.type(), ValueType::Date);
    expectDate(r.result.dateValue(), expected);
  }
}

TEST(DateFunctions, NullDateSetsNoResult) {
  for (const char* function : {"gf_getmonthfirstday", "gf_getmonthlastday"})
    EXPECT_FALSE(callGlobal(function, {Value::null(ValueType::Date)}).result.wasSet()) << function;
  for (const char* function : {"gf_relativeday_c", "gf_relativedatetimemonth_c"})
    EXPECT_FALSE(
        callGlobal(function, {Value::null(ValueType::DateTime), Value::int16(1)}).result.wasSet())
        << function;
}

TEST(GfRelativedayC, MovesByDaysAndSetsMidnight) {
  struct Row {
    Ymd start;
    int days;
    Ymd expected;
  };
  const std::vector<Row> rows = {
      {{2024, 12, 30}, 1, {2024, 12, 31}},  {{2024, 12, 31}, 1, {2025, 1, 1}},
      {{2024, 1, 31}, 30, {2024, 3, 1}},    {{2024, 3, 1}, -1, {2024, 2, 29}},
      {{2023, 3, 1}, -1, {2023, 2, 28}},    {{2023, 3, 15}, 0, {2023, 3, 15}},
      {{2024, 1, 1}, -366, {2022, 12, 31}}, {{2000, 2, 28}, 1, {2000, 2, 29}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.days);
    host::CallResult r =
        callGlobal("gf_relativeday_c",
                   {Value::dateTime(row.start.year, row.start.month, row.start.day, 13, 45, 10),
                    Value::int16(static_cast<pbint>(row.days))});
    ASSERT_EQ(r.result.type(), ValueType::DateTime);
    expectMidnight(r.result.dateTimeValue(), row.expected);
  }
}

TEST(GfRelativedayC, NullCountMovesNothing) {
  host::CallResult r = callGlobal(
      "gf_relativeday_c", {Value::dateTime(2024, 5, 6, 7, 8, 9), Value::null(ValueType::Int)});
  expectMidnight(r.result.dateTimeValue(), {2024, 5, 6});
}

TEST(GfRelativedatetimemonthC, MovesTheMonthAndFormatsYearMonth) {
  struct Row {
    Ymd start;
    int months;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {{2024, 1, 31}, -13, "202212"}, {{2024, 1, 31}, 1, "202402"}, {{2024, 12, 1}, 1, "202501"},
      {{2024, 5, 1}, 0, "202405"},    {{2024, 5, 1}, 12, "202505"}, {{2024, 5, 1}, -12, "202305"},
      {{2024, 12, 9}, -12, "202312"}, {{2024, 3, 9}, -5, "202310"}, {{2024, 3, 9}, 22, "202601"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    host::CallResult r =
        callGlobal("gf_relativedatetimemonth_c",
                   {Value::dateTime(row.start.year, row.start.month, row.start.day, 8, 0, 0),
                    Value::int16(static_cast<pbint>(row.months))});
    EXPECT_EQ(r.result.type(), ValueType::String);
    EXPECT_EQ(r.result.text(), row.expected);
  }
}

TEST(GfLastmonth, MonthBeforeThePeriod) {
  const std::vector<std::pair<const char*, const char*>> rows = {
      {"202401", "202312"}, {"2024", "202312"},   {"202403", "202402"},
      {"202412", "202411"}, {"202400", "202312"}, {nullptr, "000000"},
  };
  for (const auto& [period, expected] : rows) {
    host::CallResult r = callGlobal("gf_lastmonth", {nxtest::textOrNull(period)});
    EXPECT_EQ(r.result.text(), expected) << (period ? period : "null");
  }
}

TEST(GfRelativemonthbyperiod, MovesThePeriodByMonths) {
  struct PeriodRow {
    const char* period;
    int months;
    const char* expected;
  };
  const std::vector<PeriodRow> rows = {
      {"202412", 1, "202501"},  {"202401", -1, "202312"}, {"202401", -13, "202212"},
      {"202412", 12, "202512"}, {"202405", 0, "202405"},  {"202405", -24, "202205"},
      {"2024", 1, "202401"},    {"202406", 30, "202612"},
  };
  for (const PeriodRow& row : rows) {
    SCOPED_TRACE(row.expected);
    host::CallResult r =
        callGlobal("gf_relativemonthbyperiod",
                   {Value::string(row.period), Value::int16(static_cast<pbint>(row.months))});
    EXPECT_EQ(r.result.text(), row.expected);
  }
}

TEST(GfRelativemonthbyperiod, NullPeriodSetsNoResult) {
  EXPECT_FALSE(
      callGlobal("gf_relativemonthbyperiod", {Value::null(ValueType::String), Value::int16(1)})
          .result.wasSet());
}

TEST(GfIntToDateTime, SetsTheReferenceArgumentAndDeliversIt) {
  const std::vector<Ymd> rows = {{2024, 2, 29}, {1999, 12, 31}, {2000, 1, 1}};
  for (const Ymd& ymd : rows) {
    host::CallResult r = callGlobal(
        "gf_intToDateTime",
        {Value::dateTime(2010, 6, 7, 10, 20, 30), Value::int16(static_cast<pbint>(ymd.year)),
         Value::int16(static_cast<pbint>(ymd.month)), Value::int16(static_cast<pbint>(ymd.day))});
    ASSERT_EQ(r.result.type(), ValueType::DateTime);
    expectMidnight(r.result.dateTimeValue(), ymd);
    expectMidnight(r.args[0].dateTimeValue(), ymd);
  }
}

TEST(GfIntToDateTime, NoCalendarDaySetsNothing) {
  host::CallResult r =
      callGlobal("gf_intToDateTime", {Value::dateTime(2010, 6, 7, 10, 20, 30), Value::int16(2023),
                                      Value::int16(2), Value::int16(30)});
  EXPECT_FALSE(r.result.wasSet());
  EXPECT_EQ(host::formatDateTime(r.args[0].dateTimeValue()), "2010-06-07 10:20:30");
}

TEST(GfIntToDateTime, NullDateTimeSetsNothing) {
  host::CallResult r = callGlobal(
      "gf_intToDateTime",
      {Value::null(ValueType::DateTime), Value::int16(2024), Value::int16(1), Value::int16(2)});
  EXPECT_FALSE(r.result.wasSet());
  EXPECT_FALSE(r.args[0].wasSet());
}

}  // namespace
