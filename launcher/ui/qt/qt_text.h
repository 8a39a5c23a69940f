// The one place where the Qt view turns the model's GBK bytes into Qt strings and back.
// Neither direction fails: bytes that are not GBK, and characters GBK lacks, show as '?'.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace ui {

QString toQt(std::string_view gbk);
std::string fromQt(const QString& text);

}  // namespace ui
