#include "platform/window_registry.h"

#include <QApplication>
#include <array>

#include "platform/file_channels.h"

namespace platform {
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

}  // namespace

QPointer<QWidget>& formSlot(FormId id) { return windows[static_cast<size_t>(id)]; }

void showWindow(QWidget* w) {
  w->show();
  w->raise();
  w->activateWindow();
}

void endProgram() {
  Channels.closeAll();
  endHandler()();
}

void setEndProgramHandler(std::function<void()> handler) { endHandler() = std::move(handler); }

}  // namespace platform
