// gf_rmb_c through the host: every example of the amount table, the whole and
// fractional forms, and a null amount. The amount goes in as the host's decimal
// text; the result is GBK text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/extension/library.h"

namespace {

struct AmountRow {
  const char* amount;
  const char* expected;
};

TEST(GfRmbC, WritesTheAmountInCapitalNumerals) {
  const std::vector<AmountRow> rows = {
      {"0", "元整"},
      {"0.05", "元零伍分"},
      {"0.5", "元伍角"},
      {"1.05", "壹元零伍分"},
      {"10.50", "壹拾元伍角"},
      {"20.0", "贰拾元"},
      {"101", "壹佰零壹元整"},
      {"10010", "壹万零壹拾元整"},
      {"100000", "壹拾万元整"},
      {"100000000", "壹亿元整"},
      {"110000000", "壹亿壹仟万元整"},
      {"1000000001", "壹拾亿零壹元整"},
      {"10000001000", "壹佰亿壹仟元整"},
      {"2000000000000", "贰万亿元整"},
      {"123456789.12", "壹亿贰仟叁佰肆拾伍万陆仟柒佰捌拾玖元壹角贰分"},
      {"-5.2", "伍元贰角"},
      // Edge cases of the whole / fraction rule and of zeros.
      {"5.", "伍元整"},
      {"5.00", "伍元整"},
      {"5.001", "伍元整"},
      {"5.10", "伍元壹角"},
      {"0.00", "元整"},
      {"1001.01", "壹仟零壹元零壹分"},
      {"100100", "壹拾万零壹佰元整"},
      {"  7.5  ", "柒元伍角"},
      {"", "元整"},
  };
  for (const AmountRow& row : rows) {
    SCOPED_TRACE(row.amount);
    host::CallResult r = nxtest::callGlobal("gf_rmb_c", {host::Value::decimal(row.amount)});
    EXPECT_EQ(r.result.type(), host::ValueType::String);
    EXPECT_EQ(r.result.text(), row.expected);
  }
}

TEST(GfRmbC, NullAmountReadsAsZero) {
  host::CallResult r =
      nxtest::callGlobal("gf_rmb_c", {host::Value::null(host::ValueType::Decimal)});
  EXPECT_EQ(r.result.text(), "元整");
}

}  // namespace
