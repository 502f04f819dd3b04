#pragma once
// A file list box: the files of the working directory that match a pattern
// such as "*.gau", matched without regard to case, sorted by name, hidden
// files left out. It reports double-clicks and typed characters.

#include <QListWidget>
#include <QString>
#include <string>

namespace ui {

class FileListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit FileListBox(const QString& pattern, QWidget* parent = nullptr);

  // Reads the working directory again.
  void refresh();
  // The bare file name of the highlighted entry as the file system holds it.
  std::string selectedFile() const;

 signals:
  void dblClicked();
  // The character code of a typed key (13 for Enter); the list then handles the key as usual.
  void keyPressed(int keyAscii);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString pattern_;
};

}  // namespace ui
