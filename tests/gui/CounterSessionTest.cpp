// Counters kept equal through a real server over loopback.
#include <gtest/gtest.h>

#include <memory>

#include "counters/Counters.h"
#include "gui/SessionHarness.h"

namespace quillora::test {
namespace {

// A session participant with its counters.
struct CounterPeer {
  CounterPeer(const QString& handle, int port)
      : peer(handle, port), counters(peer.instance, peer.session.router()) {
    counters.RegisterHandlers(peer.session.dispatcher());
  }
  int32_t Value(int n) const { return counters.At(n) ? counters.At(n)->value : INT32_MIN; }
  QString Caption(int n) const { return counters.At(n) ? counters.At(n)->caption : QString(); }

  Peer peer;
  Counters counters;
};

class CounterSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    ASSERT_GT(port, 0);
    gm = std::make_unique<CounterPeer>(QStringLiteral("GM"), port);
    alice = std::make_unique<CounterPeer>(QStringLiteral("Alice"), port);
    bob = std::make_unique<CounterPeer>(QStringLiteral("Bob"), port);
    ASSERT_TRUE(StartServer(gm->peer));
    ASSERT_TRUE(Join(alice->peer, gm->peer));
    ASSERT_TRUE(Join(bob->peer, gm->peer));
  }

  // True once every copy but `except` shows `value` for counter n.
  bool AllSee(int n, int32_t value, const CounterPeer* except = nullptr) {
    return WaitUntil([&] {
      for (CounterPeer* p : {gm.get(), alice.get(), bob.get()}) {
        if (p != except && p->Value(n) != value) return false;
      }
      return true;
    });
  }

  int port = 0;
  std::unique_ptr<CounterPeer> gm, alice, bob;
};

TEST_F(CounterSessionTest, AddedCountersAndEverySingleStepReachEveryone) {
  ASSERT_EQ(alice->counters.AddCount(0, true), 1);
  ASSERT_TRUE(
      WaitUntil([&] { return gm->counters.SharedMax() == 1 && bob->counters.SharedMax() == 1; }));
  EXPECT_EQ(bob->Caption(1), QStringLiteral("共有カウンター２"));

  // +10, +10, -1: every copy follows each click.
  alice->counters.Step(4 * 1 + 3);
  ASSERT_TRUE(AllSee(1, 10));
  alice->counters.Step(4 * 1 + 3);
  ASSERT_TRUE(AllSee(1, 20));
  alice->counters.Step(4 * 1 + 1);
  ASSERT_TRUE(AllSee(1, 19));

  // A personal step stays on Alice's screen; Bob's later shared step overtakes it.
  alice->counters.Step(4 * 256 + 2);
  bob->counters.Step(4 * 0 + 2);
  ASSERT_TRUE(AllSee(0, 1));
  EXPECT_EQ(alice->Value(256), 1);
  EXPECT_EQ(gm->Value(256), 0);
  EXPECT_EQ(bob->Value(256), 0);
  EXPECT_EQ(gm->counters.PersonalMax(), 0);
}

TEST_F(CounterSessionTest, EditedValuesAndCaptionsFromClientsAndTheServersUserReachEveryone) {
  bob->counters.SetValue(0, -7);
  ASSERT_TRUE(AllSee(0, -7));
  bob->counters.Rename(0, QStringLiteral("ラウンド"));
  ASSERT_TRUE(WaitUntil([&] {
    return gm->Caption(0) == QStringLiteral("ラウンド") &&
           alice->Caption(0) == QStringLiteral("ラウンド");
  }));

  // The server's own user speaks through its loopback connection like everyone else.
  ASSERT_EQ(gm->counters.AddCount(0, true), 1);
  gm->counters.Rename(1, QStringLiteral("敵の数"));
  gm->counters.SetValue(1, 12);
  ASSERT_TRUE(AllSee(1, 12));
  EXPECT_EQ(alice->Caption(1), QStringLiteral("敵の数"));
  EXPECT_EQ(bob->Caption(1), QStringLiteral("敵の数"));
  EXPECT_EQ(alice->Caption(0), QStringLiteral("ラウンド"));
}

TEST_F(CounterSessionTest, ALateJoinerIsRepairedFromTheServersCopy) {
  alice->counters.AddCount(0, true);
  alice->counters.AddCount(0, true);
  alice->counters.Rename(2, QStringLiteral("MP"));
  alice->counters.SetValue(2, 33);
  ASSERT_TRUE(WaitUntil([&] { return bob->counters.SharedMax() == 2; }));
  bob->counters.Step(4 * 1 + 0);
  gm->counters.Rename(0, QStringLiteral("HP"));
  gm->counters.SetValue(0, 5);
  ASSERT_TRUE(AllSee(2, 33));
  ASSERT_TRUE(AllSee(1, -10));
  ASSERT_TRUE(AllSee(0, 5));

  CounterPeer carol(QStringLiteral("Carol"), port);
  ASSERT_TRUE(Join(carol.peer, gm->peer));
  carol.counters.AddCount(1, false);
  carol.counters.Step(4 * 257 + 3);
  EXPECT_EQ(carol.counters.SharedMax(), 0);
  EXPECT_EQ(carol.Caption(0), QStringLiteral("共有カウンター１"));

  const QVector<int> before_bob = {bob->Value(0), bob->Value(1), bob->Value(2)};
  carol.counters.RequestRepair();
  ASSERT_TRUE(WaitUntil([&] { return carol.Value(2) == 33; }));
  EXPECT_EQ(carol.counters.SharedMax(), 2);
  EXPECT_EQ(carol.Caption(0), QStringLiteral("HP"));
  EXPECT_EQ(carol.Value(0), 5);
  EXPECT_EQ(carol.Caption(1), QStringLiteral("共有カウンター２"));
  EXPECT_EQ(carol.Value(1), -10);
  EXPECT_EQ(carol.Caption(2), QStringLiteral("MP"));
  EXPECT_EQ(carol.Value(257), 10) << "personal counters are not touched by a repair";

  // Only the requester was answered; the others' copies and the server's stay as they were.
  alice->counters.Step(4 * 0 + 2);
  ASSERT_TRUE(WaitUntil([&] { return carol.Value(0) == 6 && bob->Value(0) == 6; }));
  EXPECT_EQ(bob->Value(1), before_bob[1]);
  EXPECT_EQ(bob->Value(2), before_bob[2]);
  EXPECT_TRUE(carol.peer.SysReqMes().isEmpty()) << carol.peer.SysReqMes().toStdString();
  EXPECT_TRUE(gm->peer.SysReqMes().isEmpty()) << gm->peer.SysReqMes().toStdString();
}

TEST_F(CounterSessionTest, AJoinerThatMissedCountersGetsThemFromTheNextUpdate) {
  alice->counters.AddCount(0, true);
  alice->counters.AddCount(0, true);
  ASSERT_TRUE(WaitUntil([&] { return bob->counters.SharedMax() == 2; }));

  CounterPeer carol(QStringLiteral("Carol"), port);
  ASSERT_TRUE(Join(carol.peer, gm->peer));
  alice->counters.SetValue(2, 4);
  ASSERT_TRUE(WaitUntil([&] { return carol.Value(2) == 4; }));
  EXPECT_EQ(carol.counters.SharedMax(), 2);
  EXPECT_EQ(carol.Caption(1), QStringLiteral("共有カウンター２"));
}

}  // namespace
}  // namespace quillora::test
