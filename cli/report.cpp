#include "cli/report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/fault_message.h"
#include "cli/command.h"
#include "cli/progress.h"

namespace cli {

void Report::problem(const QString& file, const QString& what) {
  if (progress_) progress_->erase();
  std::fprintf(stderr, "dialpix: %s: %s\n", qPrintable(file), qPrintable(what));
  failed_ = true;
}

void Report::problem(const QString& file, int number, const QString& what) {
  problem(file, QStringLiteral("bitmap %1: %2").arg(number).arg(what));
}

void Report::note(const QString& file, int number, const QString& what) {
  if (progress_) progress_->erase();
  std::fprintf(stderr, "dialpix: %s: bitmap %d: %s\n", qPrintable(file), number, qPrintable(what));
}

void Report::out(const QByteArray& bytes) {
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

QString notDone(const QString& what, Fault fault, const std::string& why) {
  return QString::fromStdString(faultMessage({.action = what.toStdString()}, fault, why));
}

int Report::finish() {
  if (progress_) progress_->erase();
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "dialpix: standard output: %s\n", std::strerror(errno));
    failed_ = true;
  }
  return failed_ ? kFailed : kDone;
}

}  // namespace cli
