#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "counters/Counters.h"
#include "unit/ChatFakes.h"

namespace quillora {
namespace {

using test::NetRig;
using test::SentToServer;

template <typename T>
bool Holds(const Packet& p, int i) {
  return std::holds_alternative<T>(p.Item(i));
}

class CountersTest : public ::testing::Test {
 protected:
  CountersTest() : counters(rig.instance, rig.router) {
    SetSessionMode(rig.instance, ModeClient);
    SetOwnIndex(rig.instance, 3);
    counters.RegisterHandlers(rig.dispatcher);
  }

  // A packet as the client dispatcher hands it over.
  static Packet Update(int code, int n, ItemValue second = {}, ItemValue third = {}) {
    Packet p(static_cast<int16_t>(code), 1, 2, 0);
    p.Add(int32_t{n});
    if (!std::holds_alternative<std::monostate>(second)) p.Add(second);
    if (!std::holds_alternative<std::monostate>(third)) p.Add(third);
    return p;
  }

  NetRig rig;
  Counters counters;
};

TEST_F(CountersTest, StartsWithOneCounterOfEachKindAndNumbersNewOnesInFullWidth) {
  EXPECT_EQ(counters.SharedMax(), 0);
  EXPECT_EQ(counters.PersonalMax(), 0);
  EXPECT_EQ(counters.At(0)->caption, QStringLiteral("共有カウンター１"));
  EXPECT_EQ(counters.At(256)->caption, QStringLiteral("個人用カウンター１"));
  EXPECT_EQ(counters.At(1), nullptr);
  EXPECT_EQ(counters.At(257), nullptr);

  for (int i = 0; i < 9; ++i) counters.AddCount(0, false);
  EXPECT_EQ(counters.At(9)->caption, QStringLiteral("共有カウンター１０"));
  EXPECT_EQ(counters.AddCount(7, true), 257);
  EXPECT_EQ(counters.At(257)->caption, QStringLiteral("個人用カウンター２"));
  EXPECT_EQ(counters.At(257)->value, 0);
  EXPECT_TRUE(rig.writes.isEmpty()) << "only a shared counter added by the user is announced";
}

TEST_F(CountersTest, AddingASharedCounterAnnouncesItToTheServer) {
  QSignalSpy added(&counters, &Counters::counterAdded);
  EXPECT_EQ(counters.AddCount(0, true), 1);
  ASSERT_EQ(added.size(), 1);
  EXPECT_EQ(added[0][0].toInt(), 1);

  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  const Packet& p = sent[0];
  EXPECT_EQ(p.MessageCode, 701);
  EXPECT_EQ(p.SubCode, 1);
  EXPECT_EQ(p.SenderIndex, 3);
  EXPECT_EQ(p.DestIndex, 0);
  ASSERT_EQ(p.Count(), 3);
  EXPECT_EQ(p.Int(1), 1);
  EXPECT_EQ(p.Text(2), QStringLiteral("共有カウンター２"));
  EXPECT_TRUE(Holds<int32_t>(p, 3));
  EXPECT_EQ(p.Int(3), 0);
}

TEST_F(CountersTest, SharedStepsAreSentAfterEveryClickPersonalOnesNever) {
  ASSERT_TRUE(counters.Step(3));  // +10
  ASSERT_TRUE(counters.Step(3));
  ASSERT_TRUE(counters.Step(1));  // -1
  EXPECT_EQ(counters.At(0)->value, 19);
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 3);
  const int expected[] = {10, 20, 19};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sent[i].MessageCode, 702);
    EXPECT_EQ(sent[i].SubCode, 1);
    EXPECT_EQ(sent[i].SenderIndex, 3);
    ASSERT_EQ(sent[i].Count(), 2);
    EXPECT_EQ(sent[i].Int(1), 0);
    EXPECT_EQ(sent[i].Int(2), expected[i]);
  }

  rig.writes.clear();
  ASSERT_TRUE(counters.Step(4 * 256 + 0));
  ASSERT_TRUE(counters.Step(4 * 256 + 2));
  EXPECT_EQ(counters.At(256)->value, -9);
  EXPECT_TRUE(rig.writes.isEmpty());
  EXPECT_FALSE(counters.Step(4 * 5)) << "no such counter";
  EXPECT_FALSE(counters.Step(-1));
}

TEST_F(CountersTest, StepsStopAtTheEndsOfTheRangeThePacketsCanCarry) {
  ASSERT_TRUE(counters.SetValue(0, Counters::kMaxValue - 3));
  counters.Step(3);
  EXPECT_EQ(counters.At(0)->value, Counters::kMaxValue);
  ASSERT_TRUE(counters.SetValue(0, Counters::kMinValue + 1));
  counters.Step(0);
  EXPECT_EQ(counters.At(0)->value, Counters::kMinValue);
  EXPECT_EQ(rig.reports.size(), 0) << "every value encodes";
  EXPECT_EQ(SentToServer(rig).last().Int(2), Counters::kMinValue);
}

