#include <gtest/gtest.h>

#include <QSignalSpy>
#include <random>

#include "unit/NetFakes.h"

using namespace quillora;
using quillora::test::Encoded;
using quillora::test::Hex;
using quillora::test::NetRig;

namespace {

// A client side that records the texts of the packets it is handed.
struct ClientRig : NetRig {
  ClientRig() {
    dispatcher.RegisterClientHandler(1, 999, [this](const Packet& p) {
      seen << QStringLiteral("%1:%2").arg(p.MessageCode).arg(p.Text(1));
    });
    dispatcher.RegisterServerHandler(1, 999, [this](int socket, const Packet& p) {
      seen << QStringLiteral("%1/%2:%3").arg(socket).arg(p.MessageCode).arg(p.Text(1));
    });
  }
  QStringList seen;
};

const QString kBadCall =
    QStringLiteral("Err 5 @ DP_Clnt : プロシージャの呼び出し、または引数が不正です。");

}  // namespace

TEST(Stream, WholeAndMergedArrivalsInOrder) {
  ClientRig rig;
  rig.dispatcher.DP_Clnt(Encoded(101, 1, 2, 0, QStringLiteral("a")) +
                         Encoded(121, 1, 2, 0, QStringLiteral("b")) +
                         Encoded(4, 0, 1, 0, QStringLiteral("c")));
  EXPECT_EQ(rig.seen, QStringList({"101:a", "121:b", "4:c"}));
  EXPECT_EQ(rig.dispatcher.BufferedClientBytes(), 0);
  EXPECT_TRUE(rig.reports.isEmpty());
}

TEST(Stream, PacketsSplitAnywhereArriveOnce) {
  const QByteArray two =
      Encoded(101, 1, 2, 0, QStringLiteral("first")) + Encoded(101, 1, 3, 0, QStringLiteral("二"));
  for (int cut = 1; cut < two.size(); ++cut) {
    ClientRig rig;
    rig.dispatcher.DP_Clnt(two.left(cut));
    rig.dispatcher.DP_Clnt(two.mid(cut));
    EXPECT_EQ(rig.seen, QStringList({"101:first", "101:二"})) << "cut at " << cut;
    EXPECT_TRUE(rig.reports.isEmpty()) << "cut at " << cut;
  }

  // Byte by byte: short arrivals wait.
  ClientRig rig;
  for (const char c : two) rig.dispatcher.DP_Clnt(QByteArrayView(&c, 1));
  EXPECT_EQ(rig.seen.size(), 2);
}

TEST(Stream, RandomChunksOfManyPacketsKeepOrder) {
  std::mt19937 rng(7);
  QByteArray all;
  QStringList expected;
  for (int i = 0; i < 200; ++i) {
    const QString text = QString(static_cast<int>(rng() % 300), QChar(u'あ' + i % 50));
    all += Encoded(511, 0, 2, 0, text);
    expected << QStringLiteral("511:") + text;
  }
  ClientRig rig;
  for (qsizetype at = 0; at < all.size();) {
    const qsizetype n = std::min<qsizetype>(1 + rng() % 700, all.size() - at);
    rig.dispatcher.DP_Clnt(QByteArrayView(all).sliced(at, n));
    at += n;
  }
  EXPECT_EQ(rig.seen, expected);
}

TEST(Stream, BrokenFramingDropsTheBufferAndIsReportedOnce) {
  const QByteArray good = Encoded(101, 1, 2, 0, QStringLiteral("ok"));
  struct Case {
    const char* what;
    QByteArray bytes;
    QString report;
  };
  QByteArray bad_end = good;
  bad_end[bad_end.size() - 2] = 0x03;
  QByteArray short_length = good;
  PatchWord(short_length, 2, 15);
  QByteArray high_length = good;
  PatchWord(high_length, 2, 0x8010);
  QByteArray lying_length = good;  // says 2 bytes more than there are: ends inside the next packet
  PatchWord(lying_length, 2, good.size() + 2);
  const QString overflow = QStringLiteral("Err 6 @ DP_Clnt : オーバーフローしました。");
  const Case cases[] = {
      {"start marker", Hex("01 01") + good.mid(2), kBadCall},
      {"garbage", QByteArray(40, 'z'), kBadCall},
      {"end marker", bad_end, kBadCall},
      {"length below 16", short_length, kBadCall},
      {"length high byte", high_length, overflow},
      {"lying length", lying_length + good, kBadCall},
  };
  for (const Case& c : cases) {
    ClientRig rig;
    // A good packet first: it is delivered; the broken tail costs the rest of the buffer.
    rig.dispatcher.DP_Clnt(good + c.bytes + good);
    EXPECT_EQ(rig.seen, QStringList({"101:ok"})) << c.what;
    EXPECT_EQ(rig.reports, QStringList({c.report})) << c.what;
    EXPECT_EQ(rig.dispatcher.BufferedClientBytes(), 0) << c.what;

    // The debris of the same fault stays quiet; the next clean packet is delivered again.
    rig.dispatcher.DP_Clnt(good.mid(5));
    EXPECT_EQ(rig.reports.size(), 1) << c.what;
    rig.dispatcher.DP_Clnt(good);
    EXPECT_EQ(rig.seen.size(), 2) << c.what;
    // A new fault after recovery is reported again.
    rig.dispatcher.DP_Clnt(QByteArray(20, 'q'));
    EXPECT_EQ(rig.reports.size(), 2) << c.what;
  }
}

