#pragma once
// Shared set-up for the window tests: a temporary working folder, a fresh
// shared record, ending the program recorded instead of done, and helpers to
// look at what the windows show.

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QWindow>
#include <filesystem>
#include <string>

#include "app/Module1.h"
#include "forms/bmp2gau.h"
#include "forms/dialpix.h"
#include "forms/dun.h"
#include "forms/gau2bmp.h"
#include "forms/gbpwt.h"
#include "forms/numbmp.h"
#include "forms/outofr.h"
#include "forms/paltool.h"
#include "forms/showbmp.h"
#include "platform/beep.h"
#include "platform/file_channels.h"
#include "platform/file_list.h"
#include "platform/message.h"
#include "platform/window_registry.h"
#include "temp_dir.h"
#include "tools/gauge_builder.h"

namespace fixture {

inline int endCalls = 0;

// Destroys every window, closes the files and zeroes the shared record.
inline void resetProgram() {
  platform::destroy<dialpix>();
  platform::destroy<numbmp>();
  platform::destroy<gau2bmp>();
  platform::destroy<bmp2gau>();
  platform::destroy<showbmp>();
  platform::destroy<paltool>();
  platform::hide<gbpwt>();
  platform::hide<dun>();
  platform::hide<outofr>();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  platform::Channels.closeAll();
  Module1 = Module1Record{};
  endCalls = 0;
  platform::setEndProgramHandler([] { ++endCalls; });
}

// Counts the times "PLEASE WAIT" was really on screen. isVisible() cannot
// tell: it is true for a window that the window system never mapped.
class WaitProbe : public QObject {
 public:
  WaitProbe() {
    gbpwt* notice = platform::create<gbpwt>();
    notice->winId();  // gives it its native window now
    notice->windowHandle()->installEventFilter(this);
  }
  int exposures = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) ++exposures;
    return false;
  }
};

inline bool visible(QWidget* w) { return w != nullptr && w->isVisible(); }

template <class Form>
bool shown() {
  return visible(platform::find<Form>());
}

// Opens `name` from a fresh start window the way a user double-clicks it.
inline numbmp* pick(const QString& name) {
  dialpix* start = platform::show<dialpix>();
  start->File1->refresh();
  const auto items = start->File1->findItems(name, Qt::MatchExactly);
  if (items.isEmpty()) return nullptr;
  start->File1->setCurrentItem(items.first());
  start->File1_DblClick();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return platform::find<numbmp>();
}

inline void typeNumber(numbmp* chooser, const QString& text) {
  chooser->Text1->clear();
  QTest::keyClicks(chooser->Text1, text);
}

}  // namespace fixture
