// Sessions under hostile or failing peers: garbage, spoofing, floods, limits, dead sockets,
// socket errors and a server of another version.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <atomic>
#include <thread>

#include "gui/SessionHarness.h"

namespace quillora::test {
namespace {

class SessionRobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    ASSERT_GT(port, 0);
    gm = std::make_unique<Peer>(QStringLiteral("GM"), port);
    a = std::make_unique<Peer>(QStringLiteral("Alice"), port);
    b = std::make_unique<Peer>(QStringLiteral("Bob"), port);
  }
  void StartAll() {
    ASSERT_TRUE(StartServer(*gm));
    ASSERT_TRUE(Join(*a, *gm));
    ASSERT_TRUE(Join(*b, *gm));
  }
  // Alice can still talk to Bob and the server's user.
  void ExpectChatStillWorks(const QString& text) {
    a->chat.SendChatMessage(text);
    EXPECT_TRUE(WaitUntil([&] { return b->sink.Has(text) && gm->sink.Has(text); }));
  }
  int port = 0;
  std::unique_ptr<Peer> gm, a, b;
};

TEST_F(SessionRobustnessTest, GarbageAndSpoofingHurtNobodyElse) {
  StartAll();
  RawPeer raw;
  ASSERT_TRUE(raw.Connect(port));
  ASSERT_EQ(raw.Hello(QStringLiteral("Raw")), 4);
  ASSERT_TRUE(WaitUntil([&] { return a->Lists(4) && b->Lists(4); }));

  // Bytes without framing are reported by the server and dropped.
  raw.SendRaw(QByteArray("this is not a packet at all", 27));
  ASSERT_TRUE(WaitUntil([&] { return gm->SysReqMes().contains(QStringLiteral("@ DP_Srv")); }));
  ExpectChatStillWorks(QStringLiteral("平気"));

  // A message claiming to come from the server's user is shown under the true sender.
  Packet spoof(301, 1, 1, 0);
  spoof.Add(QStringLiteral("なりすまし"));
  raw.Send(spoof);
  ASSERT_TRUE(WaitUntil([&] { return a->sink.Has(QStringLiteral("なりすまし")); }));
  EXPECT_EQ(a->sink.Find(QStringLiteral("なりすまし"))->speaker, QStringLiteral("Raw："));
  EXPECT_EQ(a->sink.Find(QStringLiteral("なりすまし"))->kind, kSpeakerOther);

  // A leave claimed for someone else only takes the sender out.
  Packet leave(202, 0, 2, 1);
  leave.Add(int16_t{2});
  // A handle change whose item runs past the packet is reported and goes nowhere.
  QByteArray broken = EncodePacket(Packet(203, 0, 4, 0).Add(QStringLiteral("偽名")));
  PatchWord(broken, 14, 200);  // item length beyond the end
  gm->instance.SetPanel(QLatin1String(kPanelSysReqMes), {});
  raw.SendRaw(broken);
  ASSERT_TRUE(WaitUntil([&] { return gm->SysReqMes().contains(QStringLiteral("@ DP_Srv")); }));
  EXPECT_EQ(a->ReDirText(4), QStringLiteral("＞Rawさん"));

  // A connection that never joined is unknown to the clients: its chat is an error there.
  RawPeer ghost;
  ASSERT_TRUE(ghost.Connect(port));
  ASSERT_TRUE(WaitUntil([&] { return gm->instance.SocketCount == 5; }));
  Packet boo(301, 1, 5, 0);
  boo.Add(QStringLiteral("幽霊"));
  ghost.Send(boo);
  ASSERT_TRUE(
      WaitUntil([&] { return a->SysReqMes().startsWith(QStringLiteral("Err 9 @ DP_Clnt")); }));
  EXPECT_FALSE(a->sink.Has(QStringLiteral("幽霊")));

  raw.Send(leave);
  ASSERT_TRUE(
      WaitUntil([&] { return b->sink.Has(QStringLiteral("Rawさんがチャットから落ちました")); }));
  EXPECT_TRUE(b->Lists(2));
  EXPECT_TRUE(gm->instance.ParticipantTable[2].Present);
  ASSERT_TRUE(WaitUntil([&] { return raw.socket.state() == QAbstractSocket::UnconnectedState; }));
  ExpectChatStillWorks(QStringLiteral("まだ大丈夫"));
  EXPECT_EQ(a->instance.SessionMode, ModeClient);
  EXPECT_EQ(b->instance.SessionMode, ModeClient);
}

