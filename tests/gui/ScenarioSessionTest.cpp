// The scenario viewer in a real session over loopback: what the other participants see.
#include <gtest/gtest.h>

#include "dice/DiceOptions.h"
#include "gui/SessionHarness.h"
#include "scenario/ScenarioPlayer.h"

namespace quillora::test {
namespace {

TEST(ScenarioSession, PlayedLinesReachEveryoneUnderTheSpeakerName) {
  const int port = FreePort();
  ASSERT_GT(port, 0);
  Peer gm(QStringLiteral("GM"), port, 0x0000FF);
  Peer alice(QStringLiteral("Alice"), port, 0x00FF00);
  ASSERT_TRUE(StartServer(gm));
  ASSERT_TRUE(Join(alice, gm));
  ASSERT_TRUE(WaitUntil([&] { return gm.Lists(alice.Index()); }));

  DiceOptions options;
  ScenarioPlayer player(gm.instance, gm.session.router(), RollWith(options, gm.instance.Rng()));
  const QStringList lines = {QStringLiteral("/ゴブリン：ギギッ！&"), QStringLiteral("逃げ出した。"),
                             QStringLiteral("村長：命中 #DICE:2D6"), QStringLiteral("*メモ")};
  player.Play(lines, 0);
  player.Play(lines, 3);
  player.Play(lines, 2);

  const QString joined = QStringLiteral("ギギッ！\r\n逃げ出した。");
  ASSERT_TRUE(WaitUntil([&] {
    return alice.sink.Count(joined) == 1 && gm.sink.Count(joined) == 1 &&
           alice.sink.lines.back().speaker == QStringLiteral("村長：") &&
           gm.sink.lines.back().speaker == QStringLiteral("村長：");
  }));
  const ChatLine* seen = alice.sink.Find(joined);
  EXPECT_EQ(seen->speaker, QStringLiteral("GM/ゴブリン："));
  EXPECT_EQ(seen->kind, kSpeakerOther);
  EXPECT_EQ(seen->color, 0x0000FFu);
  // The game master sees its own line as its own, in its own colour.
  const ChatLine* own = gm.sink.Find(joined);
  EXPECT_EQ(own->speaker, QStringLiteral("GM/ゴブリン："));
  EXPECT_EQ(own->kind, kSpeakerOwn);
  EXPECT_EQ(own->color, 0x0000FFu);
  // The dice link arrives rolled, and both see the same result.
  const QString rolled = alice.sink.lines.back().text;
  EXPECT_TRUE(rolled.startsWith(QStringLiteral("命中 2D6 = "))) << rolled.toStdString();
  EXPECT_EQ(gm.sink.lines.back().text, rolled);
  EXPECT_FALSE(alice.sink.Has(QStringLiteral("*メモ")));
}

}  // namespace
}  // namespace quillora::test
