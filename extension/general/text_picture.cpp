// Text pictures on FreeType and fontconfig. Fontconfig is initialised once;
// the FreeType library, a face per font file, the metrics per face and size and
// the rendered glyphs are kept for the process, so that drawing the same kind
// of text again costs little more than blending its glyphs.
#include "extension/general/text_picture.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/gbk.h"

namespace nx {
namespace {

// Stands for a byte sequence that is no GBK character: drawn as the face's default glyph.
constexpr char32_t kNoCharacter = 0xFFFFFFFF;

// The face asked for when the named one is not installed.
constexpr char kChineseFace[] = "WenQuanYi Micro Hei:lang=zh-cn";

// Rendered glyphs are dropped all at once beyond this.
constexpr std::size_t kGlyphCacheBytes = 32u << 20;

// GDI's point-size fonts: the em height in pixels is MulDiv(tenths, 96, 720).
int pixelsPerEm(int tenthsOfPoint) {
  const long long rounded = (static_cast<long long>(tenthsOfPoint) * 96 + 360) / 720;
  return static_cast<int>(std::clamp<long long>(rounded, 1, 0xffff));
}

struct FontFile {
  std::string path;
  int index = 0;
};

struct Glyph {
  int left = 0;  // from the pen to the bitmap's left column
  int top = 0;   // from the baseline up to the bitmap's top row
  int width = 0;
  int rows = 0;
  int advance = 0;
  std::vector<std::uint8_t> coverage;  // rows * width, 255 = fully inked
};

struct Face {
  FT_Face face = nullptr;
  std::string path;
  std::uint64_t id = 0;
  int pixels = 0;  // em size currently set, 0 for none
};

// A matched face only counts when `family` is one of its family names; with
// no family any match counts.
std::optional<FontFile> bestMatch(FcPattern* pattern, const char* family) {
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  if (match == nullptr) return std::nullopt;
  bool named = family == nullptr;
  FcChar8* value = nullptr;
  for (int i = 0; !named && FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i)
    named = FcStrCmpIgnoreCase(value, reinterpret_cast<const FcChar8*>(family)) == 0;
  std::optional<FontFile> found;
  FcChar8* file = nullptr;
  if (named && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    int index = 0;
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    found = FontFile{reinterpret_cast<const char*>(file), index};
  }
  FcPatternDestroy(match);
  return found;
}

// The installed face of that family name, else a Chinese face ("黑体" is not
// installed here), else whatever fontconfig offers.
std::optional<FontFile> findFontFile(std::string_view gbkName) {
  const std::optional<std::string> family = platform::gbkToUtf8(gbkName);
  if (family && !family->empty()) {
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return std::nullopt;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family->c_str()));
    std::optional<FontFile> found = bestMatch(pattern, family->c_str());
    FcPatternDestroy(pattern);
    if (found) return found;
  }
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kChineseFace));
  if (pattern == nullptr) return std::nullopt;
  std::optional<FontFile> found = bestMatch(pattern, nullptr);
  FcPatternDestroy(pattern);
  return found;
}

int rounded26Dot6(FT_Pos value) { return static_cast<int>((value + 32) >> 6); }

// Weights of the lowercase letters a-z and the space, summing to 1000.
constexpr std::array<int, 27> kLetterWeights = {64, 14, 27, 35, 100, 20, 14, 42, 63,
                                                3,  6,  35, 20, 56,  56, 17, 4,  49,
                                                56, 71, 31, 10, 18,  3,  18, 2,  166};

// The average width of OS/2 version 0, in pixels at the size set.
int lowercaseAverage(FT_Face face) {
  long long sum = 0;
  for (std::size_t i = 0; i < kLetterWeights.size(); ++i) {
    const FT_ULong code = i < 26 ? 'a' + i : ' ';
    FT_Fixed advance = 0;  // 16.16 pixels
    if (FT_Get_Advance(face, FT_Get_Char_Index(face, code), FT_LOAD_NO_HINTING, &advance) == 0)
      sum += static_cast<long long>(advance) * kLetterWeights[i];
  }
  return static_cast<int>((sum / 1000 + 0x8000) >> 16);
}

