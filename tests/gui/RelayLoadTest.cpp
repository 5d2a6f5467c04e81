// Whole programs under load over loopback: a host with its window, a client program and raw
// connections that flood or stop reading. The tests check outcomes (what arrived, who is still
// connected), never timings; those belong to bench/relay_bench.
#include <gtest/gtest.h>

#include <QFile>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>

#include "app/AppCore.h"
#include "app/MainWindow.h"
#include "common/ScriptedDialogs.h"
#include "gui/SessionHarness.h"
#include "net/MessageCodes.h"

using namespace quillora;
using namespace quillora::test;

namespace {

// A running program in a folder of its own; the host also gets its main window.
struct Program {
  Program(const QString& handle, int port, bool with_window) : core(home.path(), 5, sound) {
    core.instance().SetHostNameForTesting(QStringLiteral("testhost"));
    CommandLine options;
    options.handle = handle;
    options.port = port;
    core.Startup(options);
    if (with_window) {
      window = std::make_unique<MainWindow>(core, dialogs);
      window->RestoreFromSettings();
      window->show();
    }
  }
  ~Program() {
    if (window) window->close();
  }
  int Count(const QString& text) {
    const QString all = core.chat_log().LogText();
    return static_cast<int>(all.count(text));
  }
  bool Dropped() { return Count(QStringLiteral("さんがチャットから落ちました")) > 0; }
  QByteArray Received(const QString& name) const {
    QFile f(home.File("file_Rcv/" + name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  TempHome home;
  FakeSound sound;
  ScriptedDialogs dialogs;
  AppCore core;
  std::unique_ptr<MainWindow> window;
};

Packet Chat(int index, const QString& text) {
  Packet p(301, 1, static_cast<int16_t>(index), 0);
  p.Add(text);
  return p;
}

QByteArray Pattern(int size) {
  QByteArray bytes(size, '\0');
  for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + 5) & 0xFF);
  return bytes;
}

class RelayLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    host = std::make_unique<Program>(QStringLiteral("親"), port, true);
    alice = std::make_unique<Program>(QStringLiteral("Alice"), port, false);
    ASSERT_TRUE(host->core.session().BecomeServer());
    ASSERT_TRUE(WaitUntil([&] { return host->core.instance().OwnIndex == 1; }));
    alice->core.session().Connect(QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(WaitUntil([&] {
      return alice->core.instance().SessionMode == ModeClient &&
             host->Count(QStringLiteral("Aliceさんがチャットに加わりました")) == 1;
    }));
  }
  // A raw participant that joins as "Flood"; its index once Alice has heard of it (0 if not).
  int JoinFlooder(RawPeer& flooder) {
    if (!flooder.Connect(port)) return 0;
    const int index = flooder.Hello(QStringLiteral("Flood"));
    const bool heard = WaitUntil(
        [&] { return alice->Count(QStringLiteral("Floodさんがチャットに加わりました")) == 1; });
    return heard ? index : 0;
  }
  bool Connected(Program& p) {
    const QTcpSocket* s = p.core.session().ClientSocket();
    return s && s->state() == QAbstractSocket::ConnectedState;
  }

  int port = 0;
  std::unique_ptr<Program> host;
  std::unique_ptr<Program> alice;
};

}  // namespace

