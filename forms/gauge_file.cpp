#include "forms/gauge_file.h"

#include <QMessageBox>
#include <QPushButton>

#include "app/Module1.h"
#include "app/fault_message.h"
#include "forms/bmp2gau.h"
#include "forms/gau2bmp.h"
#include "forms/numbmp.h"
#include "forms/showbmp.h"
#include "io/file_channels.h"
#include "io/file_names.h"
#include "io/system.h"
#include "ui/message.h"

using namespace io;
using namespace ui;

namespace {
OpenFindings findings;
}

const OpenFindings& openFindings() { return findings; }

Result<GaugeAccess> openGaugeFile(const std::string& file) {
  findings = {};
  // A change cut off part-way is undone before the scan reads the file.
  if (const Result<std::optional<gau::Restored>> r = gau::recoverGauge(file); r)
    findings.restored = *r;
  else
    findings.recoveryProblem = r.reason();
  std::string why;
  if (Channels.open(kGaugeChannel, file, OpenMode::ReadWriteExisting, &why)) {
    findings.withoutJournal = !gau::journalPossible(file);
    return GaugeAccess::ReadWrite;
  }
  const bool mayNotWrite = !writePermitted(file);
  std::string whyReading;
  if (mayNotWrite && Channels.open(kGaugeChannel, file, OpenMode::ReadOnly, &whyReading))
    return GaugeAccess::ReadOnly;
  return Result<GaugeAccess>::failure(Fault::Source, why);
}

bool gaugeReadOnly() {
  return Channels.isOpen(kGaugeChannel) && Channels[kGaugeChannel].readOnly();
}

QString readOnlyNote(const QString& gauge) {
  return QStringLiteral(
             "The gauge file %1 is read-only for you, so it is open for reading only. View "
             "Bitmap, Convert to BMP and the palette tool's colour values work; Convert from "
             "BMP, Make Transparent, Make Zero Trnsprt and Send are refused. To change the "
             "file, copy it to a folder you can write to and open the copy.")
      .arg(gauge);
}

QString readOnlyRefusal(const QString& what, const QString& gauge) {
  return QString::fromStdString(faultMessage(
      {.action = what.toStdString(), .gauge = gauge.toStdString()}, Fault::ReadOnly, {}));
}

bool refusedAsReadOnly(QWidget* owner, const QString& what) {
  if (!gaugeReadOnly()) return false;
  ShowMessage(owner, readOnlyRefusal(what, nameText(Module1.GauFileName)));
  return true;
}

bool refusedAsGone(QWidget* owner, const QString& what) {
  if (!Channels.isOpen(kGaugeChannel)) return false;
  const AtName now = Channels[kGaugeChannel].atName();
  if (now == AtName::Same) return false;
  const QString gauge = nameText(Module1.GauFileName);
  const bool replaced = now == AtName::Replaced;
  const QString change = replaced               ? QStringLiteral("replaced by another file")
                         : now == AtName::Moved ? QStringLiteral("renamed or moved")
                                                : QStringLiteral("removed");
  const QString why =
      QStringLiteral(
          "The gauge file %1 was %2 since it was opened. Start Window leads back to "
          "the list of gauge files%3.")
          .arg(gauge, change,
               replaced ? QStringLiteral(", where the file now at that name can be opened")
                        : QString());
  QMessageBox* box = ShowMessage(
      owner,
      QString::fromStdString(faultMessage({.action = what.toStdString()}, Fault::Source,
                                          why.toStdString())),
      QStringLiteral("Start Window"));
  QObject::connect(box->defaultButton(), &QPushButton::clicked, [] {
    ui::destroy<gau2bmp>();
    ui::destroy<bmp2gau>();
    ui::hide<showbmp>();
    if (numbmp* chooser = ui::find<numbmp>()) chooser->Command4_Click();  // its RETURN
  });
  return true;
}
