#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "core/SessionState.h"

namespace quillora {

class Instance;
class Session;

// Time as the reconnector sees it: a clock and one pending wake-up. Tests drive a fake one.
class ReconnectClock {
 public:
  virtual ~ReconnectClock() = default;
  virtual qint64 NowMs() const = 0;
  // Runs `due` once, `ms` from now; replaces a wake-up that is still pending.
  virtual void WakeIn(int ms, std::function<void()> due) = 0;
  virtual void Cancel() = 0;
};

// The event loop's clock.
class LoopClock : public ReconnectClock {
 public:
  LoopClock();
  qint64 NowMs() const override { return elapsed_.elapsed(); }
  void WakeIn(int ms, std::function<void()> due) override;
  void Cancel() override { timer_.stop(); }

 private:
  QElapsedTimer elapsed_;
  QTimer timer_;
  std::function<void()> due_;
};

// Brings a client back by itself when its connection ended without its user asking: the same
// address, the same handle, tries spaced out (1, 2, 4, 8, 15, then every 30 seconds) for a
// limited time. The user's own disconnect stops it, and so does a refusal by the host, which
// is not retried until a join by hand has succeeded again.
class Reconnector : public QObject {
  Q_OBJECT

 public:
  enum class State { Idle, Waiting, Trying };

  static constexpr int kDefaultLimitMinutes = 30;
  // An attempt that has not completed its join by then is given up and the next one waits.
  static constexpr int kAttemptTimeoutMs = 10000;

  // What the reconnector does to the session: dial the address again (quietly), or give up an
  // attempt that is still connecting.
  struct Dialer {
    std::function<void()> dial;
    std::function<void()> abandon;
  };

  explicit Reconnector(Dialer dialer, std::unique_ptr<ReconnectClock> clock = nullptr,
                       QObject* parent = nullptr);
  ~Reconnector() override;

  // How long to go on trying after the connection was lost; 0 switches reconnection off.
  void SetLimitMinutes(int minutes) { limit_minutes_ = minutes; }
  int LimitMinutes() const { return limit_minutes_; }

  // The spacing of attempt n (1 for the first) from the loss or the attempt before:
  // 1, 2, 4, 8, 15, then 30 seconds.
  static int DelayBeforeAttemptMs(int attempt);

  // --- what happened ----------------------------------------------------------------------
  // An established connection ended without the user asking: start trying.
  void ConnectionLost();
  // The attempt under way did not get through (refused, unreachable, reset while joining).
  void AttemptFailed();
  // A join completed; when it was ours, we are back.
  void Joined();
  // The user disconnected (切断) or took the session into their own hands: no more tries.
  void Stop();
  // The host refused us (a wrong password, a ban, a kick): stop, and do not start again on the
  // connection loss that follows, until a join succeeds again.
  void StopForRefusal();

  State state() const { return state_; }
  bool Active() const { return state_ != State::Idle; }
  int Attempt() const { return attempt_; }
  // Whole seconds until the next attempt while waiting (rounded up), else 0.
  int SecondsToNext() const;
  // The status bar's words for the link, given the session's mode.
  QString StatusText(int mode) const;

  // A line for the chat on the reconnector's behalf (the program says what it did on return).
  void Say(const QString& text) { emit systemLine(text); }

 signals:
  void systemLine(const QString& text);
  // The state, the attempt or the countdown changed (the countdown once a second).
  void statusChanged();
  void activeChanged(bool active);
  // We are back in the session after a loss.
  void reconnected();

 private:
  void SetState(State state);
  void ScheduleNext();
  void Dial();

  Dialer dialer_;
  std::unique_ptr<ReconnectClock> clock_;
  QTimer countdown_;
  State state_ = State::Idle;
  int limit_minutes_ = kDefaultLimitMinutes;
  int attempt_ = 0;
  qint64 lost_at_ms_ = 0;
  qint64 next_at_ms_ = 0;
  qint64 attempt_started_ms_ = 0;
  bool refused_ = false;
};

// Connects a reconnector to a session: what the session reports drives it, and it dials the
// session's last address again. Its lines go to the chat with the session's.
void AttachReconnector(Reconnector& reconnector, Session& session);

}  // namespace quillora
