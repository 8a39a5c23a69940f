// The shared text rules. Every position counts bytes; GBK trail bytes are never
// white, blank or "-", "*", "/", so byte searches cannot split a character
// at those bytes.
#include "extension/general/text_rules.h"

#include <array>
#include <cstdio>
#include <limits>

#include "platform/gbk_text.h"

namespace nx {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool isAsciiAlnum(unsigned char b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

template <class Pred>
std::string_view dropLeft(std::string_view text, Pred pred) {
  std::size_t i = 0;
  while (i < text.size() && pred(static_cast<unsigned char>(text[i]))) ++i;
  return text.substr(i);
}

template <class Pred>
std::string_view dropRight(std::string_view text, Pred pred) {
  std::size_t n = text.size();
  while (n > 0 && pred(static_cast<unsigned char>(text[n - 1]))) --n;
  return text.substr(0, n);
}

std::string_view prefix(std::string_view text, std::size_t from, std::size_t count) {
  return from < text.size() ? text.substr(from, count) : std::string_view();
}

std::string removeLineComments(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  for (;;) {
    const std::size_t start = text.find("--", i);
    if (start == std::string_view::npos) break;
    out.append(text.substr(i, start - i));
    const std::size_t end = text.find_first_of(kLineEnd, start + 2);
    if (end == std::string_view::npos) return out;
    // The line end is kept and cannot begin a "--", so the next search may
    // start at it.
    i = end;
  }
  out.append(text.substr(i));
  return out;
}

std::string removeBlockComments(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  for (;;) {
    const std::size_t start = text.find("/*", i);
    if (start == std::string_view::npos) break;
    out.append(text.substr(i, start - i));
    std::size_t close = text.find("*/", start + 2);
    if (close == std::string_view::npos) return out;
    i = close + 2;
    // The rule searches again from the start of the shortened text: a '/' kept
    // before the comment and a '*' after it now form an opener of their own.
    while (!out.empty() && out.back() == '/' && i < text.size() && text[i] == '*') {
      out.pop_back();
      close = text.find("*/", i + 1);
      if (close == std::string_view::npos) return out;
      i = close + 2;
    }
  }
  out.append(text.substr(i));
  return out;
}

std::string replaceOccurrences(std::string_view text, std::string_view from, std::string_view to,
                               bool onlyFirst) {
  if (from.empty()) return std::string(text);
  std::string out;
  std::size_t i = 0;
  for (;;) {
    const std::size_t at = platform::findCharacters(text, from, i);
    if (at == std::string_view::npos) break;
    out.append(text.substr(i, at - i));
    out.append(to);
    i = at + from.size();
    if (onlyFirst) break;
  }
  out.append(text.substr(i));
  return out;
}

int hexDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An overlong half keeps its last 16 digits (the value modulo 2^64), so a long
// key still moves the seed. strtoull would saturate instead, and a key of three
// Chinese characters or of 17 letters would then fold to 0.
std::uint64_t readHex64(std::string_view text) {
  std::uint64_t value = 0;
  for (unsigned char c : text) {
    const int digit = hexDigitValue(c);
    if (digit < 0) break;
    value = (value << 4) | static_cast<std::uint64_t>(digit);
  }
  return value;
}

}  // namespace

bool isAllWhite(std::string_view text) { return trimWhiteLeft(text).empty(); }

std::string_view trimSpaceLeft(std::string_view text) { return dropLeft(text, isSpaceByte); }
std::string_view trimSpaceRight(std::string_view text) { return dropRight(text, isSpaceByte); }
std::string_view trimSpace(std::string_view text) { return trimSpaceRight(trimSpaceLeft(text)); }
std::string_view trimWhiteLeft(std::string_view text) { return dropLeft(text, isWhiteByte); }
std::string_view trimWhiteRight(std::string_view text) { return dropRight(text, isWhiteByte); }
std::string_view trimWhite(std::string_view text) { return trimWhiteRight(trimWhiteLeft(text)); }

std::size_t trimmedLength(std::string_view text) {
  const std::string_view trimmed = trimSpace(text);
  std::size_t n = trimmed.size();
  while (n > 1 && isWhiteByte(static_cast<unsigned char>(trimmed[n - 1]))) --n;
  return n;
}

std::string removeComments(std::string_view sql) {
  return removeBlockComments(removeLineComments(sql));
}

std::string appendLine(std::string_view list, std::string_view item) {
  std::string out(list);
  if (!item.empty()) {
    out += kLineEnd;
    out += item;
  }
  return out;
}

std::string appendCondition(std::string_view conditions, std::string_view item) {
  const std::string_view condition = trimSpaceRight(item);
  if (condition.empty()) return std::string(conditions);
  if (conditions.empty()) return std::string(condition);
  std::string out(conditions);
  out += " and ";
  out += condition;
  return out;
}

std::string appendWithSeparator(std::string_view list, std::string_view item,
                                std::string_view separator) {
  std::string out(list);
  appendItem(out, item, separator);
  return out;
}

void appendItem(std::string& list, std::string_view item, std::string_view separator) {
  if (item.empty()) return;
  if (!list.empty() && !separator.empty()) {
    list += ' ';
    list += separator;
    list += ' ';
  }
  list += item;
}

std::string wordCondition(std::string_view value, std::string_view column) {
  std::string_view rest = trimSpaceRight(value);
  if (rest.empty()) return std::string();
  std::string joined;
  bool first = true;
  while (!rest.empty()) {
    std::string_view word = rest;
    const std::size_t blank = rest.find(' ');
    // A blank as the first byte does not end a word (only the first text can
    // start with one: every later rest is trimmed).
    if (blank != std::string_view::npos && blank != 0) {
      word = rest.substr(0, blank);
      rest = trimWhite(rest.substr(blank));
    } else {
      rest = std::string_view();
    }
    if (!first) joined += " and ";
    first = false;
    joined += "(lower(";
    joined += column;
    joined += ") like '%";
    joined += escapeLiteral(platform::lowerAscii(word));
    joined += "%') ";
  }
  std::string out = " (";
  out += trimSpace(joined);
  out += ')';
  return out;
}

std::string acceptedOperator(std::string_view text) {
  static constexpr std::array<std::string_view, 11> kOperators = {
      "=", ">", "<", "<=", ">=", "<>", "like", "is", "leftlike", "partlike", "not like"};
  std::string lowered = platform::lowerAscii(trimSpaceRight(text));
  for (std::string_view op : kOperators)
    if (lowered == op) return lowered;
  return std::string();
}

bool isTrueWord(std::string_view text) {
  static constexpr std::array<std::string_view, 5> kTrueWords = {"y", "t", "1", "yes", "true"};
  for (std::string_view word : kTrueWords)
    if (platform::equalsIgnoreCase(text, word)) return true;
  return false;
}

std::string escapeLiteral(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += platform::characterLength(text, i)) {
    const char c = text[i];
    if (platform::characterLength(text, i) == 2) {
      out.append(text.substr(i, 2));
    } else {
      if (c == '\'' || c == '\\') out += c;
      out += c;
    }
  }
  return out;
}

