// Real sessions over loopback TCP: one server and several clients in this process.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "gui/SessionHarness.h"
#include "net/MessageCodes.h"

namespace quillora::test {
namespace {

constexpr uint32_t kGmColor = 0x0000FF;
constexpr uint32_t kAColor = 0x00FF00;
constexpr uint32_t kBColor = 0xFF0000;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    ASSERT_GT(port, 0);
    gm = std::make_unique<Peer>(QStringLiteral("GM"), port, kGmColor);
    a = std::make_unique<Peer>(QStringLiteral("Alice"), port, kAColor);
    b = std::make_unique<Peer>(QStringLiteral("Bob"), port, kBColor);
  }
  void StartAll() {
    ASSERT_TRUE(StartServer(*gm));
    ASSERT_TRUE(Join(*a, *gm));
    ASSERT_TRUE(Join(*b, *gm));
    ASSERT_TRUE(WaitUntil([&] { return a->Lists(3); }));
  }
  int port = 0;
  std::unique_ptr<Peer> gm, a, b;
};

TEST_F(SessionTest, JoinHandsOutIndexesAndAnnouncesEveryone) {
  QSignalSpy gm_connected(&gm->session, &Session::connectedChanged);
  QSignalSpy a_titles(&a->session, &Session::titleChanged);
  StartAll();

  EXPECT_EQ(gm->Index(), 1);
  EXPECT_EQ(a->Index(), 2);
  EXPECT_EQ(b->Index(), 3);
  EXPECT_EQ(gm->instance.SessionMode, ModeServer);
  EXPECT_EQ(a->instance.SessionMode, ModeClient);
  ASSERT_EQ(gm_connected.count(), 1);
  EXPECT_TRUE(gm_connected[0][0].toBool());
  EXPECT_TRUE(gm->session.Title().startsWith(QStringLiteral("Quillora - ServerMode  現在のIP:")));
  EXPECT_TRUE(
      gm->sink.lines[0].text.startsWith(QStringLiteral("ServerModeになりました。現在のＩＰは ")));

  // The connecting client's lines and titles, in order.
  EXPECT_EQ(a->sink.lines[0].text, QStringLiteral("127.0.0.1 に接続中です。"));
  EXPECT_EQ(a->sink.lines[1].text, QStringLiteral("127.0.0.1 とネゴシエーション中"));
  EXPECT_EQ(a->sink.lines[2].text, QStringLiteral("GMさんがチャットに加わりました"));
  EXPECT_EQ(a->sink.lines[3].text,
            QStringLiteral("ClientModeになりました。接続先のＩＰは 127.0.0.1 です。"));
  EXPECT_EQ(a->sink.lines[3].speaker, QStringLiteral("SystemMessage："));
  EXPECT_EQ(a->sink.lines[3].kind, kSpeakerSystem);
  ASSERT_GE(a_titles.count(), 2);
  EXPECT_EQ(a_titles[0][0].toString(), QStringLiteral("Quillora - IP:127.0.0.1に接続中"));
  EXPECT_EQ(a->session.Title(), QStringLiteral("Quillora - ClientMode  IP:127.0.0.1に接続"));

  // A newcomer hears of everyone already present; the others hear of the newcomer once.
  EXPECT_TRUE(b->sink.Has(QStringLiteral("GMさんがチャットに加わりました")));
  EXPECT_TRUE(b->sink.Has(QStringLiteral("Aliceさんがチャットに加わりました")));
  EXPECT_EQ(gm->sink.Count(QStringLiteral("Bobさんがチャットに加わりました")), 1);
  EXPECT_EQ(a->sink.Count(QStringLiteral("Bobさんがチャットに加わりました")), 1);
  EXPECT_FALSE(gm->sink.Has(QStringLiteral("GMさんがチャットに加わりました")));

  // Lists: top entries first and selected, own handle absent, same order in both lists.
  const auto& redir = b->recipients.ReDir();
  ASSERT_EQ(redir.size(), 3);
  EXPECT_EQ(redir[0].text, QStringLiteral("＞なし"));
  EXPECT_EQ(redir[1].text, QStringLiteral("＞GMさん"));
  EXPECT_EQ(redir[2].text, QStringLiteral("＞Aliceさん"));
  EXPECT_EQ(b->recipients.Send()[0].text, QStringLiteral("全員"));
  EXPECT_EQ(b->recipients.Send()[2].text, QStringLiteral("Alice"));
  EXPECT_EQ(b->recipients.ReDirRow(), 0);
  EXPECT_EQ(b->recipients.SendRow(), 0);
  EXPECT_EQ(gm->recipients.ReDir().size(), 3);

  // Participant table of a late joiner.
  ASSERT_GE(b->instance.ParticipantTable.size(), 4);
  EXPECT_EQ(b->instance.ParticipantTable[2].Handle, QStringLiteral("Alice"));
  EXPECT_EQ(b->instance.ParticipantTable[2].Color, kAColor);
  EXPECT_TRUE(b->instance.ParticipantTable[1].Present);
  EXPECT_EQ(b->instance.SocketCount, 3);
  EXPECT_TRUE(gm->session.WatchTimerActive());
}

