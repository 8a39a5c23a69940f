// n_cst_textToJpg through the host, with the saved BMP read back, and the pure
// steps of text_picture.h (alignment, line layout, font metrics) as unit tests.
// A picture's height is H + H/2 + lines * (H + H/2); line i occupies the rows
// from H/2 + i * (H + H/2) for H rows.
#include "extension/general/text_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/extension/library.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

using host::Value;
using host::ValueType;

constexpr int kDefaultWidth = 200;

nx::TextMetrics defaultMetrics() {
  static const std::optional<nx::TextMetrics> metrics = nx::fontMetrics("黑体", 120);
  if (!metrics) ADD_FAILURE() << "no face for 黑体";
  return metrics.value_or(nx::TextMetrics{});
}

int heightOf(int lines, const nx::TextMetrics& m = defaultMetrics()) {
  return m.height + m.height / 2 + lines * (m.height + m.height / 2);
}

// Characters a line holds at a width (2N bytes are N of them).
int charactersPerLine(int width, const nx::TextMetrics& m = defaultMetrics()) {
  int n = width / (2 * m.averageWidth);
  if (n % 2 != 0) --n;
  return n > 0 ? n : 1;
}

std::string repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint16_t le16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// A saved picture: its file bytes and the pixels addressed from the top row.
struct Bmp {
  std::string file;
  int width = 0;
  int height = 0;

  const unsigned char* pixel(int x, int yFromTop) const {
    const std::size_t fileRow = static_cast<std::size_t>(height - 1 - yFromTop);
    return reinterpret_cast<const unsigned char*>(file.data()) + 54 +
           (fileRow * width + static_cast<std::size_t>(x)) * 4;
  }
  // The darkest blue value among the rows [from, to) from the top; 255 for white.
  int darkest(int from, int to) const {
    int least = 255;
    for (int y = from; y < to; ++y)
      for (int x = 0; x < width; ++x) least = std::min<int>(least, pixel(x, y)[0]);
    return least;
  }
};

class TextToJpg : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(nxtest::library().create("n_cst_textToJpg", "pic"), PBX_OK); }
  void TearDown() override { nxtest::library().destroy("pic"); }

  std::int64_t call(const char* method, std::vector<Value> args = {}) {
    host::CallResult r = nxtest::library().call("pic", method, std::move(args));
    EXPECT_EQ(r.result.type(), ValueType::Int) << method;
    return r.result.integer();
  }
  std::int64_t setText(const std::string& text) {
    return call("of_SetText", {Value::string(text)});
  }
  std::int64_t height() { return call("of_GetHeight"); }
  std::int64_t save(const std::string& path) { return call("of_SaveBmp", {Value::string(path)}); }

  // The current picture saved and read back.
  Bmp saved() {
    const std::string path = dir_.path() + "picture.bmp";
    EXPECT_EQ(save(path), 1);
    Bmp bmp;
    bmp.file = testsupport::readFile(path);
    if (bmp.file.size() < 54) {
      ADD_FAILURE() << "no BMP written";
      return bmp;
    }
    bmp.width = static_cast<int>(le32(bmp.file, 18));
    bmp.height = static_cast<int>(le32(bmp.file, 22));
    EXPECT_EQ(bmp.file.size(), 54 + static_cast<std::size_t>(bmp.width) * 4 * bmp.height);
    return bmp;
  }

  // Ink in each line's band: true where the line has a dark pixel.
  std::vector<bool> inkedLines(const Bmp& bmp, int lines) {
    const nx::TextMetrics m = defaultMetrics();
    std::vector<bool> inked;
    for (int i = 0; i < lines; ++i) {
      const int top = m.height / 2 + i * (m.height + m.height / 2);
      inked.push_back(bmp.darkest(top, std::min(top + m.height, bmp.height)) < 128);
    }
    return inked;
  }

  TempDir dir_;
};

