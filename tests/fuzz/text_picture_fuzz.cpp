// libFuzzer harness for the text pictures: two bytes choose the width (1 to
// 2000), two the size (10 to 2000 tenths of a point), one the face, the rest is
// the text. The layout's lines, the picture's size and its BMP headers are
// checked against each other; pictures over a quarter million pixels are only laid out.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "extension/general/text_picture.h"
#include "tests/fuzz/fuzz_checks.h"

namespace {

using fuzz::require;

constexpr std::array<const char*, 4> kFaces = {"黑体", "WenQuanYi Micro Hei", "DejaVu Sans",
                                               "No Such Face"};
constexpr std::int64_t kMostPixels = 1 << 18;

std::string withoutBlanks(std::string_view text) {
  std::string kept;
  for (char c : text)
    if (c != ' ') kept += c;
  return kept;
}

void checkAlignment(std::string_view text, const std::string& aligned) {
  require(withoutBlanks(aligned) == withoutBlanks(text), "alignment only inserts blanks");
  require(aligned.size() - text.size() <= (text.size() + 1) / 2,
          "a blank at most for every second byte");
}

void checkLayout(const std::string& aligned, const nx::TextLayout& layout,
                 const nx::TextMetrics& m) {
  const int step = m.height + m.height / 2;
  require(layout.lineBytes >= 2 && layout.lineBytes % 2 == 0, "lines take an even byte count");
  require(!layout.lines.empty(), "every text has a line");
  std::size_t end = 0;
  for (std::size_t i = 0; i < layout.lines.size(); ++i) {
    const nx::TextLine& line = layout.lines[i];
    require(line.begin >= end, "lines follow each other");
    require(line.begin + line.length <= aligned.size(), "a line lies in the text");
    require(line.length <= layout.lineBytes, "a line takes at most 2N bytes");
    require(std::string_view(aligned).substr(line.begin, line.length).find('\r') ==
                std::string_view::npos,
            "a line draws no carriage return");
    require(line.y == m.height / 2 + static_cast<std::int64_t>(i) * step,
            "lines are H + H/2 apart");
    end = line.begin + line.length;
  }
  if (layout.height <= nx::kMaxPictureHeight)
    require(layout.height ==
                m.height + m.height / 2 + static_cast<std::int64_t>(layout.lines.size()) * step,
            "the height is H + y");
}

std::uint32_t field(const std::string& file, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(file[at + i]);
  return value;
}

void checkPicture(std::string_view text, const char* face, int tenths, int width,
                  const nx::TextLayout& layout) {
  nx::Picture picture;
  const bool rendered = nx::renderText(text, face, tenths, width, picture);
  if (layout.height > nx::kMaxPictureHeight) {
    require(!rendered, "a picture too tall is refused");
    return;
  }
  require(rendered, "a picture of a fitting height renders");
  require(picture.width == width && picture.height == layout.height, "the laid-out size");
  const std::size_t bytes = static_cast<std::size_t>(width) * 4 * picture.height;
  const std::string& file = picture.file;
  require(file.size() == nx::Picture::kHeaderBytes + bytes, "headers and 4 bytes a pixel");
  require(file.compare(0, 2, "BM") == 0 && field(file, 2) == file.size() &&
              field(file, 18) == static_cast<std::uint32_t>(width) &&
              field(file, 22) == static_cast<std::uint32_t>(picture.height) &&
              field(file, 34) == bytes,
          "the headers tell the sizes");
  for (std::size_t i = nx::Picture::kHeaderBytes; i < file.size(); i += 4)
    require(file[i] == file[i + 1] && file[i + 1] == file[i + 2] && file[i + 3] == 0,
            "gray pixels with a zero fourth byte");
}

}  // namespace

// FcInit of fontconfig 2.14 leaves a few hundred bytes of its configuration
// unreachable, whoever calls it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const int width = 1 + (data[0] | data[1] << 8) % 2000;
  const int tenths = 10 + (data[2] | data[3] << 8) % 1991;
  const char* face = kFaces[data[4] % kFaces.size()];
  const std::string_view text(reinterpret_cast<const char*>(data) + 5, size - 5);

  const std::optional<nx::TextMetrics> metrics = nx::fontMetrics(face, tenths);
  require(metrics.has_value(), "every face name finds a face");
  const std::string aligned = nx::alignDoubleBytes(text);
  checkAlignment(text, aligned);
  const nx::TextLayout layout = nx::layOutLines(aligned, width, *metrics);
  checkLayout(aligned, layout, *metrics);
  if (static_cast<std::int64_t>(width) * std::min<std::int64_t>(layout.height, 1 << 20) <=
      kMostPixels)
    checkPicture(text, face, tenths, width, layout);
  return 0;
}
