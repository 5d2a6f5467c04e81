#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QProcess>
#include <QStandardPaths>

#include "gui/SessionHarness.h"
#include "text/Cp932.h"

using namespace quillora;
using namespace quillora::test;

namespace {

// The real program, started offscreen in a folder of its own.
class RunningProgram {
 public:
  RunningProgram(const QString& home, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(QUILLORA_EXE), QStringList{"--home", home} + args);
  }
  ~RunningProgram() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(5000);
    }
  }
  QProcess process;
};

// The program needs a moment to start listening.
bool ConnectWhenListening(RawPeer& peer, int port) {
  return WaitUntil(
      [&] {
        if (peer.socket.state() == QAbstractSocket::ConnectedState) return true;
        if (peer.socket.state() == QAbstractSocket::UnconnectedState) {
          peer.socket.connectToHost(QHostAddress(QHostAddress::LocalHost),
                                    static_cast<quint16>(port));
        }
        return false;
      },
      20000);
}

}  // namespace

TEST(Executable, ServesARawPeerAndSavesOnSigterm) {
  TempHome home;
  const int port = FreePort();
  RunningProgram program(home.path(), {"--port", QString::number(port), "--server", "--handle",
                                       QStringLiteral("親"), "--no-port-mapping"});
  ASSERT_TRUE(program.process.waitForStarted(10000));

  RawPeer peer;
  ASSERT_TRUE(ConnectWhenListening(peer, port));

  const int index = peer.Hello(QStringLiteral("子"));
  EXPECT_EQ(index, 2);  // the server's own user is participant 1
  ASSERT_TRUE(peer.WaitFor(2));
  EXPECT_EQ(peer.Last(2)->Int(2), 2);
  EXPECT_EQ(peer.Last(2)->Int(3), 10);
  EXPECT_EQ(peer.Last(2)->Int(4), 1);
  // We learn about participant 1 and about ourselves.
  ASSERT_TRUE(WaitUntil([&] {
    int seen = 0;
    for (const Packet& p : peer.packets) {
      if (p.MessageCode == 1 && (p.Int(1) == 1 || p.Int(1) == 2)) ++seen;
    }
    return seen >= 2;
  }));

  Packet chat(301, 1, static_cast<int16_t>(index), 0);
  chat.Add(QStringLiteral("こんにちは"));
  peer.Send(chat);
  ASSERT_TRUE(peer.WaitFor(101));
  EXPECT_EQ(peer.Last(101)->Text(1), QStringLiteral("こんにちは"));
  EXPECT_EQ(peer.Last(101)->SenderIndex, index);

  // Garbage does not take the server down: the next chat line still comes back.
  peer.SendRaw(QByteArray("\x01\x00\x05\x00garbage-garbage-garbage", 27));
  peer.SendRaw(QByteArray(64, '\xff'));
  Packet again(301, 1, static_cast<int16_t>(index), 0);
  again.Add(QStringLiteral("まだ居ます"));
  QTest::qWait(200);
  peer.Send(again);
  ASSERT_TRUE(WaitUntil([&] {
    const Packet* p = peer.Last(101);
    return p && p->Text(1) == QStringLiteral("まだ居ます");
  }));

  // SIGTERM closes the program as its close box does: everyone is told, settings are saved.
  program.process.terminate();
  EXPECT_TRUE(peer.WaitFor(3));
  ASSERT_TRUE(program.process.waitForFinished(10000));
  EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.process.exitCode(), 0);
  const QString ini = Cp932::DecodeFile(home.Read("app.ini"));
  EXPECT_TRUE(ini.contains(QStringLiteral("DataVer=2.1")));
}

