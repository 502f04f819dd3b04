#pragma once
// Where a command's results go: data on standard output, one line a problem
// on standard error naming the file, the bitmap and the reason. Remembers
// whether anything failed, for the exit status.

#include <QByteArray>
#include <QString>
#include <string>

#include "base/result.h"

namespace cli {

class Progress;

class Report {
 public:
  // A problem with `file`, as one line on standard error.
  void problem(const QString& file, const QString& what);
  // A problem with bitmap `number` of `file`.
  void problem(const QString& file, int number, const QString& what);

  // A problem with the bitmap called `bitmap` ("3", "id:4096") of `file`.
  void problem(const QString& file, const QString& bitmap, const QString& what);
  // A problem that is the command line's: the exit status is then 2.
  void usageProblem(const QString& file, const QString& bitmap, const QString& what);

  // Something done that the user should know of; not a failure.
  void note(const QString& file, int number, const QString& what);
  void note(const QString& file, const QString& bitmap, const QString& what);
  void note(const QString& file, const QString& what);

  // Data for standard output.
  void out(const QByteArray& bytes);

  bool failed() const { return failed_; }

  // A bar to clear before a message is printed (may be null).
  void setProgress(Progress* progress) { progress_ = progress; }

  // Flushes standard output and returns the exit status: 0, or 1 when a
  // problem was reported or the output could not be written, 2 after a usage problem.
  int finish();

 private:
  void say(const QString& file, const QString& what);

  Progress* progress_ = nullptr;
  bool failed_ = false;
  bool usage_ = false;
  int outError_ = 0;  // errno of the first write to standard output that failed
};

// Writes `text` to standard error, names in it as their own bytes.
void writeMessage(const QString& text);

// A reason from the file logic, for a message.
inline QString reason(const std::string& sentences) { return QString::fromStdString(sentences); }

// What became of `what` (an operation on a bitmap of `gauge`) that the file
// logic refused or failed with `fault` and `why`: what was or was not written, then why.
// `file` names the picture a refusal may be about.
QString notDone(const QString& what, const QString& gauge, Fault fault, const std::string& why,
                const QString& file = {});

}  // namespace cli
