#pragma once

#include <QHostAddress>
#include <QString>

namespace quillora {

// What the user typed into the connect box, taken apart: the host (a name, an IPv4 or IPv6
// literal without brackets) and the local port to connect from (0 = any).
struct ConnectTarget {
  QString host;
  int local_port = 0;
};

// Full-width input is narrowed first. "host" and "host:localport" as always; an IPv6 literal
// is taken bare ("2001:db8::5") or in brackets, with a local port after them
// ("[2001:db8::5]:3000"). The host may come out empty: nothing to connect to.
ConnectTarget ParseConnectAnswer(const QString& typed_answer);

// The local port as typed after the colon: its leading digits (0 when there are none).
int LeadingPortNumber(const QString& text);

// How the router was asked to forward the listening port.
enum class PortOpening { Unknown, NotServing, UPnP, NatPmp, NotOpen };

// What this machine knows of how players reach it.
struct Reachability {
  int port = 2001;
  PortOpening opening = PortOpening::Unknown;
  QString outside;  // the router's outside address, as the router reports it
  QString reason;   // why the port is not open, when it is not
  QString lan;      // the first IPv4 address of this machine that is not loopback
  QString ipv6;     // a global IPv6 address of this machine
};

// The address players should type: the outside address when the router forwards the port, else
// the global IPv6 address, else the LAN address; empty when there is none of these.
QString AddressToCopy(const Reachability& r);

// True for an outside address that the internet cannot reach: private (10/8, 172.16/12,
// 192.168/16) or shared by a carrier's NAT (100.64/10).
bool IsInsideAddress(const QHostAddress& address);

// Says that players on the internet cannot reach this host through a router whose own outside
// address is private or shared, and that IPv6 or a VPN can.
QString InsideWarning();

// The lines that follow the address in the "IP Utility" box and the version box: the outside
// address and whether the port is open, the LAN and IPv6 addresses, and a warning when the
// router itself sits behind another NAT.
QString ReachabilityLines(const Reachability& r);

// What "ＩＰを表示してコピー" copies and shows: the address to tell the players in the box's
// own two lines (or "localhost" with the not-connected lines), then ReachabilityLines.
struct AddressNotice {
  QString clipboard;
  QString message;
};
AddressNotice AddressReport(const Reachability& r);

// The version box's line on the port: open or not, and the address to tell the players.
QString PortAdvice(const Reachability& r);

// The machine's first IPv4 address that is not loopback, and its first global IPv6 address.
QString LanAddress();
QString GlobalIpv6Address();

}  // namespace quillora
