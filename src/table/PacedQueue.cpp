#include "table/PacedQueue.h"

#include <algorithm>

namespace quillora {

PacedQueue::PacedQueue(int pause_ms, QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  timer_.setInterval(pause_ms);
  connect(&timer_, &QTimer::timeout, this, &PacedQueue::RunNext);
}

void PacedQueue::Push(int group, std::function<bool()> step) {
  steps_.push_back({group, std::move(step)});
  if (!timer_.isActive()) RunNext();
}

void PacedQueue::Drop(int group) {
  std::erase_if(steps_, [group](const Step& s) { return s.group == group; });
}

bool PacedQueue::HasPending(int group) const {
  return std::any_of(steps_.begin(), steps_.end(),
                     [group](const Step& s) { return s.group == group; });
}

void PacedQueue::RunNext() {
  while (!steps_.empty()) {
    Step step = std::move(steps_.front());
    steps_.pop_front();
    // The pause starts before the step runs, so a step that pushes more work cannot run it
    // early; a step that did nothing takes its pause back.
    timer_.start();
    if (step.run()) return;
    timer_.stop();
  }
}

}  // namespace quillora
