// The connect box's address, the address the players are told, and the router's outside address.
#include <gtest/gtest.h>

#include "net/Reachability.h"

namespace quillora {
namespace {

TEST(ConnectAnswer, HostsPortsBracketsAndFullWidth) {
  struct Case {
    QString typed;
    QString host;
    int local_port;
  };
  const Case cases[] = {
      {QStringLiteral("192.168.0.5:3000"), QStringLiteral("192.168.0.5"), 3000},
      {QStringLiteral("　１９２．１６８．０．５：３０００　"), QStringLiteral("192.168.0.5"), 3000},
      {QStringLiteral("example.net"), QStringLiteral("example.net"), 0},
      {QStringLiteral("example.net: 12ab"), QStringLiteral("example.net"), 12},
      // IPv6: bare literals carry no port; brackets may be followed by one.
      {QStringLiteral("2001:db8::5"), QStringLiteral("2001:db8::5"), 0},
      {QStringLiteral("::1"), QStringLiteral("::1"), 0},
      {QStringLiteral("[2001:db8::5]:3000"), QStringLiteral("2001:db8::5"), 3000},
      {QStringLiteral("[2001:db8::5]"), QStringLiteral("2001:db8::5"), 0},
      {QStringLiteral("［２００１：ｄｂ８：：５］：３０００"), QStringLiteral("2001:db8::5"), 3000},
      {QStringLiteral("２００１：ＤＢ８：：５"), QStringLiteral("2001:DB8::5"), 0},
      {QStringLiteral("[2001:db8::5"), QStringLiteral("2001:db8::5"), 0},
      {QStringLiteral("[]:3000"), QString(), 3000},
      {QStringLiteral(":3000"), QString(), 3000},
  };
  for (const Case& c : cases) {
    const ConnectTarget t = ParseConnectAnswer(c.typed);
    EXPECT_EQ(t.host, c.host) << c.typed.toStdString();
    EXPECT_EQ(t.local_port, c.local_port) << c.typed.toStdString();
  }
}

TEST(Reachability, CopiesTheAddressPlayersCanReach) {
  Reachability r;
  r.port = 2001;
  r.lan = QStringLiteral("192.168.1.20");
  r.outside = QStringLiteral("11.77.0.2");

  // Open by either protocol: the outside address.
  for (PortOpening open : {PortOpening::UPnP, PortOpening::NatPmp}) {
    r.opening = open;
    EXPECT_EQ(AddressToCopy(r), QStringLiteral("11.77.0.2"));
    const AddressNotice n = AddressReport(r);
    EXPECT_EQ(n.clipboard, QStringLiteral("11.77.0.2"));
    EXPECT_TRUE(n.message.startsWith(
        QStringLiteral("あなたの現在のＩＰアドレスは11.77.0."
                       "2です\nクリップボードに現在のＩＰアドレスをコピーしました")));
    EXPECT_TRUE(n.message.contains(open == PortOpening::UPnP
                                       ? QStringLiteral("UPnPで開いています")
                                       : QStringLiteral("NAT-PMPで開いています")));
    EXPECT_TRUE(n.message.contains(QStringLiteral("LANのアドレス：192.168.1.20")));
    EXPECT_TRUE(PortAdvice(r).contains(QStringLiteral("11.77.0.2")));
  }
  // Not open (or not yet known): the IPv6 address, else the LAN address.
  r.opening = PortOpening::NotOpen;
  r.reason = QStringLiteral("UPnP：ルータが応答しません");
  EXPECT_EQ(AddressToCopy(r), QStringLiteral("192.168.1.20"));
  EXPECT_TRUE(AddressReport(r).message.contains(
      QStringLiteral("ポート2001番は開いていません（UPnP：ルータが応答しません）")));
  r.ipv6 = QStringLiteral("2001:db8::20");
  EXPECT_EQ(AddressToCopy(r), QStringLiteral("2001:db8::20"));
  EXPECT_TRUE(PortAdvice(r).contains(QStringLiteral("2001:db8::20")));
  r.opening = PortOpening::Unknown;
  EXPECT_EQ(AddressToCopy(r), QStringLiteral("2001:db8::20"));
  // Open, but the router did not say its address.
  r.opening = PortOpening::UPnP;
  r.outside.clear();
  EXPECT_EQ(AddressToCopy(r), QStringLiteral("2001:db8::20"));

  // No address at all: the box's own "localhost" lines.
  Reachability none;
  none.opening = PortOpening::NotServing;
  const AddressNotice n = AddressReport(none);
  EXPECT_EQ(n.clipboard, QStringLiteral("localhost"));
  EXPECT_TRUE(n.message.startsWith(QStringLiteral(
      "現在ネットワークには繋がっていません\nあなたの現在のＩＰアドレスはlocalhostです\n"
      "クリップボードに現在のＩＰアドレスをコピーしました\n\n")));
}

TEST(Reachability, PrivateAndSharedOutsideAddressesAreUnreachable) {
  const struct {
    const char* address;
    bool inside;
  } cases[] = {
      {"10.0.0.1", true},        {"9.255.255.255", false},   {"11.0.0.0", false},
      {"172.15.255.255", false}, {"172.16.0.0", true},       {"172.31.255.255", true},
      {"172.32.0.0", false},     {"192.167.255.255", false}, {"192.168.0.1", true},
      {"192.169.0.0", false},    {"100.63.255.255", false},  {"100.64.0.0", true},
      {"100.127.255.255", true}, {"100.128.0.0", false},     {"11.77.0.2", false},
      {"2001:db8::1", false},    {"::ffff:10.1.2.3", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsInsideAddress(QHostAddress(QString::fromLatin1(c.address))), c.inside) << c.address;
  }

  Reachability r;
  r.opening = PortOpening::UPnP;
  r.outside = QStringLiteral("100.64.3.4");
  const QString lines = ReachabilityLines(r);
  EXPECT_TRUE(
      lines.contains(QStringLiteral("インターネットのプレイヤーからこのサーバには接続できません")));
  EXPECT_TRUE(lines.contains(QStringLiteral("IPv6かVPNなら接続できます")));
  r.outside = QStringLiteral("11.77.0.2");
  EXPECT_FALSE(ReachabilityLines(r).contains(QStringLiteral("VPN")));
}

}  // namespace
}  // namespace quillora