TEST_F(CountersTest, EditedValuesAndCaptionsOfSharedCountersAreSent) {
  ASSERT_TRUE(counters.SetValue(0, -42));
  ASSERT_TRUE(counters.Rename(0, QStringLiteral("HP")));
  EXPECT_FALSE(counters.Rename(0, QString())) << "an empty caption is ignored";
  EXPECT_EQ(counters.At(0)->caption, QStringLiteral("HP"));
  ASSERT_TRUE(counters.SetValue(256, 5));
  ASSERT_TRUE(counters.Rename(256, QStringLiteral("MP")));
  EXPECT_EQ(counters.At(256)->caption, QStringLiteral("MP"));

  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 2);
  EXPECT_EQ(sent[0].MessageCode, 702);
  EXPECT_TRUE(Holds<int16_t>(sent[0], 1) || Holds<int32_t>(sent[0], 1));
  EXPECT_EQ(sent[0].Int(1), 0);
  EXPECT_EQ(sent[0].Int(2), -42);
  EXPECT_EQ(sent[1].MessageCode, 703);
  EXPECT_EQ(sent[1].SubCode, 1);
  EXPECT_EQ(sent[1].Int(1), 0);
  EXPECT_EQ(sent[1].Text(2), QStringLiteral("HP"));
}

TEST_F(CountersTest, NothingIsSentOutsideASession) {
  SetSessionMode(rig.instance, ModeNone);
  counters.AddCount(0, true);
  counters.Step(3);
  counters.Rename(0, QStringLiteral("x"));
  counters.RequestRepair();
  EXPECT_EQ(counters.At(0)->value, 10);
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(CountersTest, RepairIsRequestedByClientsOnly) {
  counters.RequestRepair();
  auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].MessageCode, 709);
  EXPECT_EQ(sent[0].SubCode, 1);
  EXPECT_EQ(sent[0].SenderIndex, 3);
  EXPECT_EQ(sent[0].Count(), 0);

  rig.writes.clear();
  SetSessionMode(rig.instance, ModeServer);
  counters.RequestRepair();
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(CountersTest, TheServersUserOpensTheCounterWindowEverywhere) {
  SetSessionMode(rig.instance, ModeServer);
  SetOwnIndex(rig.instance, 1);
  counters.AnnounceOpened();
  ASSERT_EQ(rig.Recipients(), (QVector<int>{4, 3, 2, 1}));
  const Packet p = DecodePacket(rig.writes[0].bytes);
  EXPECT_EQ(p.MessageCode, 5);
  ASSERT_EQ(p.Count(), 2);
  EXPECT_EQ(p.Int(1), 5);
  EXPECT_EQ(p.Int(2), 1);

  rig.writes.clear();
  SetSessionMode(rig.instance, ModeClient);
  counters.AnnounceOpened();
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(CountersTest, AnUpdateForAHigherCounterCreatesTheMissingOnesFirst) {
  QSignalSpy added(&counters, &Counters::counterAdded);
  QSignalSpy changed(&counters, &Counters::counterChanged);
  rig.dispatcher.ClientDispatch(Update(712, 3, int32_t{7}));
  EXPECT_EQ(counters.SharedMax(), 3);
  ASSERT_EQ(added.size(), 3);
  EXPECT_EQ(added[2][0].toInt(), 3);
  EXPECT_EQ(counters.At(2)->caption, QStringLiteral("共有カウンター３"));
  EXPECT_EQ(counters.At(2)->value, 0);
  EXPECT_EQ(counters.At(3)->caption, QStringLiteral("共有カウンター４"));
  EXPECT_EQ(counters.At(3)->value, 7);
  ASSERT_EQ(changed.size(), 1);
  EXPECT_EQ(changed[0][0].toInt(), 3);
  EXPECT_TRUE(rig.writes.isEmpty()) << "counters made for an update are not announced";
  EXPECT_EQ(counters.PersonalMax(), 0);

  rig.dispatcher.ClientDispatch(Update(711, 1, QStringLiteral("敵HP"), QStringLiteral("-15")));
  EXPECT_EQ(counters.At(1)->caption, QStringLiteral("敵HP"));
  EXPECT_EQ(counters.At(1)->value, -15);
  rig.dispatcher.ClientDispatch(Update(711, 1, QStringLiteral("relayed"), int32_t{0}));
  EXPECT_EQ(counters.At(1)->value, 0);
  rig.dispatcher.ClientDispatch(Update(713, 2, QStringLiteral("名前")));
  EXPECT_EQ(counters.At(2)->caption, QStringLiteral("名前"));
  EXPECT_EQ(counters.At(2)->value, 0);
  rig.dispatcher.ClientDispatch(Update(714, 5));
  EXPECT_EQ(counters.SharedMax(), 5);
  EXPECT_TRUE(rig.reports.isEmpty());
}

TEST_F(CountersTest, BadUpdatesAreReportedAndTouchNothingTheyCannotReach) {
  rig.dispatcher.ClientDispatch(Update(712, 256, int32_t{1}));
  rig.dispatcher.ClientDispatch(Update(712, -1, int32_t{1}));
  rig.dispatcher.ClientDispatch(Update(712, 30000, int32_t{1}));
  EXPECT_EQ(counters.SharedMax(), 0);
  EXPECT_EQ(counters.PersonalMax(), 0);
  EXPECT_EQ(counters.At(256)->value, 0) << "a personal counter never changes from outside";
  ASSERT_EQ(rig.reports.size(), 3);
  EXPECT_TRUE(rig.reports[0].startsWith(QStringLiteral("Err 9 @ UCnt_Clnt : ")));

  rig.reports.clear();
  rig.dispatcher.ClientDispatch(Update(711, 2, QStringLiteral("c")));  // value missing
  EXPECT_EQ(counters.SharedMax(), 2) << "the counters it named were made before it failed";
  EXPECT_EQ(counters.At(2)->caption, QStringLiteral("共有カウンター３"));
  rig.dispatcher.ClientDispatch(Update(712, 0, QStringLiteral("many")));
  EXPECT_EQ(counters.At(0)->value, 0);
  ASSERT_EQ(rig.reports.size(), 2);
  EXPECT_TRUE(rig.reports[0].startsWith(QStringLiteral("Err 9 @ UCnt_Clnt")));
  EXPECT_TRUE(rig.reports[1].startsWith(QStringLiteral("Err 13 @ UCnt_Clnt")));
}

TEST_F(CountersTest, TheServerAnswersARepairRequestFromItsOwnCopyToTheRequesterOnly) {
  SetSessionMode(rig.instance, ModeServer);
  SetOwnIndex(rig.instance, 1);
  counters.Rename(0, QStringLiteral("ラウンド"));
  counters.SetValue(0, 3);
  counters.AddCount(0, true);
  counters.Step(4 * 1 + 1);
  counters.AddCount(1, true);
  counters.Step(4 * 256 + 3);
  rig.writes.clear();

  // A request from participant 3, twice: one answer, to that connection alone.
  rig.dispatcher.DP_Srv(3, EncodePacket(Packet(709, 1, 0, 0)));
  rig.dispatcher.DP_Srv(3, EncodePacket(Packet(709, 1, 0, 0)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !counters.AnswerPending(3); }, 5000));
  ASSERT_EQ(rig.Recipients(), (QVector<int>{3, 3}));
  const Packet a = DecodePacket(rig.writes[0].bytes);
  const Packet b = DecodePacket(rig.writes[1].bytes);
  EXPECT_EQ(a.MessageCode, 711);
  EXPECT_EQ(a.SenderIndex, 1);
  EXPECT_EQ(a.DestIndex, 3);
  ASSERT_EQ(a.Count(), 3);
  EXPECT_EQ(a.Int(1), 0);
  EXPECT_EQ(a.Text(2), QStringLiteral("ラウンド"));
  EXPECT_TRUE(Holds<QString>(a, 3));
  EXPECT_EQ(a.Text(3), QStringLiteral("3"));
  EXPECT_EQ(b.Int(1), 1);
  EXPECT_EQ(b.Text(2), QStringLiteral("共有カウンター２"));
  EXPECT_EQ(b.Text(3), QStringLiteral("-1"));
  EXPECT_TRUE(rig.reports.isEmpty());
}