TEST_F(TextToJpg, HeightGrowsByOneAndAHalfCharacterHeightsPerLine) {
  struct Row {
    const char* text;
    int lines;
    std::vector<bool> inked;
  };
  const std::vector<Row> rows = {
      {"会员卡 No.8", 1, {true}},
      {"会员卡\r\n", 2, {true, false}},  // ends at a line end: one more, empty line
      {"会员\r\n积分", 2, {true, true}},
      {"会员\r\n\r\n积分", 3, {true, false, true}},
      {"\r\n积分", 2, {false, true}},
      {"", 1, {false}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    ASSERT_EQ(setText(row.text), 1);
    EXPECT_EQ(height(), heightOf(row.lines));
    EXPECT_EQ(inkedLines(saved(), row.lines), row.inked);
  }
}

TEST_F(TextToJpg, FullLineHoldsNCharactersAndAFullLastLineAddsAnEmptyOne) {
  const int n = charactersPerLine(kDefaultWidth);
  const std::vector<std::pair<int, int>> rows = {{n - 1, 1}, {n, 2}, {n + 1, 2}, {2 * n, 3}};
  for (const auto& [characters, lines] : rows) {
    SCOPED_TRACE(characters);
    ASSERT_EQ(setText(repeated("积", characters)), 1);
    EXPECT_EQ(height(), heightOf(lines));
  }
}

// N would be 0: every line takes one double-byte character or two single bytes.
TEST_F(TextToJpg, NarrowWidthPutsOneCharacterOnEachLine) {
  const int narrow = 3 * defaultMetrics().averageWidth;
  ASSERT_EQ(charactersPerLine(narrow), 1);
  struct Row {
    int width;
    const char* text;
    int lines;
  };
  const std::vector<Row> rows = {
      {narrow, "会员卡", 4},  // three lines and the empty one at the end
      {narrow, "ab中", 3},
      {narrow, "a中", 3},  // aligned to "a 中"
      {1, "会员卡积分", 6},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    ASSERT_EQ(call("of_SetJpgWidth", {Value::int16(static_cast<pbint>(row.width))}), 1);
    ASSERT_EQ(setText(row.text), 1);
    EXPECT_EQ(height(), heightOf(row.lines));
    const Bmp bmp = saved();
    EXPECT_EQ(bmp.width, row.width);
    EXPECT_EQ(bmp.height, heightOf(row.lines));
  }
  ASSERT_EQ(call("of_SetJpgWidth", {Value::int16(static_cast<pbint>(narrow))}), 1);
  ASSERT_EQ(setText("会员卡"), 1);
  EXPECT_EQ(inkedLines(saved(), 4), (std::vector<bool>{true, true, true, false}));
}

TEST_F(TextToJpg, TextLongerThan4096BytesRendersToItsEnd) {
  const int n = charactersPerLine(kDefaultWidth);
  const int lines = 400;
  // Each line ends with a character of its own, so a cut text leaves its last lines blank.
  std::string text;
  for (int i = 0; i < lines; ++i) text += repeated("员", n - 1) + "卡";
  ASSERT_GT(text.size(), 4096u);
  ASSERT_EQ(setText(text), 1);
  EXPECT_EQ(height(), heightOf(lines + 1));
  const std::vector<bool> inked = inkedLines(saved(), lines + 1);
  EXPECT_TRUE(inked[lines - 1]);
  EXPECT_FALSE(inked[lines]);
}

TEST_F(TextToJpg, TextTallerThan32767PixelsIsRefusedAndThePictureStays) {
  ASSERT_EQ(setText("会员卡"), 1);
  const std::string before = saved().file;
  const int tooMany = 32767 / (defaultMetrics().height + defaultMetrics().height / 2) + 1;
  EXPECT_EQ(setText(repeated("\r\n", tooMany)), -1);
  EXPECT_EQ(height(), heightOf(1));
  EXPECT_EQ(saved().file, before);
  // The tallest picture that still fits renders.
  const int fitting = (32767 - heightOf(0)) / (heightOf(1) - heightOf(0));
  ASSERT_EQ(setText(repeated("\r\n", fitting - 1)), 1);
  EXPECT_EQ(height(), heightOf(fitting));
}

TEST_F(TextToJpg, RefusedSettingsChangeNothing) {
  ASSERT_EQ(setText("会员卡 No.8"), 1);
  const std::string reference = saved().file;
  struct Row {
    const char* method;
    Value argument;
  };
  const std::vector<Row> rows = {
      {"of_SetFontSize", Value::int16(0)},
      {"of_SetFontSize", Value::int16(-120)},
      {"of_SetFontSize", Value::null(ValueType::Int)},
      {"of_SetJpgWidth", Value::int16(0)},
      {"of_SetJpgWidth", Value::int16(-200)},
      {"of_SetJpgWidth", Value::null(ValueType::Int)},
      {"of_SetFontName", Value::null(ValueType::String)},
      {"of_SetText", Value::null(ValueType::String)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.method) + " " + std::to_string(row.argument.integer()));
    EXPECT_EQ(call(row.method, {row.argument}), -1);
    EXPECT_EQ(saved().file, reference);  // the refused text kept the picture too
  }
  ASSERT_EQ(setText("会员卡 No.8"), 1);
  EXPECT_EQ(saved().file, reference);
}

