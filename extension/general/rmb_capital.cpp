// The capital-numeral amount: integer digits with place units and the 万/亿
// section marks, then 元, then 整 or the tenths (角) and hundredths (分).
// Every appended piece is a two-byte GBK character, so suffix tests align.
#include "extension/general/rmb_capital.h"

#include <array>

#include "extension/general/text_rules.h"

namespace nx {
namespace {

constexpr std::array<std::string_view, 10> kNumerals = {"零", "壹", "贰", "叁", "肆",
                                                        "伍", "陆", "柒", "捌", "玖"};
constexpr std::string_view kZero = "零";
constexpr std::string_view kTenThousand = "万";
constexpr std::string_view kHundredMillion = "亿";

bool endsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void dropOneTrailingZero(std::string& text) {
  if (endsWith(text, kZero)) text.resize(text.size() - kZero.size());
}

std::string_view placeUnit(std::size_t place) {
  switch (place) {
    case 2:
    case 6:
    case 10:
      return "拾";
    case 3:
    case 7:
    case 11:
      return "佰";
    case 4:
    case 8:
    case 12:
      return "仟";
    case 5:
    case 13:
      return "万";
    case 9:
      return "亿";
    default:
      return "";  // units, and places above 13
  }
}

// A section ends at 亿 (place 9) and 万 (place 5): a zero before it goes, and
// the mark is written once.
void closeSection(std::string& text, std::string_view mark) {
  dropOneTrailingZero(text);
  if (!endsWith(text, mark)) text += mark;
}

std::string integerPart(std::string_view digits) {
  std::string text;
  const std::size_t n = digits.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char c = digits[i];
    const std::size_t place = n - i;
    if (c >= '1' && c <= '9') {
      text += kNumerals[c - '0'];
      text += placeUnit(place);
    } else if (c == '0' && !text.empty() && !endsWith(text, kZero) && i + 1 != n) {
      text += kZero;
    }
    if (place == 9) closeSection(text, kHundredMillion);
    if (place == 5) closeSection(text, kTenThousand);
  }
  dropOneTrailingZero(text);
  const std::size_t doubled = text.find("亿万");
  if (doubled != std::string::npos) text.replace(doubled, 4, kHundredMillion);
  text += "元";
  return text;
}

void appendFraction(std::string& text, std::string_view digit, std::string_view unit) {
  if (digit.empty() || digit[0] == ' ') return;
  if (digit[0] >= '0' && digit[0] <= '9') text += kNumerals[digit[0] - '0'];
  if (!endsWith(text, kZero)) text += unit;
}

}  // namespace

std::string capitalAmount(std::string_view amountText) {
  std::string_view amount = trimSpace(amountText);
  if (!amount.empty() && amount[0] == '-') amount.remove_prefix(1);

  const std::size_t point = amount.find('.');
  const std::string_view digits = amount.substr(0, point);
  std::string_view tenths, hundredths;
  if (point != std::string_view::npos) {
    tenths = amount.substr(point + 1, 1);
    hundredths = amount.substr(point + 1).substr(tenths.size(), 1);
  }
  const bool whole = point == std::string_view::npos || point + 1 == amount.size() ||
                     (tenths == "0" && hundredths == "0");

  std::string text = integerPart(digits);
  if (whole) return text + "整";
  appendFraction(text, tenths, "角");
  appendFraction(text, hundredths, "分");
  while (endsWith(text, kZero)) text.resize(text.size() - kZero.size());
  return text;
}

}  // namespace nx
