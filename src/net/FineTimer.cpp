#include "net/FineTimer.h"

#include <QSocketNotifier>
#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#endif

namespace quillora {

FineTimer::FineTimer(QObject* parent) : QObject(parent) {
  fallback_.setSingleShot(true);
  fallback_.setTimerType(Qt::PreciseTimer);
  connect(&fallback_, &QTimer::timeout, this, &FineTimer::Fire);
#ifdef Q_OS_LINUX
  fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd_ >= 0) {
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
      std::uint64_t expirations = 0;
      // Reading clears the descriptor's readiness; a timer stopped or moved meanwhile reads
      // nothing and does not fire.
      if (::read(fd_, &expirations, sizeof expirations) == sizeof expirations) Fire();
    });
  }
#endif
}

FineTimer::~FineTimer() {
  notifier_.reset();
#ifdef Q_OS_LINUX
  if (fd_ >= 0) ::close(fd_);
#endif
}

void FineTimer::Start(qint64 us) {
  active_ = true;
#ifdef Q_OS_LINUX
  if (fd_ >= 0) {
    // A zero time disarms a timerfd: the shortest wait is a microsecond.
    const qint64 wait = std::max<qint64>(1, us);
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(wait / 1000000);
    when.it_value.tv_nsec = static_cast<long>(wait % 1000000 * 1000);
    if (timerfd_settime(fd_, 0, &when, nullptr) == 0) {
      fallback_.stop();
      return;
    }
  }
#endif
  fallback_.start(static_cast<int>(std::max<qint64>(0, (us + 999) / 1000)));
}

void FineTimer::Stop() {
  active_ = false;
  fallback_.stop();
#ifdef Q_OS_LINUX
  if (fd_ >= 0) {
    const itimerspec off{};
    timerfd_settime(fd_, 0, &off, nullptr);
  }
#endif
}

void FineTimer::Fire() {
  if (!active_) return;
  active_ = false;
  emit timeout();
}

}  // namespace quillora