TEST_F(SessionRobustnessTest, PeerThatStopsReadingIsDroppedAlone) {
  gm->session.SetOutputCap(256 * 1024);
  StartAll();
  RawPeer flooder;
  flooder.socket.setReadBufferSize(4096);
  flooder.socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8192);
  ASSERT_TRUE(flooder.Connect(port));
  ASSERT_EQ(flooder.Hello(QStringLiteral("Flood")), 4);
  ASSERT_TRUE(WaitUntil([&] { return a->Lists(4); }));
  flooder.socket.disconnect();  // reads nothing from now on

  // Card moves come back to everyone, the sender included, as raw relays.
  Packet move(448, 0, 4, 0);
  move.SetBin(QByteArray(30000, 'x'));
  const QByteArray bytes = EncodePacket(move);
  int sent = 0;
  const bool dropped = WaitUntil(
      [&] {
        if (flooder.socket.state() == QAbstractSocket::ConnectedState &&
            flooder.socket.bytesToWrite() < 1024 * 1024 && sent < 2000) {
          for (int i = 0; i < 8; ++i, ++sent) flooder.socket.write(bytes);
        }
        return a->sink.Has(QStringLiteral("Floodさんがチャットから落ちました"));
      },
      30000);
  ASSERT_TRUE(dropped) << "sent " << sent << " packets";
  EXPECT_TRUE(gm->SysReqMes().startsWith(QStringLiteral("TS_Err:")));
  EXPECT_EQ(gm->session.ServerSocket(4), nullptr);
  EXPECT_NE(gm->session.ServerSocket(2), nullptr);
  ExpectChatStillWorks(QStringLiteral("静かになった"));
}

TEST_F(SessionRobustnessTest, InputOverflowDropsTheSocket) {
  StartAll();
  RawPeer raw;
  ASSERT_TRUE(raw.Connect(port));
  ASSERT_EQ(raw.Hello(QStringLiteral("Big")), 4);
  ASSERT_TRUE(WaitUntil([&] { return b->Lists(4); }));
  // An arrival bigger than any reassembly could need.
  gm->session.dispatcher().DP_Srv(4, QByteArray(Dispatcher::kInputCap + 1, '\x01'));
  ASSERT_TRUE(
      WaitUntil([&] { return b->sink.Has(QStringLiteral("Bigさんがチャットから落ちました")); }));
  ASSERT_TRUE(WaitUntil([&] { return raw.socket.state() == QAbstractSocket::UnconnectedState; }));
  ExpectChatStillWorks(QStringLiteral("続けよう"));
}

TEST_F(SessionRobustnessTest, IndexLimitRefusesFurtherConnections) {
  gm->session.SetIndexLimit(2);
  ASSERT_TRUE(StartServer(*gm));
  ASSERT_TRUE(Join(*a, *gm));
  RawPeer late;
  late.socket.connectToHost(QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(port));
  ASSERT_TRUE(WaitUntil([&] { return gm->SysReqMes().startsWith(QStringLiteral("TS_Err:")); }));
  ASSERT_TRUE(WaitUntil([&] { return late.socket.state() == QAbstractSocket::UnconnectedState; }));
  EXPECT_EQ(gm->instance.SocketCount, 2);
  a->chat.SendChatMessage(QStringLiteral("二人だけ"));
  EXPECT_TRUE(WaitUntil([&] { return gm->sink.Has(QStringLiteral("二人だけ")); }));
}

