#include <gtest/gtest.h>

#include "dice/DiceBroadcast.h"
#include "dice/DiceOptions.h"
#include "dice/DiceRoll.h"
#include "instant/InstantMessages.h"
#include "unit/ChatFakes.h"
#include "unit/DiceRig.h"

namespace quillora {
namespace {

using test::NetRig;
using test::RecordingChat;
using test::SentToServer;

constexpr uint64_t kSeed = 99;

class InstantMessagesTest : public ::testing::Test, protected test::DiceRig {
 protected:
  InstantMessagesTest() : DiceRig(kSeed, 2), messages(rig.instance, rig.router, chat, dice) {}

  InstantMessages messages;
};

TEST_F(InstantMessagesTest, DisplayNameTakesTheOwnHandleWhenAsked) {
  EXPECT_EQ(messages.DisplayName(true, QStringLiteral("Goblin")), QStringLiteral("GM/Goblin"));
  EXPECT_EQ(messages.DisplayName(false, QStringLiteral("Goblin")), QStringLiteral("Goblin"));
  EXPECT_EQ(messages.DisplayName(true, QString()), QStringLiteral("GM/"));
}

TEST_F(InstantMessagesTest, SayIsANamedMessageForEveryone) {
  EXPECT_FALSE(messages.Say(QString(), QStringLiteral("Goblin")));
  EXPECT_TRUE(rig.writes.isEmpty());

  EXPECT_TRUE(messages.Say(QStringLiteral("ぐへへ＞太郎さん"), QStringLiteral("GM/Goblin")));
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].MessageCode, 301);
  EXPECT_EQ(sent[0].SubCode, 5);
  EXPECT_EQ(sent[0].SenderIndex, 2);
  EXPECT_EQ(sent[0].DestIndex, 0);
  ASSERT_EQ(sent[0].Count(), 2);
  EXPECT_EQ(sent[0].Text(1), QStringLiteral("ぐへへ＞太郎さん"));
  EXPECT_EQ(sent[0].Text(2), QStringLiteral("GM/Goblin"));
  EXPECT_TRUE(chat.lines.isEmpty());
}

TEST_F(InstantMessagesTest, PublicRollIsSentWithoutALocalLine) {
  messages.SayWithRoll(QStringLiteral("えいっ"), QStringLiteral("2D6"), QStringLiteral("＋０"),
                       false, QStringLiteral("Goblin"));
  messages.SayWithRoll(QString(), QStringLiteral("2D6"), QStringLiteral("＋０"), false,
                       QStringLiteral("Goblin"));
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 2);
  EXPECT_EQ(sent[0].SubCode, 6);
  ASSERT_EQ(sent[0].Count(), 3);
  EXPECT_EQ(sent[0].Text(1), QStringLiteral("えいっ　") + Expected(QStringLiteral("2D6"), 0));
  EXPECT_EQ(sent[0].Text(2), QStringLiteral("(ダイス機能)"));
  EXPECT_EQ(sent[0].Text(3), QStringLiteral("Goblin"));
  EXPECT_TRUE(sent[1].Text(1).startsWith(QStringLiteral("2D6 = ("))) << "the roll text alone";
  EXPECT_TRUE(chat.lines.isEmpty());
}

TEST_F(InstantMessagesTest, SecretRollShowsTheResultOnlyHere) {
  messages.SayWithRoll(QString(), QStringLiteral("1D6"), QStringLiteral("＋０"), true,
                       QStringLiteral("Goblin"));
  ASSERT_EQ(chat.lines.size(), 1);
  EXPECT_EQ(chat.lines[0].speaker, QStringLiteral("Goblin(ダイス機能)："));
  EXPECT_EQ(chat.lines[0].kind, kSpeakerSystem);
  EXPECT_EQ(chat.lines[0].text,
            QStringLiteral("非公開ダイス：") + Expected(QStringLiteral("1D6"), 0));
  EXPECT_EQ(chat.lines[0].indent, QStringLiteral("Goblin"));
  EXPECT_EQ(chat.lines[0].color, 0u);
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].SubCode, 7);
  EXPECT_EQ(sent[0].Text(1), QStringLiteral("非公開ダイスが振られました"));
  EXPECT_EQ(sent[0].Text(3), QStringLiteral("Goblin"));

  messages.SayWithRoll(QStringLiteral("こっそり"), QStringLiteral("1D6"), QStringLiteral("＋０"),
                       true, QStringLiteral("Goblin"));
  EXPECT_EQ(SentToServer(rig).last().Text(1),
            QStringLiteral("こっそり　非公開ダイスが振られました"));
  EXPECT_TRUE(chat.lines.last().text.startsWith(QStringLiteral("こっそり　非公開ダイス：")));
}

