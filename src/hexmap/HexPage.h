#pragma once

#include <QPoint>
#include <QString>
#include <QVector>
#include <array>
#include <cstdint>
#include <vector>

namespace quillora {

// Limits of the map tables. Every number that arrives from the network or a file is checked
// against these before it is used as an index.
inline constexpr int kHexMaxPages = 99;      // pages 1..99
inline constexpr int kHexTableSpan = 256;    // columns and rows 0..255
inline constexpr int kHexSlots = 256;        // piece slots 0..255 (0 is never a piece)
inline constexpr int kHexMaxMapSize = 255;   // a map has at most 255 columns and rows
inline constexpr int kHexMaxDirection = 14;  // highest sprite column a piece can show

enum HexShape : int32_t { kHexSquare = 1, kHexVertical = 2, kHexHorizontal = 3 };
enum HexPieceType : int32_t {
  kPieceNoDirection = 1,
  kPieceEdges = 2,
  kPieceCorners = 3,
  kPieceBoth = 4
};

inline constexpr uint32_t kHexBlack = 0x000000;
inline constexpr uint32_t kHexWhite = 0xFFFFFF;

// The header of one page: fifteen 32-bit numbers, in the order the map files store them.
struct HexMapPage {
  int32_t first_column = 0;     // column shown at the left edge
  int32_t first_row = 0;        // row shown at the top edge
  int32_t columns = 0;          // X: cells 1..X are the map
  int32_t rows = 0;             // Y
  int32_t cell_width = 0;       // W, bounding box of one cell
  int32_t cell_height = 0;      // H
  int32_t shape = 0;            // HexShape
  int32_t piece_type = 0;       // HexPieceType
  int32_t direction_count = 0;  // D: 8 for squares, 12 for hexagons
  int32_t highest_slot = 0;     // highest slot ever used; new pieces take the next one
  int32_t own_piece_count = 0;  // pieces this participant added here (labels); never sent
  int32_t sprite_row = 0;       // offset of this size's row in the sprite sheet
  int32_t stacked_cells = 0;    // cells holding two or more pieces
  int32_t column_step = 0;      // SX
  int32_t row_step = 0;         // SY

  static constexpr int kFieldCount = 15;
  int32_t Field(int i) const;
  void SetField(int i, int32_t value);
};

struct HexCell {
  uint32_t colour = 0;  // 0x00BBGGRR
  int32_t top = 0;      // slot of the top piece, 0 = none
  bool operator==(const HexCell&) const = default;
};

struct HexPiece {
  bool in_use = false;
  int32_t column = 0;
  int32_t row = 0;
  int32_t under = 0;  // slot of the piece below on the same cell, 0 = none
  QString label;
  int32_t direction = 0;  // sprite column: 0..D-1 arrows, D the X mark
  uint32_t colour = 0;
  int32_t owner = 0;  // participant index of whoever placed it
};

// The geometry of a cell size preset for a shape (size index 1..4).
struct HexGeometry {
  int32_t cell_width, cell_height, column_step, row_step, direction_count, sprite_row;
};
// False for a shape outside 1..3 or a size outside 1..4.
bool PresetGeometry(int shape, int size, HexGeometry* out);
// The size index (1..4) whose preset the header carries, or 0 when it carries none.
int PresetSizeOf(const HexMapPage& header);

// One page: header, the 256 x 256 cell table and the 256 piece slots. The cell table is
// allocated when first written; until then every cell reads as black and empty.
class HexPage {
 public:
  HexMapPage header;

  // Fills the header for a new map (first column and row 1, counters 0) and the cells: black
  // border in column and row 0, white map. Returns false (page untouched) for bad arguments.
  bool Create(int shape, int size, int piece_type, int columns, int rows);
  bool Created() const { return header.shape != 0; }

  static bool InTable(int column, int row) {
    return column >= 0 && column < kHexTableSpan && row >= 0 && row < kHexTableSpan;
  }
  static bool IsSlot(int slot) { return slot >= 1 && slot < kHexSlots; }
  bool IsMapCell(int column, int row) const {
    return column >= 1 && column <= header.columns && row >= 1 && row <= header.rows;
  }

  // Cells outside the table read as an empty black cell.
  const HexCell& Cell(int column, int row) const;
  // Column and row must lie in the table.
  HexCell& MutableCell(int column, int row);
  const HexPiece& Piece(int slot) const { return pieces_[slot & 0xFF]; }
  HexPiece& MutablePiece(int slot) { return pieces_[slot & 0xFF]; }

  // Stacks: a cell's top slot and each piece's under slot list the pieces from top to bottom.
  // Puts the piece on top of the cell's stack and records the cell in the piece.
  void PushPiece(int slot, int column, int row);
  // Takes the piece out of the stack of the cell it records, wherever it lies in it.
  void RemovePiece(int slot);
  // Moves the top piece of the cell's stack to its bottom.
  void CyclePieceStack(int column, int row);
  // The slots on a cell from top to bottom.
  QVector<int> Stack(int column, int row) const;

  // Makes stacks and counters consistent after a load: every chain holds only in-use pieces
  // that record that cell, with no loops; in-use pieces that no chain reaches are put on their
  // cell; the stacked-cell count is recounted.
  void Normalize();

  // The in-use slots in increasing order.
  QVector<int> UsedSlots() const;

 private:
  std::vector<HexCell> cells_;  // [row * 256 + column], empty until first written
  std::array<HexPiece, kHexSlots> pieces_{};
};

// --- geometry of the current view ------------------------------------------------------------

// Top-left corner of a cell's bounding box in the view.
QPoint CellOrigin(const HexMapPage& h, int column, int row);
// The cell under a point of the view; may lie outside the map (callers check).
QPoint CellAtPixel(const HexMapPage& h, int x, int y);
// The last column and row drawn for a view of this size: one beyond what fits, not beyond the
// map.
QPoint LastVisibleCell(const HexMapPage& h, int view_width, int view_height);

// --- directions -------------------------------------------------------------------------------

// A new piece's direction on this page.
int32_t InitialDirection(const HexMapPage& h);
// The direction after a turn: side 2 counter-clockwise, anything else clockwise.
int32_t RotatedDirection(const HexMapPage& h, int32_t direction, int side);

}  // namespace quillora
