// libFuzzer harness for the text rules and the capital-numeral amount: any bytes
// go through each rule, and a few properties that hold for every input are
// checked (a failed one aborts, so libFuzzer keeps the input).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "extension/general/rmb_capital.h"
#include "extension/general/text_rules.h"
#include "platform/gbk_text.h"
#include "tests/fuzz/fuzz_checks.h"

namespace {

using fuzz::require;

bool within(std::string_view part, std::string_view whole) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

void checkTrims(std::string_view text) {
  const std::string_view white = nx::trimWhite(text);
  require(within(white, text), "trimWhite gives a part of its text");
  require(white.empty() || (!nx::isWhiteByte(static_cast<unsigned char>(white.front())) &&
                            !nx::isWhiteByte(static_cast<unsigned char>(white.back()))),
          "trimWhite leaves no white byte at either end");
  require(white.empty() == nx::isAllWhite(text), "trimWhite empties exactly all-white texts");

  const std::string_view space = nx::trimSpace(text);
  require(within(space, text), "trimSpace gives a part of its text");
  const std::size_t length = nx::trimmedLength(text);
  require(length <= space.size(), "trimlength never exceeds the space-trimmed length");
  require((length == 0) == space.empty(), "trimlength is 0 only for a blank text");
}

void checkComments(std::string_view text) {
  const std::string stripped = nx::removeComments(text);
  require(stripped.size() <= text.size(), "comment removal never lengthens");
  require(stripped.find("/*") == std::string::npos, "no block comment opener remains");
  if (text.find("--") == std::string_view::npos && text.find("/*") == std::string_view::npos)
    require(stripped == text, "a text without comments stays as it is");
}

// First byte: separator length 0 to 3; then the separator; then the text.
void checkSplit(std::string_view input) {
  if (input.empty()) return;
  const std::size_t length = static_cast<unsigned char>(input[0]) % 4;
  input.remove_prefix(1);
  if (input.size() < length) return;
  const std::string_view separator = input.substr(0, length);
  const std::string_view text = input.substr(length);
  const auto items = nx::splitItems(text, separator);
  if (nx::trimSpace(text).empty()) require(items.empty(), "a blank text gives no items");
  if (separator.empty()) require(items.size() <= 1, "no separator gives at most one item");
  std::size_t total = 0;
  for (const std::string& item : items) {
    if (!separator.empty())
      require(platform::findCharacters(item, separator) == std::string::npos,
              "an item holds no separator");
    total += item.size();
  }
  if (!items.empty())
    require(total + (items.size() - 1) * separator.size() <= text.size(),
            "items and separators fit in the text");
}

void checkWordCondition(std::string_view text) {
  const std::string condition = nx::wordCondition(text, "col");
  if (nx::trimSpaceRight(text).empty()) {
    require(condition.empty(), "a blank value gives no condition");
  } else {
    require(condition.rfind(" ((lower(col) like '%", 0) == 0, "condition opens as written");
    require(condition.size() >= 4 && condition.compare(condition.size() - 4, 4, "%'))") == 0,
            "condition closes as written");
  }
  const std::string op = nx::acceptedOperator(text);
  require(op.empty() || nx::acceptedOperator(op) == op, "an accepted operator accepts itself");
}

// Every result is made of these two-byte characters alone, the last one a unit.
void checkAmount(std::string_view amount) {
  static constexpr std::array<std::string_view, 19> kPieces = {
      "零", "壹", "贰", "叁", "肆", "伍", "陆", "柒", "捌", "玖",
      "拾", "佰", "仟", "万", "亿", "元", "角", "分", "整"};
  const std::string text = nx::capitalAmount(amount);
  require(text.size() >= 2 && text.size() % 2 == 0, "whole two-byte characters");
  std::string_view last;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    last = std::string_view(text).substr(i, 2);
    bool known = false;
    for (std::string_view piece : kPieces) known = known || piece == last;
    require(known, "only numerals and units");
  }
  require(last == "整" || last == "分" || last == "角" || last == "元",
          "ends with 整, 分, 角 or 元");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  checkTrims(input);
  checkComments(input);
  checkSplit(input);
  checkWordCondition(input);
  checkAmount(input);
  // The same bytes as a decimal text, to reach the digit rules often.
  std::string digits;
  for (unsigned char b : input) digits += "0123456789.-"[b % 12];
  checkAmount(digits);
  return 0;
}
