// n_cst_texttojpg: a size or width that cannot render (zero or negative) is
// refused like the zero; a text whose picture would be taller than a 16-bit
// height can report is refused and the previous picture stays. of_SaveBmp
// reports a file it could not write, and a failed write leaves no half file.
#include "extension/general/n_cst_texttojpg.h"

#include <new>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace nx {

IPBX_NonVisualObject* n_cst_texttojpg::create(IPB_Session*, pbobject) {
  return new (std::nothrow) n_cst_texttojpg();
}

void n_cst_texttojpg::of_SaveBmp(const Call& call) {
  const std::optional<std::string> name = call.text(0);
  if (!name || !rendered_) {
    call.returnInt(-1);
    return;
  }
  const std::string written =
      platform::replaceFileAtomically(platform::fromWindowsPath(*name), picture_.file);
  call.returnInt(written.empty() ? 1 : -1);
}

// A null size reads 0, as the host's integer of a null value.
void n_cst_texttojpg::of_SetFontSize(const Call& call) {
  const int size = call.integer(0).value_or(0);
  if (size <= 0) {
    call.returnInt(-1);
    return;
  }
  fontSize_ = size;
  call.returnInt(1);
}

void n_cst_texttojpg::of_SetFontName(const Call& call) {
  std::optional<std::string> name = call.text(0);
  if (!name) {
    call.returnInt(-1);
    return;
  }
  fontName_ = std::move(*name);
  call.returnInt(1);
}

void n_cst_texttojpg::of_SetJpgWidth(const Call& call) {
  const int width = call.integer(0).value_or(0);
  if (width <= 0) {
    call.returnInt(-1);
    return;
  }
  width_ = width;
  call.returnInt(1);
}

void n_cst_texttojpg::of_SetText(const Call& call) {
  const std::optional<std::string> text = call.text(0);
  if (!text || !renderText(*text, fontName_, fontSize_, width_, spare_)) {
    call.returnInt(-1);
    return;
  }
  std::swap(picture_, spare_);
  rendered_ = true;
  call.returnInt(1);
}

void n_cst_texttojpg::of_GetHeight(const Call& call) {
  call.returnInt(static_cast<pbint>(rendered_ ? picture_.height : 0));
}

}  // namespace nx
