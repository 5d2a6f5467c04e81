#include <gtest/gtest.h>

#include <stdexcept>

#include "unit/NetFakes.h"

using namespace quillora;
using quillora::test::Encoded;
using quillora::test::NetRig;

TEST(Dispatcher, HandlersAreFoundByCodeRange) {
  NetRig rig(3);
  QStringList calls;
  rig.dispatcher.RegisterServerHandler(426, 429, [&](int k, const Packet& p) {
    calls << QStringLiteral("cards %1 %2").arg(k).arg(p.MessageCode);
  });
  rig.dispatcher.RegisterServerHandler(400, 499, [&](int, const Packet& p) {
    calls << QStringLiteral("wide %1").arg(p.MessageCode);
  });
  rig.dispatcher.RegisterClientHandler(
      511, 519, [&](const Packet& p) { calls << QStringLiteral("draw %1").arg(p.MessageCode); });

  rig.dispatcher.DP_Srv(2, Encoded(426, 0, 2) + Encoded(429, 0, 2) + Encoded(430, 0, 2) +
                               Encoded(425, 0, 2) + Encoded(9, 0, 2));
  rig.dispatcher.DP_Clnt(Encoded(510, 0, 1) + Encoded(511, 0, 1) + Encoded(519, 0, 1) +
                         Encoded(520, 0, 1));
  // The first range registered wins where ranges overlap; unknown codes are ignored.
  EXPECT_EQ(calls, QStringList({"cards 2 426", "cards 2 429", "wide 430", "wide 425", "draw 511",
                                "draw 519"}));
  EXPECT_TRUE(rig.reports.isEmpty());
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST(Dispatcher, AShortItemListCostsOnlyThatPacket) {
  NetRig rig(3);
  QStringList handled;
  // A handler that needs two items: a name and a colour.
  rig.dispatcher.RegisterServerHandler(203, 203, [&](int k, const Packet& p) {
    const QString name = p.Text(1);
    handled << QStringLiteral("%1 %2 %3").arg(k).arg(name).arg(p.Int(2));
  });
  rig.dispatcher.RegisterClientHandler(
      4, 4, [&](const Packet& p) { handled << p.Text(2) + QString::number(p.Int(3)); });

  Packet full(203, 0, 2);
  full.Add(QStringLiteral("花子")).Add(int32_t{255});
  Packet shorter(203, 0, 2);
  shorter.Add(QStringLiteral("太郎"));
  rig.dispatcher.DP_Srv(2, EncodePacket(shorter) + EncodePacket(full));
  EXPECT_EQ(handled, QStringList({"2 花子 255"}));
  EXPECT_EQ(
      rig.reports,
      QStringList({QStringLiteral("Err 9 @ DP_Serv : インデックスが有効範囲にありません。")}));

  handled.clear();
  rig.reports.clear();
  Packet change(4, 0, 1);
  change.Add(int16_t{2}).Add(QStringLiteral("花子")).Add(QStringLiteral("赤"));
  Packet good(4, 0, 1);
  good.Add(int16_t{2}).Add(QStringLiteral("花子")).Add(int32_t{255});
  rig.dispatcher.DP_Clnt(EncodePacket(change) + EncodePacket(good));
  EXPECT_EQ(handled, QStringList({"花子255"}));
  EXPECT_EQ(rig.reports, QStringList({QStringLiteral("Err 13 @ DP_Clnt : 型が一致しません。")}));
}

TEST(Dispatcher, OtherHandlerFailuresAreCaughtToo) {
  NetRig rig(2);
  int after = 0;
  rig.dispatcher.RegisterClientHandler(101, 101, [](const Packet&) {
    throw std::out_of_range("participant 40 is not in the table");
  });
  rig.dispatcher.RegisterClientHandler(121, 121, [&](const Packet&) { ++after; });
  rig.dispatcher.DP_Clnt(Encoded(101, 1, 40) + Encoded(121, 1, 2));
  EXPECT_EQ(after, 1);
  EXPECT_EQ(rig.reports,
            QStringList({QStringLiteral("Err 51 @ DP_Clnt : participant 40 is not in the table")}));
}

TEST(Dispatcher, HandlersMayResetStreamsAndReplyWhileCutting) {
  NetRig rig(3);
  QStringList handled;
  // A leave message closes the connection: the rest of that socket's bytes are dropped.
  rig.dispatcher.RegisterServerHandler(202, 202, [&](int k, const Packet&) {
    handled << QStringLiteral("leave %1").arg(k);
    rig.dispatcher.ResetServerStream(k);
  });
  // A hello is answered at once through the router.
  rig.dispatcher.RegisterServerHandler(204, 204, [&](int k, const Packet&) {
    handled << QStringLiteral("hello %1").arg(k);
    Packet reply(2, 0, 1, static_cast<int16_t>(k));
    reply.Add(int16_t(k));
    rig.router.SendPacket(RouteOne, reply);
    // Registering while dispatching must not disturb the running handler.
    rig.dispatcher.RegisterServerHandler(1, 999, [](int, const Packet&) {});
  });
  rig.dispatcher.DP_Srv(3, Encoded(204, 0, 0) + Encoded(202, 0, 3) + Encoded(204, 0, 0) +
                               Encoded(204, 0, 0).left(10));
  EXPECT_EQ(handled, QStringList({"hello 3", "leave 3"}));
  EXPECT_EQ(rig.dispatcher.BufferedServerBytes(3), 0);
  ASSERT_EQ(rig.Recipients(), QVector<int>({3}));
  EXPECT_EQ(DecodePacket(rig.writes[0].bytes).Int(1), 3);
  EXPECT_TRUE(rig.reports.isEmpty());
}
