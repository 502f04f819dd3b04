#pragma once
// The export window: writes the selected bitmap of the open gauge file into a
// new .BMP file whose name the user types.

#include <QString>
#include <QWidget>

#include "ui/window_registry.h"

class QLabel;
class QLineEdit;
class QPushButton;

class gau2bmp : public QWidget {
  Q_OBJECT

 public:
  static constexpr ui::FormId kId = ui::FormId::gau2bmp;
  gau2bmp();

  QLineEdit* Text1;
  QPushButton* Command2;  // CONVERT
  QPushButton* Command3;  // RETURN
  QPushButton* Command1;  // EXIT
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;  // bitmap number
  QLabel* Label6;
  QLabel* Label7;  // gauge file name

  // They belong to the window object, not to its controls, so they outlive
  // RETURN: a CONVERT right after a new create writes the name typed last.
  static inline QString BmpName;
  static inline QString BmpFileName;

  void Form_Load();
  void Text1_Change();
  void Command2_Click();
  void Command3_Click();
  void Command1_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;
};
