#include "hexmap/HexPage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quillora {

namespace {

const HexCell kNoCell{};

// Sprite row offsets of the four sizes: each row is as high as the cells of its size.
int32_t SpriteRowOffset(int32_t height_of_size_one, int size) {
  return height_of_size_one * (size - 1) * size / 2;
}

}  // namespace

int32_t HexMapPage::Field(int i) const {
  const int32_t fields[kFieldCount] = {first_column,    first_row,    columns,         rows,
                                       cell_width,      cell_height,  shape,           piece_type,
                                       direction_count, highest_slot, own_piece_count, sprite_row,
                                       stacked_cells,   column_step,  row_step};
  return i >= 0 && i < kFieldCount ? fields[i] : 0;
}

void HexMapPage::SetField(int i, int32_t value) {
  int32_t* fields[kFieldCount] = {&first_column,    &first_row,    &columns,         &rows,
                                  &cell_width,      &cell_height,  &shape,           &piece_type,
                                  &direction_count, &highest_slot, &own_piece_count, &sprite_row,
                                  &stacked_cells,   &column_step,  &row_step};
  if (i >= 0 && i < kFieldCount) *fields[i] = value;
}

bool PresetGeometry(int shape, int size, HexGeometry* out) {
  if (size < 1 || size > 4) return false;
  const int32_t base = 16 * size;
  switch (shape) {
    case kHexSquare:
      *out = {base, base, base, base, 8, SpriteRowOffset(16, size)};
      return true;
    case kHexVertical:
      *out = {base, 18 * size, base, 14 * size, 12, SpriteRowOffset(18, size)};
      return true;
    case kHexHorizontal:
      *out = {18 * size, base, 14 * size, base, 12, SpriteRowOffset(16, size)};
      return true;
    default:
      return false;
  }
}

int PresetSizeOf(const HexMapPage& h) {
  for (int size = 1; size <= 4; ++size) {
    HexGeometry g{};
    if (!PresetGeometry(h.shape, size, &g)) return 0;
    if (g.cell_width == h.cell_width && g.cell_height == h.cell_height &&
        g.column_step == h.column_step && g.row_step == h.row_step &&
        g.direction_count == h.direction_count && g.sprite_row == h.sprite_row) {
      return size;
    }
  }
  return 0;
}

// --- page ----------------------------------------------------------------------------------

bool HexPage::Create(int shape, int size, int piece_type, int columns, int rows) {
  HexGeometry g{};
  if (!PresetGeometry(shape, size, &g) || piece_type < kPieceNoDirection ||
      piece_type > kPieceBoth || columns < 1 || columns > kHexMaxMapSize || rows < 1 ||
      rows > kHexMaxMapSize) {
    return false;
  }
  HexMapPage h;
  h.first_column = 1;
  h.first_row = 1;
  h.columns = columns;
  h.rows = rows;
  h.cell_width = g.cell_width;
  h.cell_height = g.cell_height;
  h.shape = shape;
  h.piece_type = piece_type;
  h.direction_count = g.direction_count;
  h.sprite_row = g.sprite_row;
  h.column_step = g.column_step;
  h.row_step = g.row_step;
  header = h;
  cells_.assign(kHexTableSpan * kHexTableSpan, HexCell{kHexWhite, 0});
  for (int i = 0; i < kHexTableSpan; ++i) {
    cells_[i].colour = kHexBlack;                  // row 0
    cells_[i * kHexTableSpan].colour = kHexBlack;  // column 0
  }
  // A page made anew keeps no pieces on its cells; the slot records stay as they were.
  for (HexPiece& piece : pieces_) {
    piece.in_use = false;
    piece.under = 0;
  }
  return true;
}

const HexCell& HexPage::Cell(int column, int row) const {
  if (cells_.empty() || !InTable(column, row)) return kNoCell;
  return cells_[row * kHexTableSpan + column];
}

HexCell& HexPage::MutableCell(int column, int row) {
  if (cells_.empty()) cells_.assign(kHexTableSpan * kHexTableSpan, HexCell{});
  return cells_[(row & 0xFF) * kHexTableSpan + (column & 0xFF)];
}

QVector<int> HexPage::Stack(int column, int row) const {
  QVector<int> found;
  int slot = Cell(column, row).top;
  // A chain never holds more pieces than there are found; this also ends a broken loop.
  while (IsSlot(slot) && found.size() < kHexSlots) {
    found.push_back(slot);
    slot = pieces_[slot].under;
  }
  return found;
}

void HexPage::PushPiece(int slot, int column, int row) {
  if (!IsSlot(slot) || !InTable(column, row)) return;
  HexPiece& piece = pieces_[slot];
  HexCell& cell = MutableCell(column, row);
  const int old_top = cell.top;
  piece.column = column;
  piece.row = row;
  piece.under = IsSlot(old_top) ? old_top : 0;
  cell.top = slot;
  // The cell now holds two pieces where it held one: one more stacked cell.
  if (piece.under != 0 && !IsSlot(pieces_[piece.under].under)) ++header.stacked_cells;
}

void HexPage::RemovePiece(int slot) {
  if (!IsSlot(slot)) return;
  HexPiece& piece = pieces_[slot];
  const int under = piece.under;
  piece.under = 0;
  if (!InTable(piece.column, piece.row)) return;
  HexCell& cell = MutableCell(piece.column, piece.row);
  bool found = false;
  if (cell.top == slot) {
    cell.top = under;
    found = true;
  } else {
    int above = cell.top;
    for (int steps = 0; IsSlot(above) && steps < kHexSlots; ++steps) {
      if (pieces_[above].under == slot) {
        pieces_[above].under = under;
        found = true;
        break;
      }
      above = pieces_[above].under;
    }
  }
  if (!found) {
    piece.under = under;  // it was not on that cell; leave whatever chain it heads alone
    return;
  }
  // Left with exactly one piece: one stacked cell fewer.
  if (IsSlot(cell.top) && !IsSlot(pieces_[cell.top].under) && header.stacked_cells > 0) {
    --header.stacked_cells;
  }
}

