#include "hexmap/HexSprites.h"

#include <QPainter>
#include <QPolygonF>
#include <QTransform>
#include <algorithm>

#include "hexmap/HexPage.h"

namespace quillora {

namespace {

constexpr QRgb kInk = 0xFFFFFFFF;

// Which pixels of a cell's bounding box belong to the cell, taken from the pixel-to-cell
// mapping itself so that what is drawn and what is clicked always agree.
QImage CellMask(int shape, const HexGeometry& g) {
  HexMapPage ref;
  ref.first_column = 1;
  ref.first_row = 1;
  ref.columns = kHexMaxMapSize;
  ref.rows = kHexMaxMapSize;
  ref.shape = shape;
  ref.cell_width = g.cell_width;
  ref.cell_height = g.cell_height;
  ref.column_step = g.column_step;
  ref.row_step = g.row_step;
  const QPoint cell(3, 3);  // any cell away from the view's edges
  const QPoint origin = CellOrigin(ref, cell.x(), cell.y());
  QImage mask(g.cell_width, g.cell_height, QImage::Format_ARGB32_Premultiplied);
  mask.fill(Qt::transparent);
  for (int v = 0; v < g.cell_height; ++v) {
    auto* line = reinterpret_cast<QRgb*>(mask.scanLine(v));
    for (int u = 0; u < g.cell_width; ++u) {
      if (CellAtPixel(ref, origin.x() + u, origin.y() + v) == cell) line[u] = kInk;
    }
  }
  return mask;
}

// The mask's top and left edge: each shared edge of two cells is drawn by one of them only.
QImage Outline(const QImage& mask) {
  QImage out(mask.size(), QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
  auto inside = [&mask](int u, int v) {
    return u >= 0 && v >= 0 && u < mask.width() && v < mask.height() && mask.pixel(u, v) == kInk;
  };
  for (int v = 0; v < mask.height(); ++v) {
    for (int u = 0; u < mask.width(); ++u) {
      if (inside(u, v) && (!inside(u - 1, v) || !inside(u, v - 1))) out.setPixel(u, v, kInk);
    }
  }
  return out;
}

// Keeps only the ink that lies inside the cell.
void ClipTo(QImage& image, const QImage& mask) {
  QPainter p(&image);
  p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
  p.drawImage(0, 0, mask);
}

QImage Arrow(const HexGeometry& g, int direction, const QImage& mask) {
  QImage image(g.cell_width, g.cell_height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  const double s = std::min(g.cell_width, g.cell_height) * 0.40;
  // Pointing right before it is turned: a shaft and a broad head.
  const QPolygonF arrow({{-s, -0.17 * s},
                         {0.05 * s, -0.17 * s},
                         {0.05 * s, -0.55 * s},
                         {s, 0},
                         {0.05 * s, 0.55 * s},
                         {0.05 * s, 0.17 * s},
                         {-s, 0.17 * s}});
  QTransform turn;
  turn.translate(g.cell_width / 2.0, g.cell_height / 2.0);
  // Direction 0 points left; each next direction turns clockwise (y grows downwards).
  turn.rotate(180.0 + direction * 360.0 / g.direction_count);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(kInk));
  p.drawPolygon(turn.map(arrow));
  p.end();
  ClipTo(image, mask);
  return image;
}

QImage Cross(const HexGeometry& g, const QImage& mask) {
  QImage image(g.cell_width, g.cell_height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  const double cx = g.cell_width / 2.0;
  const double cy = g.cell_height / 2.0;
  const double s = std::min(g.cell_width, g.cell_height) * 0.28;
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(
      QPen(QColor::fromRgba(kInk), std::max(2.0, g.cell_width / 7.0), Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(cx - s, cy - s), QPointF(cx + s, cy + s));
  p.drawLine(QPointF(cx - s, cy + s), QPointF(cx + s, cy - s));
  p.end();
  ClipTo(image, mask);
  return image;
}

// Every inked pixel grown to its eight neighbours.
QImage Grow(const QImage& sheet) {
  QImage out(sheet.size(), QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
  const int w = sheet.width();
  const int h = sheet.height();
  for (int y = 0; y < h; ++y) {
    const auto* src = reinterpret_cast<const QRgb*>(sheet.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      if (src[x] != kInk) continue;
      for (int dy = -1; dy <= 1; ++dy) {
        if (y + dy < 0 || y + dy >= h) continue;
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y + dy));
        for (int dx = -1; dx <= 1; ++dx) {
          if (x + dx >= 0 && x + dx < w) dst[x + dx] = kInk;
        }
      }
    }
  }
  return out;
}

}  // namespace

HexSprites::HexSprites() {
  const QSize sizes[3] = {QSize(704, 160), QSize(960, 180), QSize(1080, 160)};
  for (int shape = 1; shape <= 3; ++shape) {
    QImage sheet(sizes[shape - 1], QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::transparent);
    QPainter p(&sheet);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (int size = 1; size <= 4; ++size) {
      HexGeometry g{};
      PresetGeometry(shape, size, &g);
      const int d = g.direction_count;
      const QImage mask = CellMask(shape, g);
      auto place = [&](int column, const QImage& image) {
        p.drawImage(column * g.cell_width, g.sprite_row, image);
      };
      for (int dir = 0; dir < d; ++dir) place(dir, Arrow(g, dir, mask));
      place(d, Cross(g, mask));
      place(d + 1, Outline(mask));
      place(d + 2, mask);
    }
    p.end();
    // A piece's rim stays inside its cell, so a cell can always be drawn on its own.
    QImage rim = Grow(sheet);
    QPainter r(&rim);
    r.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    for (int size = 1; size <= 4; ++size) {
      HexGeometry g{};
      PresetGeometry(shape, size, &g);
      const QImage mask = sheet.copy((g.direction_count + 2) * g.cell_width, g.sprite_row,
                                     g.cell_width, g.cell_height);
      for (int column = 0; column <= g.direction_count + 1; ++column) {
        r.drawImage(column * g.cell_width, g.sprite_row, mask);
      }
    }
    r.end();
    rims_[shape - 1] = std::move(rim);
    sheets_[shape - 1] = std::move(sheet);
  }
}

}  // namespace quillora
