#pragma once
// The bitmap chooser: shows the open gauge file and its bitmap count, takes a
// bitmap number and hands the chosen bitmap to a tool.

#include <QPointer>
#include <QWidget>
#include <string>

#include "base/result.h"
#include "ui/window_registry.h"

class QLabel;
class QLineEdit;
class QPushButton;
class gallery;

class numbmp : public QWidget {
  Q_OBJECT

 public:
  static constexpr ui::FormId kId = ui::FormId::numbmp;
  numbmp();

  QLineEdit* Text1;
  QPushButton* Command1;  // View Bitmap
  QPushButton* Command9;  // Palette Tool
  QPushButton* Command2;  // Convert to BMP
  QPushButton* Command3;  // Convert from BMP
  QPushButton* Command7;  // Make Transparent
  QPushButton* Command8;  // Make Zero Trnsprt
  QPushButton* Command4;  // RETURN
  QPushButton* Command5;  // EXIT
  QPushButton* Command6;  // Clear
  QLabel* Label6;
  QLabel* Label5;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;

  void Form_Load();
  void Text1_Change();
  void Command1_Click();
  void Command9_Click();
  void Command2_Click();
  void Command3_Click();
  void Command7_Click();
  void Command8_Click();
  void Command6_Click();
  void Command4_Click();
  void Command5_Click();
  // Ctrl+Z: takes back the latest change of the open gauge file and says what it restored.
  void undoLatestChange();
  // Ctrl+G and the right-click menu: every bitmap at once; the one chosen
  // there comes back into the number box.
  void showGallery();

  // Tells the user, once and in one message, what to know about the file just
  // opened (read-only, no picture) and what the scan could not do (more than
  // 100 bitmaps, a read error); called once the chooser is up.
  void reportScan();
  // Shows the chooser again, over the tool window `from`, with the focus on
  // "Clear", as the tools' RETURN does.
  static void ShowAgain(const QWidget* from);
  // Scans the open gauge again: a change of its length (a bitmap made another
  // size, or that undone) moves the bitmaps that lie after it.
  static void Rescan();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Ctrl+Z in the number box, which would otherwise take it as its own undo.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Sets BmpPos for the typed number, or shows the out-of-range notice and
  // returns false when the number selects no bitmap of the open file, or a
  // message beside `button` when the file is no longer at its name.
  bool takeBitmap(QPushButton* button);
  QString notDone(const char* what, Fault fault, const std::string& reason) const;

  bool numberTooLarge_ = false;  // the box holds a number beyond 16 bits
  QStringList notes_;
  QPointer<gallery> gallery_;
};
