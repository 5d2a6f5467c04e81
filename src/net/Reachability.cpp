#include "net/Reachability.h"

#include <QNetworkInterface>

#include "text/Width.h"

namespace quillora {

int LeadingPortNumber(const QString& text) {
  const QString t = text.trimmed();
  qsizetype end = 0;
  while (end < t.size() && end < 6 && t[end].isDigit() && t[end].unicode() < 0x80) ++end;
  return end == 0 ? 0 : t.left(end).toInt();
}

ConnectTarget ParseConnectAnswer(const QString& typed_answer) {
  const QString answer = ToHalfWidth(typed_answer).trimmed();
  ConnectTarget target;
  if (answer.startsWith(QLatin1Char('['))) {
    const qsizetype close = answer.indexOf(QLatin1Char(']'));
    if (close < 0) {
      target.host = answer.mid(1).trimmed();
      return target;
    }
    target.host = answer.mid(1, close - 1).trimmed();
    const QString rest = answer.mid(close + 1).trimmed();
    if (rest.startsWith(QLatin1Char(':'))) target.local_port = LeadingPortNumber(rest.mid(1));
    return target;
  }
  // Two colons or more: an IPv6 literal without a port (a port needs the brackets).
  if (answer.count(QLatin1Char(':')) >= 2) {
    target.host = answer;
    return target;
  }
  const qsizetype colon = answer.indexOf(QLatin1Char(':'));
  if (colon >= 0) {
    target.host = answer.left(colon).trimmed();
    target.local_port = LeadingPortNumber(answer.mid(colon + 1));
  } else {
    target.host = answer;
  }
  return target;
}

QString AddressToCopy(const Reachability& r) {
  const bool open = r.opening == PortOpening::UPnP || r.opening == PortOpening::NatPmp;
  if (open && !r.outside.isEmpty()) return r.outside;
  if (!r.ipv6.isEmpty()) return r.ipv6;
  return r.lan;
}

bool IsInsideAddress(const QHostAddress& address) {
  bool ok = false;
  const quint32 v4 = address.toIPv4Address(&ok);
  if (!ok) return false;
  return (v4 >> 24) == 10 || (v4 >> 20) == ((172u << 4) | 1u) ||
         (v4 >> 16) == ((192u << 8) | 168u) || (v4 >> 22) == ((100u << 2) | 1u);
}

QString InsideWarning() {
  return QStringLiteral(
      "ルータの外側のアドレスがプライベートアドレス（二重ルータかプロバイダのNAT）なので、"
      "このルータを通してインターネットのプレイヤーからこのサーバには接続できません。"
      "IPv6かVPNなら接続できます。");
}

QString ReachabilityLines(const Reachability& r) {
  const QString port = QString::number(r.port);
  QString out;
  switch (r.opening) {
    case PortOpening::NotServing:
      out += QStringLiteral("ルータのポート：サーバになると、ポート%1番を開けるよう頼みます\n")
                 .arg(port);
      break;
    case PortOpening::Unknown:
      out += QStringLiteral("ルータのポート：ポート%1番を開けるようルータに問い合わせ中です\n")
                 .arg(port);
      break;
    case PortOpening::UPnP:
      out += QStringLiteral("ルータのポート：ポート%1番はUPnPで開いています\n").arg(port);
      break;
    case PortOpening::NatPmp:
      out += QStringLiteral("ルータのポート：ポート%1番はNAT-PMPで開いています\n").arg(port);
      break;
    case PortOpening::NotOpen:
      out += QStringLiteral("ルータのポート：ポート%1番は開いていません").arg(port);
      if (!r.reason.isEmpty()) out += QStringLiteral("（") + r.reason + QStringLiteral("）");
      out += QLatin1Char('\n');
      break;
  }
  out += QStringLiteral("外側のアドレス（ルータの報告）：") +
         (r.outside.isEmpty() ? QStringLiteral("不明") : r.outside) + QLatin1Char('\n');
  out += QStringLiteral("LANのアドレス：") + (r.lan.isEmpty() ? QStringLiteral("なし") : r.lan) +
         QLatin1Char('\n');
  out += QStringLiteral("IPv6のアドレス：") + (r.ipv6.isEmpty() ? QStringLiteral("なし") : r.ipv6);
  if (!r.outside.isEmpty() && IsInsideAddress(QHostAddress(r.outside))) {
    out += QLatin1Char('\n') + InsideWarning();
  }
  return out;
}

AddressNotice AddressReport(const Reachability& r) {
  const QString ip = AddressToCopy(r);
  AddressNotice n;
  if (!ip.isEmpty()) {
    n.clipboard = ip;
    n.message = QStringLiteral("あなたの現在のＩＰアドレスは") + ip + QStringLiteral("です\n") +
                QStringLiteral("クリップボードに現在のＩＰアドレスをコピーしました");
  } else {
    n.clipboard = QStringLiteral("localhost");
    n.message = QStringLiteral(
        "現在ネットワークには繋がっていません\n"
        "あなたの現在のＩＰアドレスはlocalhostです\n"
        "クリップボードに現在のＩＰアドレスをコピーしました");
  }
  n.message += QStringLiteral("\n\n") + ReachabilityLines(r);
  return n;
}

QString PortAdvice(const Reachability& r) {
  const QString port = QString::number(r.port);
  const QString to_tell = AddressToCopy(r);
  switch (r.opening) {
    case PortOpening::UPnP:
    case PortOpening::NatPmp:
      return QStringLiteral(
                 "ポート%1番はルータが%2で開けています。プレイヤーには %3 を伝えて下さい。")
          .arg(port,
               r.opening == PortOpening::UPnP ? QStringLiteral("UPnP") : QStringLiteral("NAT-PMP"),
               to_tell);
    case PortOpening::NotOpen:
      return QStringLiteral("ポート%1番はルータで開いていません。ルータの設定で開けるか、")
                 .arg(port) +
             (to_tell.isEmpty()
                  ? QStringLiteral("同じLANのプレイヤーとだけ遊べます。")
                  : QStringLiteral("プレイヤーには %1 を伝えて下さい。").arg(to_tell));
    case PortOpening::Unknown:
      return QStringLiteral("ポート%1番を開けるようルータに問い合わせ中です。").arg(port);
    case PortOpening::NotServing:
      break;
  }
  return QStringLiteral("サーバになるとポート%1番を開けるようルータ（UPnP / NAT-PMP）に頼みます。")
      .arg(port);
}

QString LanAddress() {
  for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
      return address.toString();
    }
  }
  return {};
}

QString GlobalIpv6Address() {
  for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
    if (address.protocol() == QAbstractSocket::IPv6Protocol && address.isGlobal() &&
        !address.isLinkLocal() && !address.isUniqueLocalUnicast() && !address.isLoopback()) {
      QHostAddress bare = address;
      bare.setScopeId(QString());
      return bare.toString();
    }
  }
  return {};
}

}  // namespace quillora
