#include "forms/gbpwt.h"

#include <QApplication>
#include <QGuiApplication>
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
  // Headless platforms never expose a window, so there is nothing to wait for.
  const bool headless = QGuiApplication::platformName() == QLatin1String("offscreen") ||
                        QGuiApplication::platformName() == QLatin1String("minimal");
  QElapsedTimer t;
  t.start();
  do {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
  } while (!headless && notice->windowHandle() && !notice->windowHandle()->isExposed() && t.elapsed() < 200);
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
