#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

namespace quillora {

// Runs queued steps one at a time with a fixed pause after each, driven by a timer so the
// program stays responsive between them. Steps run in the order they were pushed; a step that
// is pushed while nothing is pending or pausing runs at once. A step returns false when it had
// nothing to do; then the next one follows without a pause.
class PacedQueue : public QObject {
  Q_OBJECT

 public:
  explicit PacedQueue(int pause_ms, QObject* parent = nullptr);

  // Appends a step. `group` lets a caller withdraw its not yet run steps together.
  void Push(int group, std::function<bool()> step);
  // Drops every pending step of `group` (a running step is not affected).
  void Drop(int group);
  bool HasPending(int group) const;

  // Steps not yet run.
  int Pending() const { return static_cast<int>(steps_.size()); }
  // True when nothing is pending and no pause is running.
  bool Idle() const { return steps_.empty() && !timer_.isActive(); }

  void SetPause(int ms) { timer_.setInterval(ms); }
  int Pause() const { return timer_.interval(); }

 private:
  struct Step {
    int group;
    std::function<bool()> run;
  };

  void RunNext();

  QTimer timer_;
  std::deque<Step> steps_;
};

}  // namespace quillora