TEST_F(SessionRobustnessTest, WatchTimerAnnouncesSilentlyClosedPeers) {
  gm->session.SetWatchInterval(300);
  StartAll();
  RawPeer raw;
  ASSERT_TRUE(raw.Connect(port));
  ASSERT_EQ(raw.Hello(QStringLiteral("Ghost")), 4);
  ASSERT_TRUE(WaitUntil([&] { return a->Lists(4); }));
  raw.socket.abort();
  ASSERT_TRUE(
      WaitUntil([&] { return a->sink.Has(QStringLiteral("Ghostさんがチャットから落ちました")); }));
  EXPECT_FALSE(a->Lists(4));
  EXPECT_FALSE(gm->instance.ParticipantTable[4].Present);
  // Each tick also clears the error panel; the others stay.
  gm->instance.SetPanel(QLatin1String(kPanelSysReqMes), QStringLiteral("古いエラー"));
  EXPECT_TRUE(WaitUntil([&] { return gm->SysReqMes().isEmpty(); }));
  QTest::qWait(400);
  EXPECT_TRUE(a->Lists(3));
  EXPECT_EQ(a->sink.Count(QStringLiteral("Ghostさんがチャットから落ちました")), 1);
}

TEST_F(SessionRobustnessTest, JoinsSwitchTheWatchTimerOnWithoutRestartingIt) {
  ASSERT_TRUE(StartServer(*gm));
  ASSERT_TRUE(gm->session.WatchTimerActive());
  QTest::qWait(400);
  ASSERT_TRUE(Join(*a, *gm));
  ASSERT_TRUE(Join(*b, *gm));
  // Still counting from the first join, so a stream of newcomers cannot hold the check off.
  EXPECT_LE(gm->session.WatchRemainingMs(), Session::kWatchInterval - 300);
}

// A server that answers the hello with a version of our choosing.
class FakeServer {
 public:
  FakeServer(int major, int minor, int revision) {
    listener.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&listener, &QTcpServer::newConnection, [=, this] {
      peer = listener.nextPendingConnection();
      QObject::connect(peer, &QTcpSocket::readyRead, [=, this] {
        stream.Append(peer->readAll());
        QByteArray bytes;
        ProtocolError error{0, {}};
        bool report = false;
        while (stream.Next(&bytes, &error, &report) == StreamBuffer::Cut::kPacket) {
          const Packet p = DecodePacket(bytes);
          codes.push_back(p.MessageCode);
          if (p.MessageCode == 201) handle = p.Text(1);
          if (p.MessageCode == 204) {
            Packet reply(2, 0, 0, 2);
            reply.Add(int16_t{2}).Add(int32_t{major}).Add(int32_t{minor}).Add(int32_t{revision});
            peer->write(EncodePacket(reply));
          }
        }
      });
    });
  }
  int Port() const { return listener.serverPort(); }
  QTcpServer listener;
  QTcpSocket* peer = nullptr;
  StreamBuffer stream;
  QVector<int> codes;
  QString handle;
};

