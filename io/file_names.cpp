#include "io/file_names.h"

#include <QFile>

namespace io {

QString nameText(const std::string& bytes) {
  const QByteArray raw = QByteArray::fromStdString(bytes);
  const QString decoded = QFile::decodeName(raw);
  return QFile::encodeName(decoded) == raw ? decoded : QString::fromLatin1(raw);
}

std::string nameBytes(const QString& text) { return QFile::encodeName(text).toStdString(); }

}  // namespace io