TEST_F(InstantMessagesTest, ModifierLabelIsReadAsANumber) {
  EXPECT_EQ(InstantMessages::ModifierOf(QStringLiteral("＋０")), 0);
  EXPECT_EQ(InstantMessages::ModifierOf(QStringLiteral("＋２")), 2);
  EXPECT_EQ(InstantMessages::ModifierOf(QStringLiteral("－１２")), -12);
  EXPECT_EQ(InstantMessages::ModifierOf(QStringLiteral("？")), 0);

  messages.SayWithRoll(QString(), QStringLiteral("xD6 : x=2"), QStringLiteral("＋２"), false,
                       QStringLiteral("Goblin"));
  messages.SayWithRoll(QString(), QStringLiteral("3D6"), QStringLiteral("＋２"), false,
                       QStringLiteral("Goblin"));
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 2);
  EXPECT_TRUE(sent[0].Text(1).startsWith(QStringLiteral("xD6 +2 = 2D6+2 = (")))
      << sent[0].Text(1).toStdString();
  EXPECT_TRUE(sent[1].Text(1).startsWith(QStringLiteral("3D6+2 = (")))
      << sent[1].Text(1).toStdString();
}

TEST_F(InstantMessagesTest, RankJudgementTextsAreJudgedNotEvaluated) {
  messages.SayWithRoll(QString(), QStringLiteral("sg:12:3:0"), QStringLiteral("＋１"), false,
                       QStringLiteral("Goblin"));
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].Text(1), Expected(QStringLiteral("sg:12:3:0"), 1));
  EXPECT_TRUE(sent[0].Text(1).contains(QStringLiteral(")=評価:"))) << sent[0].Text(1).toStdString();
}

TEST_F(InstantMessagesTest, EmptyExpressionRollsNothing) {
  messages.SayWithRoll(QStringLiteral("x"), QString(), QStringLiteral("＋０"), true,
                       QStringLiteral("Goblin"));
  EXPECT_TRUE(rig.writes.isEmpty());
  EXPECT_TRUE(chat.lines.isEmpty());
}

TEST_F(InstantMessagesTest, TypingIndicatorStartsOnceAndStopsWithTheOwnHandle) {
  messages.RowTextChanged(1, QStringLiteral("a"), QStringLiteral("GM/Goblin"));
  messages.RowTextChanged(1, QStringLiteral("ab"), QStringLiteral("GM/Goblin"));
  EXPECT_TRUE(messages.IsTyping(1));
  EXPECT_FALSE(messages.IsTyping(0));
  messages.RowTextChanged(1, QString(), QStringLiteral("GM/Goblin"));
  EXPECT_FALSE(messages.IsTyping(1));
  messages.RowStopped(1);  // no longer typing: nothing more

  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 2);
  EXPECT_EQ(sent[0].MessageCode, 321);
  EXPECT_EQ(sent[0].SubCode, 1);
  EXPECT_EQ(sent[0].Int(1), 2);
  EXPECT_EQ(sent[0].Text(2), QStringLiteral("GM/Goblin"));
  EXPECT_EQ(sent[1].SubCode, 2);
  EXPECT_EQ(sent[1].Int(1), 2);
  EXPECT_EQ(sent[1].Text(2), QStringLiteral("GM"));
}

TEST_F(InstantMessagesTest, FocusOnAFilledBoxAnnouncesTypingEveryTime) {
  messages.RowFocusIn(0, QString(), QStringLiteral("Goblin"));
  EXPECT_TRUE(rig.writes.isEmpty());
  messages.RowFocusIn(0, QStringLiteral("x"), QStringLiteral("Goblin"));
  messages.RowFocusIn(0, QStringLiteral("x"), QStringLiteral("Goblin"));
  messages.RowStopped(0);
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 3);
  EXPECT_EQ(sent[0].SubCode, 1);
  EXPECT_EQ(sent[1].SubCode, 1);
  EXPECT_EQ(sent[2].SubCode, 2);
}

TEST_F(InstantMessagesTest, NoTypingIndicatorWithoutASession) {
  SetSessionMode(rig.instance, ModeNone);
  messages.RowTextChanged(0, QStringLiteral("a"), QStringLiteral("Goblin"));
  messages.RowFocusIn(0, QStringLiteral("a"), QStringLiteral("Goblin"));
  messages.Say(QStringLiteral("a"), QStringLiteral("Goblin"));
  EXPECT_TRUE(rig.writes.isEmpty());

  // While connecting the indicator runs; the chat message waits for the session.
  SetSessionMode(rig.instance, ModeConnecting);
  messages.RowTextChanged(0, QStringLiteral("a"), QStringLiteral("Goblin"));
  messages.Say(QStringLiteral("a"), QStringLiteral("Goblin"));
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].MessageCode, 321);
}

}  // namespace
}  // namespace quillora
