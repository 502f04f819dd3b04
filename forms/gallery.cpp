#include "forms/gallery.h"

#include <QAbstractListModel>
#include <QBuffer>
#include <QCache>
#include <QFileDialog>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <cmath>
#include <optional>
#include <span>

#include "base/fault_message.h"
#include "forms/Module1.h"
#include "forms/dun.h"
#include "forms/gauge_file.h"
#include "forms/gbpwt.h"
#include "imageio/image_reader.h"
#include "io/file_channels.h"
#include "io/file_names.h"
#include "io/replace_file.h"
#include "ui/beep.h"
#include "ui/message.h"
#include "ui/window_registry.h"

using imageio::SheetCell;
using io::Channels;
using io::kGaugeChannel;
using io::nameBytes;
using io::nameText;

namespace {

// Thumbnails kept for painting, in kilobytes: a few screens' worth. The rest
// are decoded again when they come back into view.
constexpr int kThumbnailKilobytes = 16 * 1024;

struct Thumbnail {
  QImage image;  // null when it could not be drawn
  QString why;
};

// The sentence writer takes UTF-8.
std::string text(const QString& s) { return s.toStdString(); }

}  // namespace

// The sheet's cells, a thumbnail decoded the first time a cell is painted.
class SheetModel final : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  void reload() {
    beginResetModel();
    sheet = Channels.isOpen(kGaugeChannel)
                ? imageio::readSheet(Channels[kGaugeChannel], imageio::Depths::All)
                : imageio::Sheet{};
    thumbnails_.clear();
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(sheet.cells.size());
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const SheetCell& c = sheet.cells[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) return c.name();  // typing a number finds it
    if (role == Qt::ToolTipRole) {
      QString tip = QStringLiteral("%1\n%2\n%3")
                        .arg(c.dib ? c.ref : QStringLiteral("bitmap %1").arg(c.number), c.where,
                             c.sizeText());
      if (!c.real()) tip += QStringLiteral("\nIn no bitmap resource: perhaps no picture at all.");
      if (const QString why = thumbnail(index.row()).why; !why.isEmpty())
        tip += QLatin1Char('\n') + why;
      return tip;
    }
    return {};
  }

  Thumbnail thumbnail(int row) const {
    if (const Thumbnail* kept = thumbnails_.object(row)) return *kept;
    Thumbnail t;
    if (Channels.isOpen(kGaugeChannel)) {
      const Result<QImage> drawn =
          imageio::thumbnail(Channels[kGaugeChannel], sheet.cells[static_cast<size_t>(row)]);
      if (drawn)
        t.image = *drawn;
      else
        t.why = nameText(drawn.reason());
    }
    thumbnails_.insert(row, new Thumbnail(t),
                       static_cast<qsizetype>(t.image.sizeInBytes() / 1024 + 1));
    return t;
  }

  imageio::Sheet sheet;

 private:
  mutable QCache<int, Thumbnail> thumbnails_{kThumbnailKilobytes};
};

