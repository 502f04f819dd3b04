#pragma once
// The gallery: every bitmap of the open gauge at once, each a thumbnail with
// its number, resource, size and colours. Opened from the chooser; Enter or a
// double-click hands the chosen number back to it. Thumbnails are decoded as
// they come into view and only a few megabytes of them are kept.

#include <QWidget>
#include <functional>

#include "imageio/bitmap_sheet.h"

class QLabel;
class QListView;
class QModelIndex;
class SheetModel;

class gallery : public QWidget {
  Q_OBJECT

 public:
  // A window of its own that goes with `chooser`.
  explicit gallery(QWidget* chooser);

  QListView* List;
  QLabel* Summary;  // how many bitmaps, and what the grey ones are

  // Reads the gauge's bitmaps afresh and draws every thumbnail again; the
  // selection stays on the same cell where there still is one.
  void refresh();
  const imageio::Sheet& sheet() const;

  // The right-click menu's work on a bitmap of another depth, by row.
  void exportOther(int row);
  void importOther(int row);
  void renderOther(int row);

  // Asks the user for a file: a name to write (`save`) or one to read, with
  // `suggested` to start from; empty when the user cancels. Tests answer here.
  enum class Ask { Save, Open };
  std::function<QString(Ask, const QString& caption, const QString& suggested,
                        const QString& filter)>
      askFile;

 signals:
  // A bitmap chosen by its number; the gallery has closed.
  void chosen(int number);

 protected:
  // Enter in the list chooses, whatever the style makes of it; Escape closes.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void choose(const QModelIndex& index);
  void showMenu(const QPoint& at);
  QString otherName(const imageio::SheetCell& c) const;  // "bitmap id:4353 of PANEL.GAU"

  SheetModel* model_;
};
