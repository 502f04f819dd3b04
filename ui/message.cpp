#include "ui/message.h"

#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <algorithm>

namespace ui {
namespace {
QString last;
int count = 0;
QPointer<QMessageBox> current;

// Where the box's frame goes when its top-left corner should be at `at`: whole
// on the screen of `window` where it fits.
QPoint onScreen(QPoint at, const QMessageBox* box, const QWidget* window) {
  if (const QScreen* screen = window->screen()) {
    const QRect room = screen->availableGeometry();
    at.setX(std::clamp(at.x(), room.left(),
                       std::max(room.left(), room.right() - box->frameGeometry().width())));
    at.setY(std::clamp(at.y(), room.top(),
                       std::max(room.top(), room.bottom() - box->frameGeometry().height())));
  }
  return at;
}

// Just below `control`; where the screen has no room there, beside its window,
// on the side with more room. `titleBar` is added as the callers of move() here do.
QPoint belowControl(const QWidget* control, const QMessageBox* box, int titleBar) {
  const QWidget* window = control->window();
  const QPoint below = control->mapToGlobal(QPoint(0, control->height() + 4 + titleBar));
  const QScreen* screen = window->screen();
  const QSize size = box->frameGeometry().size() + QSize(0, titleBar);
  if (!screen || below.y() + size.height() <= screen->availableGeometry().bottom())
    return onScreen(below, box, window);
  const QRect room = screen->availableGeometry();
  const QRect frame = window->frameGeometry();
  const bool right = room.right() - frame.right() >= frame.left() - room.left();
  return onScreen(
      {right ? frame.right() + 8 : frame.left() - 8 - size.width(), window->geometry().top()}, box,
      window);
}

// Moves the box to its place by `owner`, as ShowMessage says.
void place(QMessageBox* box, const QWidget* owner, Placement where) {
  const QWidget* window = owner->window();
  // The box's own title bar is not known before it is mapped: take the other window's.
  const int titleBar = window->geometry().top() - window->frameGeometry().top();
  if (owner != window)
    box->move(belowControl(owner, box, titleBar));
  else if (where == Placement::BelowOwner)
    box->move(
        onScreen(window->frameGeometry().bottomLeft() + QPoint(0, 8 + titleBar), box, window));
}

// A window just shown has its place and frame only once the window system
// has mapped it: until then the box waits, shown where Qt puts it.
class PlaceWhenExposed : public QObject {
 public:
  PlaceWhenExposed(QMessageBox* box, QWidget* owner, Placement where)
      : QObject(box), box_(box), owner_(owner), where_(where) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Expose && owner_ &&
        owner_->window()->windowHandle()->isExposed()) {
      place(box_, owner_, where_);
      deleteLater();
    }
    return false;
  }

 private:
  QMessageBox* box_;  // the parent, so always there
  QPointer<QWidget> owner_;
  Placement where_;
};

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
  // Modal to its window alone: a click or a digit meant for that window must
  // not go past a message unread, but the other windows go on working.
  box->setWindowModality(Qt::WindowModal);
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
  if (window && window->isVisible()) {
    if (window->windowHandle()->isExposed())
      place(box, owner, where);
    else
      window->windowHandle()->installEventFilter(new PlaceWhenExposed(box, owner, where));
  }
  box->raise();
  box->activateWindow();
  return box;
}

QMessageBox* currentMessage() { return current.data(); }
QString lastMessage() { return last; }
int messageCount() { return count; }

}  // namespace ui
