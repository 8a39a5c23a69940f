// n_cst_texttojpg: renders a text at a fixed width into a picture, reports its
// height and saves it as a 32-bit BMP file (whatever the name says, no JPEG).
// Settings changed after of_SetText take effect at the next of_SetText.
#pragma once

#include <array>
#include <string>

#include "extension/frame/extension_object.h"
#include "extension/general/text_picture.h"

namespace nx {

class n_cst_texttojpg final : public ExtensionObject<n_cst_texttojpg> {
 public:
  static IPBX_NonVisualObject* create(IPB_Session* session, pbobject object);

  void of_SaveBmp(const Call& call);
  void of_SetFontSize(const Call& call);
  void of_SetFontName(const Call& call);
  void of_SetJpgWidth(const Call& call);
  void of_SetText(const Call& call);
  void of_GetHeight(const Call& call);

  static constexpr std::array<Operation, 6> kOperations = {
      &n_cst_texttojpg::of_SaveBmp,     &n_cst_texttojpg::of_SetFontSize,
      &n_cst_texttojpg::of_SetFontName, &n_cst_texttojpg::of_SetJpgWidth,
      &n_cst_texttojpg::of_SetText,     &n_cst_texttojpg::of_GetHeight};

 private:
  n_cst_texttojpg() = default;

  int fontSize_ = 120;  // tenths of a point
  int width_ = 200;
  std::string fontName_ = "黑体";
  bool rendered_ = false;
  Picture picture_;  // the last rendering
  Picture spare_;    // the one before: its memory takes the next rendering
};

}  // namespace nx