TEST_F(SessionRobustnessTest, OtherVersionIsNotedAndTheJoinGoesOn) {
  FakeServer old_server(2, 9, 3);
  a->session.SetPort(old_server.Port());
  a->session.Connect(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(WaitUntil([&] { return old_server.handle == QStringLiteral("Alice"); }));
  EXPECT_EQ(a->Index(), 2);
  EXPECT_TRUE(
      a->sink.Has(QStringLiteral("このアプリケーションはサーバと違うバージョンです。"
                                 "全ての機能が正常に動作しない可能性があります。"
                                 "サーバ:ver 2.9.3/このソフト:ver 2.10.1")));

  // The server vanishing without a goodbye is a reset for the client.
  old_server.peer->abort();
  ASSERT_TRUE(WaitUntil([&] { return a->instance.SessionMode == ModeNone; }));
  EXPECT_EQ(a->sink.lines.back().text,
            QStringLiteral("リモート側から接続がリセットされました。接続を切断します"));
  EXPECT_TRUE(a->SysReqMes().isEmpty());
  EXPECT_EQ(a->session.Title(), Session::NoModeTitle());

  // Only the revision differs: no line.
  FakeServer newer(2, 10, 5);
  b->session.SetPort(newer.Port());
  b->session.Connect(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(WaitUntil([&] { return newer.handle == QStringLiteral("Bob"); }));
  for (const auto& line : b->sink.lines) {
    EXPECT_FALSE(line.text.contains(QStringLiteral("違うバージョン")));
  }
  EXPECT_EQ(newer.codes, (QVector<int>{204, 201}));

  // A departure of somebody outside the participant table is a bad row, reported like others.
  Packet gone(3, 0, 1, 0);
  gone.Add(int16_t{50});
  newer.peer->write(EncodePacket(gone));
  EXPECT_TRUE(WaitUntil([&] { return b->SysReqMes().contains(QStringLiteral("DP_Clnt")); }));
}

TEST_F(SessionRobustnessTest, RefusedAndBusyPortsAreReported) {
  a->session.Connect(QStringLiteral("127.0.0.1"));  // nobody listens yet
  ASSERT_TRUE(WaitUntil([&] { return a->SysReqMes().startsWith(QStringLiteral("TC_Err:")); }));
  EXPECT_EQ(a->instance.SessionMode, ModeConnecting);
  a->session.Disconnect();
  EXPECT_EQ(a->instance.SessionMode, ModeNone);
  EXPECT_EQ(a->sink.lines.back().text, QStringLiteral("接続を切断しました。"));

  // A local port beyond 65535 is refused, not wrapped around (70000 would become 4464).
  a->session.Connect(QStringLiteral("127.0.0.1:70000"));
  EXPECT_EQ(a->instance.SessionMode, ModeNone);
  EXPECT_TRUE(a->SysReqMes().startsWith(QStringLiteral("Err 380 @ Menu_Connect : ")));

  QTcpServer squatter;
  ASSERT_TRUE(squatter.listen(QHostAddress::Any, static_cast<quint16>(port)));
  EXPECT_FALSE(gm->session.BecomeServer());
  EXPECT_EQ(gm->instance.SessionMode, ModeNone);
  EXPECT_TRUE(gm->SysReqMes().startsWith(QStringLiteral("Err 10048 @ Menu_Connect : ")));
  squatter.close();
  ASSERT_TRUE(StartServer(*gm));
}

TEST_F(SessionRobustnessTest, AStrangerKnockingAsTheHostStartsNeverTakesItsPlace) {
  // Participant 1 speaks for everybody. A stranger hammering at the port while the host starts
  // serving may well connect before the host's own connection does; it must wait and take a
  // later number. Each round, a thread knocks until it is in and holds the connection.
  std::atomic<int> round{0};
  std::atomic<int> in_round{-1};
  std::atomic<bool> stop{false};
  std::thread knocker([&] {
    QTcpSocket socket;
    int last = -1;
    while (!stop) {
      const int r = round.load();
      if (r == last) {
        std::this_thread::yield();
        continue;
      }
      socket.abort();
      socket.connectToHost(QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(port));
      if (socket.waitForConnected(1000)) {
        last = r;
        in_round = r;
      }
    }
  });
  int strangers_first = 0;
  for (int r = 1; r <= 15; ++r) {
    round = r;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the knocking has begun
    ASSERT_TRUE(gm->session.BecomeServer());
    ASSERT_TRUE(WaitUntil([&] { return gm->Index() > 0 && in_round == r; })) << r;
    EXPECT_EQ(gm->Index(), 1) << r;
    ASSERT_TRUE(WaitUntil([&] { return gm->instance.SocketCount >= 2; })) << r;
    if (gm->Index() != 1) ++strangers_first;
    gm->session.Disconnect();
  }
  stop = true;
  knocker.join();
  EXPECT_EQ(strangers_first, 0);
  // After all that the host serves as usual.
  ASSERT_TRUE(StartServer(*gm));
  ASSERT_TRUE(Join(*a, *gm));
  EXPECT_EQ(a->Index(), 2);
}

}  // namespace
}  // namespace quillora::test
