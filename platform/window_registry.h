#pragma once
// The nine windows of the program, each existing at most once and reached by
// its class. Five operations hand over from one window to another: create,
// show (modeless), hide, destroy, end program.

#include <QPointer>
#include <QWidget>
#include <functional>

namespace platform {

enum class FormId { dialpix, numbmp, gau2bmp, bmp2gau, showbmp, paltool, gbpwt, dun, outofr, Count };

// The one slot that holds the window of `id`, empty while it does not exist.
QPointer<QWidget>& formSlot(FormId id);

// Makes a window visible, on top and active; the caller carries on at once.
void showWindow(QWidget* w);

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
    if constexpr (requires(Form* f) { f->Form_Load(); }) form->Form_Load();
  }
  return static_cast<Form*>(slot.data());
}

template <class Form>
Form* show() {
  Form* form = create<Form>();
  if (form) showWindow(form);
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

}  // namespace platform
