#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QVector>

#include "hexmap/HexPage.h"
#include "hexmap/HexSprites.h"

class QPainter;

namespace quillora {

// Draws a page into the map view's picture: each cell's colour through the filled shape, the
// outline over it, the top piece's arrow (or X mark) in its colour, and, when asked, the top
// piece's label in a small box centred on the cell, with the arrow drawn again over it so the
// piece's direction stays readable. Where no cell lies the view shows its background.
class HexRenderer {
 public:
  explicit HexRenderer(const HexSprites& sprites);

  // The colour of the view where no cell lies (the window's background).
  void SetBackground(const QColor& colour) { background_ = colour; }
  const QColor& background() const { return background_; }

  // Clears the picture to the background and draws every visible cell.
  void DrawAll(QImage& target, const HexPage& page, bool labels);
  // Redraws these cells (and, with labels, the neighbours a label box can cover).
  void DrawCells(QImage& target, const HexPage& page, const QVector<QPoint>& cells, bool labels);

  static QRect CellBox(const HexMapPage& h, int column, int row);
  // The outline's colour (0x00BBGGRR).
  static constexpr uint32_t kOutlineColour = 0x505050;

 private:
  void DrawBody(QPainter& p, const HexPage& page, int column, int row);
  void DrawLabel(QPainter& p, const HexPage& page, int column, int row);
  void DrawPiece(QPainter& p, const HexPage& page, int column, int row);
  const QImage& Tinted(int shape, bool rim, const HexMapPage& h, int column, uint32_t colour);
  const QImage& LabelImage(const QString& text);

  const HexSprites& sprites_;
  QHash<quint64, QImage> tints_;
  QHash<QString, QImage> labels_;
  QFont font_;
  QSize label_extent_;  // the largest label box drawn so far
  QColor background_ = Qt::lightGray;
};

}  // namespace quillora
