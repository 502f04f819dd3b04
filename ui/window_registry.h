#pragma once
// The nine windows of the program, each existing at most once and reached by
// its class. Five operations hand over from one window to another: create,
// show (modeless), hide, destroy, end program.

#include <QPointer>
#include <QWidget>
#include <functional>

namespace ui {

enum class FormId { dialpix, numbmp, gau2bmp, bmp2gau, showbmp, paltool, gbpwt, dun, outofr, Count };

// The one slot that holds the window of `id`, empty while it does not exist.
QPointer<QWidget>& formSlot(FormId id);

// What every window gets when it is built: Enter presses its focused button,
// as on the platform these windows come from (Qt leaves that to Space).
void enterPressesButtons(QWidget* window);

// Makes a window visible, on top and active; the caller carries on at once.
// A window opened from another is centred over it, so the road through the
// windows stays in one place; one opened from nowhere is centred on the
// screen the first time and stays where the user put it after that.
void showWindow(QWidget* w, const QWidget* from = nullptr);

template <class Form>
Form* find() {
  return static_cast<Form*>(formSlot(Form::kId).data());
}

// Builds the window from its layout and runs its set-up (Form_Load) when it
// does not exist yet; otherwise nothing.
template <class Form>
Form* create() {
  QPointer<QWidget>& slot = formSlot(Form::kId);
  if (!slot) {
    auto* form = new Form();
    slot = form;
    enterPressesButtons(form);
    if constexpr (requires(Form* f) { f->Form_Load(); }) form->Form_Load();
  }
  return static_cast<Form*>(slot.data());
}

template <class Form>
Form* show(const QWidget* from = nullptr) {
  Form* form = create<Form>();
  if (form) showWindow(form, from);
  return form;
}

template <class Form>
void hide() {
  if (Form* form = find<Form>()) form->hide();
}

// Closes the window and discards its controls; the next create builds it
// afresh. Deletion is deferred, so a window may destroy itself from its own handler.
template <class Form>
void destroy() {
  QPointer<QWidget>& slot = formSlot(Form::kId);
  if (QWidget* w = slot.data()) {
    slot = nullptr;
    w->hide();
    w->deleteLater();
  }
}

// Closes every open file and ends the program, whatever windows are up.
void endProgram();
// Tests replace what ending does after the files are closed.
void setEndProgramHandler(std::function<void()> handler);

// From now on the program ends as soon as none of its windows is on screen
// any more, however the last one went; a program left running without a
// window would hold the gauge file open until it is killed. Tests switch it off again.
void endWhenNoWindowIsLeft(bool on = true);

}  // namespace ui
