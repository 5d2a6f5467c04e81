#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>
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
  // Bulk packets written to the group's links so far.
  quint64 BulkWrites() const { return bulk_writes_; }
  void NoteBulk() { ++bulk_writes_; }

 private:
  std::vector<QPointer<SocketLink>> marked_;
  quint64 bulk_writes_ = 0;
  bool posted_ = false;
};

// How many bytes of file pieces one TCP connection may have in the system at a time (sent or
// not, until acknowledged): what the connection delivers in its shortest round trip plus
// SocketLink::kBulkQueueMs, between SocketLink::kBulkInFlight and kBulkMaxInFlight. A chat line
// written meanwhile then finds about kBulkQueueMs of pieces ahead of it, on the line and in the
// queues of the routers along it, while the line never runs dry.
//
// The delivery rate is the pacer's own: the bytes acknowledged over windows of a round trip
// (at least kWindowMs) while pieces were waiting. It starts from the floor. The system's own
// figure (tcpi_delivery_rate) cannot be used: it keeps the fastest sample of a connection
// that is seldom busy, and that is the few bytes of its greeting, which reach the far end
// before any queue has formed; a home line would be taken for a loopback one. While the
// round trip is short against kBulkQueueMs the allowance grows by that ratio each window;
// once pieces wait in a queue along the way, the round trip grows with it and the allowance
// settles where about kBulkQueueMs of pieces wait.
class BulkPacer {
 public:
  static constexpr int kWindowMs = 2;

  // How many more bytes of pieces the system may take for the connected TCP socket `fd` now
  // (negative while it holds more than it may); nullopt where that cannot be told. Call it
  // whenever pieces wait to be handed over.
  std::optional<qint64> Room(qintptr fd);

 private:
  QElapsedTimer clock_;
  qint64 window_start_us_ = -1;
  quint64 window_acked_ = 0;
  double bytes_per_us_ = 0;  // 0: not measured yet
};

// The router's view of one QTcpSocket. Writes are queued as shared byte arrays (a relayed
// packet is encoded once and the same bytes go to every recipient) and handed to the socket
// when control returns to the event loop, so that everything one pass of the relay wrote to a
// socket leaves in one write.
//
// Two queues: file pieces (WriteBulk) wait in a queue of their own and reach the system only
// while nothing else waits and the system holds less than kBulkInFlight of the link's bytes, so
// a transfer can use the whole line and a chat line written meanwhile still finds at most
// kBulkInFlight ahead of it. A packet other than chat whose sender has pieces waiting goes behind
// them, so that what refers to a file (its announcement) never arrives before it.
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
  // The link's bytes the system may hold (sent or not, until acknowledged) before more pieces
  // go: what the line delivers in one round trip plus kBulkQueueMs, so that the line stays busy
  // while a chat line written meanwhile finds only about kBulkQueueMs of pieces ahead of it (see
  // BulkPacer).
  static constexpr qint64 kBulkInFlight = 16 * 1024;  // the floor
  static constexpr qint64 kBulkMaxInFlight = 256 * 1024;
  static constexpr int kBulkQueueMs = 25;
  // How soon to look again whether the system has taken pieces away.
  static constexpr int kBulkRecheckMs = 1;

  // on_overflow, when given, runs once when the backlog passes the cap; the link counts as
  // disconnected from then on. It must not destroy anything synchronously.
  explicit SocketLink(QTcpSocket* socket, std::function<void()> on_overflow = {},
                      qint64 output_cap = kDefaultOutputCap);

  bool IsConnected() const override;
  void Write(const QByteArray& bytes) override;
  void WriteBulk(const QByteArray& bytes) override;

  // Hands what is queued to the socket in one write, once the socket has sent what it held.
  // Runs by itself after each pass.
  void Flush();
  // Hands everything queued to the socket now; the owner calls it before closing the socket so
  // that a goodbye still leaves.
  void FlushForClose();

  // Bytes waiting for the peer: queued here plus those the socket has not sent yet.
  qint64 Backlog() const;
  // The part of it that is not bulk: what a chat line written now waits behind here.
  qint64 UrgentBacklog() const { return Backlog() - bulk_queued_; }
  qint64 BulkBacklog() const { return bulk_queued_; }
  // Bulk packets (WriteBulk) handed to this link so far.
  quint64 BulkWritten() const { return bulk_written_; }
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
  // Moves bulk into the queue while the system holds little of this link's output; true when
  // some moved.
  bool MoveBulk();
  // How many more bytes of pieces the system may take now (see kBulkInFlight; negative while
  // it holds more than that); nullopt when that cannot be told here.
  std::optional<qint64> BulkRoom();
  void Queue(const QByteArray& bytes);
  void PushBulk(const QByteArray& bytes, int sender);
  void PopBulk();
  void ClearQueues();
  // Something was queued: posts the flush and watches the cap.
  void Queued();

  QPointer<QTcpSocket> socket_;
  std::function<void()> on_overflow_;
  qint64 output_cap_;
  bool overflowed_ = false;
  struct BulkItem {
    QByteArray bytes;
    int sender;
  };
  std::deque<QByteArray> queue_;
  qint64 queued_ = 0;
  std::deque<BulkItem> bulk_;
  qint64 bulk_queued_ = 0;
  quint64 bulk_written_ = 0;
  // How many of bulk_ each sender has (a handful of senders at most).
  std::vector<std::pair<int, int>> bulk_senders_;
  QTimer bulk_timer_;
  BulkPacer pacer_;
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
