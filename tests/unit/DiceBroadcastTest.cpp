#include <gtest/gtest.h>

#include "dice/DiceBroadcast.h"
#include "dice/DiceOptions.h"
#include "dice/DiceRoll.h"
#include "dice/RankJudge.h"
#include "unit/ChatFakes.h"
#include "unit/DiceRig.h"

namespace quillora {
namespace {

using test::NetRig;
using test::RecordingChat;
using test::SentToServer;

constexpr uint64_t kSeed = 4711;

class DiceBroadcastTest : public ::testing::Test, protected test::DiceRig {
 protected:
  DiceBroadcastTest() : DiceRig(kSeed, 3) {}
};

TEST_F(DiceBroadcastTest, PublicRollIsAResultLineForEveryone) {
  ASSERT_TRUE(dice.Roll(QStringLiteral("2D6+3"), 0, false));
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  const Packet& p = sent[0];
  EXPECT_EQ(p.MessageCode, 301);
  EXPECT_EQ(p.SubCode, 3);
  EXPECT_EQ(p.SenderIndex, 3);
  EXPECT_EQ(p.DestIndex, 0);
  ASSERT_EQ(p.Count(), 2);
  EXPECT_EQ(p.Text(1), Expected(QStringLiteral("2D6+3"), 0));
  EXPECT_TRUE(p.Text(1).startsWith(QStringLiteral("2D6+3 = (")));
  EXPECT_EQ(p.Text(2), QStringLiteral("(ダイス機能)"));
  EXPECT_TRUE(chat.lines.isEmpty()) << "public rolls are shown when the server relays them";
}

TEST_F(DiceBroadcastTest, SecretRollShowsTheResultOnlyLocally) {
  ASSERT_TRUE(dice.Roll(QStringLiteral("1D6"), 0, true));
  const QString result = Expected(QStringLiteral("1D6"), 0);
  ASSERT_EQ(chat.lines.size(), 1);
  EXPECT_EQ(chat.lines[0].speaker, QStringLiteral("GM(ダイス機能)："));
  EXPECT_EQ(chat.lines[0].kind, kSpeakerSystem);
  EXPECT_EQ(chat.lines[0].text, QStringLiteral("非公開ダイス：") + result);
  EXPECT_EQ(chat.lines[0].indent, QStringLiteral("GM"));

  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].SubCode, 4);
  EXPECT_EQ(sent[0].Text(1), QStringLiteral("非公開ダイスが振られました"));
  EXPECT_EQ(sent[0].Text(2), QStringLiteral("(ダイス機能)"));
  for (const auto& w : rig.writes) {
    EXPECT_FALSE(DecodePacket(w.bytes).Text(1).contains(result)) << "the result never leaves";
  }
}

TEST_F(DiceBroadcastTest, ChatTextGoesInFrontWithAWideBlank) {
  const QString chat_text = QStringLiteral("攻撃します＞太郎さん");
  dice.Roll(QStringLiteral("1D6"), 0, false, chat_text);
  EXPECT_EQ(SentToServer(rig)[0].Text(1),
            chat_text + QStringLiteral("　") + Expected(QStringLiteral("1D6"), 0));

  rig.writes.clear();
  rig.instance.Rng().Seed(kSeed);
  dice.Roll(QStringLiteral("1D6"), 0, true, chat_text);
  EXPECT_EQ(SentToServer(rig)[0].Text(1),
            chat_text + QStringLiteral("　非公開ダイスが振られました"));
  EXPECT_EQ(chat.lines.last().text,
            chat_text + QStringLiteral("　非公開ダイス：") + Expected(QStringLiteral("1D6"), 0));
}

TEST_F(DiceBroadcastTest, ModifierGoesBeforeTheFirstColonOrToTheEnd) {
  EXPECT_TRUE(dice.RollText(QStringLiteral("xD6+3 : x=5"), 2)
                  .startsWith(QStringLiteral("xD6+3 +2 = 5D6+3+2 = (")));
  EXPECT_TRUE(dice.RollText(QStringLiteral("2D6"), -3).startsWith(QStringLiteral("2D6-3 = (")));
  EXPECT_TRUE(dice.RollText(QStringLiteral("2D6"), 0).startsWith(QStringLiteral("2D6 = (")));
}

TEST_F(DiceBroadcastTest, RankJudgementTakesTheModifierInAnyCase) {
  const QString text = QStringLiteral("sg:12:3:0");
  const QString got = dice.RollText(text, 2);
  Random rng(kSeed);
  EXPECT_EQ(got, JudgeRank(text, 2, rng));
  EXPECT_TRUE(got.contains(QStringLiteral("評価:"))) << got.toStdString();
}

TEST_F(DiceBroadcastTest, NothingIsRolledOrSentForAnEmptyExpression) {
  EXPECT_FALSE(dice.Roll(QString(), 0, true, QStringLiteral("hi")));
  EXPECT_TRUE(rig.writes.isEmpty());
  EXPECT_TRUE(chat.lines.isEmpty());
}

TEST_F(DiceBroadcastTest, OfflineRollsSendNothingButSecretOnesStillShow) {
  SetSessionMode(rig.instance, ModeNone);
  dice.Roll(QStringLiteral("1D6"), 0, false);
  dice.Roll(QStringLiteral("1D6"), 0, true);
  EXPECT_TRUE(rig.writes.isEmpty());
  EXPECT_EQ(chat.lines.size(), 1);
}

TEST_F(DiceBroadcastTest, AnUnsendableResultIsReportedNotThrown) {
  // Far beyond the largest packet the wire allows.
  const QString huge(20000, QChar(u'あ'));
  EXPECT_NO_THROW(dice.Announce(huge, false));
  EXPECT_TRUE(rig.writes.isEmpty());
  EXPECT_TRUE(
      rig.instance.Panel(QStringLiteral("SysReqMes")).startsWith(QStringLiteral("Err 6 @ frmDice")))
      << rig.instance.Panel(QStringLiteral("SysReqMes")).toStdString();
}

TEST(AddresseeSuffixTest, DropsTypingMarkersOnlyWhenOnBothEnds) {
  EXPECT_EQ(AddresseeSuffix(QStringLiteral("***＞太郎さん***")), QStringLiteral("＞太郎さん"));
  EXPECT_EQ(AddresseeSuffix(QStringLiteral("＞太郎さん")), QStringLiteral("＞太郎さん"));
  EXPECT_EQ(AddresseeSuffix(QStringLiteral("***＞太郎さん")), QStringLiteral("***＞太郎さん"));
  EXPECT_EQ(AddresseeSuffix(QStringLiteral("****")), QStringLiteral("****"));
}

}  // namespace
}  // namespace quillora
