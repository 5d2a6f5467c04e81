#include "counters/CounterState.h"

#include "counters/Counters.h"
#include "net/MessageCodes.h"
#include "net/Packet.h"

namespace quillora {

namespace {
const QString kCounters = QStringLiteral("counters");
}  // namespace

CounterState::CounterState(Counters& counters) : counters_(counters) {
  QObject::connect(&counters_, &Counters::counterAdded, &counters_, [this] { MarkChanged(); });
  QObject::connect(&counters_, &Counters::counterChanged, &counters_, [this](int element) {
    if (Counters::IsShared(element)) MarkChanged();
  });
}

QVector<StateTable> CounterState::Tables() const {
  return {{kCounters, {"element", "caption", "value"}, 1}};
}

void CounterState::DescribeAll(StateWriter& out) const {
  out.Clear(kCounters);
  for (int n = 0; n < counters_.shared_.size(); ++n) {
    out.Put(kCounters, {n, counters_.shared_[n].caption, counters_.shared_[n].value});
  }
}

void CounterState::Restore(const StateReader& in) {
  for (const QVariantList& row : in.Rows(kCounters)) {
    if (row.size() < 3) continue;
    const int n = row[0].toInt();
    if (!Counters::IsShared(n)) continue;
    while (counters_.SharedMax() < n) counters_.AddCount(0, false);
    const int64_t value = row[2].toLongLong();
    Counters::Counter& c = counters_.shared_[n];
    if (!row[1].toString().isEmpty()) c.caption = row[1].toString();
    c.value = static_cast<int32_t>(
        qBound(int64_t{Counters::kMinValue}, value, int64_t{Counters::kMaxValue}));
    emit counters_.counterChanged(n);
  }
  MarkDescribed();
}

void CounterState::HandOut(const QVector<int>& participants) {
  for (int p : participants) {
    Packet request(msg::kCounterRequest, 0, static_cast<int16_t>(p), 0);
    counters_.HandleServer(p, request);
  }
}

}  // namespace quillora
