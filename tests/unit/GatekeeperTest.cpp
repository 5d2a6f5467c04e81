// The door's decisions on their own: the proof of the password, and who is refused for how long.
#include <gtest/gtest.h>

#include <QMessageAuthenticationCode>
#include <QTemporaryDir>
#include <QTest>

#include "app/SessionPasswords.h"
#include "net/Gatekeeper.h"

namespace quillora {
namespace {

using Refusal = Gatekeeper::Refusal;

TEST(Gatekeeper, ProofIsTheKeyedHashOfAFreshNonce) {
  Gatekeeper gate;
  gate.SetPassword(QStringLiteral("鍵"));
  const QByteArray nonce = Gatekeeper::NewNonce();
  ASSERT_EQ(nonce.size(), 32);
  EXPECT_NE(nonce, Gatekeeper::NewNonce());
  const QByteArray right = QMessageAuthenticationCode::hash(nonce, QStringLiteral("鍵").toUtf8(),
                                                            QCryptographicHash::Sha256);
  EXPECT_TRUE(gate.Verify(nonce, right));
  QByteArray flipped = right;
  flipped[31] = static_cast<char>(flipped[31] ^ 1);
  EXPECT_FALSE(gate.Verify(nonce, flipped));
  EXPECT_FALSE(gate.Verify(nonce, right.left(31)));
  EXPECT_FALSE(gate.Verify(nonce, QByteArray()));
  EXPECT_FALSE(gate.Verify(QByteArray(), Gatekeeper::Answer(QStringLiteral("鍵"), QByteArray())));
  EXPECT_FALSE(gate.Verify(nonce, Gatekeeper::Answer(QStringLiteral("key"), nonce)));
}

TEST(Gatekeeper, KicksBansWrongWordsAndFloodsPerAddress) {
  Gatekeeper gate;
  Gatekeeper::Limits limits;
  limits.connections_per_minute = 3;
  limits.kick_ms = 60;
  gate.SetLimits(limits);

  gate.Kick(QStringLiteral("10.0.0.1"), QStringLiteral("太郎"));
  gate.BanAddress(QStringLiteral("10.0.0.2"), QStringLiteral("次郎"));
  gate.Kick(QStringLiteral("10.0.0.2"), QStringLiteral("次郎"));  // does not shorten the ban
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.1")), Refusal::kKickedRecently);
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.2")), Refusal::kBanned);
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.3")), Refusal::kNone);
  QTest::qWait(100);
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.1")), Refusal::kNone);  // the kick ran out
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.2")), Refusal::kBanned);
  ASSERT_EQ(gate.Bans().size(), 1u);
  EXPECT_EQ(gate.Bans()[0].remaining_ms, -1);
  EXPECT_TRUE(gate.Lift(QStringLiteral("10.0.0.2")));
  EXPECT_FALSE(gate.Lift(QStringLiteral("10.0.0.2")));
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.2")), Refusal::kNone);

  // 10.0.0.3 has connected once; two more are fine, the fourth in a minute is too fast.
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.3")), Refusal::kNone);
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.3")), Refusal::kNone);
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.3")), Refusal::kTooFast);
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.3")), Refusal::kTooFast);

  for (int i = 0; i < 5; ++i) gate.RecordFailure(QStringLiteral("10.0.0.4"));
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.4")), Refusal::kTooManyTries);
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.5")), Refusal::kNone);
  gate.Reset();
  EXPECT_EQ(gate.OnConnection(QStringLiteral("10.0.0.4")), Refusal::kNone);
}

TEST(SessionPasswords, KeptInTheSettingsFileBesideOtherKeys) {
  QTemporaryDir dir;
  const QString ini = dir.filePath(QStringLiteral("app.ini"));
  SessionPasswords store(ini);
  EXPECT_TRUE(store.HostWord().isEmpty());
  store.SetHostWord(QStringLiteral("主の言葉"));
  store.Remember(QStringLiteral(" 192.0.2.7 "), QStringLiteral("客の言葉"));
  SessionPasswords again(ini);
  EXPECT_EQ(again.HostWord(), QStringLiteral("主の言葉"));
  EXPECT_EQ(again.WordFor(QStringLiteral("192.0.2.7")), QStringLiteral("客の言葉"));
  EXPECT_TRUE(again.WordFor(QStringLiteral("192.0.2.8")).isEmpty());
  again.Remember(QStringLiteral("192.0.2.7"), QString());
  EXPECT_TRUE(store.WordFor(QStringLiteral("192.0.2.7")).isEmpty());
}

}  // namespace
}  // namespace quillora
