#pragma once

#include <QAbstractSocket>
#include <QPointer>
#include <QTcpSocket>
#include <functional>

#include "net/Router.h"

namespace quillora {

// The router's view of one QTcpSocket. Writes are buffered by the socket; when a peer stops
// reading and the unsent output passes the cap, the link stops writing, reports the overflow
// once and counts as disconnected from then on. The owner closes the socket (never inside the
// router's loop: on_overflow must not destroy anything synchronously).
class SocketLink : public Link {
 public:
  static constexpr qint64 kDefaultOutputCap = 4 * 1024 * 1024;

  SocketLink(QTcpSocket* socket, std::function<void()> on_overflow,
             qint64 output_cap = kDefaultOutputCap);

  bool IsConnected() const override;
  void Write(const QByteArray& bytes) override;

  QTcpSocket* Socket() const { return socket_; }
  // The socket is going away; the link stays behind as a closed one.
  void Detach() { socket_ = nullptr; }
  bool Overflowed() const { return overflowed_; }

 private:
  QPointer<QTcpSocket> socket_;
  std::function<void()> on_overflow_;
  qint64 output_cap_;
  bool overflowed_ = false;
};

// The classic socket error number for a Qt socket error (10061 refused, 10060 timed out,
// 10054 reset or closed by the peer, 10052 network reset, 10058 operation on a shut-down
// socket, ...).
int SocketErrorNumber(QAbstractSocket::SocketError error);

// True for the numbers after which the server announces the participant as gone.
bool IsDepartureError(int number);

}  // namespace quillora
