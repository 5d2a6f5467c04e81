#include "net/SocketLink.h"

#ifdef Q_OS_UNIX
#include <errno.h>
#include <sys/socket.h>
#include <sys/uio.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>

#include <cstddef>
#endif

#include <algorithm>

#include "net/PacketCodec.h"

namespace quillora {

namespace {
// Buffers handed to the kernel in one call at most (well under any system's IOV_MAX).
constexpr int kMaxBuffers = 256;
// How often one flush looks again for room for pieces.
constexpr int kBulkLooks = 8;

int SenderOf(const QByteArray& bytes) {
  return bytes.size() >= kPacketHeaderSize ? RawWord(bytes, 4) : -1;
}
}  // namespace

void FlushGroup::Mark(SocketLink* link) {
  marked_.emplace_back(link);
  if (!posted_) {
    posted_ = true;
    QMetaObject::invokeMethod(this, &FlushGroup::FlushAll, Qt::QueuedConnection);
  }
}

void FlushGroup::FlushAll() {
  posted_ = false;
  // Flushing runs no handlers, but a link may go away between marking and now.
  std::vector<QPointer<SocketLink>> marked;
  marked.swap(marked_);
  for (const QPointer<SocketLink>& link : marked) {
    if (link) link->Flush();
  }
}

SocketLink::SocketLink(QTcpSocket* socket, std::function<void()> on_overflow, qint64 output_cap)
    : socket_(socket), on_overflow_(std::move(on_overflow)), output_cap_(output_cap) {
  clock_.start();
  bulk_timer_.setSingleShot(true);
  bulk_timer_.setTimerType(Qt::PreciseTimer);
  connect(&bulk_timer_, &QTimer::timeout, this, &SocketLink::Flush);
  if (socket_) {
    connect(socket_, &QTcpSocket::bytesWritten, this, &SocketLink::OnBytesWritten);
  }
}

bool SocketLink::IsConnected() const {
  return socket_ && !overflowed_ && socket_->state() == QAbstractSocket::ConnectedState;
}

void SocketLink::Write(const QByteArray& bytes) {
  if (!IsConnected() || bytes.isEmpty()) return;
  if (!bulk_.empty() && !IsChatPacket(bytes)) {
    const int sender = SenderOf(bytes);
    if (std::any_of(bulk_senders_.begin(), bulk_senders_.end(),
                    [sender](const auto& entry) { return entry.first == sender; })) {
      PushBulk(bytes, sender);  // after that sender's pieces
      return;
    }
  }
  Queue(bytes);
}

void SocketLink::WriteBulk(const QByteArray& bytes) {
  if (!IsConnected() || bytes.isEmpty()) return;
  ++bulk_written_;
  if (group_) group_->NoteBulk();
  PushBulk(bytes, SenderOf(bytes));
}

void SocketLink::Queue(const QByteArray& bytes) {
  // From idle, the wait for the peer starts now.
  if (Backlog() == 0) last_progress_ms_ = clock_.elapsed();
  queue_.push_back(bytes);
  queued_ += bytes.size();
  Queued();
}

void SocketLink::PushBulk(const QByteArray& bytes, int sender) {
  if (Backlog() == 0) last_progress_ms_ = clock_.elapsed();
  bulk_.push_back(BulkItem{bytes, sender});
  bulk_queued_ += bytes.size();
  auto it = std::find_if(bulk_senders_.begin(), bulk_senders_.end(),
                         [sender](const auto& entry) { return entry.first == sender; });
  if (it == bulk_senders_.end()) {
    bulk_senders_.emplace_back(sender, 1);
  } else {
    ++it->second;
  }
  Queued();
}

void SocketLink::PopBulk() {
  const BulkItem& item = bulk_.front();
  bulk_queued_ -= item.bytes.size();
  auto it = std::find_if(bulk_senders_.begin(), bulk_senders_.end(),
                         [&item](const auto& entry) { return entry.first == item.sender; });
  if (it != bulk_senders_.end() && --it->second <= 0) bulk_senders_.erase(it);
  bulk_.pop_front();
}

void SocketLink::ClearQueues() {
  queue_.clear();
  queued_ = 0;
  bulk_.clear();
  bulk_queued_ = 0;
  bulk_senders_.clear();
  bulk_timer_.stop();
}

void SocketLink::Queued() {
  if (!flush_posted_) {
    flush_posted_ = true;
    if (group_) {
      group_->Mark(this);
    } else {
      QMetaObject::invokeMethod(this, &SocketLink::Flush, Qt::QueuedConnection);
    }
  }
  if (on_overflow_ && Backlog() > output_cap_) {
    overflowed_ = true;
    ClearQueues();
    on_overflow_();
  }
}

qint64 SocketLink::Backlog() const {
  return queued_ + bulk_queued_ + (socket_ ? socket_->bytesToWrite() : 0);
}

std::optional<qint64> BulkPacer::Room(qintptr fd) {
#ifdef Q_OS_LINUX
  int held = 0;
  if (fd < 0 || ::ioctl(static_cast<int>(fd), SIOCOUTQ, &held) != 0) return std::nullopt;
  tcp_info info{};
  socklen_t size = sizeof info;
  if (::getsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
      size < offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked) {
    return SocketLink::kBulkInFlight - held;
  }
  if (!clock_.isValid()) clock_.start();
  const qint64 now = clock_.nsecsElapsed() / 1000;
  const qint64 window = std::max<qint64>(info.tcpi_rtt, kWindowMs * 1000);
  if (window_start_us_ < 0 || now - window_start_us_ > 4 * window + 50'000) {
    // The first look, or the first after a pause: what was acknowledged meanwhile tells
    // nothing of the line.
    window_start_us_ = now;
    window_acked_ = info.tcpi_bytes_acked;
  } else if (now - window_start_us_ >= window) {
    bytes_per_us_ = static_cast<double>(info.tcpi_bytes_acked - window_acked_) /
                    static_cast<double>(now - window_start_us_);
    window_start_us_ = now;
    window_acked_ = info.tcpi_bytes_acked;
  }
  const double span_us = info.tcpi_min_rtt + SocketLink::kBulkQueueMs * 1000.0;
  const qint64 allowed = std::clamp(static_cast<qint64>(bytes_per_us_ * span_us),
                                    SocketLink::kBulkInFlight, SocketLink::kBulkMaxInFlight);
  return allowed - held;
#else
  (void)fd;
  return std::nullopt;
#endif
}

std::optional<qint64> SocketLink::BulkRoom() {
  if (!socket_) return std::nullopt;
  const std::optional<qint64> room = pacer_.Room(socket_->socketDescriptor());
  // What the socket itself still holds is on its way too.
  if (!room) return std::nullopt;
  return *room - socket_->bytesToWrite();
}

qint64 SocketLink::StalledMs() const {
  if (Backlog() == 0) return 0;
  return clock_.elapsed() - last_progress_ms_;
}

void SocketLink::Detach() {
  if (socket_) socket_->disconnect(this);
  socket_ = nullptr;
  ClearQueues();
}

void SocketLink::Progress() {
  last_progress_ms_ = clock_.elapsed();
  emit drained();
}

void SocketLink::OnBytesWritten() {
  if (socket_ && socket_->bytesToWrite() == 0 && (!queue_.empty() || !bulk_.empty())) Flush();
  Progress();
}

void SocketLink::Flush() { Hand(false); }

void SocketLink::FlushForClose() { Hand(true); }

void SocketLink::Hand(bool closing) {
  flush_posted_ = false;
  if ((queue_.empty() && bulk_.empty()) || !socket_) return;
  if (socket_->state() != QAbstractSocket::ConnectedState) {
    ClearQueues();
    return;
  }
  if (closing) {
    // A goodbye takes everything with it, pieces included, in order.
    while (!bulk_.empty()) {
      queue_.push_back(bulk_.front().bytes);
      queued_ += bulk_.front().bytes.size();
      PopBulk();
    }
  }
  // Bytes the socket still holds go first; the queue follows once they have left (or at once
  // behind them when the socket is about to close).
  if (socket_->bytesToWrite() > 0 && !closing) return;
  if (socket_->bytesToWrite() == 0 && !queue_.empty()) WriteDirect();
  // Pieces only once everything else has gone. On a fast link what was just handed over is
  // acknowledged at once and there is room again: look a few times.
  for (int look = 0; look < kBulkLooks && queue_.empty() && MoveBulk(); ++look) WriteDirect();
  if (!queue_.empty()) {
    QByteArray all;
    if (queue_.size() == 1) {
      all = queue_.front();
    } else {
      all.reserve(queued_);
      for (const QByteArray& b : queue_) all.append(b);
    }
    queue_.clear();
    queued_ = 0;
    socket_->write(all);
  }
  if (!bulk_.empty() && !bulk_timer_.isActive()) bulk_timer_.start(kBulkRecheckMs);
}

bool SocketLink::MoveBulk() {
  if (bulk_.empty()) return false;
  // Where the system's share cannot be told, a piece at a time once the socket is empty. (A
  // system that holds more than its share takes nothing: a piece then and there would add
  // one for every look, a thousand a second.)
  const std::optional<qint64> told = BulkRoom();
  const qint64 room = told ? *told : 1;
  qint64 moved = 0;
  while (!bulk_.empty() && moved < room) {
    moved += bulk_.front().bytes.size();
    queue_.push_back(bulk_.front().bytes);
    PopBulk();
  }
  queued_ += moved;
  return moved > 0;
}

bool SocketLink::WriteDirect() {
#ifdef Q_OS_UNIX
  const qintptr fd = socket_->socketDescriptor();
  if (fd < 0) return false;
  bool moved = false;
  while (!queue_.empty()) {
    iovec buffers[kMaxBuffers];
    int count = 0;
    qint64 offered = 0;
    for (auto it = queue_.begin(); it != queue_.end() && count < kMaxBuffers; ++it, ++count) {
      buffers[count].iov_base = const_cast<char*>(it->constData());
      buffers[count].iov_len = static_cast<size_t>(it->size());
      offered += it->size();
    }
    msghdr message{};
    message.msg_iov = buffers;
    message.msg_iovlen = static_cast<decltype(message.msg_iovlen)>(count);
    const ssize_t sent = ::sendmsg(static_cast<int>(fd), &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      // The connection failed; the socket reports that itself. Nothing more can leave.
      ClearQueues();
      return true;
    }
    moved = moved || sent > 0;
    queued_ -= sent;
    qint64 left = sent;
    while (left > 0) {
      QByteArray& front = queue_.front();
      if (front.size() <= left) {
        left -= front.size();
        queue_.pop_front();
      } else {
        front = front.sliced(left);
        left = 0;
      }
    }
    if (sent < offered) break;  // the kernel's buffer is full
  }
  if (moved) Progress();
  return queue_.empty();
#else
  return false;
#endif
}

int SocketErrorNumber(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return 10061;
    case QAbstractSocket::SocketTimeoutError:
      return 10060;
    case QAbstractSocket::RemoteHostClosedError:
      return 10054;
    case QAbstractSocket::NetworkError:
      return 10052;
    case QAbstractSocket::OperationError:
      return 10058;
    case QAbstractSocket::HostNotFoundError:
      return 11001;
    case QAbstractSocket::AddressInUseError:
      return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
      return 10049;
    case QAbstractSocket::SocketAccessError:
      return 10013;
    case QAbstractSocket::SocketResourceError:
      return 10055;
    case QAbstractSocket::DatagramTooLargeError:
      return 10040;
    case QAbstractSocket::UnsupportedSocketOperationError:
      return 10045;
    default:
      return 10000 + static_cast<int>(error);
  }
}

bool IsDepartureError(int number) {
  return number == 10061 || number == 10060 || number == 10058 || number == 10052 ||
         number == 10054;
}

}  // namespace quillora
