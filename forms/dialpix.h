#pragma once
// The start window: the gauge files of the working directory; a pick opens
// one and hands over to the bitmap chooser.

#include <QWidget>
#include <functional>
#include <string>

#include "ui/window_registry.h"

class QLabel;
class QPushButton;
namespace ui {
class FileListBox;
}

class dialpix : public QWidget {
  Q_OBJECT

 public:
  static constexpr ui::FormId kId = ui::FormId::dialpix;
  dialpix();

  QLabel* Label1;
  ui::FileListBox* File1;
  QPushButton* Command1;

  void File1_DblClick();
  void File1_KeyPress(int KeyAscii);
  void Command1_Click();

  // Opens `file` (a bare name in the working folder) and hands over to the
  // chooser, as a pick in the list does. Returns why it could not, else empty.
  QString openGauge(const std::string& file);

  // Says that the working folder holds no gauge file, naming it, and offers
  // to choose another folder, which the list then shows.
  void offerAnotherFolder();
  // The folder dialog; tests put their own answer in its place.
  static inline std::function<QString(QWidget* parent)> ChooseFolder;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void pick();
  bool toldEmpty_ = false;
};