namespace {

// Draws `image` centred in `box` on whole device pixels, each of its pixels
// a square of the same whole number of device pixels, so no pixel is smeared
// or doubled unevenly at a fractional screen scale.
void drawCrisp(QPainter* p, const QRect& box, QImage image) {
  const qreal ratio = p->device()->devicePixelRatio();
  const int k = std::max(1, static_cast<int>(std::floor(ratio + 0.001)));
  if (k > 1) image = image.scaled(image.size() * k, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  image.setDevicePixelRatio(ratio);
  const QSizeF size = QSizeF(image.size()) / ratio;
  const qreal x = std::round((box.left() + (box.width() - size.width()) / 2) * ratio) / ratio;
  const qreal y = std::round((box.top() + (box.height() - size.height()) / 2) * ratio) / ratio;
  p->drawImage(QPointF(x, y), image);
}

class CellDelegate final : public QStyledItemDelegate {
 public:
  CellDelegate(const SheetModel* model, QObject* parent)
      : QStyledItemDelegate(parent), model_(model) {}

  static QSize cellSize(const QFontMetrics& fm) {
    return {imageio::kThumbnailSide + 24, 6 + imageio::kThumbnailSide + 4 + 3 * fm.height() + 6};
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    return cellSize(option.fontMetrics);
  }

  void paint(QPainter* p, const QStyleOptionViewItem& o, const QModelIndex& index) const override {
    const SheetCell& c = model_->sheet.cells[static_cast<size_t>(index.row())];
    const QRect r = o.rect.adjusted(2, 2, -2, -2);
    p->save();
    // Loose and inside hits on grey: the scan may have found a chance pattern.
    if (!c.real()) p->fillRect(r, QColor(222, 222, 222));
    if (o.state & QStyle::State_Selected) {
      QColor fill = o.palette.highlight().color();
      fill.setAlpha(60);
      p->fillRect(r, fill);
      p->setPen(QPen(o.palette.highlight().color(), 2));
      p->drawRect(QRectF(r).adjusted(1, 1, -1, -1));
    }
    const QRect box(r.left() + (r.width() - imageio::kThumbnailSide) / 2, r.top() + 4,
                    imageio::kThumbnailSide, imageio::kThumbnailSide);
    const Thumbnail t = model_->thumbnail(index.row());
    if (!t.image.isNull()) {
      drawCrisp(p, box, t.image);
    } else {  // nothing to show: a cross, and the tooltip says why
      p->setPen(QPen(QColor(176, 0, 0), 1));
      p->drawLine(box.topLeft(), box.bottomRight());
      p->drawLine(box.topRight(), box.bottomLeft());
    }
    const QColor ink = c.real() ? o.palette.text().color() : QColor(104, 104, 104);
    p->setPen(ink);
    QFont bold = o.font;
    bold.setBold(true);
    int y = box.bottom() + 4;
    const int lineHeight = o.fontMetrics.height();
    for (const QString& line : {c.name(), c.where, c.sizeText()}) {
      p->setFont(y == box.bottom() + 4 ? bold : o.font);
      const QRect at(r.left() + 2, y, r.width() - 4, lineHeight);
      p->drawText(at, Qt::AlignHCenter | Qt::AlignTop,
                  QFontMetrics(p->font()).elidedText(line, Qt::ElideRight, at.width()));
      y += lineHeight;
    }
    p->restore();
  }

 private:
  const SheetModel* model_;
};

}  // namespace

gallery::gallery(QWidget* chooser) : QWidget(chooser, Qt::Window) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("ALL BITMAPS: ") + nameText(Module1.GauFileName));

  model_ = new SheetModel(this);
  List = new QListView(this);
  List->setViewMode(QListView::IconMode);
  List->setMovement(QListView::Static);
  List->setResizeMode(QListView::Adjust);
  List->setUniformItemSizes(true);
  List->setSelectionMode(QAbstractItemView::SingleSelection);
  List->setGridSize(CellDelegate::cellSize(List->fontMetrics()));
  List->setItemDelegate(new CellDelegate(model_, List));
  List->setModel(model_);
  List->setContextMenuPolicy(Qt::CustomContextMenu);
  List->installEventFilter(this);
  Summary = new QLabel(this);
  Summary->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(List, 1);
  layout->addWidget(Summary);

  askFile = [this](Ask ask, const QString& caption, const QString& suggested,
                   const QString& filter) {
    return ask == Ask::Save ? QFileDialog::getSaveFileName(this, caption, suggested, filter)
                            : QFileDialog::getOpenFileName(this, caption, suggested, filter);
  };
  connect(List, &QListView::doubleClicked, this, &gallery::choose);
  connect(List, &QListView::customContextMenuRequested, this, &gallery::showMenu);
  onGaugeChanged(this, [this] { refresh(); });

  // Six cells by three, within the screen at any scale.
  const QSize cell = List->gridSize();
  const QRect room = screen()->availableGeometry();
  const QMargins margins = layout->contentsMargins();
  const int around = margins.left() + margins.right() + 2 * List->frameWidth() +
                     List->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, List) + 4;
  resize(std::min(6 * cell.width() + around, room.width() * 9 / 10),
         std::min(3 * cell.height() + 60, room.height() * 8 / 10));
  refresh();
  List->setFocus();
}

const imageio::Sheet& gallery::sheet() const { return model_->sheet; }

