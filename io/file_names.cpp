#include "io/file_names.h"

#include <QFile>

#include "io/system.h"

namespace io {

QString nameText(const std::string& bytes) {
  const QByteArray raw = QByteArray::fromStdString(bytes);
  if (namesAreUtf8()) return QString::fromUtf8(raw);
  const QString decoded = QFile::decodeName(raw);
  return QFile::encodeName(decoded) == raw ? decoded : QString::fromLatin1(raw);
}

std::string nameBytes(const QString& text) {
  return namesAreUtf8() ? text.toStdString() : QFile::encodeName(text).toStdString();
}

}  // namespace io
