// The text rules of the global functions, shared with the SQL and DataWindow
// code: byte classes, trims, comment removal, list building, splitting, number
// and period reading. Pure functions on GBK byte strings; no size limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nx {

// white: bytes 8 to 13 and 32 (the extension's own test, counts backspace).
inline bool isWhiteByte(unsigned char b) { return (b >= 8 && b <= 13) || b == 32; }
// space: bytes 9 to 13 and 32 (what the ordinary trims remove).
inline bool isSpaceByte(unsigned char b) { return (b >= 9 && b <= 13) || b == 32; }
// True for the empty text too.
bool isAllWhite(std::string_view text);

// Trims answer a view into their argument: keep the argument alive.
std::string_view trimSpaceLeft(std::string_view text);
std::string_view trimSpaceRight(std::string_view text);
std::string_view trimSpace(std::string_view text);
std::string_view trimWhiteLeft(std::string_view text);
std::string_view trimWhiteRight(std::string_view text);
std::string_view trimWhite(std::string_view text);

// trimlength: the length after trimSpace, less white bytes then still at the
// end; the first byte always counts.
std::size_t trimmedLength(std::string_view text);

// gf_del_rem: removes "--" line comments (the line end stays), then "/*...*/"
// block comments (an unclosed one runs to the end). Quotes are not recognised.
std::string removeComments(std::string_view sql);

// gf_addstring: list + CR LF + item, unless item is empty.
std::string appendLine(std::string_view list, std::string_view item);
// gf_addstring_and: item without trailing space joined with " and ".
std::string appendCondition(std::string_view conditions, std::string_view item);
// gf_addstring_list: list + " " + separator + " " + item; plain concatenation
// for an empty separator; unchanged for an empty item; item for an empty list.
std::string appendWithSeparator(std::string_view list, std::string_view item,
                                std::string_view separator);
// The same rule on a list built in place, so long lists cost no copies.
void appendItem(std::string& list, std::string_view item, std::string_view separator);

// gf_getpartlikes: " ((lower(col) like '%word%')  and ...)"; empty for a blank
// value. Words are lower-cased (single-byte A-Z only) and escaped with
// escapeLiteral, so no value can end the literal and change the statement.
std::string wordCondition(std::string_view value, std::string_view column);
// gf_is_operater: the lower-cased text without trailing space when it is one of
// = > < <= >= <> like is leftlike partlike "not like"; empty otherwise.
std::string acceptedOperator(std::string_view text);
// For a text put between single quotes of a MySQL statement: every quote and
// backslash that is a character of its own is doubled; double-byte characters
// (a trail byte may be 0x5C) stay whole.
std::string escapeLiteral(std::string_view text);
// gf_chartobool: y, t, 1, yes or true, letter case ignored.
bool isTrueWord(std::string_view text);
// gf_readcard_userpwd: trailing space removed, then only ASCII letters,
// digits and commas kept; a double-byte character is dropped whole.
std::string keepCardBytes(std::string_view text);

// Left to right, without overlap, matching whole characters only; an empty
// `from` changes nothing.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);
std::string replaceFirst(std::string_view text, std::string_view from, std::string_view to);

// gf_getsubstring: the text and each rest are trimmed of space, the items are
// not; no empty last item after a final separator; none for a blank text. The
// separator matches whole characters only.
std::vector<std::string> splitItems(std::string_view text, std::string_view separator);

// Leading blanks, an optional sign, digits; 0 without digits. Saturates at the
// 32-bit limits.
std::int32_t leadingInteger(std::string_view text);
// gf_spectonum: "a*b" is a times b ("2.5*4" is 8); a below 1 counts as 1;
// without "*" the whole text is b and a is 1.
std::int64_t specificationValue(std::string_view measure);

// A period "yyyymm": year from characters 1-4, month from 5-6.
struct Period {
  std::int64_t year = 0;
  std::int64_t month = 0;
};
Period readPeriod(std::string_view text);
// gf_lastmonth: month - 1, or December of the year before for a month below 2.
Period previousMonth(Period period);
// gf_relativemonthbyperiod: floor-based, so the month is always 1 to 12.
Period movePeriod(Period period, std::int64_t months);
std::string formatPeriod(Period period);  // "%4d%02d"

// The fold of n_cst_app's seed: the two halves of the text (the right one
// longer for an odd length) read as hexadecimal up to the first other
// character, modulo 2^64, and combined by exclusive or.
std::uint64_t hexFold(std::string_view text);
// Each byte taken as signed and written with "%x" ("ffffff80" for 0x80).
std::string signedByteHex(std::string_view bytes);

}  // namespace nx
