// Text pictures: a GBK text laid out in lines of a fixed byte count and drawn
// black on white with FreeType into a 32-bit picture, as GDI's TextOut draws
// into a DIB, kept as its BMP file. No host types here.
// Thread-safe: the font state shared by all callers is locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nx {

// The most a 16-bit height can report.
inline constexpr int kMaxPictureHeight = 32767;

// GDI's text metrics of a font, in pixels; each at least 1.
struct TextMetrics {
  int height = 1;        // tmHeight: ascent + descent
  int ascent = 1;        // tmAscent: from the top of a line to its baseline
  int averageWidth = 1;  // tmAveCharWidth
};

// The face a font name (GBK) stands for at a size in tenths of a point, at 96
// dots per inch. A name that is not installed gets an installed Chinese face.
// nullopt when no face at all can be loaded or the size is not positive.
std::optional<TextMetrics> fontMetrics(std::string_view faceName, int tenthsOfPoint);

// The file of the face that name stands for; nullopt as for fontMetrics.
std::optional<std::string> fontFilePath(std::string_view faceName);

// Inserts a blank before a byte of 128 or more that directly follows a
// single-byte character when an odd number of those came since the start or
// the last inserted blank, so that double-byte characters start at even offsets.
std::string alignDoubleBytes(std::string_view text);

struct TextLine {
  std::size_t begin = 0;   // offset in the aligned text
  std::size_t length = 0;  // bytes drawn; 0 for an empty line
  int y = 0;               // top of the line
};

struct TextLayout {
  int x = 0;                    // left of every line
  std::size_t lineBytes = 0;    // the most bytes a line takes
  std::vector<TextLine> lines;  // every line, empty ones included
  // H + H/2 + lines * (H + H/2) when at most kMaxPictureHeight; otherwise
  // laying out stopped and this is some height above that.
  std::int64_t height = 0;
};

// The lines of an aligned text in a picture `width` pixels wide (positive).
TextLayout layOutLines(std::string_view aligned, int width, const TextMetrics& metrics);

// A 32-bit bottom-up DIB kept as its BMP file: a 14-byte file header, a
// 40-byte information header, no colour table, then the rows from the bottom
// up, 4 bytes a pixel: blue, green, red, 0.
struct Picture {
  static constexpr std::size_t kHeaderBytes = 54;

  int width = 0;
  int height = 0;
  std::string file;

  // Pixel x of row y, counted from the top.
  const std::uint8_t* pixel(int x, int y) const {
    return reinterpret_cast<const std::uint8_t*>(file.data()) + kHeaderBytes +
           (static_cast<std::size_t>(height - 1 - y) * width + x) * 4;
  }
  std::uint8_t* pixel(int x, int y) {
    return const_cast<std::uint8_t*>(static_cast<const Picture*>(this)->pixel(x, y));
  }
};

// The text (GBK) aligned, laid out and drawn into `picture`, whose memory is
// reused. False, with the picture's content unspecified, when no face loads,
// the width or size is not positive, the picture would be taller than
// kMaxPictureHeight or its memory cannot be had.
bool renderText(std::string_view text, std::string_view faceName, int tenthsOfPoint, int width,
                Picture& picture);

}  // namespace nx