TEST_F(SessionTest, PublicChatWhispersAndResultLines) {
  StartAll();
  EXPECT_TRUE(a->chat.SendChatMessage(QStringLiteral("こんにちは")));
  ASSERT_TRUE(WaitUntil([&] {
    return gm->sink.Has(QStringLiteral("こんにちは")) && a->sink.Has(QStringLiteral("こんにちは"));
  }));
  const ChatLine* at_gm = gm->sink.Find(QStringLiteral("こんにちは"));
  EXPECT_EQ(at_gm->speaker, QStringLiteral("Alice："));
  EXPECT_EQ(at_gm->kind, kSpeakerOther);
  EXPECT_EQ(at_gm->color, kAColor);
  EXPECT_EQ(a->sink.Find(QStringLiteral("こんにちは"))->kind, kSpeakerOwn);
  EXPECT_EQ(a->sink.Find(QStringLiteral("こんにちは"))->color, kAColor);

  // A whisper from Alice to Bob, addressed to Bob as well.
  a->recipients.SelectReDir(a->recipients.RowOf(3));
  a->recipients.SelectSend(a->recipients.RowOf(3));
  const QString secret = QStringLiteral("内緒＞Bobさん");
  EXPECT_TRUE(a->chat.SendChatMessage(QStringLiteral("内緒")));
  const ChatLine* echo = a->sink.Find(secret);
  ASSERT_NE(echo, nullptr);  // shown at once by the sender
  EXPECT_EQ(echo->speaker, QStringLiteral("Alice(Bobへ秘密通達)："));
  EXPECT_EQ(echo->kind, kSpeakerSystem);
  EXPECT_EQ(echo->indent, QStringLiteral("Alice"));
  ASSERT_TRUE(WaitUntil([&] { return b->sink.Has(secret); }));
  EXPECT_EQ(b->sink.Find(secret)->speaker, QStringLiteral("Alice(秘密通達)："));
  EXPECT_EQ(b->sink.Find(secret)->color, kAColor);
  EXPECT_EQ(b->sink.Find(secret)->kind, kSpeakerSystem);

  a->recipients.SelectReDir(0);
  a->recipients.SelectSend(0);

  // Result lines of the other kinds, sent the way the dice window and the scenario viewer do.
  auto result = [&](int sub, int dest, QStringList items) {
    Packet p(301, static_cast<int16_t>(sub), a->instance.OwnIndex, static_cast<int16_t>(dest));
    for (const auto& item : items) p.Add(item);
    ASSERT_TRUE(a->session.router().Send(RouteServer, p, QStringLiteral("test")));
  };
  result(3, 0, {QStringLiteral("3D6 = 11"), QStringLiteral("(ダイス機能)")});
  result(4, 0, {QStringLiteral("非公開ダイスが振られました"), QStringLiteral("(ダイス機能)")});
  result(5, 0, {QStringLiteral("名乗り"), QStringLiteral("騎士")});
  result(6, 0, {QStringLiteral("1D6 = 4"), QStringLiteral("(ダイス機能)"), QStringLiteral("魔王")});
  result(8, 3, {QStringLiteral("カードを引いた"), QStringLiteral("(カード機能)")});
  result(9, 0, {QStringLiteral("どこにも届かない")});
  a->chat.SendChatMessage(QStringLiteral("最後"));
  // Each connection keeps its order, so the last public line means the others have arrived.
  ASSERT_TRUE(WaitUntil([&] {
    return gm->sink.Has(QStringLiteral("最後")) && a->sink.Has(QStringLiteral("最後")) &&
           b->sink.Has(QStringLiteral("最後"));
  }));

  const ChatLine* dice = gm->sink.Find(QStringLiteral("3D6 = 11"));
  ASSERT_NE(dice, nullptr);
  EXPECT_EQ(dice->speaker, QStringLiteral("Alice(ダイス機能)："));
  EXPECT_EQ(dice->kind, kSpeakerSystem);
  EXPECT_EQ(dice->indent, QStringLiteral("Alice"));
  EXPECT_EQ(dice->color, 0u);
  EXPECT_TRUE(gm->sink.Has(QStringLiteral("非公開ダイスが振られました")));
  EXPECT_FALSE(a->sink.Has(QStringLiteral("非公開ダイスが振られました")));  // not to the sender
  const ChatLine* named = a->sink.Find(QStringLiteral("名乗り"));
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->speaker, QStringLiteral("騎士："));
  EXPECT_EQ(named->kind, kSpeakerOwn);
  EXPECT_EQ(gm->sink.Find(QStringLiteral("名乗り"))->kind, kSpeakerOther);
  EXPECT_EQ(gm->sink.Find(QStringLiteral("名乗り"))->color, kAColor);
  const ChatLine* villain = gm->sink.Find(QStringLiteral("1D6 = 4"));
  EXPECT_EQ(villain->speaker, QStringLiteral("魔王(ダイス機能)："));
  EXPECT_EQ(villain->indent, QStringLiteral("魔王"));
  ASSERT_TRUE(WaitUntil([&] { return b->sink.Has(QStringLiteral("カードを引いた")); }));
  EXPECT_FALSE(gm->sink.Has(QStringLiteral("カードを引いた")));
  EXPECT_FALSE(a->sink.Has(QStringLiteral("カードを引いた")));
  EXPECT_FALSE(gm->sink.Has(QStringLiteral("どこにも届かない")));
  // The whisper never reached the server's user.
  EXPECT_FALSE(gm->sink.Has(secret));
}

