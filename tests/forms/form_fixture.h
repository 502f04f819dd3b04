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

#include "forms/Module1.h"
#include "forms/bmp2gau.h"
#include "forms/dialpix.h"
#include "forms/dun.h"
#include "forms/gau2bmp.h"
#include "forms/gbpwt.h"
#include "forms/numbmp.h"
#include "forms/outofr.h"
#include "forms/paltool.h"
#include "forms/showbmp.h"
#include "io/file_channels.h"
#include "io/system.h"
#include "temp_dir.h"
#include "tools/gauge_builder.h"
#include "ui/beep.h"
#include "ui/file_list.h"
#include "ui/message.h"
#include "ui/window_registry.h"

namespace fixture {

inline int endCalls = 0;

// Destroys every window, closes the files and zeroes the shared record.
inline void resetProgram() {
  ui::destroy<dialpix>();
  ui::destroy<numbmp>();
  ui::destroy<gau2bmp>();
  ui::destroy<bmp2gau>();
  ui::destroy<showbmp>();
  ui::destroy<paltool>();
  ui::hide<gbpwt>();
  ui::hide<dun>();
  ui::hide<outofr>();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  io::Channels.closeAll();
  Module1 = Module1Record{};
  endCalls = 0;
  ui::setEndProgramHandler([] { ++endCalls; });
}

// Counts the times "PLEASE WAIT" was really on screen. isVisible() cannot
// tell: it is true for a window that the window system never mapped.
class WaitProbe : public QObject {
 public:
  WaitProbe() {
    gbpwt* notice = ui::create<gbpwt>();
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

// A table row that holds on one system only names it ("POSIX" or "Windows");
// elsewhere the test skips it and says so.
inline bool onOtherSystem(const QString& onlyOn) {
  const QString here =
      io::thisSystem() == io::System::Windows ? QStringLiteral("Windows") : QStringLiteral("POSIX");
  return !onlyOn.isEmpty() && onlyOn != here;
}

inline bool visible(QWidget* w) { return w != nullptr && w->isVisible(); }

template <class Form>
bool shown() {
  return visible(ui::find<Form>());
}

// Opens `name` from a fresh start window the way a user double-clicks it.
inline numbmp* pick(const QString& name) {
  dialpix* start = ui::show<dialpix>();
  start->File1->refresh();
  const auto items = start->File1->findItems(name, Qt::MatchExactly);
  if (items.isEmpty()) return nullptr;
  start->File1->setCurrentItem(items.first());
  start->File1_DblClick();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return ui::find<numbmp>();
}

inline void typeNumber(numbmp* chooser, const QString& text) {
  chooser->Text1->clear();
  QTest::keyClicks(chooser->Text1, text);
}

}  // namespace fixture
