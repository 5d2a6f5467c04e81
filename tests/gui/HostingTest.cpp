// Hosting over IPv4 and IPv6, and hosting from behind a home router built in network namespaces:
// the real program asks the router (miniupnpd) to forward its port, a player outside joins
// through the router's outside address, and the mapping is gone once the program has ended.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <functional>

#include "gui/SessionHarness.h"
#include "text/Width.h"

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>
#endif

using namespace quillora;
using namespace quillora::test;

namespace {

TEST(Hosting, ListensOnBothFamiliesAndTakesIpv6Literals) {
  const int port = FreePort();
  ASSERT_GT(port, 0);
  Peer gm(QStringLiteral("GM"), port);
  Peer v4(QStringLiteral("四"), port);
  Peer v6(QStringLiteral("六"), port);
  Peer bracket(QStringLiteral("括弧"), port);
  ASSERT_TRUE(StartServer(gm));
  ASSERT_TRUE(Join(v4, gm, QStringLiteral("127.0.0.1")));
  ASSERT_TRUE(Join(v6, gm, QStringLiteral("::1")));
  EXPECT_TRUE(v6.sink.Has(QStringLiteral("::1 に接続中です。")));
  ASSERT_NE(gm.session.ServerSocket(3), nullptr);
  EXPECT_EQ(gm.session.ServerSocket(3)->peerAddress(), QHostAddress(QHostAddress::LocalHostIPv6));

  // Brackets with a local port, typed full-width.
  const int local = FreePort();
  ASSERT_TRUE(Join(bracket, gm,
                   QStringLiteral("［：：１］") + ToFullWidth(QStringLiteral(":%1").arg(local))));
  ASSERT_NE(gm.session.ServerSocket(4), nullptr);
  EXPECT_EQ(gm.session.ServerSocket(4)->peerPort(), local);
  EXPECT_EQ(gm.session.ServerSocket(4)->peerAddress(), QHostAddress(QHostAddress::LocalHostIPv6));
  ASSERT_TRUE(WaitUntil([&] { return v4.Lists(3) && v4.Lists(4) && v6.Lists(2); }));
}

#ifdef Q_OS_LINUX

constexpr int kHostPort = 24020;  // inside the rig's own namespaces
const QString kOutside = QStringLiteral("11.77.20.2");

QString Script() {
  return QStringLiteral(QUILLORA_SOURCE_DIR) + QStringLiteral("/tests/net/homerouter.sh");
}

// Runs a short command to its end (the rig's own set-up and look-ups).
int RunCommand(const QString& program, const QStringList& args, QString* output = nullptr) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  if (!p.waitForFinished(20000)) {
    p.kill();
    p.waitForFinished(2000);
    return -1;
  }
  if (output) *output = QString::fromLocal8Bit(p.readAll());
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Why this machine cannot build the rig, or empty when it can.
QString RigMissing(bool needs_miniupnpd) {
  if (geteuid() != 0) return QStringLiteral("network namespaces need root");
  for (const char* tool : {"/usr/sbin/ip", "/usr/sbin/nft"}) {
    if (!QFileInfo::exists(QString::fromLatin1(tool)) &&
        !QFileInfo::exists(
            QString::fromLatin1(tool).replace(QStringLiteral("/sbin/"), QStringLiteral("/bin/")))) {
      return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
    }
  }
  if (needs_miniupnpd && !QFileInfo::exists(QStringLiteral("/usr/sbin/miniupnpd"))) {
    return QStringLiteral("miniupnpd (miniupnpd-nftables) is not installed");
  }
  return {};
}

// The router, the host's LAN and a player outside, removed again in every outcome.
class HomeRouter {
 public:
  HomeRouter(const QString& name, const QString& service) : name_(name) {
    QString out;
    up_ = RunCommand(QStringLiteral("bash"), {Script(), "up", name, service}, &out) == 0;
    if (!up_) failure_ = out.trimmed();
  }
  ~HomeRouter() { RunCommand(QStringLiteral("bash"), {Script(), "down", name_}); }
  bool up() const { return up_; }
  QString failure() const { return failure_; }
  QString Namespace(const char* side) const { return name_ + QLatin1Char('-') + side; }
  QString Rules() const {
    QString out;
    RunCommand(QStringLiteral("bash"), {Script(), "rules", name_}, &out);
    return out;
  }

