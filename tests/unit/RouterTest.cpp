#include <gtest/gtest.h>

#include "net/Relay.h"
#include "unit/NetFakes.h"

using namespace quillora;
using quillora::test::Encoded;
using quillora::test::NetRig;

namespace {
using Ids = QVector<int>;
}  // namespace

TEST(Router, RouteOrdersAndConnectedFilter) {
  NetRig rig(4);
  rig.link(3).SetConnected(false);
  Packet p(442, 0, 2, 4);
  p.Add(int32_t{1});

  rig.router.SendPacket(RouteAll, p);
  EXPECT_EQ(rig.Recipients(), Ids({4, 2, 1}));  // highest index first
  rig.writes.clear();

  rig.router.SendPacket(RouteOthers, p);
  EXPECT_EQ(rig.Recipients(), Ids({1, 4}));  // lowest first, not the sender, not 3
  rig.writes.clear();

  rig.router.SendPacket(RouteOne, p);
  EXPECT_EQ(rig.Recipients(), Ids({4}));
  rig.writes.clear();

  rig.router.SendPacket(RouteServer, p);
  EXPECT_EQ(rig.Recipients(), Ids({0}));
  EXPECT_EQ(rig.writes[0].bytes, EncodePacket(p));
  rig.writes.clear();

  // Addressees that are gone or were never there are skipped without a word.
  p.DestIndex = 3;
  rig.router.SendPacket(RouteOne, p);
  p.DestIndex = 9;
  rig.router.SendPacket(RouteOne, p);
  p.DestIndex = 0;
  rig.router.SendPacket(RouteOne, p);
  rig.client->SetConnected(false);
  rig.router.SendPacket(RouteServer, p);
  EXPECT_TRUE(rig.writes.isEmpty());
  EXPECT_TRUE(rig.reports.isEmpty());
}

