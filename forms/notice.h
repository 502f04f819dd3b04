#pragma once
// What the two notices with an OK button ("DONE", "NUMBER OUT OF RANGE")
// share: each belongs to the window it concerns, stands over it and stays
// above it; OK, Escape and its close button all hide it, and the keyboard
// goes back to that window.

#include <QPointer>
#include <QWidget>

#include "ui/window_registry.h"

class QPushButton;

class Notice : public QWidget {
 public:
  // Shows the notice over `owner`; after OK the focus goes to `focusAfter`,
  // or where it was in the owner's window.
  void showFor(QWidget* owner, QWidget* focusAfter = nullptr);

 protected:
  virtual QPushButton* okButton() const = 0;  // the notice's Command1

  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QPointer<QWidget> owner_;
  QPointer<QWidget> focusAfter_;
};

// Shows the notice `Form` (creating it on first use) for `owner`.
template <class Form>
Form* showNotice(QWidget* owner, QWidget* focusAfter = nullptr) {
  Form* notice = ui::create<Form>();
  notice->showFor(owner, focusAfter);
  return notice;
}
