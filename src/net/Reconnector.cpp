#include "net/Reconnector.h"

#include <algorithm>

#include "net/Session.h"

namespace quillora {

LoopClock::LoopClock() {
  elapsed_.start();
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    auto due = std::move(due_);
    due_ = nullptr;
    if (due) due();
  });
}

void LoopClock::WakeIn(int ms, std::function<void()> due) {
  due_ = std::move(due);
  timer_.start(std::max(0, ms));
}

Reconnector::Reconnector(Dialer dialer, std::unique_ptr<ReconnectClock> clock, QObject* parent)
    : QObject(parent),
      dialer_(std::move(dialer)),
      clock_(clock ? std::move(clock) : std::make_unique<LoopClock>()) {
  countdown_.setInterval(1000);
  connect(&countdown_, &QTimer::timeout, this, &Reconnector::statusChanged);
}

Reconnector::~Reconnector() { clock_->Cancel(); }

int Reconnector::DelayBeforeAttemptMs(int attempt) {
  static constexpr int kSteps[] = {1000, 2000, 4000, 8000, 15000};
  if (attempt >= 1 && attempt <= 5) return kSteps[attempt - 1];
  return 30000;
}

void Reconnector::SetState(State state) {
  const bool was_active = Active();
  state_ = state;
  if (state_ == State::Waiting) {
    countdown_.start();
  } else {
    countdown_.stop();
  }
  emit statusChanged();
  if (was_active != Active()) emit activeChanged(Active());
}

void Reconnector::ConnectionLost() {
  if (refused_ || limit_minutes_ <= 0 || Active()) return;
  attempt_ = 0;
  lost_at_ms_ = clock_->NowMs();
  emit systemLine(QStringLiteral("サーバとの接続が切れたため、自動で再接続を試みます（最長%1分）。")
                      .arg(limit_minutes_));
  ScheduleNext();
}

void Reconnector::ScheduleNext() {
  // Attempts start at these spacings, counted from the start of the one before: an attempt
  // that hung for a while is followed at once when its gap is over, so the line is tried at
  // least every 30 seconds.
  const int delay = DelayBeforeAttemptMs(attempt_ + 1);
  const qint64 now = clock_->NowMs();
  const qint64 base = attempt_ == 0 ? lost_at_ms_ : attempt_started_ms_;
  const qint64 due = std::max(now, base + delay);
  if (due - lost_at_ms_ > qint64{limit_minutes_} * 60000) {
    clock_->Cancel();
    SetState(State::Idle);
    emit systemLine(QStringLiteral("%1分間再接続できなかったため、自動再接続をやめました。")
                        .arg(limit_minutes_));
    return;
  }
  next_at_ms_ = due;
  clock_->WakeIn(static_cast<int>(due - now), [this] { Dial(); });
  SetState(State::Waiting);
}

void Reconnector::Dial() {
  if (state_ != State::Waiting) return;
  ++attempt_;
  attempt_started_ms_ = clock_->NowMs();
  SetState(State::Trying);
  clock_->WakeIn(kAttemptTimeoutMs, [this] {
    if (state_ != State::Trying) return;
    if (dialer_.abandon) dialer_.abandon();
    ScheduleNext();
  });
  if (dialer_.dial) dialer_.dial();
}

void Reconnector::AttemptFailed() {
  if (state_ != State::Trying) return;
  clock_->Cancel();
  if (dialer_.abandon) dialer_.abandon();
  ScheduleNext();
}

void Reconnector::Joined() {
  refused_ = false;
  if (state_ != State::Trying) return;
  clock_->Cancel();
  SetState(State::Idle);
  emit systemLine(QStringLiteral("サーバに再接続しました。"));
  emit reconnected();
}

void Reconnector::Stop() {
  if (!Active()) return;
  clock_->Cancel();
  SetState(State::Idle);
  emit systemLine(QStringLiteral("自動再接続を中止しました。"));
}

void Reconnector::StopForRefusal() {
  refused_ = true;
  if (!Active()) return;
  const bool trying = state_ == State::Trying;
  clock_->Cancel();
  SetState(State::Idle);
  if (trying && dialer_.abandon) dialer_.abandon();
  emit systemLine(QStringLiteral("サーバに接続を断られたため、自動再接続をやめました。"));
}

int Reconnector::SecondsToNext() const {
  if (state_ != State::Waiting) return 0;
  const qint64 left = std::max<qint64>(0, next_at_ms_ - clock_->NowMs());
  return static_cast<int>((left + 999) / 1000);
}

QString Reconnector::StatusText(int mode) const {
  switch (state_) {
    case State::Waiting:
      return QStringLiteral("再接続中（%1回目、あと%2秒）").arg(attempt_ + 1).arg(SecondsToNext());
    case State::Trying:
      return QStringLiteral("再接続中（%1回目を試行中）").arg(attempt_);
    case State::Idle:
      break;
  }
  switch (mode) {
    case ModeServer:
      return QStringLiteral("サーバ稼働中");
    case ModeClient:
      return QStringLiteral("接続中");
    case ModeConnecting:
      return QStringLiteral("接続処理中");
    default:
      return QStringLiteral("未接続");
  }
}

void AttachReconnector(Reconnector& r, Session& session) {
  QObject::connect(&session, &Session::linkLost, &r, &Reconnector::ConnectionLost);
  QObject::connect(&session, &Session::connectFailed, &r, &Reconnector::AttemptFailed);
  QObject::connect(&session, &Session::joinedSession, &r, &Reconnector::Joined);
  QObject::connect(&session, &Session::disconnectRequested, &r, &Reconnector::Stop);
  // A refusal by the host (wrong password, ban, kick) ends the tries for good.
  QObject::connect(&session, &Session::refusedByHost, &r, [&r] { r.StopForRefusal(); });
  QObject::connect(&r, &Reconnector::systemLine, &session, &Session::systemLine);
}

}  // namespace quillora
