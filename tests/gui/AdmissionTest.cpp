// Who gets into a session: the password handshake, strangers at the door, kicking and banning,
// and connections that only hold a place.
#include <gtest/gtest.h>

#include <QMessageAuthenticationCode>
#include <QSignalSpy>
#include <QTcpServer>

#include "gui/SessionHarness.h"
#include "net/MessageCodes.h"

namespace quillora::test {
namespace {

const QString kWord = QStringLiteral("月夜のひみつ");

// A raw peer that connects from a loopback address of its own choosing, so that refusing one
// address does not refuse the others.
bool ConnectFrom(RawPeer& peer, const QString& local, int port) {
  if (!peer.socket.bind(QHostAddress(local), 0)) return false;
  return peer.Connect(port);
}

// Joins and waits until the server lists the newcomer, whatever number it was given (numbers of
// connections that never joined are handed out again).
bool JoinAnyIndex(Peer& client, Peer& server) {
  client.session.Connect(QStringLiteral("127.0.0.1"));
  return WaitUntil([&] {
    return client.instance.SessionMode == ModeClient && client.Index() > 0 &&
           server.Lists(client.Index());
  });
}

bool Closed(const RawPeer& peer) {
  return peer.socket.state() == QAbstractSocket::UnconnectedState;
}

// Codes a peer received, in order.
QList<int> Codes(const RawPeer& peer) {
  QList<int> codes;
  for (const Packet& p : peer.packets) codes << p.MessageCode;
  return codes;
}

// Sits between a client and the server and keeps every byte that passes either way.
class Tap : public QObject {
 public:
  explicit Tap(int server_port) : server_port_(server_port) {
    listener_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&listener_, &QTcpServer::newConnection, this, [this] {
      QTcpSocket* in = listener_.nextPendingConnection();
      auto* out = new QTcpSocket(this);
      out->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(server_port_));
      QObject::connect(in, &QTcpSocket::readyRead, this, [this, in, out] {
        const QByteArray bytes = in->readAll();
        upstream += bytes;
        out->write(bytes);
      });
      QObject::connect(out, &QTcpSocket::readyRead, this, [this, in, out] {
        const QByteArray bytes = out->readAll();
        downstream += bytes;
        in->write(bytes);
      });
      QObject::connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
      QObject::connect(in, &QTcpSocket::disconnected, out, &QTcpSocket::disconnectFromHost);
    });
  }
  int Port() const { return listener_.serverPort(); }
  QByteArray upstream, downstream;

 private:
  int server_port_;
  QTcpServer listener_;
};

class AdmissionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    ASSERT_GT(port, 0);
    gm = std::make_unique<Peer>(QStringLiteral("GM"), port);
  }
  int port = 0;
  std::unique_ptr<Peer> gm;
};

