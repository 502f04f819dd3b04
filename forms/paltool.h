#pragma once
// The palette tool: shows the colour count of the selected bitmap, the red,
// blue and green bytes of one palette entry, and sends new bytes for each
// channel straight into the gauge file. Created once a run; RETURN only hides it.

#include <QWidget>

#include "ui/window_registry.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class paltool : public QWidget {
  Q_OBJECT

 public:
  static constexpr ui::FormId kId = ui::FormId::paltool;
  paltool();

  QLabel* Label1;
  QLabel* Label3;  // number of colours
  QLabel* Label2;
  QLabel* Label4;  // highest colour number
  QLabel* Label5;
  QLineEdit* Text1;       // colour number
  QPushButton* Command3;  // Clear
  QPushButton* Command4;  // Display Color Values
  QLabel* Label6;
  QLabel* Label9;  // red value
  QLabel* Label7;
  QLabel* Label10;  // blue value
  QLabel* Label8;
  QLabel* Label11;  // green value
  QFrame* Line1;
  QLabel* Label12;
  QLabel* Label13;
  QLabel* Label14;
  QLabel* Label15;
  QLineEdit* Text2;       // new red
  QLineEdit* Text3;       // new blue
  QLineEdit* Text4;       // new green
  QPushButton* Command5;  // Send red
  QPushButton* Command6;  // Send blue
  QPushButton* Command7;  // Send green
  QPushButton* Command1;  // RETURN
  QPushButton* Command2;  // EXIT

  void Form_Load();
  void Command4_Click();
  void Text2_Change();
  void Text3_Change();
  void Text4_Change();
  void Command5_Click();
  void Command6_Click();
  void Command7_Click();
  void Command3_Click();
  void Command1_Click();
  void Command2_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;
};
