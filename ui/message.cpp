#include "ui/message.h"

#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <algorithm>

namespace ui {
namespace {
QString last;
int count = 0;
QPointer<QMessageBox> current;
}  // namespace

QMessageBox* ShowMessage(QWidget* owner, const QString& text, const QString& offer,
                         Placement where) {
  last = text;
  ++count;
  if (current) {
    current->disconnect();  // the one replacing it decides where the keyboard goes
    current->close();
  }
  QWidget* window = owner ? owner->window() : nullptr;
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("dialpix"), text,
                              QMessageBox::Ok, window);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  if (window) {
    QPointer<QWidget> back(window);
    QObject::connect(box, &QMessageBox::finished, window, [back] {
      if (back && back->isVisible()) back->activateWindow();
    });
  }
  if (!offer.isEmpty()) {
    box->setDefaultButton(box->addButton(offer, QMessageBox::ActionRole));
    box->setEscapeButton(QMessageBox::Ok);
  }
  current = box;
  // Not moved here: a message box centres itself over its window once it
  // knows its own size, which it does only as it is shown.
  box->show();
  if (where == Placement::BelowOwner && window && window->isVisible()) {
    // The box's own title bar is not known before it is mapped: take the other window's.
    const int titleBar = window->geometry().top() - window->frameGeometry().top();
    QPoint at = window->frameGeometry().bottomLeft() + QPoint(0, 8 + titleBar);
    if (const QScreen* screen = window->screen()) {
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
  return box;
}

QMessageBox* currentMessage() { return current.data(); }
QString lastMessage() { return last; }
int messageCount() { return count; }

}  // namespace ui