TEST_F(TextToJpg, SettingsTakeEffectAtTheNextText) {
  ASSERT_EQ(setText("会员卡"), 1);
  EXPECT_EQ(call("of_SetJpgWidth", {Value::int16(400)}), 1);
  EXPECT_EQ(call("of_SetFontSize", {Value::int16(240)}), 1);
  EXPECT_EQ(saved().width, kDefaultWidth);
  EXPECT_EQ(height(), heightOf(1));

  ASSERT_EQ(setText("会员卡"), 1);
  const std::optional<nx::TextMetrics> large = nx::fontMetrics("黑体", 240);
  ASSERT_TRUE(large);
  EXPECT_EQ(height(), heightOf(1, *large));
  EXPECT_EQ(saved().width, 400);
}

// "黑体" is not installed here: it and any other missing face draw with the
// installed Chinese face, while an installed face is taken as named.
TEST_F(TextToJpg, MissingFaceDrawsLikeTheChineseFace) {
  const std::string text = "会员卡 No.8";
  ASSERT_EQ(call("of_SetFontName", {Value::string("WenQuanYi Micro Hei")}), 1);
  ASSERT_EQ(setText(text), 1);
  const std::string chinese = saved().file;
  for (const char* name : {"黑体", "宋体", "No Such Face", "", "wenquanyi micro hei"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(call("of_SetFontName", {Value::string(name)}), 1);
    ASSERT_EQ(setText(text), 1);
    EXPECT_EQ(height(), heightOf(1));
    EXPECT_EQ(saved().file, chinese);
  }
  ASSERT_EQ(call("of_SetFontName", {Value::string("DejaVu Sans")}), 1);
  ASSERT_EQ(setText(text), 1);
  EXPECT_NE(saved().file, chinese);
}

TEST_F(TextToJpg, SaveBmpWritesOnlyARenderedPictureToAWritablePlace) {
  const std::string file = dir_.path() + "first.bmp";
  EXPECT_EQ(height(), 0);
  EXPECT_EQ(save(file), -1);  // nothing rendered yet
  EXPECT_FALSE(std::filesystem::exists(file));

  ASSERT_EQ(setText("会员卡"), 1);
  EXPECT_EQ(call("of_SaveBmp", {Value::null(ValueType::String)}), -1);
  EXPECT_EQ(save(dir_.path() + "no/such/folder/x.bmp"), -1);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() + "no"));

  testsupport::writeFile(file, std::string(100000, 'x'));
  EXPECT_EQ(save(file), 1);
  const std::string written = testsupport::readFile(file);
  EXPECT_EQ(written, saved().file);
  EXPECT_EQ(written.size(), 54u + kDefaultWidth * 4u * heightOf(1));
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    EXPECT_TRUE(entry.path().extension() == ".bmp") << entry.path();  // no temporary left
}

TEST_F(TextToJpg, BmpHeadersAndBottomUpBlackOnWhiteRows) {
  ASSERT_EQ(setText("会员卡 No.8"), 1);
  const Bmp bmp = saved();
  const int h = heightOf(1);
  const std::uint32_t pixelBytes = kDefaultWidth * 4u * h;
  ASSERT_EQ(bmp.file.size(), 54u + pixelBytes);
  EXPECT_EQ(bmp.file.substr(0, 2), "BM");
  struct Field {
    const char* name;
    std::size_t at;
    int bytes;
    std::uint32_t expected;
  };
  const std::vector<Field> fields = {
      {"file size", 2, 4, 54 + pixelBytes},
      {"reserved 1", 6, 2, 0},
      {"reserved 2", 8, 2, 0},
      {"pixel offset", 10, 4, 54},
      {"header size", 14, 4, 40},
      {"width", 18, 4, kDefaultWidth},
      {"height", 22, 4, static_cast<std::uint32_t>(h)},
      {"planes", 26, 2, 1},
      {"bits", 28, 2, 32},
      {"compression", 30, 4, 0},
      {"image size", 34, 4, pixelBytes},
      {"x resolution", 38, 4, 0},
      {"y resolution", 42, 4, 0},
      {"colours used", 46, 4, 0},
      {"important colours", 50, 4, 0},
  };
  for (const Field& f : fields)
    EXPECT_EQ(f.bytes == 4 ? le32(bmp.file, f.at) : le16(bmp.file, f.at), f.expected) << f.name;

  // The first line's band from the top holds near-black gray; everything else is white.
  const nx::TextMetrics m = defaultMetrics();
  const int bandTop = m.height / 2, bandBottom = bandTop + m.height;
  EXPECT_LT(bmp.darkest(bandTop, bandBottom), 64);
  EXPECT_EQ(bmp.darkest(0, bandTop - 1), 255);
  EXPECT_EQ(bmp.darkest(bandBottom + 2, h), 255);
  const unsigned char* corner = bmp.pixel(0, 0);
  EXPECT_EQ(std::vector<int>(corner, corner + 4), (std::vector<int>{255, 255, 255, 0}));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < bmp.width; ++x) {
      const unsigned char* p = bmp.pixel(x, y);
      ASSERT_TRUE(p[0] == p[1] && p[1] == p[2] && p[3] == 0) << x << "," << y;
    }
}

