#include "net/SocketLink.h"

namespace quillora {

SocketLink::SocketLink(QTcpSocket* socket, std::function<void()> on_overflow, qint64 output_cap)
    : socket_(socket), on_overflow_(std::move(on_overflow)), output_cap_(output_cap) {}

bool SocketLink::IsConnected() const {
  return socket_ && !overflowed_ && socket_->state() == QAbstractSocket::ConnectedState;
}

void SocketLink::Write(const QByteArray& bytes) {
  if (!IsConnected()) return;
  socket_->write(bytes);
  if (socket_->bytesToWrite() > output_cap_) {
    overflowed_ = true;
    if (on_overflow_) on_overflow_();
  }
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
