#pragma once

#include <QPoint>
#include <QSet>

#include "core/ToolState.h"

namespace quillora {

class HexMap;

// The hex map as plain rows: a header row per page, the map's cells, the pieces. A stroke
// writes only the cells it painted; a page that was set up anew is written whole.
class HexMapState : public ToolState {
 public:
  explicit HexMapState(HexMap& map);

  QVector<StateTable> Tables() const override;
  void DescribeAll(StateWriter& out) const override;
  void DescribeChanges(StateWriter& out) override;
  void Restore(const StateReader& in) override;
  void HandOut(const QVector<int>& participants) override;

 private:
  void DescribeHeaders(StateWriter& out) const;
  void DescribePage(StateWriter& out, int page) const;
  void DescribePieces(StateWriter& out, int page) const;
  void DescribeCell(StateWriter& out, int page, QPoint cell) const;

  HexMap& map_;
  bool all_dirty_ = false;
  QSet<int> pieces_dirty_;
  QVector<QPair<int, QPoint>> cells_dirty_;
};

}  // namespace quillora