// H and the ascent as GDI's tmHeight and tmAscent: usWinAscent and
// usWinDescent scaled, or the size's own metrics without them.
// A is the OS/2 xAvgCharWidth scaled, as GDI's tmAveCharWidth. WenQuanYi Micro
// Hei's table (version 3, the mean of all its glyphs) holds 1427/2048 em, 11 px
// at 12 pt: below the 16 px of its Chinese glyphs, so a line of 2N bytes keeps
// inside the picture. The version-0 lowercase average (7 px) would let a line
// of Chinese run past the width, so it serves only when the table lacks a value.
TextMetrics measure(FT_Face face) {
  const FT_Size_Metrics& size = face->size->metrics;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const bool hasOs2 = os2 != nullptr && os2->version != 0xffff && FT_IS_SCALABLE(face);
  const auto scaled = [](FT_Long units, FT_Fixed scale) {
    return rounded26Dot6(FT_MulFix(units, scale));
  };
  TextMetrics metrics;
  int descent = 0;
  if (hasOs2 && os2->usWinAscent + os2->usWinDescent > 0) {
    metrics.ascent = scaled(os2->usWinAscent, size.y_scale);
    descent = scaled(os2->usWinDescent, size.y_scale);
  } else {
    metrics.ascent = rounded26Dot6(size.ascender);
    descent = rounded26Dot6(-size.descender);
  }
  metrics.ascent = std::max(metrics.ascent, 1);
  metrics.height = std::max(metrics.ascent + std::max(descent, 0), 1);
  metrics.averageWidth = hasOs2 && os2->xAvgCharWidth > 0 ? scaled(os2->xAvgCharWidth, size.x_scale)
                                                          : lowercaseAverage(face);
  metrics.averageWidth = std::max(metrics.averageWidth, 1);
  return metrics;
}

// Everything FreeType and fontconfig hold for the process. Callers lock `mutex`.
class Fonts {
 public:
  Fonts() {
    if (FcInit() != FcTrue) return;  // no face can be found: nothing renders
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
  }
  ~Fonts() {
    if (library_ != nullptr) FT_Done_FreeType(library_);  // with every face
  }
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  // The face of the name with the em size set; null when none loads.
  Face* sized(std::string_view gbkName, int pixels) {
    Face* face = named(gbkName);
    if (face == nullptr) return nullptr;
    if (face->pixels != pixels) {
      face->pixels = 0;
      if (FT_Set_Pixel_Sizes(face->face, 0, static_cast<FT_UInt>(pixels)) != 0) return nullptr;
      face->pixels = pixels;
    }
    return face;
  }

  const TextMetrics& metrics(const Face& face) {
    const auto key = std::make_pair(face.id, face.pixels);
    auto found = metrics_.find(key);
    if (found == metrics_.end()) found = metrics_.emplace(key, measure(face.face)).first;
    return found->second;
  }

  const Glyph& glyph(const Face& face, char32_t codePoint) {
    const FT_UInt index = codePoint == kNoCharacter ? 0 : FT_Get_Char_Index(face.face, codePoint);
    const std::uint64_t key = face.id << 48 | static_cast<std::uint64_t>(face.pixels) << 32 | index;
    if (auto found = glyphs_.find(key); found != glyphs_.end()) return found->second;
    Glyph glyph = render(face.face, index);
    if (glyphBytes_ + glyph.coverage.size() > kGlyphCacheBytes) {
      glyphs_.clear();
      glyphBytes_ = 0;
    }
    glyphBytes_ += glyph.coverage.size();
    return glyphs_.emplace(key, std::move(glyph)).first->second;
  }

  // The face of the name, loaded once.
  Face* named(std::string_view gbkName) {
    const std::string name(gbkName);
    if (auto found = byName_.find(name); found != byName_.end()) return found->second;
    if (library_ == nullptr) return nullptr;
    const std::optional<FontFile> file = findFontFile(gbkName);
    if (!file) return nullptr;
    const std::string fileKey = file->path + '\n' + std::to_string(file->index);
    auto loaded = byFile_.find(fileKey);
    if (loaded == byFile_.end()) {
      auto face = std::make_unique<Face>();
      if (FT_New_Face(library_, file->path.c_str(), file->index, &face->face) != 0) return nullptr;
      FT_Select_Charmap(face->face, FT_ENCODING_UNICODE);
      face->id = byFile_.size();
      face->path = file->path;
      loaded = byFile_.emplace(fileKey, std::move(face)).first;
    }
    return byName_[name] = loaded->second.get();
  }

  std::mutex mutex;

 private:
  static Glyph render(FT_Face face, FT_UInt index) {
    Glyph glyph;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) return glyph;
    FT_GlyphSlot slot = face->glyph;
    glyph.advance = rounded26Dot6(slot->advance.x);
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0)
      return glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const bool gray = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY;
    if (!gray && bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return glyph;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = static_cast<int>(bitmap.width);
    glyph.rows = static_cast<int>(bitmap.rows);
    glyph.coverage.resize(static_cast<std::size_t>(glyph.width) * glyph.rows);
    const int levels = gray ? std::max(bitmap.num_grays - 1, 1) : 1;
    for (int row = 0; row < glyph.rows; ++row) {
      const unsigned char* source = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
      std::uint8_t* target = glyph.coverage.data() + static_cast<std::size_t>(row) * glyph.width;
      for (int column = 0; column < glyph.width; ++column) {
        const int value = gray ? source[column] : (source[column >> 3] >> (7 - (column & 7))) & 1;
        target[column] = static_cast<std::uint8_t>(value * 255 / levels);
      }
    }
    return glyph;
  }

  FT_Library library_ = nullptr;
  std::unordered_map<std::string, Face*> byName_;
  std::map<std::string, std::unique_ptr<Face>> byFile_;
  std::map<std::pair<std::uint64_t, int>, TextMetrics> metrics_;
  std::unordered_map<std::uint64_t, Glyph> glyphs_;
  std::size_t glyphBytes_ = 0;
};

