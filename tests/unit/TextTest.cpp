#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "text/Cp932.h"
#include "text/Width.h"

using namespace quillora;

TEST(Width, ConvertsBetweenFullAndHalfWidth) {
  EXPECT_EQ(ToHalfWidth(QStringLiteral("１９２．１６８．０．５：３０００")),
            QStringLiteral("192.168.0.5:3000"));
  EXPECT_EQ(ToHalfWidth(QStringLiteral("ＳＧ：２Ｄ６　あ")), QStringLiteral("SG:2D6 あ"));
  EXPECT_EQ(ToFullWidth(QStringLiteral("-3")), QStringLiteral("－３"));
  EXPECT_EQ(ToFullWidth(QStringLiteral("+0")), QStringLiteral("＋０"));
}

TEST(Cp932, RoundTripsJapaneseAndWindowsVariants) {
  const QString text = QStringLiteral("発言場０ ハンドル〜−");
  const QByteArray bytes = Cp932::Encode(text);
  EXPECT_EQ(Cp932::Decode(bytes), QStringLiteral("発言場０ ハンドル～－"));
  EXPECT_TRUE(Cp932::CanEncode(text));
  EXPECT_FALSE(Cp932::CanEncode(QStringLiteral("dice 🎲")));
  EXPECT_TRUE(Cp932::CanEncode(QStringLiteral("what?")));
  // "あ" in CP932 is 82 A0.
  EXPECT_EQ(Cp932::Encode(QStringLiteral("あ")), QByteArray("\x82\xA0"));
}

TEST(Cp932, DecodesFilesByContent) {
  EXPECT_EQ(Cp932::DecodeFile(QByteArray("\xEF\xBB\xBF\xE3\x81\x82")), QStringLiteral("あ"));
  EXPECT_EQ(Cp932::DecodeFile(QByteArray("\xE3\x81\x82")), QStringLiteral("あ"));
  EXPECT_EQ(Cp932::DecodeFile(QByteArray("\x82\xA0")), QStringLiteral("あ"));
  // Broken bytes never crash.
  EXPECT_FALSE(Cp932::DecodeFile(QByteArray("\x82\xFF\x81", 3)).isNull());
}

TEST(CommandLine, ParsesOptionsAndRejectsUnknownOnes) {
  QString error;
  bool help = false;
  auto line = CommandLine::Parse(
      {"--home", "/tmp/x", "--port=2100", "--server", "--handle", "太郎"}, &error, &help);
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(line->home, "/tmp/x");
  EXPECT_EQ(line->port, 2100);
  EXPECT_TRUE(line->server);
  EXPECT_EQ(line->handle, QStringLiteral("太郎"));

  EXPECT_FALSE(CommandLine::Parse({"--bogus"}, &error, &help).has_value());
  EXPECT_TRUE(error.contains("--bogus"));
  EXPECT_FALSE(CommandLine::Parse({"--port", "0"}, &error, &help).has_value());
  EXPECT_FALSE(CommandLine::Parse({"--connect"}, &error, &help).has_value());
  EXPECT_FALSE(CommandLine::Parse({"--help"}, &error, &help).has_value());
  EXPECT_TRUE(help);

  // Options are read before Qt sees them: Qt's own are passed over, the rest still count.
  line = CommandLine::Parse({"-platform", "offscreen", "--server", "-style=fusion", "-reverse"},
                            &error, &help);
  ASSERT_TRUE(line.has_value()) << qPrintable(error);
  EXPECT_TRUE(line->server);
  EXPECT_FALSE(CommandLine::Parse({"-bogus"}, &error, &help).has_value());
  line = CommandLine::Parse({"--version"}, &error, &help);
  ASSERT_TRUE(line.has_value());
  EXPECT_TRUE(line->version);
}