void HexPage::CyclePieceStack(int column, int row) {
  const QVector<int> stack = Stack(column, row);
  if (stack.size() < 2) return;
  const int moved = stack.front();
  HexCell& cell = MutableCell(column, row);
  cell.top = pieces_[moved].under;
  pieces_[stack.back()].under = moved;
  pieces_[moved].under = 0;
}

QVector<int> HexPage::UsedSlots() const {
  QVector<int> found;
  for (int s = 1; s < kHexSlots; ++s) {
    if (pieces_[s].in_use) found.push_back(s);
  }
  return found;
}

void HexPage::Normalize() {
  std::array<bool, kHexSlots> placed{};
  header.stacked_cells = 0;
  if (!cells_.empty()) {
    for (int row = 0; row < kHexTableSpan; ++row) {
      for (int column = 0; column < kHexTableSpan; ++column) {
        HexCell& cell = cells_[row * kHexTableSpan + column];
        // Follow the chain while it is sound; cut it at the first piece that does not belong.
        int* link = &cell.top;
        int count = 0;
        while (*link != 0) {
          const int slot = *link;
          if (!IsSlot(slot) || placed[slot] || !pieces_[slot].in_use ||
              pieces_[slot].column != column || pieces_[slot].row != row) {
            *link = 0;
            break;
          }
          placed[slot] = true;
          ++count;
          link = &pieces_[slot].under;
        }
        if (count >= 2) ++header.stacked_cells;
      }
    }
  }
  for (int s = 1; s < kHexSlots; ++s) {
    HexPiece& piece = pieces_[s];
    if (!piece.in_use) {
      piece.under = 0;
    } else if (!placed[s]) {
      if (InTable(piece.column, piece.row)) {
        PushPiece(s, piece.column, piece.row);
      } else {
        piece.in_use = false;
        piece.under = 0;
      }
    }
  }
}

// --- geometry --------------------------------------------------------------------------------

QPoint CellOrigin(const HexMapPage& h, int column, int row) {
  int dx = 0;
  int dy = 0;
  if (h.shape == kHexVertical) dx = ((row - 1) % 2) * (h.cell_width / 2);
  if (h.shape == kHexHorizontal) dy = ((column - 1) % 2) * (h.cell_height / 2);
  return QPoint((column - h.first_column) * h.column_step + dx,
                (row - h.first_row) * h.row_step + dy);
}

QPoint CellAtPixel(const HexMapPage& h, int x, int y) {
  const int w = h.cell_width;
  const int ht = h.cell_height;
  const int sx = h.column_step;
  const int sy = h.row_step;
  if (w <= 0 || ht <= 0 || sx <= 0 || sy <= 0) return QPoint(0, 0);
  switch (h.shape) {
    case kHexVertical: {
      const int shift = std::abs(((h.first_row + 1) % 2) - ((y / sy) % 2));
      const int xs = x - shift * (w / 2);
      const int c = xs / sx + h.first_column;
      const int r = y / sy + h.first_row;
      const int u = xs % sx;
      const int v = y % sy;
      const int t = ht - sy;
      if (v < t && w / 2 > 0) {
        const double slope = static_cast<double>(t) / (w / 2);
        if (slope * u - t > v) return QPoint(c + shift, r - 1);
        if (t - slope * u > v) return QPoint(c + shift - 1, r - 1);
      }
      return QPoint(c, r);
    }
    case kHexHorizontal: {
      const int shift = std::abs(((h.first_column + 1) % 2) - ((x / sx) % 2));
      const int ys = y - shift * (ht / 2);
      const int c = x / sx + h.first_column;
      const int r = ys / sy + h.first_row;
      const int u = x % sx;
      const int v = ys % sy;
      const int t = w - sx;
      if (u < t) {
        const double half = ht / 2;
        const double slope = half / t;
        if (half + slope * u + 1 < v) return QPoint(c - 1, r + shift);
        if (half - slope * u > v) return QPoint(c - 1, r + shift - 1);
      }
      return QPoint(c, r);
    }
    default:
      return QPoint(x / w + h.first_column, y / ht + h.first_row);
  }
}

QPoint LastVisibleCell(const HexMapPage& h, int view_width, int view_height) {
  if (h.column_step <= 0 || h.row_step <= 0) return QPoint(0, 0);
  const int last_column = h.first_column + view_width / h.column_step + 1;
  const int last_row = h.first_row + view_height / h.row_step + 1;
  return QPoint(std::min(last_column, h.columns), std::min(last_row, h.rows));
}

// --- directions ------------------------------------------------------------------------------

int32_t InitialDirection(const HexMapPage& h) {
  int32_t d = 0;
  switch (h.piece_type) {
    case kPieceNoDirection:
      d = h.direction_count;
      break;
    case kPieceCorners:
      d = 1;
      break;
    default:
      d = 0;
      break;
  }
  return h.shape == kHexHorizontal ? d + 1 : d;
}

int32_t RotatedDirection(const HexMapPage& h, int32_t direction, int side) {
  const int32_t count = h.direction_count;
  if (h.piece_type == kPieceNoDirection || count <= 0) return direction;
  if (h.piece_type != kPieceEdges && h.piece_type != kPieceCorners && h.piece_type != kPieceBoth) {
    return direction;
  }
  int32_t step = h.piece_type == kPieceBoth ? 1 : 2;
  if (side == 2) step = -step;
  const int32_t sum = direction + step;
  return sum >= 0 ? sum % count : count + sum;
}

}  // namespace quillora
