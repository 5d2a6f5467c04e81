#pragma once

#include "core/ToolState.h"

namespace quillora {

class SharedTable;

// The shared table as plain rows: every cell with its row and column IDs (row 0 holds the
// headers, column 0 the row names) and the running counts new IDs continue from.
class SharedTableState : public ToolState {
 public:
  explicit SharedTableState(SharedTable& table);

  QVector<StateTable> Tables() const override;
  void DescribeAll(StateWriter& out) const override;
  void Restore(const StateReader& in) override;
  void HandOut(const QVector<int>& participants) override;

 private:
  SharedTable& table_;
  // Rows and columns the others still have that the restored table lacks.
  QVector<int32_t> gone_rows_;
  QVector<int32_t> gone_columns_;
};

}  // namespace quillora
