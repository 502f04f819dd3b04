#pragma once
// The import window: writes the pixels of a .BMP file picked from a list over
// the pixels of the selected bitmap of the open gauge file, in place.

#include <QWidget>

#include "ui/window_registry.h"

class QLabel;
class QPushButton;
namespace ui {
class FileListBox;
}

class bmp2gau : public QWidget {
  Q_OBJECT

 public:
  static constexpr ui::FormId kId = ui::FormId::bmp2gau;
  bmp2gau();

  ui::FileListBox* File1;  // the *.bmp files of the working folder, as at create
  QPushButton* Command3;         // RETURN
  QPushButton* Command1;         // EXIT
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;  // bitmap number
  QLabel* Label5;
  QLabel* Label6;  // gauge file name

  void Form_Load();
  void File1_DblClick();
  void File1_KeyPress(int KeyAscii);
  void Command3_Click();
  void Command1_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void importHighlighted();
  // A picture of another size made the bitmap's size, when it is a resource.
  void resizeTo(const std::string& file);
};
