#include "forms/gauge_file.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "base/fault_message.h"
#include "forms/Module1.h"
#include "forms/bmp2gau.h"
#include "forms/gau2bmp.h"
#include "forms/numbmp.h"
#include "forms/showbmp.h"
#include "gau/open_gauge.h"
#include "io/file_channels.h"
#include "io/file_names.h"
#include "io/system.h"
#include "ui/message.h"

using namespace io;
using namespace ui;

namespace {
OpenFindings findings;
std::vector<std::pair<QPointer<QObject>, std::function<void()>>> redraws;
}  // namespace

const OpenFindings& openFindings() { return findings; }

Result<GaugeAccess> openGaugeFile(const std::string& file) {
  findings = {};
  gau::OpenResult opened = gau::openGauge(file, gau::Access::ReadWrite);
  if (!opened.gauge) {
    const gau::OpenFailure& f = opened.failure;
    return Result<GaugeAccess>::failure(
        Fault::Source, f.problem == gau::OpenProblem::TooLarge
                           ? "is larger than 2,147,483,647 bytes, too large for dialpix to work on"
                           : "cannot be opened: " + f.why);
  }
  gau::OpenedGauge& o = *opened.gauge;
  findings.restored = o.recovery.restored;
  findings.recoveryProblem = !o.recoveryProblem.empty() ? o.recoveryProblem : o.recovery.notice;
  findings.withoutJournal = o.withoutJournal;
  const GaugeAccess access =
      o.access == gau::Access::ReadWrite ? GaugeAccess::ReadWrite : GaugeAccess::ReadOnly;
  Channels.attach(kGaugeChannel, std::move(o.channel));
  return access;
}

void tellChangeNotices(QWidget* owner) {
  for (const gau::ChangeNotice& n : gau::takeChangeNotices())
    ShowMessage(
        owner,
        QStringLiteral("The gauge file %1: %2").arg(nameText(n.gauge), nameText(n.sentence)));
  std::erase_if(redraws, [](const auto& r) { return r.first.isNull(); });
  for (const auto copy = redraws; const auto& [receiver, redraw] : copy)
    if (receiver) redraw();
}

void onGaugeChanged(QObject* owner, std::function<void()> redraw) {
  redraws.emplace_back(owner, std::move(redraw));
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
  QMessageBox* box =
      ShowMessage(owner,
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
