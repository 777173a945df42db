// Qt's message boxes behind the message interface.
#include "QtMessages.h"

#include <QMessageBox>
#include <QString>

namespace app {
namespace {

const QString kTitle = QStringLiteral("Orlenda");

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void QtMessages::Info(std::string_view text) {
  QMessageBox::information(parent_, kTitle, ToQString(text));
}

bool QtMessages::YesNo(std::string_view text) {
  return QMessageBox::question(parent_, kTitle, ToQString(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtMessages::OkCancel(std::string_view text) {
  return QMessageBox::question(parent_, kTitle, ToQString(text),
                               QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void QtMessages::Error(std::string_view text) {
  QMessageBox::critical(parent_, kTitle, ToQString(text));
}

}  // namespace app
