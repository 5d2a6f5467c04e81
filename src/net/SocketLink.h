#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <deque>
#include <functional>
#include <vector>

#include "net/Router.h"

namespace quillora {

class SocketLink;

// Links whose output is handed to their sockets together: one posted event (or the owner's
// FlushAll) writes out every link of the group that has something queued, where each link on its
// own would post an event, and wake the event loop, for itself.
class FlushGroup : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  // `link` has output queued; it is flushed with the others once control returns to the loop.
  void Mark(SocketLink* link);
  // Flushes every marked link now.
  void FlushAll();

 private:
  std::vector<QPointer<SocketLink>> marked_;
  bool posted_ = false;
};

// The router's view of one QTcpSocket. Writes are queued as shared byte arrays (a relayed
// packet is encoded once and the same bytes go to every recipient) and handed to the socket
// when control returns to the event loop, so that everything one pass of the relay wrote to a
// socket leaves in one write.
//
// The link also tells how its reader is doing: Backlog() is what waits for the peer, and
// StalledMs() how long that has waited without any of it leaving. A reader that is merely slow
// keeps making progress; one that stopped reading makes none. The owner decides what to do with
// that (see RelayPump); the link itself only cuts when it was given an overflow callback and the
// backlog passes the cap.
class SocketLink : public QObject, public Link {
  Q_OBJECT

 public:
  // Output a peer may leave unread before it can be cut (with readers that drain, flow control
  // keeps backlogs far below this).
  static constexpr qint64 kDefaultOutputCap = 512 * 1024;

  // on_overflow, when given, runs once when the backlog passes the cap; the link counts as
  // disconnected from then on. It must not destroy anything synchronously.
  explicit SocketLink(QTcpSocket* socket, std::function<void()> on_overflow = {},
                      qint64 output_cap = kDefaultOutputCap);

  bool IsConnected() const override;
  void Write(const QByteArray& bytes) override;

  // Hands what is queued to the socket in one write, once the socket has sent what it held.
  // Runs by itself after each pass.
  void Flush();
  // Hands everything queued to the socket now; the owner calls it before closing the socket so
  // that a goodbye still leaves.
  void FlushForClose();

  // Bytes waiting for the peer: queued here plus those the socket has not sent yet.
  qint64 Backlog() const;
  // How long output has waited without moving; 0 when nothing waits.
  qint64 StalledMs() const;
  qint64 OutputCap() const { return output_cap_; }

  // From now on the link's output is flushed with the group's (which must outlive the link or
  // be left by Join(nullptr)).
  void Join(FlushGroup* group) { group_ = group; }

  QTcpSocket* Socket() const { return socket_; }
  // The socket is going away; the link stays behind as a closed one.
  void Detach();
  bool Overflowed() const { return overflowed_; }

 signals:
  // Some output left for the peer (the owner may read more input now).
  void drained();

 private:
  void OnBytesWritten();
  void Hand(bool closing);
  void Progress();
  // Writes the queue straight to the descriptor while the socket holds nothing unsent;
  // returns false when that is not possible here.
  bool WriteDirect();

  QPointer<QTcpSocket> socket_;
  std::function<void()> on_overflow_;
  qint64 output_cap_;
  bool overflowed_ = false;
  std::deque<QByteArray> queue_;
  qint64 queued_ = 0;
  bool flush_posted_ = false;
  FlushGroup* group_ = nullptr;
  QElapsedTimer clock_;
  qint64 last_progress_ms_ = 0;
};

// The classic socket error number for a Qt socket error (10061 refused, 10060 timed out,
// 10054 reset or closed by the peer, 10052 network reset, 10058 operation on a shut-down
// socket, ...).
int SocketErrorNumber(QAbstractSocket::SocketError error);

// True for the numbers after which the server announces the participant as gone.
bool IsDepartureError(int number);

}  // namespace quillora
