#include "forms/gbpwt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include "platform/twips.h"

gbpwt::gbpwt() {
  setWindowTitle(QString(27, QLatin1Char(' ')) + QStringLiteral("PLEASE WAIT"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint);
  platform::setClientSize(this, 4680, 0);
}

PleaseWait::PleaseWait() {
  gbpwt* notice = platform::show<gbpwt>();
  // Give the window system a moment to map and paint the notice before the
  // caller blocks the event loop.
  QElapsedTimer t;
  t.start();
  do {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
  } while (notice->windowHandle() && !notice->windowHandle()->isExposed() && t.elapsed() < 200);
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

PleaseWait::~PleaseWait() { platform::hide<gbpwt>(); }

void PleaseWait::keepPainted() {
  static QElapsedTimer last;
  if (!last.isValid() || last.elapsed() > 50) {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    last.restart();
  }
}