TEST(Stream, ALengthBeyondTheBytesWaits) {
  ClientRig rig;
  QByteArray longer = Encoded(101, 1, 2, 0, QStringLiteral("0123456789"));
  rig.dispatcher.DP_Clnt(longer.left(20));
  EXPECT_TRUE(rig.seen.isEmpty());
  EXPECT_TRUE(rig.reports.isEmpty());
  EXPECT_EQ(rig.dispatcher.BufferedClientBytes(), 20);
  rig.dispatcher.ResetClientStream();
  EXPECT_EQ(rig.dispatcher.BufferedClientBytes(), 0);
  rig.dispatcher.DP_Clnt(longer);
  EXPECT_EQ(rig.seen, QStringList({"101:0123456789"}));
}

TEST(Stream, APacketThatDoesNotDecodeCostsOnlyItself) {
  ClientRig rig;
  QByteArray bad = Encoded(101, 1, 2, 0, QStringLiteral("zz"));
  bad[16] = 0x03;  // unknown item type; the framing is intact
  rig.dispatcher.DP_Clnt(Encoded(101, 1, 2, 0, QStringLiteral("a")) + bad +
                         Encoded(101, 1, 2, 0, QStringLiteral("b")));
  EXPECT_EQ(rig.seen, QStringList({"101:a", "101:b"}));
  EXPECT_EQ(rig.reports, QStringList({kBadCall}));
}

TEST(Stream, ServerSocketsHaveTheirOwnBuffers) {
  ClientRig rig;
  const QByteArray a = Encoded(204, 0, 0, 0, QStringLiteral("from2"));
  const QByteArray b = Encoded(204, 0, 0, 0, QStringLiteral("from3"));
  rig.dispatcher.DP_Srv(2, a.left(13));
  rig.dispatcher.DP_Srv(3, b.left(7));
  rig.dispatcher.DP_Srv(4, QByteArray(30, 'x'));  // broken: must not disturb the others
  rig.dispatcher.DP_Srv(3, b.mid(7));
  rig.dispatcher.DP_Srv(2, a.mid(13));
  EXPECT_EQ(rig.seen, QStringList({"3/204:from3", "2/204:from2"}));
  ASSERT_EQ(rig.reports.size(), 1);
  EXPECT_TRUE(rig.reports[0].contains(QStringLiteral("@ DP_Srv :")));
  EXPECT_EQ(rig.dispatcher.BufferedServerBytes(2), 0);
}

TEST(Stream, FloodingPastTheCapIsDroppedAndSignalled) {
  ClientRig rig;
  QSignalSpy overflow(&rig.dispatcher, &Dispatcher::inputOverflow);
  const QByteArray partial = Encoded(204, 0, 0, 0, QString(500, QLatin1Char('x'))).left(900);

  rig.dispatcher.DP_Srv(2, partial);
  EXPECT_EQ(rig.dispatcher.BufferedServerBytes(2), 900);
  // Exactly at the cap is still accepted (and, being garbage, dropped as broken framing).
  rig.dispatcher.DP_Srv(3, QByteArray(Dispatcher::kInputCap, '\x01'));
  EXPECT_EQ(overflow.count(), 0);

  rig.dispatcher.DP_Srv(2, QByteArray(Dispatcher::kInputCap - 900 + 1, '\x01'));
  ASSERT_EQ(overflow.count(), 1);
  EXPECT_EQ(overflow.at(0).at(0).toInt(), 2);
  EXPECT_EQ(rig.dispatcher.BufferedServerBytes(2), 0);
  EXPECT_TRUE(rig.seen.isEmpty());
}