TEST_F(AdmissionTest, OnlyTheRightWordGetsInAndStrangersLearnNothing) {
  gm->session.SetPassword(kWord);
  ASSERT_TRUE(StartServer(*gm));  // the host's own user answers with the word itself

  // Alice knows the word; her handshake passes through a tap that keeps every byte.
  Tap tap(port);
  Peer alice(QStringLiteral("Alice"), tap.Port());
  alice.session.SetPasswordLookup([](const QString&) { return kWord; });
  ASSERT_TRUE(Join(alice, *gm));
  EXPECT_EQ(alice.Index(), 2);
  for (const QByteArray& bytes : {tap.upstream, tap.downstream}) {
    EXPECT_FALSE(bytes.contains(kWord.toUtf8()));
    EXPECT_FALSE(
        bytes.contains(QByteArray(reinterpret_cast<const char*>(kWord.utf16()), kWord.size() * 2)));
  }
  // The client did answer a challenge, and its answer is the keyed hash of that challenge.
  StreamBuffer cut;
  cut.Append(tap.downstream);
  QByteArray first;
  ProtocolError error{0, {}};
  bool report = false;
  ASSERT_EQ(cut.Next(&first, &error, &report), StreamBuffer::Cut::kPacket);
  const Packet challenge = DecodePacket(first);
  ASSERT_EQ(challenge.MessageCode, msg::kChallenge);
  ASSERT_EQ(challenge.BinData.size(), 32);
  EXPECT_TRUE(tap.upstream.contains(QMessageAuthenticationCode::hash(
      challenge.BinData, kWord.toUtf8(), QCryptographicHash::Sha256)));

  // Carol guesses wrong: refused with the reason, once, and she never learns who is here.
  Peer carol(QStringLiteral("Carol"), port);
  carol.session.SetPasswordLookup([](const QString&) { return QStringLiteral("はずれ"); });
  QSignalSpy refused(&carol.session, &Session::refusedByHost);
  QSignalSpy wanted(&carol.session, &Session::passwordWanted);
  carol.session.Connect(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(WaitUntil([&] { return refused.count() == 1; }));
  EXPECT_EQ(refused.first().first().toString(), QStringLiteral("合言葉が違います"));
  EXPECT_EQ(wanted.count(), 1);
  EXPECT_EQ(carol.instance.SessionMode, ModeNone);
  EXPECT_TRUE(carol.sink.Has(QStringLiteral("合言葉が違います")));
  EXPECT_EQ(carol.Index(), -1);
  EXPECT_TRUE(carol.recipients.ReDir().isEmpty());

  // Dave gives no word at all: told that the host asks for one.
  Peer dave(QStringLiteral("Dave"), port);
  QSignalSpy dave_refused(&dave.session, &Session::refusedByHost);
  dave.session.Connect(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(WaitUntil([&] { return dave_refused.count() == 1; }));
  EXPECT_EQ(dave_refused.first().first().toString(),
            QStringLiteral("ホストが合言葉を求めています"));
  EXPECT_EQ(dave.instance.SessionMode, ModeNone);

  // A peer that does not know the handshake says hello, joins and talks as it always could.
  gm->session.SetAdmissionTimes({15000, 30000, 1500, 30000});
  RawPeer old;
  ASSERT_TRUE(ConnectFrom(old, QStringLiteral("127.0.0.9"), port));
  old.Send(Packet(msg::kHello, 0));
  ASSERT_TRUE(old.WaitFor(msg::kChallenge));
  Packet join(msg::kJoin, 0, 4, 1);
  join.Add(QStringLiteral("Stranger")).Add(int32_t{0});
  old.Send(join);
  old.Send(Packet(msg::kSendChat, msg::kChatPublic, 4, 0).Add(QStringLiteral("聞こえますか")));
  old.Send(Packet(msg::kSendTyping, 1, 4, 0).Add(int16_t{4}).Add(QStringLiteral("Stranger")));
  alice.chat.SendChatMessage(QStringLiteral("内緒の話"));
  ASSERT_TRUE(WaitUntil([&] { return gm->sink.Has(QStringLiteral("内緒の話")); }));
  ASSERT_TRUE(WaitUntil([&] { return Closed(old); }, 5000));  // no answer: shown the door
  EXPECT_EQ(Codes(old), QList<int>{msg::kChallenge});
  for (const Peer* p : {gm.get(), &alice}) {
    EXPECT_FALSE(p->sink.Has(QStringLiteral("聞こえますか")));
    EXPECT_FALSE(p->sink.Has(QStringLiteral("Strangerさんがチャットに加わりました")));
    EXPECT_FALSE(p->Lists(4));
  }
  EXPECT_FALSE(carol.sink.Has(QStringLiteral("内緒の話")));

  // Five wrong answers a minute from one address, and that address waits.
  for (int i = 0; i < 5; ++i) {
    RawPeer guesser;
    ASSERT_TRUE(ConnectFrom(guesser, QStringLiteral("127.0.0.7"), port));
    guesser.Send(Packet(msg::kHello, 0));
    ASSERT_TRUE(guesser.WaitFor(msg::kChallenge));
    guesser.Send(Packet(msg::kAnswer, 0).SetBin(QByteArray(32, char(i))));
    ASSERT_TRUE(guesser.WaitFor(msg::kRefused));
    EXPECT_EQ(guesser.Last(msg::kRefused)->SubCode, msg::kRefusedWrongWord);
    ASSERT_TRUE(WaitUntil([&] { return Closed(guesser); }));
  }
  RawPeer sixth;
  ASSERT_TRUE(ConnectFrom(sixth, QStringLiteral("127.0.0.7"), port));
  ASSERT_TRUE(sixth.WaitFor(msg::kRefused));
  EXPECT_EQ(sixth.Last(msg::kRefused)->SubCode, msg::kRefusedTooManyTries);
  // ... while someone who knows the word still joins, and the session goes on.
  Peer erin(QStringLiteral("Erin"), port);
  erin.session.SetJoinPassword(QStringLiteral("127.0.0.1"), kWord);
  ASSERT_TRUE(JoinAnyIndex(erin, *gm));
  alice.chat.SendChatMessage(QStringLiteral("ようこそ"));
  EXPECT_TRUE(WaitUntil([&] { return erin.sink.Has(QStringLiteral("ようこそ")); }));
}

TEST_F(AdmissionTest, KickedPlayerIsOutAndBanHoldsUntilLifted) {
  ASSERT_TRUE(StartServer(*gm));
  Peer alice(QStringLiteral("Alice"), port);
  Peer bob(QStringLiteral("Bob"), port);
  ASSERT_TRUE(Join(alice, *gm));
  ASSERT_TRUE(Join(bob, *gm));
  RawPeer raw;
  ASSERT_TRUE(ConnectFrom(raw, QStringLiteral("127.0.0.2"), port));
  ASSERT_EQ(raw.Hello(QStringLiteral("Raw")), 4);
  ASSERT_TRUE(WaitUntil([&] { return alice.Lists(4) && bob.Lists(4); }));

  EXPECT_FALSE(gm->session.Kick(1));  // the host stays
  EXPECT_FALSE(bob.session.Kick(2));  // only the host removes anyone

  // Bob is kicked: told why, out of everyone's lists, and everyone sees a line.
  QSignalSpy refused(&bob.session, &Session::refusedByHost);
  ASSERT_TRUE(gm->session.Kick(3));
  ASSERT_TRUE(WaitUntil([&] { return refused.count() == 1; }));
  EXPECT_EQ(refused.first().first().toString(), QStringLiteral("ホストにより退室させられました"));
  EXPECT_EQ(bob.instance.SessionMode, ModeNone);
  for (const Peer* p : {gm.get(), &alice}) {
    EXPECT_TRUE(WaitUntil([&] {
      return p->sink.Has(QStringLiteral("Bobさんはホストにより退室させられました")) && !p->Lists(3);
    }));
  }
  // He cannot come straight back.
  bob.session.Connect(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(WaitUntil([&] { return refused.count() == 2; }));
  EXPECT_EQ(refused.last().first().toString(),
            QStringLiteral("退室させられたため、しばらく参加できません"));
  EXPECT_FALSE(gm->Lists(5));

  // The raw peer is banned; its address stays refused until the host lifts it.
  ASSERT_TRUE(gm->session.Ban(4));
  ASSERT_TRUE(raw.WaitFor(msg::kRefused));
  EXPECT_EQ(raw.Last(msg::kRefused)->SubCode, msg::kRefusedBanned);
  ASSERT_TRUE(WaitUntil([&] { return Closed(raw); }));
  ASSERT_TRUE(WaitUntil(
      [&] { return alice.sink.Has(QStringLiteral("Rawさんはホストにより締め出されました")); }));
  const auto bans = gm->session.Bans();
  ASSERT_EQ(bans.size(), 2u);
  for (const auto& ban : bans) {
    if (ban.address == QStringLiteral("127.0.0.2")) {
      EXPECT_EQ(ban.handle, QStringLiteral("Raw"));
      EXPECT_EQ(ban.remaining_ms, -1);
    } else {
      EXPECT_EQ(ban.address, QStringLiteral("127.0.0.1"));
      EXPECT_GT(ban.remaining_ms, 9 * 60 * 1000);
    }
  }
  RawPeer again;
  ASSERT_TRUE(ConnectFrom(again, QStringLiteral("127.0.0.2"), port));
  ASSERT_TRUE(again.WaitFor(msg::kRefused));
  EXPECT_EQ(again.Last(msg::kRefused)->SubCode, msg::kRefusedBanned);
  EXPECT_FALSE(again.Last(msg::kWelcome));

  EXPECT_TRUE(gm->session.LiftBan(QStringLiteral("127.0.0.2")));
  RawPeer back;
  ASSERT_TRUE(ConnectFrom(back, QStringLiteral("127.0.0.2"), port));
  EXPECT_GT(back.Hello(QStringLiteral("Raw")), 4);
  alice.chat.SendChatMessage(QStringLiteral("おかえり"));
  EXPECT_TRUE(WaitUntil([&] { return back.Last(msg::kChat) != nullptr; }));
}

TEST_F(AdmissionTest, IdleStalledAndFloodingConnectionsCannotHoldTheServer) {
  gm->session.SetAdmissionTimes({400, 800, 400, 600});
  gm->session.SetIndexLimit(8);
  ASSERT_TRUE(StartServer(*gm));
  Peer alice(QStringLiteral("Alice"), port);
  ASSERT_TRUE(Join(alice, *gm));

  // An open session admits a raw peer exactly as before: hello, index, join, chat.
  RawPeer talker;
  ASSERT_TRUE(talker.Connect(port));
  ASSERT_EQ(talker.Hello(QStringLiteral("Talker")), 3);
  ASSERT_TRUE(WaitUntil([&] { return alice.Lists(3); }));
  alice.chat.SendChatMessage(QStringLiteral("どうぞ"));
  ASSERT_TRUE(WaitUntil([&] { return talker.Last(msg::kChat) != nullptr; }));

  RawPeer silent;    // never says hello
  RawPeer nameless;  // says hello, never gives a handle
  ASSERT_TRUE(silent.Connect(port));
  ASSERT_TRUE(nameless.Connect(port));
  nameless.Send(Packet(msg::kHello, 0));
  ASSERT_TRUE(nameless.WaitFor(msg::kWelcome));
  // The talker starts a packet and never finishes it.
  talker.SendRaw(EncodePacket(Packet(msg::kSendChat, 1, 3, 0).Add(QStringLiteral("途中"))).left(9));
  ASSERT_TRUE(
      WaitUntil([&] { return Closed(silent) && Closed(nameless) && Closed(talker); }, 5000));
  EXPECT_TRUE(WaitUntil(
      [&] { return alice.sink.Has(QStringLiteral("Talkerさんがチャットから落ちました")); }));
  // Alice, who joined properly and then said nothing for longer than every limit, is still in.
  QTest::qWait(1000);
  EXPECT_EQ(alice.instance.SessionMode, ModeClient);
  alice.chat.SendChatMessage(QStringLiteral("まだいます"));
  EXPECT_TRUE(WaitUntil([&] { return gm->sink.Has(QStringLiteral("まだいます")); }));

  // Forty connections that come and go never use up the numbers (the limit is 8 here) ...
  Gatekeeper::Limits limits = gm->session.gatekeeper().limits();
  limits.connections_per_minute = 1000;
  gm->session.gatekeeper().SetLimits(limits);
  for (int i = 0; i < 40; ++i) {
    RawPeer flash;
    ASSERT_TRUE(ConnectFrom(flash, QStringLiteral("127.0.0.3"), port));
    if (i % 2) {
      flash.Send(Packet(msg::kHello, 0));
      ASSERT_TRUE(flash.WaitFor(msg::kWelcome));
    }
    flash.socket.abort();
  }
  Peer bob(QStringLiteral("Bob"), port);
  ASSERT_TRUE(JoinAnyIndex(bob, *gm));
  EXPECT_TRUE(WaitUntil([&] { return alice.Lists(bob.Index()); }));
  EXPECT_LE(bob.Index(), 8);

  // ... and one address that opens them faster than a person could is refused for a while,
  // without a number, while others still join.
  limits.connections_per_minute = 10;
  gm->session.gatekeeper().SetLimits(limits);
  gm->session.SetIndexLimit(100);
  gm->session.SetAdmissionTimes({20000, 30000, 10000, 30000});
  const int before = gm->instance.SocketCount;
  std::vector<std::unique_ptr<RawPeer>> burst;
  for (int i = 0; i < 12; ++i) {
    burst.push_back(std::make_unique<RawPeer>());
    ASSERT_TRUE(ConnectFrom(*burst.back(), QStringLiteral("127.0.0.4"), port));
  }
  ASSERT_TRUE(WaitUntil([&] { return Closed(*burst[10]) && Closed(*burst[11]); }));
  RawPeer late;
  ASSERT_TRUE(ConnectFrom(late, QStringLiteral("127.0.0.4"), port));
  ASSERT_TRUE(WaitUntil([&] { return Closed(late); }));
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(Closed(*burst[i])) << i;
  EXPECT_LE(gm->instance.SocketCount, before + 10);
  Peer carol(QStringLiteral("Carol"), port);
  ASSERT_TRUE(JoinAnyIndex(carol, *gm));
}

}  // namespace
}  // namespace quillora::test
