#pragma once
// The bitmap viewer: plots the selected bitmap dot by dot in its own colours
// and steps to the next or previous bitmap of the gauge file.

#include <QWidget>
#include <memory>

#include "ui/window_registry.h"

class QLabel;
class QPushButton;
class ImageCanvas;

class showbmp : public QWidget {
  Q_OBJECT

 public:
  static constexpr ui::FormId kId = ui::FormId::showbmp;
  showbmp();
  ~showbmp() override;

  QPushButton* Command1;  // SHOW
  QPushButton* Command2;  // RETURN
  QLabel* Label1;
  QLabel* Label2;         // bitmap number
  QPushButton* Command3;  // +1
  QPushButton* Command4;  // -1
  QLabel* Label3;
  QLabel* Label4;  // bitmap count

  void Form_Load();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();

  // What the window shows of the picture; transparent where nothing is drawn.
  const QImage& picture() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void setLabels();
  // "+1" and "-1": moves to BmpNumber + delta, or shows the out-of-range notice.
  void step(int delta);

  std::unique_ptr<ImageCanvas> canvas_;
};
