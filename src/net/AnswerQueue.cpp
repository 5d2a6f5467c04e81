#include "net/AnswerQueue.h"

#include "net/FileTransfer.h"
#include "net/Router.h"
#include "net/SocketLink.h"

namespace quillora {

AnswerQueue::AnswerQueue(Router& router, QString tag, QObject* parent)
    : QObject(parent), router_(router), tag_(std::move(tag)) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &AnswerQueue::Pump);
}

void AnswerQueue::Push(int asker, Step step) {
  steps_[asker].push_back(std::move(step));
  // Always from the event loop: a handler that pushes a whole answer returns first.
  if (!timer_.isActive()) Schedule(0);
}

void AnswerQueue::PushFile(int asker, const QString& name, const QByteArray& data, int16_t sender) {
  const int count = FileTransfer::PieceCount(data.size());
  for (int k = 1; k <= count; ++k) {
    Push(asker, [name, data, k, sender]() -> std::optional<Packet> {
      return FileTransfer::PiecePacket(name, data, k, 2, sender);
    });
  }
}

void AnswerQueue::Drop(int asker) { steps_.erase(asker); }

bool AnswerQueue::HasPending(int asker) const {
  const auto it = steps_.find(asker);
  return it != steps_.end() && !it->second.empty();
}

int AnswerQueue::Pending() const {
  int n = 0;
  for (const auto& [asker, steps] : steps_) n += static_cast<int>(steps.size());
  return n;
}

void AnswerQueue::Schedule(int ms) {
  if (timer_.isActive() && timer_.remainingTime() <= ms) return;
  timer_.start(ms);
}

qint64 AnswerQueue::Backlog(const Link* link) {
  // Only a real socket can fall behind; other links take everything at once.
  const auto* socket = dynamic_cast<const SocketLink*>(link);
  return socket ? socket->Backlog() : 0;
}

void AnswerQueue::Pump() {
  bool waiting = false;
  for (auto it = steps_.begin(); it != steps_.end();) {
    const int asker = it->first;
    std::deque<Step>& steps = it->second;
    const Link* link = router_.ServerLink(asker);
    if (!link || !link->IsConnected()) {
      it = steps_.erase(it);  // the asker has gone: nothing more for it
      continue;
    }
    for (int sent = 0; !steps.empty() && sent < kBatch;) {
      if (Backlog(link) >= kLowWater) break;
      Step step = std::move(steps.front());
      steps.pop_front();
      std::optional<Packet> p = step();
      if (!p) continue;
      p->DestIndex = static_cast<int16_t>(asker);
      router_.Send(RouteOne, *p, tag_);
      ++sent;
      // A failed write may have closed the connection.
      link = router_.ServerLink(asker);
      if (!link || !link->IsConnected()) break;
    }
    if (steps.empty()) {
      it = steps_.erase(it);
    } else {
      waiting = true;
      ++it;
    }
  }
  if (waiting) Schedule(kRecheckMs);
}

}  // namespace quillora