Fonts& fonts() {
  static Fonts instance;
  return instance;
}

bool isLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xfe; }
bool isTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7e) || (b >= 0x80 && b <= 0xfe); }

// iconv's output is well-formed UTF-8.
void appendCodePoints(std::string_view utf8, std::vector<char32_t>& out) {
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
    char32_t code = length == 1 ? lead : lead & (0x7f >> length);
    for (int k = 1; k < length && i + k < utf8.size(); ++k)
      code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3f);
    out.push_back(code);
    i += static_cast<std::size_t>(length);
  }
}

// The characters a line's GBK bytes draw. A lead byte cut off by the line's
// end draws nothing; a byte sequence that is no character draws the default glyph.
std::vector<char32_t> decodeLine(std::string_view bytes) {
  std::size_t whole = 0;
  while (whole < bytes.size()) {
    const bool pair = isLeadByte(static_cast<unsigned char>(bytes[whole])) &&
                      whole + 1 < bytes.size() &&
                      isTrailByte(static_cast<unsigned char>(bytes[whole + 1]));
    if (!pair && isLeadByte(static_cast<unsigned char>(bytes[whole])) && whole + 1 == bytes.size())
      break;
    whole += pair ? 2 : 1;
  }
  bytes = bytes.substr(0, whole);
  std::vector<char32_t> characters;
  if (const auto utf8 = platform::gbkToUtf8(bytes)) {
    appendCodePoints(*utf8, characters);
    return characters;
  }
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      characters.push_back(lead);
      ++i;
    } else if (isLeadByte(lead) && i + 1 < bytes.size() &&
               isTrailByte(static_cast<unsigned char>(bytes[i + 1]))) {
      const auto utf8 = platform::gbkToUtf8(bytes.substr(i, 2));
      if (utf8)
        appendCodePoints(*utf8, characters);
      else
        characters.push_back(kNoCharacter);
      i += 2;
    } else {
      characters.push_back(kNoCharacter);
      ++i;
    }
  }
  return characters;
}

// Black over white with the glyph's coverage, clipped to the picture.
void drawGlyph(Picture& picture, const Glyph& glyph, int penX, int baseline) {
  const int left = penX + glyph.left;
  const int top = baseline - glyph.top;
  const int fromRow = std::max(0, -top), toRow = std::min(glyph.rows, picture.height - top);
  const int fromColumn = std::max(0, -left);
  const int toColumn = std::min(glyph.width, picture.width - left);
  for (int row = fromRow; row < toRow; ++row) {
    const std::uint8_t* coverage =
        glyph.coverage.data() + static_cast<std::size_t>(row) * glyph.width;
    std::uint8_t* pixels = picture.pixel(0, top + row);
    for (int column = fromColumn; column < toColumn; ++column) {
      const unsigned keep = 255u - coverage[column];
      if (keep == 255u) continue;
      std::uint8_t* bgr = pixels + static_cast<std::size_t>(left + column) * 4;
      for (int channel = 0; channel < 3; ++channel)
        bgr[channel] = static_cast<std::uint8_t>((bgr[channel] * keep + 127u) / 255u);
    }
  }
}

void drawLine(Fonts& all, const Face& face, Picture& picture, std::string_view bytes, int x,
              int baseline) {
  int pen = x;
  for (char32_t character : decodeLine(bytes)) {
    const Glyph& glyph = all.glyph(face, character);
    drawGlyph(picture, glyph, pen, baseline);
    pen += glyph.advance;
  }
}

// Little-endian fields of the headers, at their offsets.
void put(std::string& file, std::size_t at, int bytes, std::uint32_t value) {
  for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<char>(value >> (8 * i) & 0xff);
}

