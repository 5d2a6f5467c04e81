// Dice results and instant messages travelling through a real server over loopback.
#if __has_include("net/Session.h") && __has_include("gui/SessionHarness.h")

#include <gtest/gtest.h>

#include "dice/DiceBroadcast.h"
#include "dice/DiceOptions.h"
#include "gui/SessionHarness.h"
#include "instant/InstantMessages.h"

namespace quillora::test {
namespace {

constexpr uint32_t kGmColor = 0x0000FF;
constexpr uint32_t kAliceColor = 0x00FF00;

// The lines of a sink whose speaker part is `speaker`.
QVector<ChatLine> LinesOf(const RecordingSink& sink, const QString& speaker) {
  QVector<ChatLine> out;
  for (const auto& l : sink.lines) {
    if (l.speaker == speaker) out.push_back(l);
  }
  return out;
}

class DiceSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const int port = FreePort();
    ASSERT_GT(port, 0);
    gm = std::make_unique<Peer>(QStringLiteral("GM"), port, kGmColor);
    alice = std::make_unique<Peer>(QStringLiteral("Alice"), port, kAliceColor);
    bob = std::make_unique<Peer>(QStringLiteral("Bob"), port);
    ASSERT_TRUE(StartServer(*gm));
    ASSERT_TRUE(Join(*alice, *gm));
    ASSERT_TRUE(Join(*bob, *gm));
    ASSERT_TRUE(WaitUntil([&] { return alice->Lists(3) && gm->Lists(3); }));
    gm_dice =
        std::make_unique<DiceBroadcast>(gm->instance, gm->session.router(), gm->sink, options);
    alice_dice = std::make_unique<DiceBroadcast>(alice->instance, alice->session.router(),
                                                 alice->sink, options);
    gm_messages =
        std::make_unique<InstantMessages>(gm->instance, gm->session.router(), gm->sink, *gm_dice);
  }

  // Sends a public marker line from Alice and waits until everyone has it: whatever was sent
  // before it has arrived by then.
  bool Settle(const QString& marker) {
    alice_dice->Announce(marker, false);
    return WaitUntil(
        [&] { return gm->sink.Has(marker) && alice->sink.Has(marker) && bob->sink.Has(marker); });
  }

  DiceOptions options;
  std::unique_ptr<Peer> gm, alice, bob;
  std::unique_ptr<DiceBroadcast> gm_dice, alice_dice;
  std::unique_ptr<InstantMessages> gm_messages;
};

TEST_F(DiceSessionTest, PublicRollsReachEveryoneAndSecretOnesStayWithTheRoller) {
  ASSERT_TRUE(alice_dice->Roll(QStringLiteral("2D6+1"), 0, false));
  ASSERT_TRUE(alice_dice->Roll(QStringLiteral("1D6"), 0, true));
  ASSERT_TRUE(Settle(QStringLiteral("end")));

  const QString speaker = QStringLiteral("Alice(ダイス機能)：");
  for (Peer* p : {gm.get(), bob.get()}) {
    const auto lines = LinesOf(p->sink, speaker);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].text.startsWith(QStringLiteral("2D6+1 = (")));
    EXPECT_EQ(lines[0].kind, kSpeakerSystem);
    EXPECT_EQ(lines[1].text, QStringLiteral("非公開ダイスが振られました"));
    for (const auto& l : p->sink.lines) {
      EXPECT_FALSE(l.text.contains(QStringLiteral("非公開ダイス："))) << "a secret result left";
    }
  }
  // The roller sees its secret result at once and only locally, and its public roll once, when
  // the server relays it back.
  const auto own = LinesOf(alice->sink, speaker);
  ASSERT_EQ(own.size(), 3);
  EXPECT_TRUE(own[0].text.startsWith(QStringLiteral("非公開ダイス：1D6 = ")));
  EXPECT_TRUE(own[1].text.startsWith(QStringLiteral("2D6+1 = (")));
  EXPECT_FALSE(alice->sink.Has(QStringLiteral("非公開ダイスが振られました")));
}

TEST_F(DiceSessionTest, InstantMessagesSpeakUnderTheChosenName) {
  ASSERT_TRUE(gm_messages->Say(QStringLiteral("ぐへへ"), QStringLiteral("GM/Goblin")));
  gm_messages->SayWithRoll(QString(), QStringLiteral("1D6"), QStringLiteral("＋２"), true,
                           QStringLiteral("Goblin"));
  ASSERT_TRUE(Settle(QStringLiteral("end")));

  const ChatLine* at_alice = alice->sink.Find(QStringLiteral("ぐへへ"));
  ASSERT_NE(at_alice, nullptr);
  EXPECT_EQ(at_alice->speaker, QStringLiteral("GM/Goblin："));
  EXPECT_EQ(at_alice->kind, kSpeakerOther);
  EXPECT_EQ(at_alice->color, kGmColor);
  ASSERT_NE(gm->sink.Find(QStringLiteral("ぐへへ")), nullptr);
  EXPECT_EQ(gm->sink.Find(QStringLiteral("ぐへへ"))->kind, kSpeakerOwn);

  const ChatLine* notice = bob->sink.Find(QStringLiteral("非公開ダイスが振られました"));
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(notice->speaker, QStringLiteral("Goblin(ダイス機能)："));
  EXPECT_FALSE(gm->sink.Has(QStringLiteral("非公開ダイスが振られました")));
  const auto own = LinesOf(gm->sink, QStringLiteral("Goblin(ダイス機能)："));
  ASSERT_EQ(own.size(), 1);
  EXPECT_TRUE(own[0].text.startsWith(QStringLiteral("非公開ダイス：1D6+2 = ")));
}

TEST_F(DiceSessionTest, TypingInARowMarksTheDisplayName) {
  gm_messages->RowTextChanged(0, QStringLiteral("a"), QStringLiteral("Goblin"));
  ASSERT_TRUE(
      WaitUntil([&] { return alice->ReDirText(1) == QStringLiteral("***＞Goblinさん***"); }));
  gm_messages->RowStopped(0);
  ASSERT_TRUE(WaitUntil([&] { return alice->ReDirText(1) == QStringLiteral("＞GMさん"); }));
}

}  // namespace
}  // namespace quillora::test

#endif