TEST_F(SessionTest, TypingMarkersFollowTheInputBox) {
  StartAll();
  a->chat.InputTextChanged(QStringLiteral("た"));
  EXPECT_EQ(a->chat.InputTag(), QStringLiteral("NowInput"));
  ASSERT_TRUE(WaitUntil([&] {
    return b->ReDirText(2) == QStringLiteral("***＞Aliceさん***") &&
           gm->ReDirText(2) == QStringLiteral("***＞Aliceさん***");
  }));
  EXPECT_EQ(b->SendText(2), QStringLiteral("Alice"));

  // Addressing a typist appends the name without the markers.
  b->recipients.SelectReDir(b->recipients.RowOf(2));
  b->chat.SendChatMessage(QStringLiteral("待って"));
  ASSERT_TRUE(WaitUntil([&] { return a->sink.Has(QStringLiteral("待って＞Aliceさん")); }));

  a->chat.InputTextChanged(QString());
  EXPECT_TRUE(a->chat.InputTag().isEmpty());
  ASSERT_TRUE(WaitUntil([&] { return b->ReDirText(2) == QStringLiteral("＞Aliceさん"); }));

  // Focus with text announces typing again; leaving stops it.
  a->chat.InputFocusIn(QStringLiteral("続き"));
  ASSERT_TRUE(WaitUntil([&] { return gm->ReDirText(2) == QStringLiteral("***＞Aliceさん***"); }));
  a->chat.TypingStopped();
  ASSERT_TRUE(WaitUntil([&] { return gm->ReDirText(2) == QStringLiteral("＞Aliceさん"); }));

  // After a disconnect the flag is gone, so the next session announces typing again.
  a->chat.TypingStarted();
  a->session.Disconnect();
  EXPECT_TRUE(a->chat.InputTag().isEmpty());
  a->chat.TypingStarted();
  EXPECT_TRUE(a->chat.InputTag().isEmpty());  // nothing to tell while not connected
}

