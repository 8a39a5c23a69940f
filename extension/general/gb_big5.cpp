// A line feed ends a line and takes the byte before it with it (the carriage
// return of CR LF text); a pair never spans a line end. A pair whose table
// entry would lie past its row or table (trail or lead byte 0xFF) is copied
// like any pair without an entry: its first byte, one byte on.
//
// For speed the text is converted in one pass, the line rules applied on the
// way, through a direct map of two-byte units per direction, made once from
// its table; runs of ASCII move sixteen bytes at a time.
#include "extension/general/gb_big5.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "extension/general/gb_big5_tables.h"

namespace nx {
namespace {

// What the two bytes at a character's start turn into when both stay in
// the line, or 0: a pair of the table gives its entry; two ASCII characters
// stay as they are; any byte but a tab before a line feed gives CR LF (the
// line loses that byte, the line feed joins the next line). The map lets
// whole lines of text pass in one loop. It is indexed by the two bytes read
// as a little-endian number, and its entries keep their byte order.
struct PairMap {
  std::uint16_t code[65536];
};
static_assert(std::endian::native == std::endian::little, "units are read little-endian");

std::unique_ptr<PairMap> pairMap(const unsigned char* table, int (*row)(unsigned char),
                                 unsigned char firstTrail, int perRow) {
  auto map = std::make_unique<PairMap>();
  const auto plain = [](int b) { return b > 0 && b < 0x80 && b != '\n' && b != '\t'; };
  for (int x = 0; x < 256; ++x) {
    for (int y = 0; y < 128; ++y) {
      if (plain(x) && plain(y)) {
        const unsigned char same[2] = {static_cast<unsigned char>(x),
                                       static_cast<unsigned char>(y)};
        std::memcpy(&map->code[y << 8 | x], same, 2);
      }
    }
    if (x != '\n' && x != '\t') std::memcpy(&map->code['\n' << 8 | x], "\r\n", 2);
    const int r = row(static_cast<unsigned char>(x));
    if (r < 0) continue;
    for (int k = 0; k < perRow && firstTrail + k <= 0xFF; ++k)
      std::memcpy(&map->code[(firstTrail + k) << 8 | x], table + (r * perRow + k) * 2, 2);
  }
  return map;
}

int gbRow(unsigned char lead) {
  if (lead < 0xA1 || lead == 0xFF) return -1;
  return lead <= 0xAF ? lead - 0xA1 : lead - 0xA7;
}

int big5Row(unsigned char lead) { return lead < 0xA1 || lead == 0xFF ? -1 : lead - 0xA1; }

const PairMap& gbMap() {
  static const std::unique_ptr<PairMap> map = pairMap(kGbToBig5, gbRow, 0xA1, 94);
  return *map;
}

const PairMap& big5Map() {
  static const std::unique_ptr<PairMap> map = pairMap(kBig5ToGb, big5Row, 0x40, 191);
  return *map;
}

// Sixteen bytes at a time: how many of the first bytes are ASCII other than
// line feed and tab (16 when all are), and how much room line feeds and tabs
// need beyond one byte each.
#if defined(__SSE2__)
int plainPrefix(const unsigned char* at) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i special = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')),
                                       _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')));
  const int stops = _mm_movemask_epi8(bytes) | _mm_movemask_epi8(special) | 1 << 16;
  return __builtin_ctz(static_cast<unsigned>(stops));
}

// Byte counters of matches, summed before any of them can overflow.
std::size_t extraRoom(const unsigned char* from, const unsigned char* end) {
  std::size_t extra = 0;
  while (end - from >= 16) {
    __m128i feeds = _mm_setzero_si128(), tabs = _mm_setzero_si128();
    for (int round = 0; round < 255 && end - from >= 16; ++round, from += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
      feeds = _mm_sub_epi8(feeds, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
      tabs = _mm_sub_epi8(tabs, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')));
    }
    const auto sum = [](__m128i counters) {
      const __m128i halves = _mm_sad_epu8(counters, _mm_setzero_si128());
      return static_cast<std::size_t>(_mm_cvtsi128_si64(halves) +
                                      _mm_cvtsi128_si64(_mm_unpackhi_epi64(halves, halves)));
    };
    extra += sum(feeds) + 7 * sum(tabs);
  }
  for (; from < end; ++from) extra += *from == '\n' ? 1 : *from == '\t' ? 7 : 0;
  return extra;
}
#else
int plainPrefix(const unsigned char* at) {
  int n = 0;
  while (n < 16 && at[n] < 0x80 && at[n] != '\n' && at[n] != '\t') ++n;
  return n;
}

std::size_t extraRoom(const unsigned char* from, const unsigned char* end) {
  std::size_t extra = 0;
  for (; from < end; ++from) extra += *from == '\n' ? 1 : *from == '\t' ? 7 : 0;
  return extra;
}
#endif

// One pass over the whole text, with the line rules applied on the way: a
// byte right before a line feed is the one the line loses, and a pair needs
// its trail byte to stay in the line. A line feed joins two lines with CR LF
// (none after the last line); a tab is eight blanks, of which the last is
// lost before a line feed. Otherwise no byte gives more than one.
std::string convert(std::string_view text, const PairMap& map) {
  const auto* from = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = from + text.size();
  // Sixteen bytes of slack: runs of ASCII are stored sixteen at a time.
  std::string out(text.size() + extraRoom(from, end) + 16, '\0');
  char* to = out.data();
  const auto feedAt = [end](const unsigned char* at) { return at < end && *at == '\n'; };
  while (from < end) {
    if (end - from >= 16) {
      const int plain = plainPrefix(from);
      if (plain > 0) {
        std::memcpy(to, from, 16);
        from += plain;
        to += feedAt(from) ? plain - 1 : plain;
        continue;
      }
    }
    // Units, while each one's second byte stays in its line; two at a time,
    // so that their lookups overlap. A unit's first byte is never a line
    // feed, so only the byte after the second one needs a look.
    while (end - from >= 5) {
      std::uint32_t four;
      std::memcpy(&four, from, 4);
      const std::uint16_t first = map.code[four & 0xFFFF], second = map.code[four >> 16];
      if ((first == 0) | (second == 0) | (from[4] == '\n')) break;
      std::memcpy(to, &first, 2);
      std::memcpy(to + 2, &second, 2);
      to += 4;
      from += 4;
    }
    // A unit ending in the text's last line feed joins no further line.
    while (end - from >= 3 || (end - from == 2 && from[1] != '\n')) {
      const std::uint16_t code = map.code[from[1] << 8 | from[0]];
      if (code == 0 || feedAt(from + 2)) break;
      std::memcpy(to, &code, 2);
      to += 2;
      from += 2;
    }
    if (from == end) break;
    // What no unit takes is a character of one byte.
    const unsigned char x = *from++;
    if (x == '\n') {
      if (from < end) {
        *to++ = '\r';
        *to++ = '\n';
      }
    } else if (x == '\t') {
      const int blanks = feedAt(from) ? 7 : 8;
      std::memset(to, ' ', blanks);
      to += blanks;
    } else if (!feedAt(from)) {
      *to++ = static_cast<char>(x);
    }
  }
  out.resize(static_cast<std::size_t>(to - out.data()));
  return out;
}

unsigned char byteAt(std::string_view text, std::size_t i) {
  return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
}

}  // namespace

std::string gbToBig5(std::string_view text) { return convert(text, gbMap()); }
std::string big5ToGb(std::string_view text) { return convert(text, big5Map()); }

bool isBig5(std::string_view text) {
  if (text.empty()) return false;
  const unsigned char x = byteAt(text, 0), y = byteAt(text, 1);
  return x > 0xA1 && y >= 0x40 && y <= 0xFE;
}

bool isGb(std::string_view text) {
  if (text.empty()) return false;
  const unsigned char x = byteAt(text, 0), y = byteAt(text, 1);
  return x > 0xA1 && x < 0xF7 && y > 0xA1 && y < 0xFE;
}

}  // namespace nx
