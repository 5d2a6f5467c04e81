#pragma once

#include <QImage>
#include <array>

namespace quillora {

// The sprite sheets of the three cell shapes, drawn at start-up. One sheet per shape, one row
// per cell size (at the header's sprite-row offset, as high as the cells), and in each row
// columns as wide as the cells: the D arrows (direction 0 points left, each next one turns
// clockwise), the X mark, the cell outline and the filled cell shape. Ink is opaque, the rest
// transparent, so a sprite can be laid down in any colour.
class HexSprites {
 public:
  HexSprites();

  // Sheet of shape 1..3 (square, vertical hexagon, horizontal hexagon).
  const QImage& Sheet(int shape) const { return sheets_[Index(shape)]; }
  // The same sheet with every ink grown by one pixel: the dark rim drawn under a piece.
  const QImage& Rim(int shape) const { return rims_[Index(shape)]; }

 private:
  static int Index(int shape) { return shape >= 1 && shape <= 3 ? shape - 1 : 0; }

  std::array<QImage, 3> sheets_;
  std::array<QImage, 3> rims_;
};

}  // namespace quillora