TEST_F(SessionTest, HandleChangeReachesEveryoneButKeepsOldLines) {
  StartAll();
  a->chat.SendChatMessage(QStringLiteral("前"));
  ASSERT_TRUE(WaitUntil([&] { return b->sink.Has(QStringLiteral("前")); }));
  a->chat.ChangeHandle(QStringLiteral("アリス"));
  EXPECT_EQ(a->instance.Panel(QLatin1String(kPanelCurHandle)), QStringLiteral("アリス"));
  ASSERT_TRUE(WaitUntil([&] {
    return b->ReDirText(2) == QStringLiteral("＞アリスさん") &&
           gm->SendText(2) == QStringLiteral("アリス") &&
           a->instance.ParticipantTable[2].Handle == QStringLiteral("アリス");
  }));
  EXPECT_EQ(b->instance.ParticipantTable[2].Color, kAColor);
  EXPECT_EQ(b->sink.Find(QStringLiteral("前"))->speaker, QStringLiteral("Alice："));
  a->chat.SendChatMessage(QStringLiteral("後"));
  ASSERT_TRUE(WaitUntil([&] { return b->sink.Has(QStringLiteral("後")); }));
  EXPECT_EQ(b->sink.Find(QStringLiteral("後"))->speaker, QStringLiteral("アリス："));

  // Preset handles: the dialog answer becomes the current preset; panel clicks wrap.
  a->instance.settings.PSetNameNum = 0;
  a->instance.settings.PsetName[9] = QStringLiteral("九番");
  EXPECT_FALSE(a->chat.ChangeHandleFromDialog(QString()));
  EXPECT_TRUE(a->chat.ChangeHandleFromDialog(QStringLiteral("零番")));
  EXPECT_EQ(a->instance.settings.PsetName[0], QStringLiteral("零番"));
  a->chat.SwitchPresetHandle(-1);
  EXPECT_EQ(a->instance.settings.PSetNameNum, 9);
  EXPECT_EQ(a->instance.OwnHandle, QStringLiteral("九番"));
  ASSERT_TRUE(WaitUntil([&] { return gm->SendText(2) == QStringLiteral("九番"); }));
  a->chat.SwitchPresetHandle(+1);
  EXPECT_EQ(a->instance.OwnHandle, QStringLiteral("零番"));
}

TEST_F(SessionTest, LeavingAndRejoiningGivesANewIndex) {
  StartAll();
  QSignalSpy a_connected(&a->session, &Session::connectedChanged);
  a->session.Disconnect();
  EXPECT_EQ(a->instance.SessionMode, ModeNone);
  EXPECT_EQ(a->instance.SocketCount, 0);
  EXPECT_EQ(a->instance.OwnIndex, 2);  // kept until the next join
  EXPECT_TRUE(a->recipients.ReDir().isEmpty());
  EXPECT_EQ(a->session.Title(), Session::NoModeTitle());
  EXPECT_EQ(a->sink.lines.back().text, QStringLiteral("接続を切断しました。"));
  ASSERT_EQ(a_connected.count(), 1);
  EXPECT_FALSE(a_connected[0][0].toBool());

  ASSERT_TRUE(WaitUntil([&] {
    return b->sink.Has(QStringLiteral("Aliceさんがチャットから落ちました")) &&
           gm->sink.Has(QStringLiteral("Aliceさんがチャットから落ちました"));
  }));
  EXPECT_FALSE(b->Lists(2));
  EXPECT_FALSE(gm->instance.ParticipantTable[2].Present);
  EXPECT_EQ(gm->session.ServerSocket(2), nullptr);

  ASSERT_TRUE(Join(*a, *gm));
  EXPECT_EQ(a->Index(), 4);
  EXPECT_FALSE(gm->instance.ParticipantTable[2].Present);
  EXPECT_EQ(gm->instance.ParticipantTable[2].Handle, QStringLiteral("Alice"));
  ASSERT_TRUE(WaitUntil([&] { return b->Lists(4); }));
  EXPECT_EQ(b->sink.Count(QStringLiteral("Aliceさんがチャットに加わりました")), 2);
  // The returning client lists the ones present, not its own old row.
  EXPECT_TRUE(a->Lists(3));
  EXPECT_FALSE(a->Lists(2));
  a->chat.SendChatMessage(QStringLiteral("ただいま"));
  ASSERT_TRUE(WaitUntil([&] { return b->sink.Has(QStringLiteral("ただいま")); }));
}

