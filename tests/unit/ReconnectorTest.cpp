#include <gtest/gtest.h>

#include <QSignalSpy>

#include "net/Reconnector.h"

using namespace quillora;

namespace {

// Time that moves only when the test says so.
class FakeClock : public ReconnectClock {
 public:
  qint64 NowMs() const override { return now_; }
  void WakeIn(int ms, std::function<void()> due) override {
    due_at_ = now_ + ms;
    due_ = std::move(due);
  }
  void Cancel() override { due_ = nullptr; }
  bool Pending() const { return static_cast<bool>(due_); }
  qint64 DueIn() const { return due_at_ - now_; }
  // Moves to the pending wake-up and runs it.
  void Fire() {
    ASSERT_TRUE(Pending());
    now_ = due_at_;
    auto due = std::move(due_);
    due_ = nullptr;
    due();
  }
  void Advance(qint64 ms) { now_ += ms; }

 private:
  qint64 now_ = 1000000;
  qint64 due_at_ = 0;
  std::function<void()> due_;
};

struct Rig {
  Rig() {
    auto owned = std::make_unique<FakeClock>();
    clock = owned.get();
    reconnector = std::make_unique<Reconnector>(
        Reconnector::Dialer{[this] { ++dials; }, [this] { ++abandons; }}, std::move(owned));
    QObject::connect(reconnector.get(), &Reconnector::systemLine,
                     [this](const QString& line) { lines << line; });
  }
  FakeClock* clock;
  std::unique_ptr<Reconnector> reconnector;
  int dials = 0;
  int abandons = 0;
  QStringList lines;
};

}  // namespace

// A lost link is retried with growing gaps (refused attempts and attempts that hang alike),
// shows its countdown, and comes back with exactly one line for the start and one for the return.
TEST(Reconnector, BacksOffAndComesBack) {
  Rig rig;
  Reconnector& r = *rig.reconnector;
  QSignalSpy back(&r, &Reconnector::reconnected);
  r.ConnectionLost();
  ASSERT_EQ(rig.lines.size(), 1);
  EXPECT_TRUE(r.Active());
  EXPECT_EQ(r.StatusText(ModeNone), QStringLiteral("再接続中（1回目、あと1秒）"));

  const qint64 expected[] = {1000, 2000, 4000, 8000, 15000, 30000, 30000, 30000};
  for (int n = 0; n < 8; ++n) {
    ASSERT_EQ(r.state(), Reconnector::State::Waiting) << n;
    // Spacings count from the start of the attempt before (here 300 ms before its refusal).
    EXPECT_EQ(rig.clock->DueIn(), expected[n] - (n == 0 ? 0 : 300)) << "attempt " << n + 1;
    rig.clock->Fire();
    EXPECT_EQ(rig.dials, n + 1);
    EXPECT_EQ(r.StatusText(ModeConnecting),
              QStringLiteral("再接続中（%1回目を試行中）").arg(n + 1));
    rig.clock->Advance(300);
    r.AttemptFailed();  // refused
    EXPECT_EQ(rig.abandons, n + 1);
  }
  // An attempt that hangs is given up after the attempt's time; the next one starts when its
  // spacing from the hung one's start is over, so the line is tried every 30 s at least.
  rig.clock->Fire();
  EXPECT_EQ(rig.dials, 9);
  EXPECT_EQ(rig.clock->DueIn(), Reconnector::kAttemptTimeoutMs);
  rig.clock->Fire();
  EXPECT_EQ(rig.abandons, 9);
  EXPECT_EQ(rig.clock->DueIn(), 30000 - Reconnector::kAttemptTimeoutMs);
  rig.clock->Advance(2500);
  EXPECT_EQ(r.StatusText(ModeNone), QStringLiteral("再接続中（10回目、あと18秒）"));
  rig.clock->Fire();
  r.Joined();
  EXPECT_FALSE(r.Active());
  EXPECT_EQ(back.count(), 1);
  EXPECT_EQ(rig.lines.size(), 2);
  EXPECT_EQ(r.StatusText(ModeClient), QStringLiteral("接続中"));
  // A join of our own by hand later is no reconnection.
  r.Joined();
  EXPECT_EQ(back.count(), 1);
}

// 切断 stops the tries, whether waiting or in the middle of one; a refusal by the host ends
// them and keeps the next loss from starting new ones until a join has succeeded; the limit
// ends them too, and a limit of 0 never starts.
TEST(Reconnector, StopsOnDisconnectRefusalAndLimit) {
  {
    Rig rig;
    rig.reconnector->ConnectionLost();
    rig.reconnector->Stop();
    EXPECT_FALSE(rig.clock->Pending());
    EXPECT_FALSE(rig.reconnector->Active());
    rig.reconnector->ConnectionLost();  // a later loss starts again
    rig.clock->Fire();
    rig.reconnector->Stop();  // while trying: the session's own disconnect closes the attempt
    EXPECT_FALSE(rig.clock->Pending());
    EXPECT_EQ(rig.dials, 1);
    EXPECT_EQ(rig.reconnector->StatusText(ModeNone), QStringLiteral("未接続"));
  }
  {
    Rig rig;
    rig.reconnector->ConnectionLost();
    rig.clock->Fire();
    rig.reconnector->StopForRefusal();
    EXPECT_EQ(rig.abandons, 1);
    EXPECT_FALSE(rig.clock->Pending());
    rig.reconnector->ConnectionLost();  // the host closing on us after its refusal
    EXPECT_FALSE(rig.reconnector->Active());
    EXPECT_EQ(rig.dials, 1);
    // Kicked from a session we had joined: no tries either.
    rig.reconnector->Joined();
    rig.reconnector->StopForRefusal();
    rig.reconnector->ConnectionLost();
    EXPECT_FALSE(rig.reconnector->Active());
    // After a join by hand, a lost link is retried again.
    rig.reconnector->Joined();
    rig.reconnector->ConnectionLost();
    EXPECT_TRUE(rig.reconnector->Active());
  }
  {
    Rig rig;
    rig.reconnector->SetLimitMinutes(2);
    rig.reconnector->ConnectionLost();
    int attempts = 0;
    while (rig.clock->Pending() && attempts < 100) {
      rig.clock->Fire();
      ++attempts;
      rig.reconnector->AttemptFailed();
    }
    // 1+2+4+8+15 = 30 s, then every 30 s: attempts at 30, 60, 90 and 120 s.
    EXPECT_EQ(attempts, 8);
    EXPECT_FALSE(rig.reconnector->Active());
    EXPECT_EQ(rig.lines.size(), 2);  // started, gave up
  }
  {
    Rig rig;
    rig.reconnector->SetLimitMinutes(0);
    rig.reconnector->ConnectionLost();
    EXPECT_FALSE(rig.reconnector->Active());
    EXPECT_TRUE(rig.lines.isEmpty());
  }
}
