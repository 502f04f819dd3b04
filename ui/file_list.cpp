#include "ui/file_list.h"

#include <QDir>
#include <QKeyEvent>
#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

#include "io/file_names.h"

namespace ui {
namespace {

constexpr int kNameBytesRole = Qt::UserRole;

}  // namespace

FileListBox::FileListBox(const QString& pattern, QWidget* parent)
    : QListWidget(parent), pattern_(pattern) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::itemDoubleClicked, this, [this] { emit dblClicked(); });
  refresh();
}

// Read with the file system's own bytes: Qt's directory listing leaves out
// names that are not valid in the locale's encoding.
void FileListBox::refresh() {
  clear();
  std::vector<std::pair<QString, std::string>> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(".", ec)) {
    const std::string name = entry.path().filename().native();
    std::error_code typeError;
    if (name.empty() || name.front() == '.' || !entry.is_regular_file(typeError)) continue;
    const QString shown = io::nameText(name);
    if (QDir::match(pattern_, shown)) found.emplace_back(shown, name);  // without regard to case
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    const int byText = a.first.compare(b.first, Qt::CaseInsensitive);
    return byText != 0 ? byText < 0 : a.second < b.second;
  });
  for (const auto& [shown, name] : found) {
    auto* item = new QListWidgetItem(shown, this);
    item->setData(kNameBytesRole, QByteArray::fromStdString(name));
  }
}

std::string FileListBox::selectedFile() const {
  const QList<QListWidgetItem*> items = selectedItems();
  return items.isEmpty() ? std::string()
                         : items.first()->data(kNameBytesRole).toByteArray().toStdString();
}

void FileListBox::keyPressEvent(QKeyEvent* event) {
  int keyAscii = 0;
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    keyAscii = 13;
  } else if (!event->text().isEmpty()) {
    keyAscii = event->text().at(0).unicode();
  }
  if (keyAscii != 0) emit keyPressed(keyAscii);
  // Taking the focus makes the first entry current without highlighting it;
  // the first arrow key highlights that entry instead of moving past it.
  const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
  if (arrow && selectedItems().isEmpty() && currentItem() != nullptr) {
    currentItem()->setSelected(true);
    return;
  }
  QListWidget::keyPressEvent(event);
}

}  // namespace ui
