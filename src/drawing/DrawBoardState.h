#pragma once

#include <QSet>

#include "core/ToolState.h"

namespace quillora {

class DrawBoard;

// The drawing board as plain rows: one PNG picture per drawn page, and which page is shown.
// Only the pages drawn on since the last description are encoded again.
class DrawBoardState : public ToolState {
 public:
  explicit DrawBoardState(DrawBoard& board);

  QVector<StateTable> Tables() const override;
  void DescribeAll(StateWriter& out) const override;
  void DescribeChanges(StateWriter& out) override;
  void Restore(const StateReader& in) override;
  void HandOut(const QVector<int>& participants) override;

 private:
  void DescribeInfo(StateWriter& out) const;
  void DescribePage(StateWriter& out, int page) const;

  DrawBoard& board_;
  QSet<int> dirty_;
};

}  // namespace quillora
