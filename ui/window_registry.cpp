#include "ui/window_registry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <array>

#include "io/file_channels.h"

namespace ui {
namespace {

std::array<QPointer<QWidget>, static_cast<size_t>(FormId::Count)> windows;

std::function<void()>& endHandler() {
  static std::function<void()> handler = [] {
    for (auto& slot : windows)
      if (slot) slot->hide();
    QApplication::exit(0);
  };
  return handler;
}

class EnterPresses : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!enter || button == nullptr || (key->modifiers() & ~Qt::KeypadModifier) != 0) return false;
    if (button->isEnabled()) button->click();
    return true;
  }
};

// Looks after every hide and close; once the last window has gone, ends the
// program. The look is queued, so a handler that hides one window and shows
// the next is never taken for the end.
class LastWindowWatch : public QObject {
 public:
  using QObject::QObject;
  bool on = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool going = event->type() == QEvent::Hide || event->type() == QEvent::Close;
    if (going && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow() &&
        !pending_) {
      pending_ = true;
      QTimer::singleShot(0, this, [this] {
        pending_ = false;
        if (!on) return;  // switched off meanwhile
        const QWidgetList all = QApplication::topLevelWidgets();
        if (std::none_of(all.begin(), all.end(), [](QWidget* w) { return w->isVisible(); }))
          endProgram();
      });
    }
    return false;
  }

 private:
  bool pending_ = false;
};

// The frame around a shown window; a window not yet shown is given the frame of `like`.
QMargins frameOf(const QWidget* w, const QWidget* like) {
  const QRect frame = w->frameGeometry(), inner = w->geometry();
  const QMargins m(inner.left() - frame.left(), inner.top() - frame.top(),
                   frame.right() - inner.right(), frame.bottom() - inner.bottom());
  return m.isNull() && like != nullptr && like != w ? frameOf(like, nullptr) : m;
}

void centre(QWidget* w, const QWidget* from) {
  const QScreen* screen = from ? from->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect();
  QRect frame = w->geometry() + frameOf(w, from);
  frame.moveCenter(from ? from->frameGeometry().center() : area.center());
  if (area.isValid()) {  // whole on the screen where it fits
    frame.moveLeft(std::clamp(frame.left(), area.left(),
                              std::max(area.left(), area.right() + 1 - frame.width())));
    frame.moveTop(std::clamp(frame.top(), area.top(),
                             std::max(area.top(), area.bottom() + 1 - frame.height())));
  }
  w->move(frame.topLeft());
}

constexpr const char* kPlaced = "dialpixPlaced";

}  // namespace

QPointer<QWidget>& formSlot(FormId id) { return windows[static_cast<size_t>(id)]; }

void enterPressesButtons(QWidget* window) {
  static auto* filter = new EnterPresses(qApp);
  for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) b->installEventFilter(filter);
}

void showWindow(QWidget* w, const QWidget* from) {
  const QWidget* origin = from ? from->window() : nullptr;
  if (origin != nullptr && origin != w && origin->property(kPlaced).toBool()) {
    centre(w, origin);  // also when the caller has just hidden it
  } else if (!w->property(kPlaced).toBool()) {
    centre(w, nullptr);
  }
  w->setProperty(kPlaced, true);
  w->show();
  w->raise();
  w->activateWindow();
}

void endProgram() {
  io::Channels.closeAll();
  endHandler()();
}

void setEndProgramHandler(std::function<void()> handler) { endHandler() = std::move(handler); }

void endWhenNoWindowIsLeft(bool on) {
  static auto* watch = new LastWindowWatch(qApp);
  QApplication::setQuitOnLastWindowClosed(!on);  // the watch decides, after hides too
  watch->on = on;
  if (on)
    qApp->installEventFilter(watch);
  else
    qApp->removeEventFilter(watch);
}

}  // namespace ui
