#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

class QSocketNotifier;

namespace quillora {

// A single-shot timer with a resolution of microseconds where the system offers one (a timerfd
// on Linux); elsewhere it rounds up to whole milliseconds like a precise QTimer. It fires from
// the event loop like any timer. The Windows code would go beside the Linux code in Start() and
// Stop() (a high-resolution waitable timer watched by a QWinEventNotifier), as would the macOS
// code (a kqueue timer in microseconds watched by a QSocketNotifier).
class FineTimer : public QObject {
  Q_OBJECT

 public:
  explicit FineTimer(QObject* parent = nullptr);
  ~FineTimer() override;

  // Fires timeout() once, `us` microseconds from now (at once, from the event loop, for 0 or
  // less); starting it again moves the moment.
  void Start(qint64 us);
  void Stop();
  bool Active() const { return active_; }

 signals:
  void timeout();

 private:
  void Fire();

  bool active_ = false;
  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  QTimer fallback_;
};

}  // namespace quillora