TEST(Executable, PasswordFromTheCommandLineLetsInOnlyThoseWhoKnowIt) {
  const QString word = QStringLiteral("合言葉");
  TempHome host_home, good_home, bad_home;
  const int port = FreePort();
  const QString p = QString::number(port);
  RunningProgram host(host_home.path(), {"--port", p, "--server", "--handle", QStringLiteral("親"),
                                         "--password", word, "--no-port-mapping"});
  ASSERT_TRUE(host.process.waitForStarted(10000));

  // A watcher that proves the word by hand.
  RawPeer watcher;
  ASSERT_TRUE(ConnectWhenListening(watcher, port));
  watcher.Send(Packet(204, 0));
  ASSERT_TRUE(watcher.WaitFor(11));
  EXPECT_FALSE(watcher.Last(2));
  watcher.Send(Packet(211, 0).SetBin(QMessageAuthenticationCode::hash(
      watcher.Last(11)->BinData, word.toUtf8(), QCryptographicHash::Sha256)));
  ASSERT_TRUE(watcher.WaitFor(2));
  Packet join(201, 0, static_cast<int16_t>(watcher.Last(2)->Int(1)), 1);
  join.Add(QStringLiteral("見張り")).Add(int32_t{0});
  watcher.Send(join);
  auto joined = [&](const QString& handle) {
    for (const Packet& packet : watcher.packets) {
      if (packet.MessageCode == 1 && packet.Text(2) == handle) return true;
    }
    return false;
  };
  ASSERT_TRUE(WaitUntil([&] { return joined(QStringLiteral("親")); }));

  RunningProgram bad(bad_home.path(), {"--port", p, "--connect", "127.0.0.1", "--handle",
                                       QStringLiteral("偽"), "--password", QStringLiteral("違う")});
  RunningProgram good(good_home.path(),
                      {"--port", p, "--connect", "127.0.0.1", "--handle", QStringLiteral("子"),
                       "--password", word, "--no-port-mapping"});
  ASSERT_TRUE(WaitUntil([&] { return joined(QStringLiteral("子")); }, 20000));
  QTest::qWait(1000);
  EXPECT_FALSE(joined(QStringLiteral("偽")));
  EXPECT_EQ(bad.process.state(), QProcess::Running);  // refused, not crashed
}

TEST(Executable, RejectsUnknownOptionsWithUsage) {
  QProcess process;
  process.start(QStringLiteral(QUILLORA_EXE), {"--no-such-option"});
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitCode(), 2);
  EXPECT_TRUE(process.readAllStandardError().contains("usage: quillora"));
}

TEST(Executable, HelpAndVersionNeedNoDisplay) {
  for (const char* option : {"--help", "--version"}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUILLORA_EXE), {QString::fromLatin1(option)});
    ASSERT_TRUE(process.waitForFinished(10000)) << option;
    EXPECT_EQ(process.exitCode(), 0) << option;
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_TRUE(out.contains(option == QLatin1String("--help") ? "usage: quillora" : "2.10.1"))
        << option;
  }
}

TEST(Executable, InstalledProgramFindsItsDataAndKeepsUserFilesInTheUsersFolder) {
  TempHome root;
  const QString prefix = root.File("prefix");
  QProcess install;
  install.setProcessChannelMode(QProcess::MergedChannels);
  install.start(QStringLiteral(QUILLORA_CMAKE),
                {"--install", QStringLiteral(QUILLORA_BUILD_DIR), "--prefix", prefix});
  ASSERT_TRUE(install.waitForFinished(60000));
  ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
  for (const char* file :
       {"bin/quillora", "bin/quillora-dice", "share/quillora/data/tarot.txt",
        "share/quillora/data/sysMes.wav", "share/applications/io.github.quillora.Quillora.desktop",
        "share/metainfo/io.github.quillora.Quillora.metainfo.xml",
        "share/icons/hicolor/scalable/apps/quillora.svg",
        "share/icons/hicolor/48x48/apps/quillora.png"}) {
    EXPECT_TRUE(QFile::exists(prefix + QLatin1Char('/') + QLatin1String(file))) << file;
  }
  // Software centres take the metadata only when it validates without warnings.
  const QString appstream = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
  if (!appstream.isEmpty()) {
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(
        appstream,
        {"validate", "--no-net",
         prefix + QStringLiteral("/share/metainfo/io.github.quillora.Quillora.metainfo.xml")});
    ASSERT_TRUE(validate.waitForFinished(60000));
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().toStdString();
  }

  // Started from the menu: no --home, so the user's own data folder is the program folder.
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("XDG_DATA_HOME"), root.File("xdg"));
  program.setProcessEnvironment(env);
  program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  const int port = FreePort();
  program.start(prefix + QStringLiteral("/bin/quillora"),
                {"--port", QString::number(port), "--server", "--no-port-mapping"});
  ASSERT_TRUE(program.waitForStarted(10000));
  RawPeer peer;
  ASSERT_TRUE(ConnectWhenListening(peer, port));
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(10000));
  EXPECT_EQ(program.exitCode(), 0);
  const QString user = root.File("xdg/Quillora");
  EXPECT_TRUE(QFile::exists(user + QStringLiteral("/app.ini")));
  EXPECT_TRUE(QFile::exists(user + QStringLiteral("/log")));
  EXPECT_EQ(root.Read("xdg/Quillora/data/tarot.txt"),
            root.Read("prefix/share/quillora/data/tarot.txt"));
  EXPECT_FALSE(QFile::exists(prefix + QStringLiteral("/bin/app.ini")));
}
