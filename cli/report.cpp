#include "cli/report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/fault_message.h"
#include "cli/command.h"
#include "cli/names.h"
#include "cli/progress.h"
#include "gau/change.h"

namespace cli {

void Report::problem(const QString& file, const QString& what) {
  say(file, what);
  failed_ = true;
}

void Report::problem(const QString& file, int number, const QString& what) {
  problem(file, QString::number(number), what);
}

void Report::problem(const QString& file, const QString& bitmap, const QString& what) {
  problem(file, QStringLiteral("bitmap %1: %2").arg(bitmap, what));
}

void Report::usageProblem(const QString& file, const QString& bitmap, const QString& what) {
  problem(file, bitmap, what);
  usage_ = true;
}

void Report::note(const QString& file, int number, const QString& what) {
  note(file, QString::number(number), what);
}

void Report::note(const QString& file, const QString& bitmap, const QString& what) {
  say(file, QStringLiteral("bitmap %1: %2").arg(bitmap, what));
}

void Report::note(const QString& file, const QString& what) { say(file, what); }

void Report::say(const QString& file, const QString& what) {
  if (progress_) progress_->erase();
  // The name quoted, and the names the sentence may carry with their control
  // characters escaped: a name can neither break the line nor drive the terminal.
  writeMessage(QStringLiteral("dialpix: %1: %2\n").arg(quoted(file), escaped(what)));
}

void Report::out(const QByteArray& bytes) {
  const auto size = static_cast<size_t>(bytes.size());
  if (std::fwrite(bytes.constData(), 1, size, stdout) != size && outError_ == 0) outError_ = errno;
}

QString notDone(const QString& what, const QString& gauge, Fault fault, const std::string& why,
                const QString& file) {
  // Names as their bytes. The message line names the bitmap already.
  return nameOf(faultMessage({.action = bytesOf(what),
                              .bitmap = "the bitmap",
                              .gauge = bytesOf(gauge),
                              .file = bytesOf(file)},
                             fault, why));
}

void writeMessage(const QString& text) {
  const std::string bytes = bytesOf(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

int Report::finish() {
  if (progress_) progress_->erase();
  // Said once, whichever command made the change.
  for (const gau::ChangeNotice& n : gau::takeChangeNotices())
    say(nameOf(n.gauge), QString::fromStdString(n.sentence));
  if (finishOutput(outError_) != kDone) failed_ = true;
  return usage_ ? kUsage : failed_ ? kFailed : kDone;
}

}  // namespace cli
