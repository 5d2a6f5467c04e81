// The real program over a small internet of network namespaces: a host behind a home router
// with a forwarded port, a player on the other side, and a witness on the host's own network
// that speaks the wire format. Needs root; skipped where namespaces cannot be built.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <map>

#include "gui/SessionHarness.h"
#include "net/FileTransfer.h"
#include "net/MessageCodes.h"
#include "text/Cp932.h"

using namespace quillora;
using namespace quillora::test;

namespace {

const QString kScript = QStringLiteral(QUILLORA_SOURCE_DIR "/tests/netlab/linklab.sh");
const QString kHostAddress = QStringLiteral("198.51.100.10");
const QString kRouterAddress = QStringLiteral("11.77.0.2");
constexpr int kSecond = 1000;

int RunScript(const QStringList& args, QString* output = nullptr) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(QStringLiteral("bash"), QStringList{kScript} + args);
  if (!p.waitForFinished(60000)) return -1;
  if (output) *output = QString::fromUtf8(p.readAll()).trimmed();
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The lab's namespaces, removed in every outcome.
class Lab {
 public:
  // Named after the test process, so that labs left by a run that crashed can be told apart
  // and swept away.
  Lab() : name_(QStringLiteral("q17t%1").arg(::getpid())) {
    RunScript({QStringLiteral("sweep"), QStringLiteral("q17t")});
  }
  ~Lab() {
    if (up_) RunScript({QStringLiteral("down"), name_});
  }
  bool Up(int port) {
    up_ = true;
    return RunScript({QStringLiteral("up"), name_}) == 0 &&
           RunScript({QStringLiteral("forward"), name_, QString::number(port)}) == 0;
  }
  bool Do(const QString& command, const QString& argument = {}) {
    QStringList args{command, name_};
    if (!argument.isEmpty()) args << argument;
    return RunScript(args) == 0;
  }
  QString Ns(const char* side) const { return name_ + QLatin1Char('-') + QLatin1String(side); }

 private:
  QString name_;
  bool up_ = false;
};

// The real program inside a namespace, offscreen, in a folder of its own that keeps a day log.
class Program {
 public:
  Program(const QString& ns, const QStringList& args) {
    home_.Write(QStringLiteral("app.ini"),
                QByteArray("[Global]\r\nDataVer=2.1\r\n[AppSet]\r\nAutoSaveText=True\r\n"));
    Start(ns, args);
  }
  ~Program() { Kill(); }
  void Start(const QString& ns, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("ip"),
                   QStringList{"netns", "exec", ns, QUILLORA_EXE, "--home", home_.path()} + args);
  }
  // As a crash would: no goodbye.
  void Kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(5000);
  }
  // The day log so far.
  QString Log() const {
    const QDir dir(home_.File(QStringLiteral("log")));
    QString all;
    for (const QString& f : dir.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
      all += Cp932::DecodeFile(home_.Read(QStringLiteral("log/") + f));
    }
    return all;
  }
  int Count(const QString& text) const { return Log().count(text); }
  // A file this program received, as stored.
  QByteArray Received(const QString& name) const {
    return home_.Read(QStringLiteral("file_Rcv/") + name);
  }

 private:
  TempHome home_;
  QProcess process_;
};

// Runs `fn` with this thread inside the namespace; sockets made there stay there.
bool InNamespace(const QString& ns, const std::function<void()>& fn) {
  const int own = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  const int other = ::open(("/run/netns/" + ns).toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
  bool ok = own >= 0 && other >= 0 && ::setns(other, CLONE_NEWNET) == 0;
  if (ok) {
    fn();
    ok = ::setns(own, CLONE_NEWNET) == 0;
  }
  if (own >= 0) ::close(own);
  if (other >= 0) ::close(other);
  return ok;
}

// A raw peer in namespace `ns` connected to `address`; on the host's own network (the host's
// address) it is a witness of what the host tells everyone.
bool ConnectRaw(RawPeer& peer, const QString& ns, int port, const QString& address = kHostAddress) {
  int fd = -1;
  InNamespace(ns, [&] {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.toLatin1().constData(), &to.sin_addr);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
      ::close(fd);
      fd = -1;
    }
  });
  return fd >= 0 && peer.socket.setSocketDescriptor(fd);
}