TEST_F(CountersTest, CounterUpdatesFromOneClientAreRelayedToTheOthersUnchanged) {
  SetSessionMode(rig.instance, ModeServer);
  Packet p(702, 1, 2, 0);
  p.Add(int32_t{0}).Add(int32_t{19});
  rig.dispatcher.DP_Srv(2, EncodePacket(p));
  ASSERT_EQ(rig.Recipients(), (QVector<int>{1, 3, 4}));
  const Packet relayed = DecodePacket(rig.writes[0].bytes);
  EXPECT_EQ(relayed.MessageCode, 712);
  EXPECT_EQ(relayed.Int(2), 19);
}

TEST(CounterValueTest, AcceptsWholeNumbersInEitherWidthAndRefusesTheRest) {
  int32_t v = 0;
  EXPECT_TRUE(ParseCounterValue(QStringLiteral("12"), &v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(ParseCounterValue(QStringLiteral("１２"), &v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(ParseCounterValue(QStringLiteral(" －３ "), &v));
  EXPECT_EQ(v, -3);
  EXPECT_TRUE(ParseCounterValue(QStringLiteral("2.5"), &v));
  EXPECT_EQ(v, 2) << "rounded half to even, as the value travels";
  EXPECT_TRUE(ParseCounterValue(QStringLiteral("2147483647"), &v));
  EXPECT_EQ(v, 2147483647);
  for (const char* bad : {"", " ", "abc", "1x", "2147483648", "-2147483648", "1e300"}) {
    v = 99;
    EXPECT_FALSE(ParseCounterValue(QString::fromUtf8(bad), &v)) << bad;
    EXPECT_EQ(v, 99);
  }
}

}  // namespace
}  // namespace quillora
