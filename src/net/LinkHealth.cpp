#include "net/LinkHealth.h"

#include <QAbstractSocket>

#if defined(Q_OS_WIN)
#include <mstcpip.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#elif defined(Q_OS_UNIX)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace quillora {

namespace {

#if defined(Q_OS_UNIX)
bool SetInt(int fd, int level, int name, int value) {
  return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}
#endif

}  // namespace

bool ApplyLinkHealth(QAbstractSocket& socket, const LinkHealthTimers& t) {
  const qintptr descriptor = socket.socketDescriptor();
  if (descriptor < 0) return false;
#if defined(Q_OS_LINUX)
  const int fd = static_cast<int>(descriptor);
  bool ok = SetInt(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
  ok = SetInt(fd, IPPROTO_TCP, TCP_KEEPIDLE, t.idle_s) && ok;
  ok = SetInt(fd, IPPROTO_TCP, TCP_KEEPINTVL, t.interval_s) && ok;
  ok = SetInt(fd, IPPROTO_TCP, TCP_KEEPCNT, t.probes) && ok;
  // Without this, data that is never acknowledged is retried for a quarter of an hour and the
  // keepalive never starts, because the connection is not idle.
  ok = SetInt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, t.user_timeout_s * 1000) && ok;
  return ok;
#elif defined(Q_OS_MACOS)
  const int fd = static_cast<int>(descriptor);
  bool ok = SetInt(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
  ok = SetInt(fd, IPPROTO_TCP, TCP_KEEPALIVE, t.idle_s) && ok;  // macOS's name for the idle time
  ok = SetInt(fd, IPPROTO_TCP, TCP_KEEPINTVL, t.interval_s) && ok;
  ok = SetInt(fd, IPPROTO_TCP, TCP_KEEPCNT, t.probes) && ok;
#if defined(TCP_RXT_CONNDROPTIME)
  // Closest to a user timeout: how long retransmissions go on before the connection drops.
  ok = SetInt(fd, IPPROTO_TCP, TCP_RXT_CONNDROPTIME, t.user_timeout_s) && ok;
#endif
  return ok;
#elif defined(Q_OS_WIN)
  const SOCKET s = static_cast<SOCKET>(descriptor);
  // Windows 10 1709 and later take the three values one by one; older systems only the
  // combined SIO_KEEPALIVE_VALS (which has no probe count: Windows sends 10).
  DWORD on = 1;
  bool ok =
      ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on) == 0;
#if defined(TCP_KEEPIDLE) && defined(TCP_KEEPINTVL) && defined(TCP_KEEPCNT)
  DWORD idle = t.idle_s, interval = t.interval_s, probes = t.probes;
  ok = ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, reinterpret_cast<const char*>(&idle),
                    sizeof idle) == 0 &&
       ok;
  ok = ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, reinterpret_cast<const char*>(&interval),
                    sizeof interval) == 0 &&
       ok;
  ok = ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, reinterpret_cast<const char*>(&probes),
                    sizeof probes) == 0 &&
       ok;
#else
  tcp_keepalive values{1, static_cast<ULONG>(t.idle_s) * 1000,
                       static_cast<ULONG>(t.interval_s) * 1000};
  DWORD returned = 0;
  ok = ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
                  nullptr) == 0 &&
       ok;
#endif
#if defined(TCP_MAXRT)
  // Seconds of retransmission before the connection is given up.
  DWORD max_rt = t.user_timeout_s;
  ok = ::setsockopt(s, IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&max_rt),
                    sizeof max_rt) == 0 &&
       ok;
#endif
  return ok;
#else
  // Elsewhere at least the system's own keepalive.
  socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
  (void)t;
  return false;
#endif
}

bool LinkLooksDead(const QAbstractSocket& socket) {
  const qintptr descriptor = socket.socketDescriptor();
  if (descriptor < 0) return false;
#if defined(Q_OS_LINUX)
  tcp_info info{};
  socklen_t length = sizeof info;
  if (::getsockopt(static_cast<int>(descriptor), IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
    return false;
  }
  return info.tcpi_probes > 0 || info.tcpi_retransmits > 0 || info.tcpi_backoff > 0;
#else
  return false;
#endif
}

}  // namespace quillora
