#pragma once

#include "core/ToolState.h"

namespace quillora {

class Counters;

// The shared counters as plain rows (personal counters never leave this program).
class CounterState : public ToolState {
 public:
  explicit CounterState(Counters& counters);

  QVector<StateTable> Tables() const override;
  void DescribeAll(StateWriter& out) const override;
  void Restore(const StateReader& in) override;
  void HandOut(const QVector<int>& participants) override;

 private:
  Counters& counters_;
};

}  // namespace quillora
