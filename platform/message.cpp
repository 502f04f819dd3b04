#include "platform/message.h"

#include <QMessageBox>
#include <QScreen>
#include <algorithm>

namespace platform {
namespace {
QString last;
int count = 0;
}  // namespace

void ShowMessage(const QString& text, const QWidget* beside) {
  last = text;
  ++count;
  auto* box =
      new QMessageBox(QMessageBox::Warning, QStringLiteral("dialpix"), text, QMessageBox::Ok);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->show();
  if (beside && beside->isVisible()) {
    // The box's own title bar is not known before it is mapped: take the other window's.
    const int titleBar = beside->geometry().top() - beside->frameGeometry().top();
    QPoint at = beside->frameGeometry().bottomLeft() + QPoint(0, 8 + titleBar);
    if (const QScreen* screen = beside->screen()) {
      const QRect room = screen->availableGeometry();
      at.setX(std::clamp(at.x(), room.left(),
                         std::max(room.left(), room.right() - box->frameGeometry().width())));
      at.setY(std::clamp(at.y(), room.top(),
                         std::max(room.top(), room.bottom() - box->frameGeometry().height())));
    }
    box->move(at);
  }
  box->raise();
  box->activateWindow();
}

QString lastMessage() { return last; }
int messageCount() { return count; }

}  // namespace platform