std::string keepCardBytes(std::string_view text) {
  const std::string_view kept = trimSpaceRight(text);
  std::string out;
  for (std::size_t i = 0; i < kept.size(); i += platform::characterLength(kept, i)) {
    const auto b = static_cast<unsigned char>(kept[i]);
    if (platform::characterLength(kept, i) == 1 && (isAsciiAlnum(b) || b == ','))
      out += static_cast<char>(b);
  }
  return out;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
  return replaceOccurrences(text, from, to, false);
}

std::string replaceFirst(std::string_view text, std::string_view from, std::string_view to) {
  return replaceOccurrences(text, from, to, true);
}

std::vector<std::string> splitItems(std::string_view text, std::string_view separator) {
  std::vector<std::string> items;
  std::string_view rest = trimSpace(text);
  if (rest.empty()) return items;
  if (separator.empty()) {
    items.emplace_back(rest);
    return items;
  }
  while (!rest.empty()) {
    const std::size_t at = platform::findCharacters(rest, separator);
    if (at == std::string_view::npos) {
      items.emplace_back(rest);
      break;
    }
    items.emplace_back(rest.substr(0, at));
    rest = trimSpace(rest.substr(at + separator.size()));
  }
  return items;
}

std::int32_t leadingInteger(std::string_view text) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kMax + 1) value = kMax + 1;  // keeps the sum bounded; clamped below
  }
  if (negative) value = -value;
  if (value > kMax) return static_cast<std::int32_t>(kMax);
  if (value < kMin) return static_cast<std::int32_t>(kMin);
  return static_cast<std::int32_t>(value);
}

std::int64_t specificationValue(std::string_view measure) {
  std::string_view left = "1";
  std::string_view right = measure;
  const std::size_t star = measure.find('*');
  if (star != std::string_view::npos) {
    left = measure.substr(0, star);
    right = measure.substr(star + 1);
  }
  std::int64_t a = leadingInteger(left);
  if (a <= 0) a = 1;
  return a * static_cast<std::int64_t>(leadingInteger(right));
}

Period readPeriod(std::string_view text) {
  return Period{leadingInteger(prefix(text, 0, 4)), leadingInteger(prefix(text, 4, 2))};
}

Period previousMonth(Period period) {
  if (period.month < 2) return Period{period.year - 1, 12};
  return Period{period.year, period.month - 1};
}

Period movePeriod(Period period, std::int64_t months) {
  const std::int64_t m = period.month + months - 1;
  std::int64_t yearShift = m / 12;
  std::int64_t monthIndex = m % 12;
  if (monthIndex < 0) {
    monthIndex += 12;
    yearShift -= 1;
  }
  return Period{period.year + yearShift, monthIndex + 1};
}

std::string formatPeriod(Period period) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%4lld%02lld", static_cast<long long>(period.year),
                static_cast<long long>(period.month));
  return buffer;
}

std::uint64_t hexFold(std::string_view text) {
  const std::size_t half = text.size() / 2;
  return readHex64(text.substr(0, half)) ^ readHex64(text.substr(half));
}

std::string signedByteHex(std::string_view bytes) {
  std::string out;
  char buffer[16];
  for (char c : bytes) {
    // Sign extension is the point: a byte of 128 or more gives "ffffff..".
    const int value = static_cast<signed char>(c);
    std::snprintf(buffer, sizeof buffer, "%x", static_cast<unsigned int>(value));
    out += buffer;
  }
  return out;
}

}  // namespace nx