 private:
  QString name_;
  bool up_ = false;
  QString failure_;
};

// Runs `make` with this thread inside a network namespace: a socket it creates stays there.
bool InNamespace(const QString& ns, const std::function<void()>& make) {
  const int own = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  const int target =
      open(QByteArray("/run/netns/" + ns.toLocal8Bit()).constData(), O_RDONLY | O_CLOEXEC);
  bool ok = own >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
  if (ok) {
    make();
    ok = setns(own, CLONE_NEWNET) == 0;
  }
  if (own >= 0) close(own);
  if (target >= 0) close(target);
  return ok;
}

// Connects a raw peer from a namespace, trying again until the program listens.
bool ConnectFrom(RawPeer& peer, const QString& ns, const QHostAddress& address, int ms) {
  return WaitUntil(
      [&] {
        if (peer.socket.state() == QAbstractSocket::ConnectedState) return true;
        if (peer.socket.state() == QAbstractSocket::UnconnectedState) {
          InNamespace(ns, [&] { peer.socket.connectToHost(address, kHostPort); });
        }
        return false;
      },
      ms);
}

// The real program serving inside the host's namespace.
class HostProgram {
 public:
  HostProgram(const QString& ns, const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // `ip netns exec` replaces itself with the program: SIGTERM reaches the program.
    process.start(QStringLiteral("ip"),
                  {"netns", "exec", ns, QStringLiteral(QUILLORA_EXE), "--home", home, "--server",
                   "--port", QString::number(kHostPort)});
  }
  ~HostProgram() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(5000);
    }
  }
  QProcess process;
};

bool Mapped(const HomeRouter& rig) {
  return rig.Rules().contains(QStringLiteral("198.51.100.10:%1").arg(kHostPort));
}

void HostBehindRouter(const QString& name, const QString& service) {
  if (const QString missing = RigMissing(true); !missing.isEmpty())
    GTEST_SKIP() << missing.toStdString();
  HomeRouter rig(name, service);
  if (!rig.up())
    GTEST_SKIP() << "no home router in namespaces here: " << rig.failure().toStdString();
  ASSERT_FALSE(Mapped(rig));

  TempHome home;
  HostProgram host(rig.Namespace("lan"), home.path());
  ASSERT_TRUE(host.process.waitForStarted(10000));
  // The router holds the mapping a few seconds after the program started serving.
  ASSERT_TRUE(WaitUntil([&] { return Mapped(rig); }, 15000)) << rig.Rules().toStdString();

  // A player on the internet joins through the router's outside address.
  RawPeer player;
  ASSERT_TRUE(ConnectFrom(player, rig.Namespace("wan"), QHostAddress(kOutside), 10000));
  EXPECT_EQ(player.Hello(QStringLiteral("外の子")), 2);

  // SIGTERM ends the program as its close box does; the mapping goes with it.
  host.process.terminate();
  EXPECT_TRUE(player.WaitFor(3));
  ASSERT_TRUE(host.process.waitForFinished(20000));
  EXPECT_EQ(host.process.exitCode(), 0);
  EXPECT_FALSE(Mapped(rig)) << rig.Rules().toStdString();
}

TEST(HomeRouter, NatPmpOpensThePortAndClosesItAtExit) {
  HostBehindRouter(QStringLiteral("q20n"), QStringLiteral("natpmp"));
}

TEST(HomeRouter, UpnpOpensThePortAndClosesItAtExit) {
  HostBehindRouter(QStringLiteral("q20u"), QStringLiteral("upnp"));
}

// Milliseconds from the start of the program until it accepts a connection on its own LAN.
qint64 TimeToServe(const HomeRouter& rig, const QString& home) {
  QElapsedTimer clock;
  clock.start();
  HostProgram host(rig.Namespace("lan"), home);
  if (!host.process.waitForStarted(10000)) return -1;
  RawPeer peer;
  if (!ConnectFrom(peer, rig.Namespace("lan"), QHostAddress(QHostAddress::LocalHost), 20000)) {
    return -1;
  }
  const qint64 ms = clock.elapsed();
  if (peer.Hello(QStringLiteral("子")) != 2) return -1;
  host.process.terminate();
  if (!host.process.waitForFinished(20000)) return -1;
  return ms;
}

TEST(HomeRouter, WithoutAMappingServiceHostingStartsAsFast) {
  if (const QString missing = RigMissing(false); !missing.isEmpty())
    GTEST_SKIP() << missing.toStdString();
  HomeRouter rig(QStringLiteral("q20x"), QStringLiteral("none"));
  if (!rig.up())
    GTEST_SKIP() << "no home router in namespaces here: " << rig.failure().toStdString();

  TempHome asking;
  TempHome not_asking;
  QFile ini(not_asking.path() + QStringLiteral("/app.ini"));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Global]\r\nDataVer=2.1\r\n[SpExt]\r\nPortMapping=False\r\n");
  ini.close();

  const qint64 without = TimeToServe(rig, not_asking.path());
  const qint64 with = TimeToServe(rig, asking.path());
  ASSERT_GT(without, 0);
  ASSERT_GT(with, 0);
  // The router's silence (up to two seconds per protocol) never delays listening.
  EXPECT_LT(with, without + 1000) << "with mapping " << with << " ms, without " << without << " ms";
  // The setting was read and is written back as it was.
  EXPECT_TRUE(not_asking.Read("app.ini").contains("PortMapping=False"));
  EXPECT_TRUE(asking.Read("app.ini").contains("PortMapping=True"));
}

#endif

}  // namespace
