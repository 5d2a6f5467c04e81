#include "net/RelayPump.h"

#include <QTcpSocket>
#include <algorithm>
#include <vector>

namespace quillora {

RelayPump::RelayPump(std::function<void(int, QByteArrayView)> deliver, std::function<void(int)> cut,
                     QObject* parent)
    : QObject(parent), deliver_(std::move(deliver)), cut_(std::move(cut)) {
  check_.setInterval(kCheckMs);
  connect(&check_, &QTimer::timeout, this, &RelayPump::Check);
  connect(&gap_, &FineTimer::timeout, this, [this] { Pass(); });
  clock_.start();
}

void RelayPump::Add(int k, QTcpSocket* socket, SocketLink* link, bool own) {
  entries_[k] = Entry{socket, link, own};
  link->Join(&flush_group_);
  socket->setReadBufferSize(kReadBuffer);
  connect(socket, &QTcpSocket::readyRead, this, [this, k] { Readable(k); });
  connect(link, &SocketLink::drained, this, [this] {
    if (paused_ || holding_bulk_) Schedule();
  });
  if (!check_.isActive()) check_.start();
  Schedule();
}

void RelayPump::Remove(int k) {
  const auto it = entries_.find(k);
  if (it == entries_.end()) return;
  if (it->second.socket) it->second.socket->disconnect(this);
  if (it->second.link) {
    it->second.link->disconnect(this);
    it->second.link->Join(nullptr);
  }
  entries_.erase(it);
  // The one holding everybody back may have been this one.
  if (paused_) Schedule();
}

void RelayPump::Clear() {
  while (!entries_.empty()) Remove(entries_.begin()->first);
  check_.stop();
  paused_ = false;
}

void RelayPump::Schedule() {
  if (pass_posted_) return;
  pass_posted_ = true;
  // Queued, so that socket events, timers and the windows run between passes.
  const qint64 since_us = since_pass_.isValid() ? since_pass_.nsecsElapsed() / 1000 : gap_us_;
  if (since_us >= gap_us_) {
    QMetaObject::invokeMethod(
        this, [this] { Pass(); }, Qt::QueuedConnection);
  } else {
    gap_.Start(gap_us_ - since_us);
  }
}

void RelayPump::Readable(int k) {
  const auto it = entries_.find(k);
  if (it == entries_.end() || clock_.elapsed() - it->second.last_read_ms < kQuietMs) {
    Schedule();
    return;
  }
  if (quick_posted_) return;
  quick_posted_ = true;
  QMetaObject::invokeMethod(
      this, [this] { Pass(true); }, Qt::QueuedConnection);
}

bool RelayPump::Draining(const Entry& e) const { return e.own || e.link->StalledMs() < kStallMs; }

bool RelayPump::Behind(qint64 bytes) const {
  for (const auto& [k, e] : entries_) {
    if (e.link && e.link->IsConnected() && e.link->UrgentBacklog() > bytes && Draining(e)) {
      return true;
    }
  }
  return false;
}

bool RelayPump::BulkBehind() const {
  for (const auto& [k, e] : entries_) {
    if (e.link && e.link->IsConnected() && e.link->BulkBacklog() > kBulkBehind && Draining(e)) {
      return true;
    }
  }
  return false;
}

void RelayPump::Pass(bool quick) {
  if (quick) {
    quick_posted_ = false;
  } else {
    pass_posted_ = false;
    gap_.Stop();
  }
  paused_ = Behind(kFarBehind);
  if (paused_) return;  // a link's drained() or the check timer schedules the next pass
  const qint64 now_ms = clock_.elapsed();
  const bool behind = Behind(kBehind);
  const qint64 base_share = behind ? kTrickleShare : kShare;
  if (!quick) since_pass_.start();

  // Handlers may close sockets (and so remove entries) while a pass runs.
  std::vector<int> order;
  order.reserve(entries_.size());
  for (const auto& [k, e] : entries_) {
    if (!quick || now_ms - e.last_read_ms >= kQuietMs) order.push_back(k);
  }
  // Every byte read goes out to every reader: with many senders behind at once, one share each
  // would queue megabytes for each reader in a single pass. The pass's input is bounded, in
  // equal shares.
  int senders = 0;
  for (const auto& [k, e] : entries_) {
    if (e.socket && e.socket->bytesAvailable() > 0) ++senders;
  }
  const qint64 share =
      std::max(kTrickleShare, std::min(base_share, kPassInput / std::max(1, senders)));
  bool more = false;
  const bool bulk_behind = BulkBehind();
  if (!quick) holding_bulk_ = false;
  char buffer[kBulkShare + 1];
  for (const int k : order) {
    const auto it = entries_.find(k);
    if (it == entries_.end()) continue;
    QTcpSocket* socket = it->second.socket;
    if (!socket) continue;
    const qint64 available = socket->bytesAvailable();
    if (available <= 0) continue;
    if (bulk_behind && it->second.sends_bulk) {
      holding_bulk_ = true;  // a link's progress schedules the next pass
      continue;
    }
    it->second.last_read_ms = now_ms;
    const qint64 got = socket->read(
        buffer, ShareToRead(available, it->second.sends_bulk && !behind ? kBulkShare : share));
    const quint64 bulk_before = flush_group_.BulkWrites();
    if (got > 0) deliver_(k, QByteArrayView(buffer, got));
    const auto again = entries_.find(k);
    if (again != entries_.end() && got > 0) {
      again->second.sends_bulk = flush_group_.BulkWrites() != bulk_before;
    }
    if (again != entries_.end() && again->second.socket &&
        again->second.socket->bytesAvailable() > 0) {
      more = true;
    }
  }
  flush_group_.FlushAll();
  // The next regular pass: a frame away while output is behind; soon when everyone's input fit
  // in this pass; later when someone sends faster than his share, so that a flooder's share
  // stays what it was and others' lines do not queue behind twice as much of his.
  if (!quick)
    gap_us_ = behind ? qint64{kTrickleGapMs} * 1000 : (more ? kFullPassGapUs : kPassGapUs);
  if (more) Schedule();
}

void RelayPump::Check() {
  std::vector<int> stuck;
  for (const auto& [k, e] : entries_) {
    if (e.own || !e.link || !e.link->IsConnected()) continue;
    if (e.link->Backlog() > e.link->OutputCap() && e.link->StalledMs() >= cut_ms_) {
      stuck.push_back(k);
    }
  }
  for (const int k : stuck) cut_(k);
  // A reader that has just been found stalled no longer holds the others back.
  if (paused_ || holding_bulk_) Schedule();
}

}  // namespace quillora