void gallery::refresh() {
  const int row = std::max(0, List->currentIndex().row());
  model_->reload();
  const imageio::Sheet& s = model_->sheet;
  const int count = static_cast<int>(s.cells.size());
  if (count > 0) List->setCurrentIndex(model_->index(std::min(row, count - 1)));
  int hits = 0, chance = 0;
  for (const SheetCell& c : s.cells) {
    if (!c.dib) ++hits;
    if (!c.real()) ++chance;
  }
  const QString gauge = nameText(Module1.GauFileName);
  QString summary;
  if (count == 0) {
    summary = QStringLiteral("The gauge file %1 holds no bitmap.").arg(gauge);
  } else {
    summary = QStringLiteral("%1 bitmaps, numbered as the chooser numbers them").arg(hits);
    if (count > hits)
      summary += QStringLiteral(
                     "; then %1 of other depths, by resource id (right-click for "
                     "what can be done with them)")
                     .arg(count - hits);
    summary += QStringLiteral(". Enter or a double-click chooses one; Escape closes.");
    if (hits > PositionTable::kLast)
      summary += QStringLiteral(" The chooser's tools reach bitmaps 1 to %1 only.")
                     .arg(PositionTable::kLast);
  }
  if (chance > 0)
    summary += QStringLiteral(
                   " On grey: %1 found in no bitmap resource (loose, or inside "
                   "other data), perhaps no picture at all.")
                   .arg(chance);
  if (s.readFailed) summary += QStringLiteral(" The file could not be read to its end.");
  Summary->setText(summary);
}

