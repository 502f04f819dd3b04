#include "platform/message.h"

#include <QMessageBox>

namespace platform {
namespace {
QString last;
int count = 0;
}  // namespace

void ShowMessage(const QString& text) {
  last = text;
  ++count;
  auto* box =
      new QMessageBox(QMessageBox::Warning, QStringLiteral("dialpix"), text, QMessageBox::Ok);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->show();
  box->raise();
  box->activateWindow();
}

QString lastMessage() { return last; }
int messageCount() { return count; }

}  // namespace platform
