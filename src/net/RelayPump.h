#pragma once

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>

#include "net/FineTimer.h"
#include "net/SocketLink.h"

class QTcpSocket;

namespace quillora {

// How much to ask a socket for when it holds `available` bytes and one share is `share`. A
// socket with a bounded read buffer stops taking bytes from the system once that buffer is
// full, and only starts again when a read asks for more than the buffer holds; so a read that
// would empty the buffer asks for one byte more.
inline qint64 ShareToRead(qint64 available, qint64 share) {
  return available < share ? available + 1 : (available == share ? share + 1 : share);
}

// How the server takes input from its participants' sockets.
//
// Reading happens in passes. Each pass takes at most kShare bytes from every socket in turn, so
// one participant who sends as fast as the network allows gets the same share as anyone else
// and the others' chat goes through between his packets; with many senders behind at once the
// shares shrink so that a pass reads at most kPassInput in all (each byte read is queued for
// every reader). A socket's unread input stays in the
// kernel (Qt holds at most kReadBuffer of it), so TCP slows a sender we do not read.
//
// Passes follow each other at least kPassGapUs apart, or kFullPassGapUs after a pass that left
// some socket with more than its share (a sender faster than any typist). Under light load input
// is read the moment it arrives; under heavy load each pass carries more packets, so every
// participant gets them in fewer, larger writes: what one pass wrote to a socket leaves in one
// write, together with the other links' output (one FlushGroup), at the end of the pass. A write
// costs the host nearly as much for one packet as for a pass's worth (on loopback the system
// does the receiving side's work in the same call), so the gap trades the host's time for the
// players' latency: with no gap at all, the writes of a busy session take the host's whole
// thread. The gap is timed in microseconds (FineTimer): a timer of whole milliseconds would round
// half a millisecond up to one or two.
//
// A socket that has been quiet for kQuietMs (someone typing at a human pace) is read the moment
// its input arrives, in a quick pass of its own between two regular ones: a line typed beside a
// flood does not wait for the flood's next pass, and leaves ahead of the flood's next share.
//
// Flow control: while some reader that is still draining has more than kBehind bytes of output
// waiting, passes come once a frame (kTrickleGapMs) and take only kTrickleShare from each
// socket: a flooder then gets a trickle through while someone chatting at a human pace still
// gets every line through within a frame or two. Past kFarBehind no pass runs at all; reading
// resumes as soon as output moves again. The relay therefore runs at the pace of its slowest
// *draining* reader (often the host's own window) instead of swelling or cutting anybody.
//
// File pieces do not count as being behind: they wait in the links' bulk queues, behind
// everything else (see SocketLink), so they hold no chat line back. Instead, while some draining
// reader has more than kBulkBehind of pieces queued, the sockets whose input last turned into
// pieces are not read: a transfer goes at the pace of its slowest draining receiver, the
// sender's TCP slows it meanwhile, and everybody else's input is read as usual. Otherwise such a
// sender gets kBulkShare per pass, so that a transfer keeps up with a fast line.
//
// Draining or not is told apart by progress: a reader whose waiting output has not moved for
// kStallMs has stopped reading (a frozen program, a pulled cable) and no longer holds the
// others back; a reader that drains moves bytes at least once per network round trip, far more
// often than that. If its backlog then passes the link's cap and still does not move for
// kCutMs, the pump asks for the connection to be cut. The host's own loopback connection
// (participant 1) lives in this very process and always drains eventually: it always counts as
// draining and is never cut.
class RelayPump : public QObject {
  Q_OBJECT

 public:
  static constexpr qint64 kShare = 16 * 1024;
  // What one pass reads from all sockets together at most (see Pass()).
  static constexpr qint64 kPassInput = 512 * 1024;
  static constexpr qint64 kReadBuffer = 64 * 1024;
  static constexpr qint64 kBehind = 96 * 1024;
  static constexpr qint64 kFarBehind = 384 * 1024;
  static constexpr qint64 kBulkBehind = 64 * 1024;
  // What a pass takes from a sender of pieces while nobody is behind with them: pieces are few
  // and large, so four shares of them cost a pass no more than one share of chat.
  static constexpr qint64 kBulkShare = 4 * kShare;
  static constexpr qint64 kTrickleShare = 1024;
  static constexpr int kTrickleGapMs = 16;
  static constexpr int kStallMs = 500;
  static constexpr int kCutMs = 5000;
  static constexpr int kCheckMs = 250;
  static constexpr qint64 kPassGapUs = 500;
  static constexpr qint64 kFullPassGapUs = 2000;
  static constexpr qint64 kQuietMs = 50;

  // deliver(k, bytes): input of participant k, in order. cut(k): participant k stopped reading
  // and is over its cap; called from a timer, never inside a pass.
  RelayPump(std::function<void(int, QByteArrayView)> deliver, std::function<void(int)> cut,
            QObject* parent = nullptr);

  // Takes socket k (with its link) into the passes; `own` marks the host's loopback connection.
  void Add(int k, QTcpSocket* socket, SocketLink* link, bool own);
  void Remove(int k);
  void Clear();

  // True while reading is held back because output is behind.
  bool Paused() const { return paused_; }
  // For tests: how long a silent reader may hold output before it is cut.
  void SetCutAfter(int ms) { cut_ms_ = ms; }

 private:
  struct Entry {
    QPointer<QTcpSocket> socket;
    SocketLink* link = nullptr;
    bool own = false;
    bool sends_bulk = false;          // its last input turned into file pieces
    qint64 last_read_ms = -kQuietMs;  // on clock_
  };

  void Schedule();
  // Input arrived at socket k: a quick pass when k has been quiet, else the regular rhythm.
  void Readable(int k);
  // A regular pass reads every socket with input; a quick one only those that were quiet.
  void Pass(bool quick = false);
  void Check();
  // True when some reader that still drains has more than `bytes` of output waiting.
  bool Behind(qint64 bytes) const;
  // True when some draining reader has more than kBulkBehind of pieces queued.
  bool BulkBehind() const;
  bool Draining(const Entry& e) const;

  std::function<void(int, QByteArrayView)> deliver_;
  std::function<void(int)> cut_;
  std::map<int, Entry> entries_;
  FlushGroup flush_group_;
  QTimer check_;
  FineTimer gap_;  // holds the next pass back until gap_us_ after the last one began
  QElapsedTimer since_pass_;
  QElapsedTimer clock_;
  bool pass_posted_ = false;
  bool quick_posted_ = false;
  bool paused_ = false;
  bool holding_bulk_ = false;   // a pass left a sender of pieces unread
  qint64 gap_us_ = kPassGapUs;  // before the next pass: short, or a frame while behind
  int cut_ms_ = kCutMs;
};

}  // namespace quillora
