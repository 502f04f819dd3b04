#include "cli/names.h"

#include <QHash>

#include "io/file_names.h"

namespace cli {
namespace {

// Only names whose text does not encode back to their bytes are kept.
QHash<QString, std::string>& remembered() {
  static QHash<QString, std::string> names;
  return names;
}

}  // namespace

QString nameOf(const std::string& bytes) {
  const QString text = io::nameText(bytes);
  if (io::nameBytes(text) != bytes) remembered().insert(text, bytes);
  return text;
}

QStringList argumentsAsText(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args.append(nameOf(argv[i]));
  return args;
}

std::string bytesOf(const QString& name) {
  const auto found = remembered().constFind(name);
  return found != remembered().cend() ? *found : io::nameBytes(name);
}

}  // namespace cli