// The index the host gave the participant called `handle` in its latest announcement after
// packet number `from`, or 0.
int Announced(const RawPeer& peer, const QString& handle, qsizetype from = 0) {
  int index = 0;
  for (qsizetype i = from; i < peer.packets.size(); ++i) {
    const Packet& p = peer.packets[i];
    if (p.MessageCode == msg::kParticipantJoined && p.Text(2) == handle) index = p.Int(1);
  }
  return index;
}

int Departures(const RawPeer& peer, int index) {
  int n = 0;
  for (const Packet& p : peer.packets) {
    if (p.MessageCode == msg::kParticipantLeft && p.Int(1) == index) ++n;
  }
  return n;
}

qint64 WaitMs(const std::function<bool()>& done, int limit_ms) {
  QElapsedTimer t;
  t.start();
  return QTest::qWaitFor(done, limit_ms) ? t.elapsed() : -1;
}

}  // namespace

// A pulled cable, idle and while chat flows to the player; the line back; the host's program
// restarted; and a slow line carrying a lot that must not be taken for a dead one.
TEST(LinkLoss, DeadLinesAreNoticedAndPlayersComeBack) {
  QString why;
  if (RunScript({QStringLiteral("check")}, &why) != 0) {
    GTEST_SKIP() << "network namespaces are not available here (" << why.toStdString()
                 << "); run as root with iproute2, nftables and tc";
  }
  Lab lab;
  const int port = 21000 + ::getpid() % 900;
  ASSERT_TRUE(lab.Up(port));
  const QStringList port_args{QStringLiteral("--port"), QString::number(port)};
  auto host = std::make_unique<Program>(
      lab.Ns("lan"),
      port_args + QStringList{"--server", "--handle", QStringLiteral("親"), "--no-port-mapping"});
  auto witness = std::make_unique<RawPeer>();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return ConnectRaw(*witness, lab.Ns("lan"), port); }, 20 * kSecond));
  ASSERT_GT(witness->Hello(QStringLiteral("見張り")), 0);
  Program player(lab.Ns("wan"), port_args + QStringList{"--connect", kRouterAddress, "--handle",
                                                        QStringLiteral("子")});
  const QString kHandle = QStringLiteral("子");
  ASSERT_GT(WaitMs([&] { return Announced(*witness, kHandle) > 0; }, 30 * kSecond), 0);

  // Twice the cable is pulled and put back: first with the line idle, then while the witness
  // chats, so that the host has data for the player that is never acknowledged.
  for (const bool chatting : {false, true}) {
    SCOPED_TRACE(chatting ? "while chatting" : "idle");
    const int index = Announced(*witness, kHandle);
    const int noticed_before = player.Count(QStringLiteral("サーバとの通信が途絶えました"));
    QTimer chatter;
    QObject::connect(&chatter, &QTimer::timeout, [&] {
      Packet chat(msg::kSendChat, 1, static_cast<int16_t>(witness->Last(2)->Int(1)), 0);
      chat.Add(QStringLiteral("話し中"));
      witness->Send(chat);
    });
    if (chatting) chatter.start(300);
    ASSERT_TRUE(lab.Do(QStringLiteral("pull")));
    const qint64 gone = WaitMs([&] { return Departures(*witness, index) > 0; }, 30 * kSecond);
    EXPECT_GE(gone, 0) << "the host did not announce the player gone within 30 s";
    const qint64 noticed = WaitMs(
        [&] {
          return player.Count(QStringLiteral("サーバとの通信が途絶えました")) > noticed_before ||
                 player.Count(QStringLiteral("リモート側から接続がリセットされました")) > 0;
        },
        30 * kSecond - static_cast<int>(std::max<qint64>(gone, 0)));
    EXPECT_GE(noticed, 0) << "the player's program did not notice within 30 s";
    chatter.stop();
    std::cerr << "[ link ] host announced after " << gone << " ms, player noticed " << noticed
              << " ms later\n";
    const qsizetype mark = witness->packets.size();
    ASSERT_TRUE(lab.Do(QStringLiteral("plug")));
    const qint64 back =
        WaitMs([&] { return Announced(*witness, kHandle, mark) > index; }, 30 * kSecond);
    EXPECT_GE(back, 0) << "the player was not back within 30 s";
    std::cerr << "[ link ] player back " << back << " ms after the line returned\n";
    EXPECT_EQ(Departures(*witness, index), 1) << "announced once";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return player.Log().contains(QStringLiteral("サーバに再接続しました。")); },
        5 * kSecond));
  }

  // The host's program dies and is started again on the same port.
  host->Kill();
  witness = std::make_unique<RawPeer>();
  host = std::make_unique<Program>(
      lab.Ns("lan"),
      port_args + QStringList{"--server", "--handle", QStringLiteral("親"), "--no-port-mapping"});
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return ConnectRaw(*witness, lab.Ns("lan"), port); }, 20 * kSecond));
  ASSERT_GT(witness->Hello(QStringLiteral("見張り")), 0);
  const qint64 rejoined = WaitMs([&] { return Announced(*witness, kHandle) > 0; }, 30 * kSecond);
  EXPECT_GE(rejoined, 0) << "the player did not come back to the restarted host within 30 s";
  std::cerr << "[ link ] back at the restarted host after " << rejoined << " ms\n";

  // A slow line (1 Mbit/s) carrying a 2.5 MB file to the player, sent a little faster than the
  // line takes it: for longer than the link's own timeout there is always data waiting for an
  // acknowledgement, and the acknowledgements come slowly. That is slow, not dead.
  ASSERT_TRUE(lab.Do(QStringLiteral("rate"), QStringLiteral("1000")));
  const int index = Announced(*witness, kHandle);
  const int lost_before = player.Count(QStringLiteral("サーバとの通信が途絶えました"));
  QByteArray file(2500 * 1024, Qt::Uninitialized);
  for (qsizetype i = 0; i < file.size(); ++i)
    file[i] = static_cast<char>((i * 7 + i / 4093) & 0xFF);
  const int pieces = FileTransfer::PieceCount(file.size());
  const int16_t sender = static_cast<int16_t>(witness->Last(2)->Int(1));
  int sent = 0;
  QTimer pace;
  QObject::connect(&pace, &QTimer::timeout, [&] {
    for (int k = 0; k < 2 && sent < pieces; ++k) {
      Packet piece = FileTransfer::PiecePacket(QStringLiteral("地図.bin"), file, ++sent,
                                               msg::kFileStoreOnly, sender);
      piece.MessageCode = msg::kSendFilePiece;
      witness->Send(piece);
    }
    if (sent == pieces) {
      Packet chat(msg::kSendChat, 1, sender, 0);
      chat.Add(QStringLiteral("最後の行"));
      witness->Send(chat);
      pace.stop();
    }
  });
  pace.start(25);  // about 160 KB/s
  const qint64 carried = WaitMs(
      [&] {
        return player.Log().contains(QStringLiteral("最後の行")) &&
               player.Received(QStringLiteral("地図.bin")).size() == file.size();
      },
      90 * kSecond);
  EXPECT_GE(carried, 0) << "the slow line did not carry the file to the player";
  std::cerr << "[ link ] 2.5 MB over 1 Mbit/s arrived after " << carried << " ms\n";
  EXPECT_TRUE(player.Received(QStringLiteral("地図.bin")) == file) << "the file arrived intact";
  EXPECT_EQ(Departures(*witness, index), 0) << "a slow line was taken for a dead one";
  EXPECT_EQ(player.Count(QStringLiteral("サーバとの通信が途絶えました")), lost_before);

  // The line at 8 Mbit/s each way. A 2 MB file goes to the player and to a second player
  // beside him, who meanwhile chats ten lines a second. The two copies share the line and fill
  // it, and his lines still come back to him promptly: they do not wait behind the pieces,
  // neither in the host's queues nor in the router's (a home line must not be taken for a
  // loopback one because its first few bytes went through before any queue had formed).
  ASSERT_TRUE(lab.Do(QStringLiteral("rate"), QStringLiteral("8000")));
  RawPeer far;
  ASSERT_TRUE(ConnectRaw(far, lab.Ns("wan"), port, kRouterAddress));
  const int far_index = far.Hello(QStringLiteral("隣"));
  ASSERT_GT(far_index, 0);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return Announced(*witness, QStringLiteral("隣")) > 0; }, 10 * kSecond));
  QByteArray map(2000 * 1024, Qt::Uninitialized);
  for (qsizetype i = 0; i < map.size(); ++i) map[i] = static_cast<char>((i * 13 + i / 1021) & 0xFF);
  const int map_pieces = FileTransfer::PieceCount(map.size());
  QElapsedTimer clock;
  std::map<int, qint64> said_at;
  qint64 worst = 0;
  int heard = 0;
  int far_pieces = 0;
  qint64 far_done = -1;
  qsizetype seen = far.packets.size();
  QObject::connect(&far.socket, &QTcpSocket::readyRead, [&] {
    for (; seen < far.packets.size(); ++seen) {
      const Packet& p = far.packets[seen];
      if (p.MessageCode == msg::kFilePiece && ++far_pieces == map_pieces)
        far_done = clock.elapsed();
      if (p.MessageCode != msg::kChat || !p.Text(1).startsWith(QStringLiteral("行"))) continue;
      const auto it = said_at.find(p.Text(1).mid(1).toInt());
      if (it == said_at.end()) continue;
      worst = std::max(worst, clock.elapsed() - it->second);
      ++heard;
    }
  });
  QTimer talk;
  QObject::connect(&talk, &QTimer::timeout, [&] {
    const int n = static_cast<int>(said_at.size());
    said_at[n] = clock.elapsed();
    Packet chat(msg::kSendChat, 1, static_cast<int16_t>(far_index), 0);
    chat.Add(QStringLiteral("行%1").arg(n));
    far.Send(chat);
  });
  clock.start();
  for (int k = 1; k <= map_pieces; ++k) {
    Packet piece = FileTransfer::PiecePacket(QStringLiteral("広域図.bin"), map, k,
                                             msg::kFileStoreOnly, sender);
    piece.MessageCode = msg::kSendFilePiece;
    witness->Send(piece);
  }
  talk.start(100);
  const qint64 both = WaitMs(
      [&] {
        return far_done >= 0 && player.Received(QStringLiteral("広域図.bin")).size() == map.size();
      },
      30 * kSecond);
  talk.stop();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return heard == static_cast<int>(said_at.size()); }, 5 * kSecond));
  std::cerr << "[ link ] 2 x 2 MB over 8 Mbit/s in " << both << " ms (the far copy " << far_done
            << " ms); the slowest of " << heard << " chat lines meanwhile took " << worst
            << " ms\n";
  ASSERT_GE(both, 0) << "the file did not reach both players";
  EXPECT_TRUE(player.Received(QStringLiteral("広域図.bin")) == map) << "the file arrived intact";
  // 4 MB at 8 Mbit/s take 4.2 s; at least 80 % of the line is 5.2 s.
  EXPECT_LT(both, 5500) << "the file did not use the line";
  EXPECT_LT(worst, 250) << "a chat line waited behind the file's pieces";
}
