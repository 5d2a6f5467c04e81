#include "hexmap/HexRenderer.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QRegion>
#include <algorithm>
#include <bitset>

namespace quillora {

namespace {

constexpr int kCacheLimit = 4096;
constexpr int kLabelMargin = 3;  // the label box is this much larger than its text each way

QColor ToColor(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

bool Drawable(const HexMapPage& h) { return PresetSizeOf(h) != 0; }

}  // namespace

HexRenderer::HexRenderer(const HexSprites& sprites) : sprites_(sprites) {
  font_ = QGuiApplication::font();
  font_.setPixelSize(11);
  label_extent_ = LabelImage(QStringLiteral("あ99")).size();
}

QRect HexRenderer::CellBox(const HexMapPage& h, int column, int row) {
  return QRect(CellOrigin(h, column, row), QSize(h.cell_width, h.cell_height));
}

const QImage& HexRenderer::Tinted(int shape, bool rim, const HexMapPage& h, int column,
                                  uint32_t colour) {
  const quint64 key = (quint64(colour & 0xFFFFFF)) | (quint64(column & 0x1F) << 24) |
                      (quint64(h.sprite_row & 0x3FF) << 29) | (quint64(shape & 3) << 39) |
                      (quint64(rim ? 1 : 0) << 41);
  auto it = tints_.find(key);
  if (it != tints_.end()) return *it;
  if (tints_.size() > kCacheLimit) tints_.clear();
  QImage image(h.cell_width, h.cell_height, QImage::Format_ARGB32_Premultiplied);
  image.fill(ToColor(colour));
  QPainter p(&image);
  p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
  const QImage& sheet = rim ? sprites_.Rim(shape) : sprites_.Sheet(shape);
  p.drawImage(0, 0, sheet, column * h.cell_width, h.sprite_row, h.cell_width, h.cell_height);
  p.end();
  return *tints_.insert(key, std::move(image));
}

const QImage& HexRenderer::LabelImage(const QString& text) {
  auto it = labels_.find(text);
  if (it != labels_.end()) return *it;
  if (labels_.size() > kCacheLimit) labels_.clear();
  const QFontMetrics metrics(font_);
  const QSize size(metrics.horizontalAdvance(text) + 2 * kLabelMargin,
                   metrics.height() + 2 * kLabelMargin);
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(QGuiApplication::palette().color(QPalette::ToolTipBase));
  QPainter p(&image);
  p.setPen(Qt::black);
  p.drawRect(0, 0, size.width() - 1, size.height() - 1);
  p.setFont(font_);
  p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, text);
  p.end();
  label_extent_ = label_extent_.expandedTo(size);
  return *labels_.insert(text, std::move(image));
}

void HexRenderer::DrawBody(QPainter& p, const HexPage& page, int column, int row) {
  const HexMapPage& h = page.header;
  const QPoint at = CellOrigin(h, column, row);
  const HexCell& cell = page.Cell(column, row);
  const int d = h.direction_count;
  p.drawImage(at, Tinted(h.shape, false, h, d + 2, cell.colour));
  p.drawImage(at, Tinted(h.shape, false, h, d + 1, kOutlineColour));
  DrawPiece(p, page, column, row);
}

void HexRenderer::DrawPiece(QPainter& p, const HexPage& page, int column, int row) {
  const HexMapPage& h = page.header;
  const HexCell& cell = page.Cell(column, row);
  if (!HexPage::IsSlot(cell.top)) return;
  const HexPiece& piece = page.Piece(cell.top);
  if (!piece.in_use || piece.direction < 0 || piece.direction > h.direction_count + 1) return;
  const QPoint at = CellOrigin(h, column, row);
  p.drawImage(at, Tinted(h.shape, true, h, piece.direction, kHexBlack));
  p.drawImage(at, Tinted(h.shape, false, h, piece.direction, piece.colour));
}

void HexRenderer::DrawLabel(QPainter& p, const HexPage& page, int column, int row) {
  const HexCell& cell = page.Cell(column, row);
  if (!HexPage::IsSlot(cell.top)) return;
  const HexPiece& piece = page.Piece(cell.top);
  if (!piece.in_use || piece.label.isEmpty()) return;
  const QImage& image = LabelImage(piece.label);
  const QPoint centre = CellBox(page.header, column, row).center();
  p.drawImage(centre - QPoint(image.width() / 2, image.height() / 2), image);
}

void HexRenderer::DrawAll(QImage& target, const HexPage& page, bool labels) {
  target.fill(background_);
  const HexMapPage& h = page.header;
  if (!Drawable(h)) return;
  const QPoint last = LastVisibleCell(h, target.width(), target.height());
  QPainter p(&target);
  for (int r = h.first_row; r <= last.y(); ++r) {
    for (int c = h.first_column; c <= last.x(); ++c) DrawBody(p, page, c, r);
  }
  if (!labels) return;
  for (int r = h.first_row; r <= last.y(); ++r) {
    for (int c = h.first_column; c <= last.x(); ++c) DrawLabel(p, page, c, r);
  }
  for (int r = h.first_row; r <= last.y(); ++r) {
    for (int c = h.first_column; c <= last.x(); ++c) DrawPiece(p, page, c, r);
  }
}

void HexRenderer::DrawCells(QImage& target, const HexPage& page, const QVector<QPoint>& cells,
                            bool labels) {
  const HexMapPage& h = page.header;
  if (!Drawable(h) || cells.isEmpty()) return;
  const QPoint last = LastVisibleCell(h, target.width(), target.height());
  auto visible = [&](int c, int r) {
    return c >= h.first_column && c <= last.x() && r >= h.first_row && r <= last.y() && c >= 1 &&
           r >= 1;
  };
  QPainter p(&target);
  if (!labels) {
    // Each pixel belongs to one cell's shape, and a cell draws only inside its shape.
    for (const QPoint& cell : cells) {
      if (visible(cell.x(), cell.y())) DrawBody(p, page, cell.x(), cell.y());
    }
    return;
  }
  // Labels reach over the neighbours: redraw everything a label box around these cells can
  // touch, clipped to those boxes.
  const int reach_x = label_extent_.width() / 2 / std::max(1, h.column_step) + 1;
  const int reach_y = label_extent_.height() / 2 / std::max(1, h.row_step) + 1;
  std::bitset<kHexTableSpan * kHexTableSpan> marked;
  QRegion dirty;
  for (const QPoint& cell : cells) {
    if (!HexPage::InTable(cell.x(), cell.y())) continue;
    const QRect box = CellBox(h, cell.x(), cell.y());
    const QRect reach(
        box.center() - QPoint(label_extent_.width() / 2 + 1, label_extent_.height() / 2 + 1),
        label_extent_ + QSize(2, 2));
    dirty += box.united(reach);
    for (int r = cell.y() - reach_y; r <= cell.y() + reach_y; ++r) {
      for (int c = cell.x() - reach_x; c <= cell.x() + reach_x; ++c) {
        if (visible(c, r)) marked.set(r * kHexTableSpan + c);
      }
    }
  }
  p.setClipRegion(dirty);
  p.fillRect(dirty.boundingRect(), background_);
  for (int pass = 0; pass < 3; ++pass) {
    for (int r = std::max(1, h.first_row); r <= last.y(); ++r) {
      for (int c = std::max(1, h.first_column); c <= last.x(); ++c) {
        if (!marked.test(r * kHexTableSpan + c)) continue;
        if (pass == 0) {
          DrawBody(p, page, c, r);
        } else if (pass == 1) {
          DrawLabel(p, page, c, r);
        } else {
          DrawPiece(p, page, c, r);
        }
      }
    }
  }
}

}  // namespace quillora
