// Reconnection support of the session: quiet redials, link health on every connection and the
// removal of a participant's stale row when it joins again.
#include <QTcpSocket>

#include "core/Instance.h"
#include "net/LinkHealth.h"
#include "net/MessageCodes.h"
#include "net/Session.h"

namespace quillora {

void Session::Redial() {
  if (Active() || typed_answer_.isEmpty()) return;
  quiet_ = true;
  Connect(typed_answer_);
  if (!Active()) quiet_ = false;  // nothing started (a local port that cannot be bound)
}

void Session::AbandonRedial() {
  if (instance_.SessionMode == ModeConnecting) {
    CloseClient(false);
    EnterNoMode(QString());
  }
  quiet_ = false;
}

void Session::WatchLink(QTcpSocket* socket) {
  if (socket) ApplyLinkHealth(*socket);
}

void Session::DropStaleTwins(int r) {
  const Participant* joined = instance_.ParticipantAt(r);
  if (!joined || joined->Handle.isEmpty()) return;
  // Participant 1 is our own user on the loopback address: never stale.
  for (int k = 2; k <= instance_.SocketCount; ++k) {
    if (k == r) continue;
    const Participant* row = instance_.ParticipantAt(k);
    QTcpSocket* socket = ServerSocket(k);
    if (!row || !row->Present || row->Handle != joined->Handle) continue;
    // The same handle on a connection that is closed (and waits for the watch timer) or that
    // the kernel is already giving up on: the participant is back before the old connection
    // was announced. Announce it now.
    const bool stale =
        !socket || socket->state() != QAbstractSocket::ConnectedState || LinkLooksDead(*socket);
    if (!stale) continue;
    CloseServerSocket(k);
    // Everyone but the newcomer, who has not been told of the old row and never will be.
    for (int j = 1; j <= instance_.SocketCount; ++j) {
      const QTcpSocket* to = ServerSocket(j);
      if (j == r || !to || to->state() != QAbstractSocket::ConnectedState) continue;
      Packet gone(msg::kParticipantLeft, 0, static_cast<int16_t>(k), static_cast<int16_t>(j));
      gone.Add(static_cast<int16_t>(k));
      router_.SendPacket(RouteOne, gone);
    }
  }
}

}  // namespace quillora