// One participant sends far more than the host's window can show in a frame. Nobody is cut,
// the host's own connection survives, and every line reaches everyone, in order.
TEST_F(RelayLoadTest, FlooderIsSlowedNotCutAndTheHostWindowCatchesUp) {
  RawPeer flooder;
  const int index = JoinFlooder(flooder);
  ASSERT_EQ(index, 3);

  constexpr int kLines = 4000;
  QByteArray burst;
  for (int i = 0; i < kLines; ++i) {
    burst += EncodePacket(Chat(index, QStringLiteral("洪水%1#").arg(i, 5, 10, QLatin1Char('0'))));
  }
  flooder.SendRaw(burst);
  alice->core.chat().SendChatMessage(QStringLiteral("割り込み"));

  qsizetype most_waiting = 0;
  const bool all_arrived = WaitUntil(
      [&] {
        most_waiting = std::max(most_waiting, host->core.chat_log().Backlog());
        return host->Count(QStringLiteral("洪水")) == kLines &&
               alice->Count(QStringLiteral("洪水")) == kLines && flooder.packets.size() > kLines &&
               host->Count(QStringLiteral("割り込み")) == 1;
      },
      60000);
  ASSERT_TRUE(all_arrived) << "host " << host->Count(QStringLiteral("洪水")) << ", alice "
                           << alice->Count(QStringLiteral("洪水"));
  // The window could not show the burst at once; it showed it in batches instead.
  EXPECT_GT(most_waiting, 0);
  const QString log = alice->core.chat_log().LogText();
  EXPECT_LT(log.indexOf(QStringLiteral("洪水00000#")), log.indexOf(QStringLiteral("洪水03999#")));
  EXPECT_LT(log.indexOf(QStringLiteral("洪水01999#")), log.indexOf(QStringLiteral("洪水02000#")));
  // Reading is fair: Alice's line went through while the flood was still being read.
  const QString shown = host->core.chat_log().LogText();
  EXPECT_LT(shown.indexOf(QStringLiteral("割り込み")), shown.indexOf(QStringLiteral("洪水03999#")));
  EXPECT_FALSE(host->Dropped());
  EXPECT_EQ(host->core.instance().SessionMode, ModeServer);
  EXPECT_TRUE(Connected(*host));
  EXPECT_TRUE(Connected(*alice));
  EXPECT_EQ(flooder.socket.state(), QAbstractSocket::ConnectedState);
  EXPECT_FALSE(host->core.session().ReadingPaused());
}

// A participant whose program stops reading is cut; the others get every line meanwhile.
TEST_F(RelayLoadTest, PeerThatStopsReadingIsCutWhileTheOthersGetEverything) {
  host->core.session().SetOutputCap(64 * 1024);
  host->core.session().SetCutAfter(500);
  RawPeer frozen;
  frozen.socket.setReadBufferSize(4096);
  frozen.socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8192);
  ASSERT_TRUE(frozen.Connect(port));
  ASSERT_EQ(frozen.Hello(QStringLiteral("Frozen")), 3);
  ASSERT_TRUE(WaitUntil(
      [&] { return alice->Count(QStringLiteral("Frozenさんがチャットに加わりました")) == 1; }));
  frozen.socket.disconnect();  // reads nothing from now on

  // Long lines, so that what the frozen peer leaves unread passes its cap soon.
  const QString padding(1500, QChar(u'字'));
  constexpr int kLines = 300;
  int sent = 0;
  const bool cut = WaitUntil(
      [&] {
        for (int i = 0; i < 5 && sent < kLines; ++i, ++sent) {
          alice->core.chat().SendChatMessage(QStringLiteral("行%1#").arg(sent) + padding);
        }
        return sent == kLines &&
               alice->Count(QStringLiteral("Frozenさんがチャットから落ちました")) == 1;
      },
      60000);
  ASSERT_TRUE(cut) << "sent " << sent;
  ASSERT_TRUE(WaitUntil(
      [&] { return host->Count(padding) == kLines && alice->Count(padding) == kLines; }, 60000))
      << host->Count(padding) << " / " << alice->Count(padding);
  EXPECT_EQ(host->core.session().ServerSocket(3), nullptr);
  EXPECT_TRUE(Connected(*host));
  EXPECT_TRUE(Connected(*alice));
  EXPECT_EQ(host->Count(QStringLiteral("さんがチャットから落ちました")), 1);
}