TEST_F(SessionTest, ServerDepartureEndsEveryClientsSession) {
  StartAll();
  gm->session.Disconnect();
  EXPECT_EQ(gm->instance.SessionMode, ModeNone);
  EXPECT_FALSE(gm->session.WatchTimerActive());
  EXPECT_EQ(gm->sink.lines.back().text, QStringLiteral("接続を切断しました。"));
  for (Peer* client : {a.get(), b.get()}) {
    ASSERT_TRUE(WaitUntil([&] { return client->instance.SessionMode == ModeNone; }));
    EXPECT_EQ(client->sink.lines.back().text, QStringLiteral("サーバとの接続が切れました。"));
    EXPECT_TRUE(client->recipients.ReDir().isEmpty());
    EXPECT_EQ(client->session.Title(), Session::NoModeTitle());
    EXPECT_EQ(client->instance.SocketCount, 0);
  }
  // No reset line follows the orderly goodbye.
  QTest::qWait(100);
  EXPECT_FALSE(
      a->sink.Has(QStringLiteral("リモート側から接続がリセットされました。接続を切断します")));

  // The same port serves again at once, and the server's user is participant 1 again.
  ASSERT_TRUE(StartServer(*gm));
  ASSERT_TRUE(Join(*b, *gm));
  EXPECT_EQ(b->Index(), 2);
}

TEST_F(SessionTest, ToolAnnouncementOpensOnClientsOnly) {
  StartAll();
  QSignalSpy at_gm(&gm->tools, &ToolAnnouncer::toolAnnounced);
  QSignalSpy at_a(&a->tools, &ToolAnnouncer::toolAnnounced);
  a->tools.Announce(msg::kToolHexMap);  // only the server announces
  gm->tools.Announce(msg::kToolHexMap);
  gm->tools.Announce(msg::kToolCards, 3);
  ASSERT_TRUE(WaitUntil([&] { return at_a.count() == 2; }));
  EXPECT_EQ(at_a[0][0].toInt(), msg::kToolHexMap);
  EXPECT_EQ(at_a[1][0].toInt(), msg::kToolCards);
  EXPECT_EQ(at_a[1][1].toInt(), 3);  // card mode 2, + 1
  QTest::qWait(50);
  EXPECT_EQ(at_gm.count(), 0);
  EXPECT_EQ(at_a.count(), 2);
}

TEST_F(SessionTest, AddressRulesAndNotConnectedSends) {
  ASSERT_TRUE(StartServer(*gm));
  // Full-width digits and stops connect like half-width ones.
  ASSERT_TRUE(Join(*a, *gm, QStringLiteral("　１２７．０．０．１　")));
  EXPECT_TRUE(a->sink.Has(QStringLiteral("127.0.0.1 に接続中です。")));

  // "host:localport" picks the local port; the remote port stays the session's.
  const int local = FreePort();
  ASSERT_TRUE(Join(*b, *gm, QStringLiteral("127.0.0.1:%1").arg(local)));
  ASSERT_NE(gm->session.ServerSocket(3), nullptr);
  EXPECT_EQ(gm->session.ServerSocket(3)->peerPort(), local);

  // An empty answer does nothing.
  Peer c(QStringLiteral("Carol"), port);
  c.session.Connect(QString());
  EXPECT_EQ(c.instance.SessionMode, ModeNone);
  EXPECT_TRUE(c.sink.lines.isEmpty());

  // Not connected: nothing goes out, but the selections still go back to the top.
  c.instance.settings.SendToListRset = true;
  EXPECT_FALSE(c.chat.SendChatMessage(QStringLiteral("独り言")));
  c.chat.ChangeHandle(QStringLiteral("キャロル"));
  EXPECT_EQ(c.instance.OwnHandle, QStringLiteral("キャロル"));
  b->instance.settings.SendToListRset = true;
  b->recipients.SelectSend(1);
  b->chat.SendChatMessage(QStringLiteral("ひそひそ"));
  EXPECT_EQ(b->recipients.SendRow(), 0);
  EXPECT_EQ(b->recipients.ReDirRow(), 0);
}

}  // namespace
}  // namespace quillora::test
