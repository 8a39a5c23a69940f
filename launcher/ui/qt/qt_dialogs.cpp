// QMessageBox and QFileDialog behind the model's Dialogs: texts and paths arrive and leave
// as GBK; the caller's windows are brought up to date before anything modal opens.
#include "launcher/ui/qt/qt_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <iostream>

#include "launcher/ui/qt/qt_text.h"

namespace ui {
namespace {

QWidget* dialogParent() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

QMessageBox::Icon qtIcon(Icon icon) {
  switch (icon) {
    case Icon::Information:
      return QMessageBox::Information;
    case Icon::Warning:
      return QMessageBox::Warning;
    case Icon::Error:
      return QMessageBox::Critical;
    case Icon::Question:
      return QMessageBox::Question;
    case Icon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qtButtons(Buttons buttons) {
  switch (buttons) {
    case Buttons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Buttons::Ok:
      break;
  }
  return QMessageBox::Ok;
}

QString startPath(const std::string& folder, const std::string& file) {
  if (folder.empty()) return toQt(file);
  return QDir(toQt(folder)).filePath(toQt(file));
}

std::optional<std::string> chosen(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  return fromQt(path);
}

}  // namespace

Answer defaultAnswer(Buttons buttons) {
  return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::No : Answer::Ok;
}

QString qtFilter(const std::string& filter) {
  const QStringList parts = toQt(filter).split(QChar('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1];
    pattern.replace(QChar(';'), QChar(' '));
    entries << parts[i] + QStringLiteral(" (") + pattern + QChar(')');
  }
  return entries.join(QStringLiteral(";;"));
}

Answer QtDialogs::messageBox(const std::string& caption, const std::string& text, Icon icon,
                             Buttons buttons) {
  if (unattended_) {
    // Nobody reads the screen, so the box goes where a scripted run's log goes.
    std::cerr << toQt(caption).toStdString() << ": " << toQt(text).toStdString() << '\n';
    return defaultAnswer(buttons);
  }
  if (beforeModal_) beforeModal_();
  QMessageBox box(qtIcon(icon), toQt(caption), toQt(text), qtButtons(buttons), dialogParent());
  switch (box.exec()) {
    case QMessageBox::Ok:
      return Answer::Ok;
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    case QMessageBox::Cancel:
      return Answer::Cancel;
    default:
      break;
  }
  // Closed without a button: what Escape would have chosen.
  return buttons == Buttons::Ok      ? Answer::Ok
         : buttons == Buttons::YesNo ? Answer::No
                                     : Answer::Cancel;
}

std::optional<std::string> QtDialogs::openFile(const std::string& filter, const std::string& folder,
                                               const std::string& file) {
  if (unattended_) return std::nullopt;
  if (beforeModal_) beforeModal_();
  return chosen(QFileDialog::getOpenFileName(dialogParent(), QString(), startPath(folder, file),
                                             qtFilter(filter)));
}

std::optional<std::string> QtDialogs::saveFile(const std::string& filter, const std::string& folder,
                                               const std::string& file) {
  if (unattended_) return std::nullopt;
  if (beforeModal_) beforeModal_();
  return chosen(QFileDialog::getSaveFileName(dialogParent(), QString(), startPath(folder, file),
                                             qtFilter(filter)));
}

}  // namespace ui
