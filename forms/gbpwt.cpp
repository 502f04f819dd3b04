#include "forms/gbpwt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>

#include "ui/twips.h"

gbpwt::gbpwt() {
  setWindowTitle(QString(27, QLatin1Char(' ')) + QStringLiteral("PLEASE WAIT"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  // The notice is its title bar. A client area of height 0 is never mapped by
  // the window system, so it gets the least height that is: one pixel.
  setFixedSize(ui::twips(4680), kClientHeight);
}

// It goes when the work it stands for is done, not before.
void gbpwt::closeEvent(QCloseEvent* event) { event->ignore(); }

PleaseWait::PleaseWait() {
  ui::show<gbpwt>(QApplication::activeWindow());  // over the window at work
  // Hands the map request to the window system before the caller blocks the
  // event loop; the window manager then maps and titles the notice on its own,
  // and keepPainted() answers its expose events during the work.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

PleaseWait::~PleaseWait() { ui::hide<gbpwt>(); }

void PleaseWait::keepPainted() {
  static QElapsedTimer last;
  if (!last.isValid() || last.elapsed() > 50) {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    last.restart();
  }
}
