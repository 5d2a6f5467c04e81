#include "hexmap/HexMapState.h"

#include "hexmap/HexMap.h"
#include "net/MessageCodes.h"
#include "net/Packet.h"

namespace quillora {

namespace {
const QString kPages = QStringLiteral("hex_pages");
const QString kCells = QStringLiteral("hex_cells");
const QString kPieces = QStringLiteral("hex_pieces");
const QString kInfo = QStringLiteral("hex_info");

const QStringList kHeaderColumns = {
    "page",       "first_column",    "first_row",    "columns",
    "rows",       "cell_width",      "cell_height",  "shape",
    "piece_type", "direction_count", "highest_slot", "own_piece_count",
    "sprite_row", "stacked_cells",   "column_step",  "row_step"};
}  // namespace

HexMapState::HexMapState(HexMap& map) : map_(map) {
  QObject::connect(&map_, &HexMap::pagesChanged, &map_, [this] {
    all_dirty_ = true;
    MarkChanged();
  });
  QObject::connect(&map_, &HexMap::currentPageChanged, &map_, [this] { MarkChanged(); });
  QObject::connect(&map_, &HexMap::cellsChanged, &map_,
                   [this](int page, const QVector<QPoint>& cells) {
                     pieces_dirty_.insert(page);
                     for (const QPoint& c : cells) cells_dirty_.append({page, c});
                     MarkChanged();
                   });
}

QVector<StateTable> HexMapState::Tables() const {
  return {{kPages, kHeaderColumns, 1},
          {kCells, {"page", "col", "row", "colour", "top"}, 3},
          {kPieces,
           {"page", "slot", "col", "row", "under", "label", "direction", "colour", "owner"},
           2},
          {kInfo, {"name", "value"}, 1}};
}

void HexMapState::DescribeHeaders(StateWriter& out) const {
  out.Clear(kPages);
  for (int n = 1; n <= map_.PageCount(); ++n) {
    const HexMapPage& h = map_.Page(n)->header;
    QVariantList row{n};
    for (int i = 0; i < HexMapPage::kFieldCount; ++i) row.append(h.Field(i));
    out.Put(kPages, row);
  }
  out.Put(kInfo, {QStringLiteral("current_page"), map_.CurrentPage()});
}

void HexMapState::DescribeCell(StateWriter& out, int page, QPoint cell) const {
  const HexCell& c = map_.Page(page)->Cell(cell.x(), cell.y());
  out.Put(kCells, {page, cell.x(), cell.y(), static_cast<qint64>(c.colour), c.top});
}

void HexMapState::DescribePieces(StateWriter& out, int page) const {
  const HexPage* p = map_.Page(page);
  for (int slot = 1; slot < kHexSlots; ++slot) {
    const HexPiece& piece = p->Piece(slot);
    if (!piece.in_use) {
      out.Remove(kPieces, {page, slot});
      continue;
    }
    out.Put(kPieces, {page, slot, piece.column, piece.row, piece.under, piece.label,
                      piece.direction, static_cast<qint64>(piece.colour), piece.owner});
  }
}

void HexMapState::DescribePage(StateWriter& out, int page) const {
  const HexPage* p = map_.Page(page);
  // The border (column and row 0) and the map; cells beyond it are never drawn.
  for (int row = 0; row <= p->header.rows && row < kHexTableSpan; ++row) {
    for (int col = 0; col <= p->header.columns && col < kHexTableSpan; ++col) {
      DescribeCell(out, page, QPoint(col, row));
    }
  }
  DescribePieces(out, page);
}

void HexMapState::DescribeAll(StateWriter& out) const {
  out.Clear(kCells);
  out.Clear(kPieces);
  out.Clear(kInfo);
  DescribeHeaders(out);
  for (int n = 1; n <= map_.PageCount(); ++n) DescribePage(out, n);
}

void HexMapState::DescribeChanges(StateWriter& out) {
  if (all_dirty_) {
    DescribeAll(out);
  } else {
    DescribeHeaders(out);
    for (const auto& [page, cell] : cells_dirty_) {
      if (map_.Page(page) && HexPage::InTable(cell.x(), cell.y())) DescribeCell(out, page, cell);
    }
    for (int page : pieces_dirty_) {
      if (map_.Page(page)) DescribePieces(out, page);
    }
  }
  all_dirty_ = false;
  cells_dirty_.clear();
  pieces_dirty_.clear();
  MarkDescribed();
}

void HexMapState::Restore(const StateReader& in) {
  std::vector<HexPage> pages;
  for (const QVariantList& row : in.Rows(kPages)) {
    const int n = row.value(0).toInt();
    if (n < 1 || n > kHexMaxPages || row.size() < 1 + HexMapPage::kFieldCount) continue;
    if (static_cast<int>(pages.size()) < n) pages.resize(n);
    for (int i = 0; i < HexMapPage::kFieldCount; ++i) {
      pages[n - 1].header.SetField(i, row[1 + i].toInt());
    }
  }
  const int count = static_cast<int>(pages.size());
  for (const QVariantList& row : in.Rows(kCells)) {
    const int n = row.value(0).toInt();
    const int col = row.value(1).toInt();
    const int r = row.value(2).toInt();
    if (n < 1 || n > count || !HexPage::InTable(col, r) || row.size() < 5) continue;
    HexCell& cell = pages[n - 1].MutableCell(col, r);
    cell.colour = static_cast<uint32_t>(row[3].toLongLong()) & 0xFFFFFF;
    cell.top = row[4].toInt() & 0xFF;
  }
  for (const QVariantList& row : in.Rows(kPieces)) {
    const int n = row.value(0).toInt();
    const int slot = row.value(1).toInt();
    if (n < 1 || n > count || !HexPage::IsSlot(slot) || row.size() < 9) continue;
    HexPiece& piece = pages[n - 1].MutablePiece(slot);
    piece.in_use = true;
    piece.column = row[2].toInt();
    piece.row = row[3].toInt();
    piece.under = row[4].toInt() & 0xFF;
    piece.label = row[5].toString();
    piece.direction = row[6].toInt();
    piece.colour = static_cast<uint32_t>(row[7].toLongLong()) & 0xFFFFFF;
    piece.owner = row[8].toInt();
  }
  // A file edited by hand must not leave loops or pieces off their cells.
  for (HexPage& page : pages) page.Normalize();
  int current = 0;
  for (const QVariantList& row : in.Rows(kInfo)) {
    if (row.value(0).toString() == QLatin1String("current_page")) current = row.value(1).toInt();
  }
  if (current < 1 || current > count) current = count > 0 ? 1 : 0;
  map_.CancelDrag();
  map_.stroke_active_ = false;
  map_.stroke_.clear();
  map_.pages_ = std::move(pages);
  emit map_.pagesChanged();
  map_.SetCurrent(current);
  for (int n = 1; n <= count; ++n) emit map_.stacksChanged(n);
  all_dirty_ = false;
  cells_dirty_.clear();
  pieces_dirty_.clear();
  MarkDescribed();
}

void HexMapState::HandOut(const QVector<int>& participants) {
  for (int p : participants) map_.ServeOpenedTable(p);
}

}  // namespace quillora