// A file travels while chat goes on: chat lines overtake the file, the file arrives whole,
// the progress bar comes and goes. A cancelled transfer stops; the receiver keeps its part.
TEST_F(RelayLoadTest, FileAndChatInterleaveAndACancelledTransferStops) {
  host->core.instance().settings.FileSendRate = 128;  // KB/s: a 256 KB file takes two seconds
  const QByteArray data = Pattern(256 * 1024);
  host->home.Write("map.bin", data);
  bool sent = false;
  ASSERT_TRUE(host->core.files().SendFile(host->home.File("map.bin"), false, [&] { sent = true; }));
  auto* bar = host->window->findChild<QProgressBar*>(QStringLiteral("prgFile"));
  auto* cancel = host->window->findChild<QToolButton*>(QStringLiteral("cmdFileCancel"));
  ASSERT_NE(bar, nullptr);
  ASSERT_NE(cancel, nullptr);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_TRUE(cancel->isVisible());

  alice->core.chat().SendChatMessage(QStringLiteral("地図まだ？"));
  ASSERT_TRUE(WaitUntil([&] { return host->Count(QStringLiteral("地図まだ？")) == 1; }));
  EXPECT_FALSE(sent) << "the chat line waited for the whole file";
  EXPECT_LT(alice->Received("map.bin").size(), data.size());
  ASSERT_TRUE(WaitUntil([&] { return alice->Received("map.bin") == data; }, 30000));
  EXPECT_TRUE(sent);
  ASSERT_TRUE(WaitUntil([&] { return !bar->isVisible() && !cancel->isVisible(); }));

  // Cancelled after a few pieces: no more arrive, the part stays, `sent` never runs.
  host->core.instance().settings.FileSendRate = 4;
  const QByteArray big = Pattern(100 * 1024);
  host->home.Write("big.bin", big);
  bool big_sent = false;
  ASSERT_TRUE(
      host->core.files().SendFile(host->home.File("big.bin"), false, [&] { big_sent = true; }));
  ASSERT_TRUE(WaitUntil([&] { return alice->Received("big.bin").size() >= 2 * 2048; }));
  QTest::mouseClick(cancel, Qt::LeftButton);
  EXPECT_FALSE(host->core.files().Sending());
  EXPECT_TRUE(host->core.instance()
                  .Panel(QLatin1String(kPanelSysReqMes))
                  .startsWith(QStringLiteral("big.binの送信を中止")));
  QTest::qWait(1200);  // more than two pieces' time at 4 KB/s
  const QByteArray part = alice->Received("big.bin");
  EXPECT_LT(part.size(), big.size());
  EXPECT_EQ(part, big.left(part.size()));
  EXPECT_FALSE(big_sent);
  EXPECT_FALSE(bar->isVisible());
}

// A file at the line's own speed while a participant floods the chat: the host's line reaches
// the receiver long before the file does, the flood arrives whole and in order, the file byte
// for byte, and nobody is cut or slowed to a stop.
TEST_F(RelayLoadTest, FileAtLineSpeedAndAChatFloodShareTheLinks) {
  ASSERT_EQ(host->core.instance().settings.FileSendRate, FileTransfer::kDefaultRate);
  RawPeer flooder;
  const int index = JoinFlooder(flooder);
  ASSERT_EQ(index, 3);

  const QByteArray data = Pattern(3 * 1024 * 1024);
  host->home.Write("scene.bin", data);
  bool sent = false;
  ASSERT_TRUE(
      host->core.files().SendFile(host->home.File("scene.bin"), false, [&] { sent = true; }));
  constexpr int kLines = 3000;
  QByteArray burst;
  for (int i = 0; i < kLines; ++i) {
    burst += EncodePacket(Chat(index, QStringLiteral("洪水%1#").arg(i, 5, 10, QLatin1Char('0'))));
  }
  flooder.SendRaw(burst);
  ASSERT_TRUE(WaitUntil([&] { return alice->Received("scene.bin").size() >= 64 * 1024; }));
  host->core.chat().SendChatMessage(QStringLiteral("先に届く"));
  ASSERT_TRUE(WaitUntil([&] { return alice->Count(QStringLiteral("先に届く")) == 1; }));
  EXPECT_LT(alice->Received("scene.bin").size(), data.size() / 2)
      << "the chat line waited behind the pieces";

  const bool all_arrived = WaitUntil(
      [&] {
        return alice->Received("scene.bin") == data &&
               alice->Count(QStringLiteral("洪水")) == kLines &&
               host->Count(QStringLiteral("洪水")) == kLines && flooder.packets.size() > kLines;
      },
      // About half a minute in the sanitizer build on a quiet machine; far longer when the
      // machine is busy. What counts is that all of it arrives.
      180000);
  ASSERT_TRUE(all_arrived) << alice->Received("scene.bin").size() << " bytes, "
                           << alice->Count(QStringLiteral("洪水")) << " lines";
  EXPECT_TRUE(sent);
  const QString log = alice->core.chat_log().LogText();
  EXPECT_LT(log.indexOf(QStringLiteral("洪水00000#")), log.indexOf(QStringLiteral("洪水02999#")));
  // The flooder's own copy of the file came too, and it was never held for good.
  int pieces = 0;
  for (const Packet& p : flooder.packets) pieces += p.MessageCode == msg::kFilePiece ? 1 : 0;
  EXPECT_EQ(pieces, FileTransfer::PieceCount(data.size()));
  EXPECT_FALSE(host->Dropped());
  EXPECT_TRUE(Connected(*alice));
  EXPECT_EQ(flooder.socket.state(), QAbstractSocket::ConnectedState);
  EXPECT_FALSE(host->core.session().ReadingPaused());
}
