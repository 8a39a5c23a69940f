// libFuzzer harness for the GB2312/Big5 conversions and the two quick tests:
// any bytes go through both directions and must come out as the plain
// line-by-line rules below give them (the library takes shortcuts for speed),
// and properties that hold for every input are checked (a failed one aborts,
// so libFuzzer keeps the input).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "extension/general/gb_big5.h"
#include "extension/general/gb_big5_tables.h"
#include "tests/fuzz/fuzz_checks.h"

namespace {

using fuzz::require;

// The result's size follows from the lines alone: a character keeps its
// size, a tab becomes eight blanks, a line feed takes the byte before it and
// the lines are joined by CR LF.
std::size_t expectedSize(std::string_view text) {
  if (text == "\n") return 0;
  std::size_t size = 0, lines = 0, line = 0;
  for (const char c : text) {
    if (c == '\n') {
      size += line > 0 ? line - 1 : 0;
      line = 0;
      ++lines;
    } else {
      line += c == '\t' ? 8 : 1;
    }
  }
  if (line > 0) {
    size += line;
    ++lines;
  }
  return size + (lines > 0 ? 2 * (lines - 1) : 0);
}

// The rules as written: cut the lines (a tab is eight blanks, a line feed
// ends the line and takes its last byte), convert each line through the
// table rows, join with CR LF.
std::string reference(std::string_view text, bool fromGb) {
  if (text == "\n") return std::string();
  std::vector<std::string> lines;
  std::string line;
  for (const char c : text) {
    if (c == '\t') {
      line += "        ";
    } else if (c == '\n') {
      if (!line.empty()) line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  std::string out;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    if (n > 0) out += "\r\n";
    const std::string& l = lines[n];
    for (std::size_t i = 0; i < l.size();) {
      const unsigned x = static_cast<unsigned char>(l[i]);
      const unsigned y = i + 1 < l.size() ? static_cast<unsigned char>(l[i + 1]) : 0;
      const unsigned char* entry = nullptr;
      if (fromGb && x >= 0xA1 && x <= 0xFE && y >= 0xA1 && y <= 0xFE)
        entry = nx::kGbToBig5 + ((x <= 0xAF ? x - 0xA1 : x - 0xA7) * 94 + (y - 0xA1)) * 2;
      if (!fromGb && x >= 0xA1 && x <= 0xFE && y >= 0x40 && y <= 0xFE)
        entry = nx::kBig5ToGb + ((x - 0xA1) * 191 + (y - 0x40)) * 2;
      if (entry != nullptr) {
        out.append(reinterpret_cast<const char*>(entry), 2);
        i += 2;
      } else {
        out += static_cast<char>(x);
        ++i;
      }
    }
  }
  return out;
}

void checkConversion(const std::string& out, std::string_view text) {
  fuzz::touch(out);
  require(out.size() == expectedSize(text), "the result has the size its lines give");
  require(out.find('\t') == std::string::npos, "no tab survives");
  for (std::size_t i = out.find('\n'); i != std::string::npos; i = out.find('\n', i + 1))
    require(i > 0 && out[i - 1] == '\r', "every line feed ends a CR LF pair");
  if (text.find_first_of("\t\n") == std::string_view::npos) {
    for (std::size_t i = 0; i < text.size(); ++i)
      if (static_cast<unsigned char>(text[i]) < 0x80)
        require(out[i] == text[i] || (i > 0 && static_cast<unsigned char>(text[i - 1]) >= 0xA1),
                "a single-byte character keeps its place");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string big5 = nx::gbToBig5(text), gb = nx::big5ToGb(text);
  checkConversion(big5, text);
  checkConversion(gb, text);
  require(big5 == reference(text, true), "gbtobig5 follows the line rules");
  require(gb == reference(text, false), "big5togb follows the line rules");
  if (nx::isGb(text)) require(nx::isBig5(text), "a GB2312 start is also a Big5 start");
  if (text.empty()) require(!nx::isGb(text) && !nx::isBig5(text), "an empty text is neither");
  return 0;
}