TEST(Router, SocketCountBoundsTheLoopsAndLinksCanBeCleared) {
  NetRig rig(4);
  SetSocketCount(rig.instance, 2);
  Packet p(1, 0, 1, 0);
  rig.router.SendPacket(RouteAll, p);
  rig.router.SendPacket(RouteOthers, p);
  EXPECT_EQ(rig.Recipients(), Ids({2, 1, 2}));
  rig.writes.clear();

  SetSocketCount(rig.instance, 4);
  rig.router.SetServerLink(2, nullptr);
  EXPECT_EQ(rig.router.ServerLink(2), nullptr);
  EXPECT_EQ(rig.router.ServerLink(0), nullptr);
  rig.router.SendPacket(RouteAll, p);
  EXPECT_EQ(rig.Recipients(), Ids({4, 3, 1}));
  rig.writes.clear();

  rig.router.ClearServerLinks();
  rig.router.SendPacket(RouteAll, p);
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST(Router, AnUnencodablePacketSendsNothing) {
  NetRig rig(2);
  Packet p(301, 1);
  p.Add(QStringLiteral("ok")).Add(std::numeric_limits<int32_t>::min());
  EXPECT_THROW(rig.router.SendPacket(RouteAll, p), ProtocolError);
  EXPECT_THROW(rig.router.SendPacket(static_cast<RoutingMode>(7), Packet(1, 0)), ProtocolError);
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST(Router, RDSendTakesTheHeaderFromTheBytes) {
  NetRig rig(4);
  QByteArray bytes = Encoded(513, 0, 2, 3);
  rig.router.RDSend(RouteOthers, bytes);
  rig.router.RDSend(RouteOne, bytes);
  EXPECT_EQ(rig.Recipients(), Ids({1, 3, 4, 3}));
  for (const auto& w : rig.writes) EXPECT_EQ(w.bytes, bytes);
  rig.writes.clear();

  // A header word of 0x8000 or more: reported, nothing sent.
  PatchWord(bytes, 6, 0x8003);
  rig.router.RDSend(RouteAll, bytes);
  rig.router.RDSend(RouteAll, bytes.left(9));
  EXPECT_TRUE(rig.writes.isEmpty());
  EXPECT_EQ(rig.reports,
            QStringList({QStringLiteral("Err 6 @ RDSend : オーバーフローしました。"),
                         QStringLiteral("Err 9 @ RDSend : インデックスが有効範囲にありません。")}));
}

// Every row of the relay table, through DP_Srv from participant 2 of 4.
TEST(Relay, EveryRowRewritesAndRoutes) {
  struct Row {
    int first, last, rewrite;  // rewrite: new code - old code
    Ids recipients;
  };
  const Ids others = {1, 3, 4};
  const Ids all = {4, 3, 2, 1};
  const Row rows[] = {
      {501, 509, 10, others}, {601, 608, 10, others}, {701, 704, 10, others},
      {801, 803, 10, others}, {448, 448, -6, all},    {311, 311, -200, others},
      {321, 321, -200, all},
  };
  for (const Row& row : rows) {
    for (int code = row.first; code <= row.last; ++code) {
      NetRig rig(4);
      const QByteArray in = Encoded(code, 7, 2, 3, QStringLiteral("payload"));
      rig.dispatcher.DP_Srv(2, in);
      ASSERT_EQ(rig.Recipients(), row.recipients) << code;
      QByteArray expected = in;
      PatchWord(expected, 8, code + row.rewrite);
      for (const auto& w : rig.writes) EXPECT_EQ(w.bytes, expected) << code;
    }
  }
  // Just outside the ranges: decoded and handed to the server's handlers instead.
  for (const int code : {500, 510, 600, 609, 700, 705, 800, 804, 447, 449, 310, 312, 320, 322}) {
    NetRig rig(4);
    int handled = 0;
    rig.dispatcher.RegisterServerHandler(1, 999, [&](int, const Packet&) { ++handled; });
    rig.dispatcher.DP_Srv(2, Encoded(code, 1, 2, 3));
    EXPECT_TRUE(rig.writes.isEmpty()) << code;
    EXPECT_EQ(handled, 1) << code;
    EXPECT_FALSE(RelayFor(code, 1).has_value()) << code;
  }
}

TEST(Relay, ChatGoesWhereItsSubCodeSays) {
  const Ids all = {4, 3, 2, 1};
  const Ids only_dest = {3};
  const Ids others = {1, 3, 4};
  const std::pair<int, Ids> rows[] = {{1, all}, {2, only_dest}, {3, all},    {4, others},
                                      {5, all}, {6, all},       {7, others}, {8, only_dest},
                                      {0, {}},  {9, {}},        {100, {}}};
  for (const auto& [sub, recipients] : rows) {
    NetRig rig(4);
    int handled = 0;
    rig.dispatcher.RegisterServerHandler(1, 999, [&](int, const Packet&) { ++handled; });
    rig.dispatcher.DP_Srv(2, Encoded(301, sub, 2, 3, QStringLiteral("やあ")));
    EXPECT_EQ(rig.Recipients(), recipients) << sub;
    EXPECT_EQ(handled, 0) << sub;  // never decoded on the server
    for (const auto& w : rig.writes) {
      const Packet p = DecodePacket(w.bytes);
      EXPECT_EQ(p.MessageCode, 101);
      EXPECT_EQ(p.SubCode, sub);
      EXPECT_EQ(p.Text(1), QStringLiteral("やあ"));
    }
  }
}

TEST(Relay, TheServerStampsTheTrueSender) {
  NetRig rig(4);
  Packet seen;
  rig.dispatcher.RegisterServerHandler(201, 204, [&](int, const Packet& p) { seen = p; });

  // Participant 3 pretends to be 2: relayed as 3, and not echoed to 3.
  rig.dispatcher.DP_Srv(3, Encoded(503, 0, 2, 0));
  EXPECT_EQ(rig.Recipients(), Ids({1, 2, 4}));
  for (const auto& w : rig.writes) EXPECT_EQ(RawWord(w.bytes, 4), 3);
  rig.writes.clear();

  rig.dispatcher.DP_Srv(4, Encoded(203, 0, 1, 0, QStringLiteral("新しい名前")));
  EXPECT_EQ(seen.SenderIndex, 4);
  EXPECT_EQ(seen.Text(1), QStringLiteral("新しい名前"));

  // The loopback client (socket 1) speaks for others and is trusted.
  rig.dispatcher.DP_Srv(1, Encoded(301, 4, 3, 0));
  EXPECT_EQ(rig.Recipients(), Ids({1, 2, 4}));
  EXPECT_EQ(RawWord(rig.writes[0].bytes, 4), 3);
  rig.dispatcher.DP_Srv(1, Encoded(203, 0, 2, 0));
  EXPECT_EQ(seen.SenderIndex, 2);
}
