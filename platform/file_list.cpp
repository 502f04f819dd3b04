#include "platform/file_list.h"

#include <QDir>
#include <QKeyEvent>

namespace platform {

FileListBox::FileListBox(const QString& pattern, QWidget* parent)
    : QListWidget(parent), pattern_(pattern) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::itemDoubleClicked, this, [this] { emit dblClicked(); });
  refresh();
}

void FileListBox::refresh() {
  clear();
  QDir dir = QDir::current();
  dir.setNameFilters({pattern_});  // name filters match without regard to case
  dir.setFilter(QDir::Files);      // no hidden files, no folders
  dir.setSorting(QDir::Name | QDir::IgnoreCase);
  addItems(dir.entryList());
}

QString FileListBox::selectedName() const {
  const QList<QListWidgetItem*> items = selectedItems();
  return items.isEmpty() ? QString() : items.first()->text();
}

void FileListBox::keyPressEvent(QKeyEvent* event) {
  int keyAscii = 0;
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    keyAscii = 13;
  } else if (!event->text().isEmpty()) {
    keyAscii = event->text().at(0).unicode();
  }
  if (keyAscii != 0) emit keyPressed(keyAscii);
  QListWidget::keyPressEvent(event);
}

}  // namespace platform
