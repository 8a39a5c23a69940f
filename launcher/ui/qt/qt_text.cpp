// GBK <-> QString through the platform codec only. When a whole text does not convert, the
// lossy path still keeps every character that does, so one bad byte costs one character.
#include "launcher/ui/qt/qt_text.h"

#include <QList>

#include "platform/gbk.h"

namespace ui {

QString toQt(std::string_view gbk) {
  if (auto utf8 = platform::gbkToUtf8(gbk))
    return QString::fromUtf8(utf8->data(), qsizetype(utf8->size()));
  // Not GBK as a whole: keep ASCII and every two-byte piece the codec accepts.
  QString shown;
  for (std::size_t i = 0; i < gbk.size();) {
    auto byte = static_cast<unsigned char>(gbk[i]);
    if (byte < 0x80) {
      shown +=
          (byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r') ? QChar(byte) : QChar('?');
      ++i;
      continue;
    }
    if (i + 1 < gbk.size()) {
      if (auto pair = platform::gbkToUtf8(gbk.substr(i, 2))) {
        shown += QString::fromUtf8(pair->data(), qsizetype(pair->size()));
        i += 2;
        continue;
      }
    }
    shown += QChar('?');
    ++i;
  }
  return shown;
}

std::string fromQt(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  if (auto gbk = platform::utf8ToGbk(std::string_view(utf8.constData(), std::size_t(utf8.size()))))
    return *gbk;
  // A character GBK lacks (an emoji typed by the user): only that one becomes '?'.
  std::string out;
  for (uint codePoint : text.toUcs4()) {
    const auto character = static_cast<char32_t>(codePoint);
    const QByteArray utf8Char = QString::fromUcs4(&character, 1).toUtf8();
    auto gbkChar =
        platform::utf8ToGbk(std::string_view(utf8Char.constData(), std::size_t(utf8Char.size())));
    out += gbkChar ? *gbkChar : std::string("?");
  }
  return out;
}

}  // namespace ui
