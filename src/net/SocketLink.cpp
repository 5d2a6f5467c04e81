#include "net/SocketLink.h"

#ifdef Q_OS_UNIX
#include <errno.h>
#include <sys/socket.h>
#include <sys/uio.h>
#endif

namespace quillora {

namespace {
// Buffers handed to the kernel in one call at most (well under any system's IOV_MAX).
constexpr int kMaxBuffers = 256;
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
  if (socket_) {
    connect(socket_, &QTcpSocket::bytesWritten, this, &SocketLink::OnBytesWritten);
  }
}

bool SocketLink::IsConnected() const {
  return socket_ && !overflowed_ && socket_->state() == QAbstractSocket::ConnectedState;
}

void SocketLink::Write(const QByteArray& bytes) {
  if (!IsConnected() || bytes.isEmpty()) return;
  // From idle, the wait for the peer starts now.
  if (Backlog() == 0) last_progress_ms_ = clock_.elapsed();
  queue_.push_back(bytes);
  queued_ += bytes.size();
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
    queue_.clear();
    queued_ = 0;
    on_overflow_();
  }
}

qint64 SocketLink::Backlog() const { return queued_ + (socket_ ? socket_->bytesToWrite() : 0); }

qint64 SocketLink::StalledMs() const {
  if (Backlog() == 0) return 0;
  return clock_.elapsed() - last_progress_ms_;
}

void SocketLink::Detach() {
  if (socket_) socket_->disconnect(this);
  socket_ = nullptr;
  queue_.clear();
  queued_ = 0;
}

void SocketLink::Progress() {
  last_progress_ms_ = clock_.elapsed();
  emit drained();
}

void SocketLink::OnBytesWritten() {
  if (socket_ && socket_->bytesToWrite() == 0 && !queue_.empty()) Flush();
  Progress();
}

void SocketLink::Flush() { Hand(false); }

void SocketLink::FlushForClose() { Hand(true); }

void SocketLink::Hand(bool closing) {
  flush_posted_ = false;
  if (queue_.empty() || !socket_) return;
  if (socket_->state() != QAbstractSocket::ConnectedState) {
    queue_.clear();
    queued_ = 0;
    return;
  }
  // Bytes the socket still holds go first; the queue follows once they have left (or at once
  // behind them when the socket is about to close).
  if (socket_->bytesToWrite() > 0 && !closing) return;
  if (socket_->bytesToWrite() == 0 && (WriteDirect() || queue_.empty())) return;
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
      queue_.clear();
      queued_ = 0;
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
