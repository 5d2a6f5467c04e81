// The session's message handlers: the join handshake and leaving on the server side, and the
// roster codes on every client.
#include <QTcpSocket>

#include "core/Instance.h"
#include "net/MessageCodes.h"
#include "net/PacketCodec.h"
#include "net/Session.h"
#include "net/SocketLink.h"

namespace quillora {

namespace {

// A participant index carried in an item: 1..32767.
int16_t IndexItem(const Packet& p, int i) {
  const int32_t v = p.Int(i);
  if (v < 1 || v > Session::kMaxIndex) throw SubscriptError();
  return static_cast<int16_t>(v);
}

}  // namespace

void Session::RegisterHandlers() {
  Dispatcher& d = *dispatcher_;
  using namespace msg;
  d.RegisterServerHandler(kHello, kHello, [this](int socket, const Packet&) { OnHello(socket); });
  d.RegisterServerHandler(kJoin, kJoin, [this](int, const Packet& p) { OnJoin(p); });
  d.RegisterServerHandler(kChangeHandle, kChangeHandle,
                          [this](int, const Packet& p) { OnHandleChange(p); });
  d.RegisterServerHandler(kLeave, kLeave, [this](int, const Packet& p) { OnLeave(p); });
  d.RegisterServerHandler(kAnswer, kAnswer,
                          [this](int socket, const Packet& p) { OnAnswer(socket, p); });

  d.RegisterClientHandler(kParticipantJoined, kParticipantJoined,
                          [this](const Packet& p) { OnParticipant(p); });
  d.RegisterClientHandler(kWelcome, kWelcome, [this](const Packet& p) { OnIndex(p); });
  d.RegisterClientHandler(kParticipantLeft, kParticipantLeft,
                          [this](const Packet& p) { OnParticipantLeft(p); });
  d.RegisterClientHandler(kHandleChanged, kHandleChanged,
                          [this](const Packet& p) { OnRenamed(p); });
  d.RegisterClientHandler(kChallenge, kChallenge, [this](const Packet& p) { OnChallenge(p); });
  d.RegisterClientHandler(kRefused, kRefused, [this](const Packet& p) { OnRefused(p); });
  d.RegisterClientHandler(kRemoved, kRemoved, [this](const Packet& p) { OnRemoved(p); });
}

// --- server side -----------------------------------------------------------------------------

void Session::OnHello(int socket) {
  if (socket >= 1 && socket < static_cast<int>(slots_.size())) {
    ServerSlot& slot = slots_[socket];
    if (slot.hello_at < 0) slot.hello_at = gate_clock_.elapsed();
    if (!slot.admitted) {
      // The password is asked for first; the index follows the proof.
      if (!slot.nonce.isEmpty() || !slot.link) return;
      slot.nonce = Gatekeeper::NewNonce();
      slot.challenged_at = gate_clock_.elapsed();
      Packet challenge(msg::kChallenge, 0, 0, static_cast<int16_t>(socket));
      challenge.SetBin(slot.nonce);
      slot.link->Write(EncodePacket(challenge));
      return;
    }
  }
  Packet reply(msg::kWelcome, 0, 0, static_cast<int16_t>(socket));
  reply.Add(static_cast<int16_t>(socket))
      .Add(int32_t{kVersionMajor})
      .Add(int32_t{kVersionMinor})
      .Add(int32_t{kVersionRevision});
  router_.SendPacket(RouteOne, reply);
}

void Session::OnJoin(const Packet& p) {
  const int r = p.SenderIndex;
  if (r < 1 || r > instance_.SocketCount) throw SubscriptError();
  if (r < static_cast<int>(slots_.size())) {
    slots_[r].announced = true;
    slots_[r].joined_at = gate_clock_.elapsed();
  }
  const QString handle = p.Text(1);
  const int32_t color = p.Int(2);
  Participant& row = state().Row(r);
  row.Present = true;
  row.Index = static_cast<int16_t>(r);
  row.Handle = handle;
  row.Color = static_cast<uint32_t>(color);
  DropStaleTwins(r);

  auto describe = [this](int k, int16_t dest) {
    const Participant& known = instance_.ParticipantTable[k];
    Packet p1(msg::kParticipantJoined, 0, instance_.OwnIndex, dest);
    p1.Add(static_cast<int16_t>(k)).Add(known.Handle).Add(static_cast<int32_t>(known.Color));
    return p1;
  };
  // The newcomer first learns who is already here (a connection that has not joined yet is
  // described with an empty handle), then everyone, the newcomer included, learns of it.
  const int count = instance_.SocketCount;
  for (int k = 1; k <= count; ++k) {
    if (k == r) continue;
    const QTcpSocket* socket = ServerSocket(k);
    if (!socket || socket->state() != QAbstractSocket::ConnectedState) continue;
    if (k >= instance_.ParticipantTable.size()) continue;
    if (!slots_[k].admitted) continue;  // a stranger at the door is nobody's business
    slots_[k].announced = true;
    router_.SendPacket(RouteOne, describe(k, static_cast<int16_t>(r)));
  }
  router_.SendPacket(RouteAll, describe(r, 0));
  // Switched on, not restarted: frequent joins must not postpone the departure check.
  if (!watch_.isActive()) watch_.start();
}

void Session::OnHandleChange(const Packet& p) {
  Packet changed(msg::kHandleChanged, 0, instance_.OwnIndex, 0);
  changed.Add(p.SenderIndex).Add(p.Text(1)).Add(p.Int(2));
  router_.SendPacket(RouteAll, changed);
}

void Session::OnLeave(const Packet& p) {
  Packet gone(msg::kParticipantLeft, 0, p.SenderIndex, 0);
  gone.Add(p.SenderIndex);
  router_.SendPacket(RouteAll, gone);
}

// --- client side -----------------------------------------------------------------------------

void Session::OnIndex(const Packet& p) {
  const int16_t own = IndexItem(p, 1);
  const int major = p.Int(2);
  const int minor = p.Int(3);
  const int revision = p.Int(4);
  state().SetOwnIndex(own);
  if (major != kVersionMajor || minor != kVersionMinor) {
    Line(QStringLiteral("このアプリケーションはサーバと違うバージョンです。"
                        "全ての機能が正常に動作しない可能性があります。") +
         QStringLiteral("サーバ:ver %1.%2.%3/このソフト:ver %4.%5.%6")
             .arg(major)
             .arg(minor)
             .arg(revision)
             .arg(kVersionMajor)
             .arg(kVersionMinor)
             .arg(kVersionRevision));
  }
  Packet join(msg::kJoin, 0, instance_.OwnIndex, 1);
  join.Add(instance_.OwnHandle)
      .Add(static_cast<int32_t>(instance_.settings.Color[kColorOwnHandle]));
  router_.SendPacket(RouteServer, join);
}

void Session::OnParticipant(const Packet& p) {
  const int16_t i = IndexItem(p, 1);
  const QString handle = p.Text(2);
  const uint32_t color = static_cast<uint32_t>(p.Int(3));
  if (i > instance_.SocketCount) {
    state().SetSocketCount(i);
    state().Row(i);
    emit state().participantRowsGrown(i);
  }
  Participant& row = state().Row(i);
  row.Handle = handle;
  row.Color = color;
  row.Index = i;
  row.Present = true;
  emit state().participantChanged(i);

  if (i == instance_.OwnIndex && instance_.SessionMode == ModeConnecting) {
    state().SetMode(ModeClient);
    const QString ip = RemoteIp();
    SetTitle(QStringLiteral("Quillora - ClientMode  IP:") + ip + QStringLiteral("に接続"));
    Line(QStringLiteral("ClientModeになりました。接続先のＩＰは ") + ip +
         QStringLiteral(" です。"));
    quiet_ = false;
    emit participantJoined(i, handle);
    emit joinedSession();
    return;
  }
  emit participantJoined(i, handle);
}

void Session::OnParticipantLeft(const Packet& p) {
  const int16_t i = IndexItem(p, 1);
  if (i == 1 && instance_.SessionMode == ModeClient) {
    // The server's own user left: the server is gone.
    CloseClient(false);
    EnterNoMode(QStringLiteral("サーバとの接続が切れました。"));
    emit linkLost();
    return;
  }
  const Participant* known = instance_.ParticipantAt(i);
  if (!known) throw SubscriptError();
  if (!known->Present) return;
  Participant& row = state().Row(i);
  row.Present = false;
  emit state().participantChanged(i);
  emit participantLeft(i, row.Handle);
  if (instance_.SessionMode == ModeServer) CloseServerSocket(i);
}

void Session::OnRenamed(const Packet& p) {
  const int16_t i = IndexItem(p, 1);
  const QString handle = p.Text(2);
  const uint32_t color = static_cast<uint32_t>(p.Int(3));
  if (!instance_.ParticipantAt(i)) throw SubscriptError();
  emit participantRenamed(i, handle);
  Participant& row = state().Row(i);
  row.Handle = handle;
  row.Color = color;
  emit state().participantChanged(i);
}

}  // namespace quillora
