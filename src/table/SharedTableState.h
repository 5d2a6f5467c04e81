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

 private:
  SharedTable& table_;
};

}  // namespace quillora