TEST(TextPictureAlignment, DoubleByteCharactersStartAtEvenOffsets) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"ab中", "ab中"},
      {"a中", "a 中"},
      {"中a", "中a"},
      {"abc中文", "abc 中文"},
      {"a中b中", "a 中b 中"},   // counting starts again after a blank
      {"ab中c中", "ab中c 中"},  // three singles since the start
      {"a\r\n中", "a\r\n 中"},  // carriage return and line feed count
      {"丂中", "丂 中"},        // 81 40: byte by byte, the 40 is a single
      {"", ""},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(nx::alignDoubleBytes(text), expected) << text;
}

TEST(TextPictureLayout, LinesOfTwoNBytesCutAtCarriageReturns) {
  const nx::TextMetrics m{20, 16, 10};  // width 100: N = 5, odd, so 4 characters, 8 bytes
  struct Row {
    int width;
    const char* text;
    std::vector<std::pair<std::size_t, std::size_t>> lines;  // begin, length
  };
  const std::vector<Row> rows = {
      {100, "abcdefghij", {{0, 8}, {8, 2}}},
      {100, "abcdefgh", {{0, 8}, {8, 0}}},
      {100, "ab\r\ncd", {{0, 2}, {4, 2}}},
      {100, "\r\nab", {{0, 0}, {2, 2}}},
      {100, "abcdefg\r\nxy", {{0, 7}, {9, 2}}},
      {100, "abcdefgh\r\nxy", {{0, 8}, {8, 0}, {10, 2}}},
      {100, "ab\r\n", {{0, 2}, {4, 0}}},
      {120, "abcdefghijklm", {{0, 12}, {12, 1}}},  // N = 6
      {39, "abcd", {{0, 2}, {2, 2}, {4, 0}}},      // N = 1, odd: 0, taken as 1
      {1, "ab", {{0, 2}, {2, 0}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const nx::TextLayout layout = nx::layOutLines(row.text, row.width, m);
    EXPECT_EQ(layout.x, 5);
    std::vector<std::pair<std::size_t, std::size_t>> lines;
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
      lines.emplace_back(layout.lines[i].begin, layout.lines[i].length);
      EXPECT_EQ(layout.lines[i].y, 10 + static_cast<int>(i) * 30);
    }
    EXPECT_EQ(lines, row.lines);
    EXPECT_EQ(layout.height, 20 + 10 + static_cast<std::int64_t>(row.lines.size()) * 30);
  }
}

// GDI's tmHeight, tmAscent and tmAveCharWidth of the installed faces: the
// Windows ascent and descent and xAvgCharWidth of their OS/2 tables, scaled.
TEST(TextPictureMetrics, GdiMetricsFromTheOs2Table) {
  struct Row {
    const char* face;
    int tenths;
    int height, ascent, average;
  };
  const std::vector<Row> rows = {
      {"黑体", 120, 19, 15, 11},  // WenQuanYi Micro Hei at 16 pixels to the em
      {"黑体", 240, 38, 30, 22},
      {"黑体", 1, 1, 1, 1},  // below one pixel: one pixel to the em
      {"DejaVu Sans", 120, 19, 15, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.face) + " " + std::to_string(row.tenths));
    const std::optional<nx::TextMetrics> m = nx::fontMetrics(row.face, row.tenths);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->height, row.height);
    EXPECT_EQ(m->ascent, row.ascent);
    EXPECT_EQ(m->averageWidth, row.average);
  }
  EXPECT_FALSE(nx::fontMetrics("黑体", 0));
}

}  // namespace
