#include "forms/notice.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

void Notice::showFor(QWidget* owner, QWidget* focusAfter) {
  owner_ = owner ? owner->window() : nullptr;
  focusAfter_ = focusAfter ? focusAfter : owner_ ? owner_->focusWidget() : nullptr;
  // Transient for the owner, so the window manager keeps it above that window.
  // Not a child of it: the owner may be destroyed while the notice is up.
  winId();
  windowHandle()->setTransientParent(owner_ && owner_->isVisible() ? owner_->windowHandle()
                                                                   : nullptr);
  ui::showWindow(this, owner_);
  okButton()->setFocus();
}

void Notice::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    okButton()->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void Notice::closeEvent(QCloseEvent* event) {
  event->ignore();  // OK decides what happens
  okButton()->click();
}

void Notice::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (event->spontaneous() || !owner_) return;
  // Once the hide has settled: the window system hands the keyboard on as
  // a window goes, and this must come after that.
  QTimer::singleShot(0, owner_, [owner = owner_, focus = focusAfter_] {
    if (!owner || !owner->isVisible()) return;
    owner->activateWindow();
    if (focus && focus->window() == owner) {
      focus->setFocus();
      // A number to correct is selected, so typing replaces it.
      if (auto* box = qobject_cast<QLineEdit*>(focus.data())) box->selectAll();
    }
  });
}
