// GBK <-> UTF-8 through glibc iconv; a failed or irreversible conversion yields nullopt.
// One descriptor per call: no shared state, so any thread may call at any time.
#include "platform/gbk.h"

#include <iconv.h>

#include <cerrno>

namespace platform {
namespace {

std::optional<std::string> convert(const char* to, const char* from, std::string_view in) {
  if (in.empty()) return std::string();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;

  std::string out(in.size() * 2 + 16, '\0');
  char* src = const_cast<char*>(in.data());  // iconv's signature lacks const; it never writes
  std::size_t srcLeft = in.size();
  std::size_t used = 0;
  bool ok = true;
  // A null source flushes any pending shift state once the input is consumed.
  for (bool flushing = false;;) {
    char* dst = out.data() + used;
    std::size_t dstLeft = out.size() - used;
    std::size_t r = flushing ? iconv(cd, nullptr, nullptr, &dst, &dstLeft)
                             : iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    used = out.size() - dstLeft;
    if (r == static_cast<std::size_t>(-1)) {
      if (errno != E2BIG) {
        ok = false;
        break;
      }
      out.resize(out.size() * 2);
      continue;
    }
    // A positive count means characters were replaced by look-alikes: not exact.
    if (r != 0) {
      ok = false;
      break;
    }
    if (flushing) break;
    flushing = true;
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(used);
  return out;
}

}  // namespace

std::optional<std::string> gbkToUtf8(std::string_view gbk) {
  auto utf8 = convert("UTF-8", "GBK", gbk);
  if (!utf8) return std::nullopt;
  auto back = convert("GBK", "UTF-8", *utf8);
  if (!back || *back != gbk) return std::nullopt;
  return utf8;
}

std::optional<std::string> utf8ToGbk(std::string_view utf8) {
  return convert("GBK", "UTF-8", utf8);
}

}  // namespace platform