void writeHeaders(Picture& picture) {
  std::string& file = picture.file;
  const auto pixelBytes = static_cast<std::uint32_t>(file.size() - Picture::kHeaderBytes);
  file[0] = 'B';
  file[1] = 'M';
  put(file, 2, 4, static_cast<std::uint32_t>(file.size()));
  put(file, 6, 4, 0);  // two reserved words
  put(file, 10, 4, Picture::kHeaderBytes);
  put(file, 14, 4, 40);
  put(file, 18, 4, static_cast<std::uint32_t>(picture.width));
  put(file, 22, 4, static_cast<std::uint32_t>(picture.height));  // positive: bottom-up
  put(file, 26, 2, 1);
  put(file, 28, 2, 32);
  put(file, 30, 4, 0);  // no compression
  put(file, 34, 4, pixelBytes);
  for (std::size_t at = 38; at < Picture::kHeaderBytes; at += 4)
    put(file, at, 4, 0);  // resolutions, colours used, important colours
}

// White with a DIB's zero fourth byte.
void fillWhite(Picture& picture) {
  if (picture.height == 0) return;
  const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 4;
  std::uint8_t* first = picture.pixel(0, picture.height - 1);
  for (std::size_t i = 0; i < rowBytes; i += 4) {
    first[i] = first[i + 1] = first[i + 2] = 0xff;
    first[i + 3] = 0;
  }
  for (int row = 1; row < picture.height; ++row)
    std::memcpy(first + row * rowBytes, first, rowBytes);
}

}  // namespace

std::optional<TextMetrics> fontMetrics(std::string_view faceName, int tenthsOfPoint) {
  if (tenthsOfPoint <= 0) return std::nullopt;
  Fonts& all = fonts();
  std::lock_guard<std::mutex> lock(all.mutex);
  const Face* face = all.sized(faceName, pixelsPerEm(tenthsOfPoint));
  if (face == nullptr) return std::nullopt;
  return all.metrics(*face);
}

std::optional<std::string> fontFilePath(std::string_view faceName) {
  Fonts& all = fonts();
  std::lock_guard<std::mutex> lock(all.mutex);
  const Face* face = all.named(faceName);
  if (face == nullptr) return std::nullopt;
  return face->path;
}

std::string alignDoubleBytes(std::string_view text) {
  std::string aligned;
  aligned.reserve(text.size() + text.size() / 2);
  std::size_t singles = 0;  // since the start or the last inserted blank
  bool afterSingle = false;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80) {
      if (afterSingle && singles % 2 == 1) {
        aligned += ' ';
        singles = 0;
      }
      afterSingle = false;
    } else {
      afterSingle = b != 0;
      if (afterSingle) ++singles;
    }
    aligned += c;
  }
  return aligned;
}

TextLayout layOutLines(std::string_view aligned, int width, const TextMetrics& metrics) {
  const int h = metrics.height;
  int n = width / (2 * metrics.averageWidth);
  if (n % 2 != 0) --n;
  if (n <= 0) n = 1;  // narrower than four average widths: one character a line
  TextLayout layout;
  layout.x = metrics.averageWidth / 2;
  layout.lineBytes = 2 * static_cast<std::size_t>(n);
  std::int64_t y = h / 2;
  // The position may equal the length: a text ending at a line end gets one more, empty line.
  for (std::size_t position = 0; position <= aligned.size();) {
    if (h + y > kMaxPictureHeight) break;
    const std::string_view taken = aligned.substr(position, layout.lineBytes);
    const std::size_t cr = taken.find('\r');
    TextLine line{position, 0, static_cast<int>(y)};
    if (cr == 0) {
      position += 2;
    } else if (cr != std::string_view::npos) {
      line.length = cr;
      position += cr + 2;  // the carriage return and its line feed
    } else {
      line.length = taken.size();
      position += layout.lineBytes;
    }
    layout.lines.push_back(line);
    y += h + h / 2;
  }
  layout.height = h + y;
  return layout;
}

bool renderText(std::string_view text, std::string_view faceName, int tenthsOfPoint, int width,
                Picture& picture) {
  if (width <= 0 || tenthsOfPoint <= 0) return false;
  try {
    Fonts& all = fonts();
    std::lock_guard<std::mutex> lock(all.mutex);
    const Face* face = all.sized(faceName, pixelsPerEm(tenthsOfPoint));
    if (face == nullptr) return false;
    const TextMetrics metrics = all.metrics(*face);
    const std::string aligned = alignDoubleBytes(text);
    const TextLayout layout = layOutLines(aligned, width, metrics);
    if (layout.height > kMaxPictureHeight) return false;

    picture.width = width;
    picture.height = static_cast<int>(layout.height);
    // Resizing to the size of the last picture touches no new memory.
    picture.file.resize(Picture::kHeaderBytes +
                        static_cast<std::size_t>(width) * 4 * picture.height);
    writeHeaders(picture);
    fillWhite(picture);
    for (const TextLine& line : layout.lines)
      if (line.length > 0)
        drawLine(all, *face, picture, std::string_view(aligned).substr(line.begin, line.length),
                 layout.x, line.y + metrics.ascent);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

}  // namespace nx