bool gallery::eventFilter(QObject* watched, QEvent* event) {
  if (watched == List && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      choose(List->currentIndex());
      return true;
    }
    if (key == Qt::Key_Escape) {
      close();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void gallery::choose(const QModelIndex& index) {
  if (!index.isValid()) return;
  const SheetCell& c = model_->sheet.cells[static_cast<size_t>(index.row())];
  if (c.dib) {  // no number to hand back: what can be done with it instead
    showMenu(List->visualRect(index).center());
    return;
  }
  const int number = c.number;
  close();
  emit chosen(number);
}

void gallery::showMenu(const QPoint& at) {
  const QModelIndex index = List->indexAt(at);
  if (!index.isValid()) return;
  List->setCurrentIndex(index);
  const int row = index.row();
  const SheetCell& c = model_->sheet.cells[static_cast<size_t>(row)];
  QMenu menu(this);
  if (c.dib) {
    connect(menu.addAction(QStringLiteral("Export as BMP…")), &QAction::triggered, this,
            [this, row] { exportOther(row); });
    connect(menu.addAction(QStringLiteral("Import a picture…")), &QAction::triggered, this,
            [this, row] { importOther(row); });
    connect(menu.addAction(QStringLiteral("Render as PNG…")), &QAction::triggered, this,
            [this, row] { renderOther(row); });
  } else {
    connect(menu.addAction(QStringLiteral("Choose bitmap %1").arg(c.number)), &QAction::triggered,
            this, [this, index] { choose(index); });
  }
  menu.exec(List->viewport()->mapToGlobal(at));
}

QString gallery::otherName(const SheetCell& c) const {
  return QStringLiteral("bitmap %1 of %2").arg(c.ref, nameText(Module1.GauFileName));
}

namespace {

// The cell of `row` when it is a bitmap of another depth and the gauge is open.
std::optional<SheetCell> otherAt(const imageio::Sheet& sheet, int row) {
  if (row < 0 || static_cast<size_t>(row) >= sheet.cells.size() || !Channels.isOpen(kGaugeChannel))
    return std::nullopt;
  const SheetCell& c = sheet.cells[static_cast<size_t>(row)];
  if (!c.dib) return std::nullopt;
  return c;
}

// "PANEL-id4353", a file name for bitmap id:4353 of PANEL.GAU.
QString suggestedName(const SheetCell& c, const QString& extension) {
  QString stem = nameText(Module1.GauFileName);
  if (const qsizetype dot = stem.lastIndexOf(QLatin1Char('.')); dot > 0) stem.truncate(dot);
  QString id = c.ref;
  id.remove(QLatin1Char(':'));
  id.replace(QLatin1Char('/'), QLatin1Char('-'));
  return stem + QLatin1Char('-') + id + extension;
}

}  // namespace

void gallery::exportOther(int row) {
  const std::optional<SheetCell> c = otherAt(model_->sheet, row);
  if (!c || refusedAsGone(List, QStringLiteral("Export"))) return;
  const QString target =
      askFile(Ask::Save, QStringLiteral("Export %1").arg(otherName(*c)),
              suggestedName(*c, QStringLiteral(".bmp")), QStringLiteral("Bitmaps (*.bmp)"));
  if (target.isEmpty()) return;
  const Result<int64_t> done = [&] {
    PleaseWait wait;
    // The dialog has asked before replacing a file.
    return gau::exportDib(Channels[kGaugeChannel], *c->dib, nameBytes(target),
                          io::Existing::Replace);
  }();
  const QString gauge = nameText(Module1.GauFileName);
  ShowDoneOrProblem(List, done ? QString()
                               : QString::fromStdString(
                                     faultMessage({.action = "the export of " + text(c->ref),
                                                   .bitmap = text(otherName(*c)),
                                                   .gauge = text(gauge),
                                                   .file = text(target)},
                                                  done.fault(), text(nameText(done.reason())))));
}

void gallery::importOther(int row) {
  const std::optional<SheetCell> c = otherAt(model_->sheet, row);
  if (!c || refusedAsReadOnly(List, QStringLiteral("Import")) ||
      refusedAsGone(List, QStringLiteral("Import")))
    return;
  const QString source =
      askFile(Ask::Open, QStringLiteral("Import a picture into %1").arg(otherName(*c)), QString(),
              QStringLiteral("Pictures (*.bmp *.png *.gif *.jpg *.jpeg);;All files (*)"));
  if (source.isEmpty()) return;
  const QString gauge = nameText(Module1.GauFileName);
  const auto problem = [&](Fault fault, const std::string& reason) {
    return QString::fromStdString(faultMessage({.action = "the import of " + text(source),
                                                .bitmap = text(otherName(*c)),
                                                .gauge = text(gauge),
                                                .file = text(source)},
                                               fault, text(nameText(reason))));
  };
  QString failed;
  int64_t approximated = 0;
  {
    PleaseWait wait;
    std::string error;
    const std::unique_ptr<io::Channel> file =
        io::openFileChannel(nameBytes(source), io::OpenMode::ReadOnly, &error);
    if (!file) {
      failed = problem(Fault::Source, "It cannot be opened: " + error + ".");
    } else if (const Result<imageio::DecodedImage> picture =
                   imageio::decodeImage(*file, c->dib->width, c->dib->height);
               !picture) {
      failed = problem(picture.fault(), picture.reason());
    } else if (const Result<gau::DibImported> done =
                   gau::importIntoDib(Channels[kGaugeChannel], *c->dib, picture->picture());
               !done) {
      failed = problem(done.fault(), done.reason());
    } else {
      approximated = done->approximatedPixels;
    }
  }
  ShowDoneOrProblem(List, failed);
  if (failed.isEmpty() && approximated > 0)
    ShowMessage(this,
                QStringLiteral("%1 pixels of %2 took the nearest colour of the palette of %3.")
                    .arg(approximated)
                    .arg(source, otherName(*c)),
                {}, ui::Placement::BelowOwner);
  tellChangeNotices(this);  // and every window showing pixels, this one too, draws again
}

void gallery::renderOther(int row) {
  const std::optional<SheetCell> c = otherAt(model_->sheet, row);
  if (!c || refusedAsGone(List, QStringLiteral("Render"))) return;
  const QString target =
      askFile(Ask::Save, QStringLiteral("Render %1").arg(otherName(*c)),
              suggestedName(*c, QStringLiteral(".png")), QStringLiteral("PNG pictures (*.png)"));
  if (target.isEmpty()) return;
  const QString gauge = nameText(Module1.GauFileName);
  const auto problem = [&](Fault fault, const std::string& reason) {
    return QString::fromStdString(faultMessage({.action = "the rendering of " + text(c->ref),
                                                .bitmap = text(otherName(*c)),
                                                .gauge = text(gauge),
                                                .file = text(target)},
                                               fault, text(nameText(reason))));
  };
  QString failed;
  {
    PleaseWait wait;
    const Result<QImage> picture = imageio::dibPicture(Channels[kGaugeChannel], *c->dib);
    io::Replacement file(nameBytes(target), io::Existing::Replace, Module1.GauFileName);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture) {
      failed = problem(picture.fault(), picture.reason());
    } else if (!file.ready()) {
      failed = problem(Fault::Target, file.why());
    } else if (QImageWriter writer(&buffer, "png"); !writer.write(*picture)) {
      failed = problem(Fault::Target, "It cannot be drawn as a PNG picture: " +
                                          writer.errorString().toStdString() + ".");
    } else if (!file.channel().write(1, std::span(reinterpret_cast<const uint8_t*>(png.constData()),
                                                  static_cast<size_t>(png.size()))) ||
               !file.commit()) {
      failed =
          problem(Fault::Target,
                  file.why().empty()
                      ? "It could not be written: " + file.channel().errorOr("unknown error") + "."
                      : file.why());
    }
  }
  ShowDoneOrProblem(List, failed);
}
