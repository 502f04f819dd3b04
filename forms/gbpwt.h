#pragma once
// The please-wait notice: a bare title bar whose title is the message.

#include <QWidget>

#include "ui/window_registry.h"

class gbpwt : public QWidget {
  Q_OBJECT

 public:
  static constexpr ui::FormId kId = ui::FormId::gbpwt;
  static constexpr int kClientHeight = 1;  // pixels
  gbpwt();

 protected:
  void closeEvent(QCloseEvent* event) override;
};

// Shows "PLEASE WAIT" for the life of the object and hides it again on every
// way out, so an operation that fails part-way never leaves it up.
class PleaseWait {
 public:
  PleaseWait();
  ~PleaseWait();
  PleaseWait(const PleaseWait&) = delete;
  PleaseWait& operator=(const PleaseWait&) = delete;

  // Lets the notice repaint during a long loop; user input keeps waiting.
  static void keepPainted();
};
