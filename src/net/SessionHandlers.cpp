// The session's message handlers: the join handshake and leaving on the server side, and the
// session, chat and typing codes on every client.
#include <QTcpSocket>

#include "core/Instance.h"
#include "core/ChatSink.h"
#include "chat/Recipients.h"
#include "net/Session.h"

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
  d.RegisterServerHandler(204, 204, [this](int socket, const Packet&) { OnHello(socket); });
  d.RegisterServerHandler(201, 201, [this](int, const Packet& p) { OnJoin(p); });
  d.RegisterServerHandler(203, 203, [this](int, const Packet& p) { OnHandleChange(p); });
  d.RegisterServerHandler(202, 202, [this](int, const Packet& p) { OnLeave(p); });

  d.RegisterClientHandler(1, 1, [this](const Packet& p) { OnParticipant(p); });
  d.RegisterClientHandler(2, 2, [this](const Packet& p) { OnIndex(p); });
  d.RegisterClientHandler(3, 3, [this](const Packet& p) { OnParticipantLeft(p); });
  d.RegisterClientHandler(4, 4, [this](const Packet& p) { OnRenamed(p); });
  d.RegisterClientHandler(5, 5, [this](const Packet& p) { OnToolOpen(p); });
  d.RegisterClientHandler(101, 101, [this](const Packet& p) { OnChat(p); });
  d.RegisterClientHandler(121, 121, [this](const Packet& p) { OnTyping(p); });
}

// --- server side -----------------------------------------------------------------------------

void Session::OnHello(int socket) {
  Packet reply(2, 0, 0, static_cast<int16_t>(socket));
  reply.Add(static_cast<int16_t>(socket))
      .Add(int32_t{kVersionMajor})
      .Add(int32_t{kVersionMinor})
      .Add(int32_t{kVersionRevision});
  router_.SendPacket(RouteOne, reply);
}

void Session::OnJoin(const Packet& p) {
  const int r = p.SenderIndex;
  if (r < 1 || r > instance_.SocketCount) throw SubscriptError();
  const QString handle = p.Text(1);
  const int32_t color = p.Int(2);
  instance_.EnsureParticipantRow(r);
  Participant& row = instance_.ParticipantTable[r];
  row.Present = true;
  row.Index = static_cast<int16_t>(r);
  row.Handle = handle;
  row.Color = static_cast<uint32_t>(color);

  auto describe = [this](int k, int16_t dest) {
    const Participant& known = instance_.ParticipantTable[k];
    Packet p1(1, 0, instance_.OwnIndex, dest);
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
    router_.SendPacket(RouteOne, describe(k, static_cast<int16_t>(r)));
  }
  router_.SendPacket(RouteAll, describe(r, 0));
  // Switched on, not restarted: frequent joins must not postpone the departure check.
  if (!watch_.isActive()) watch_.start();
}

void Session::OnHandleChange(const Packet& p) {
  Packet changed(4, 0, instance_.OwnIndex, 0);
  changed.Add(p.SenderIndex).Add(p.Text(1)).Add(p.Int(2));
  router_.SendPacket(RouteAll, changed);
}

void Session::OnLeave(const Packet& p) {
  Packet gone(3, 0, p.SenderIndex, 0);
  gone.Add(p.SenderIndex);
  router_.SendPacket(RouteAll, gone);
}

// --- client side -----------------------------------------------------------------------------

void Session::OnIndex(const Packet& p) {
  const int16_t own = IndexItem(p, 1);
  const int major = p.Int(2);
  const int minor = p.Int(3);
  const int revision = p.Int(4);
  instance_.OwnIndex = own;
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
  Packet join(201, 0, instance_.OwnIndex, 1);
  join.Add(instance_.OwnHandle)
      .Add(static_cast<int32_t>(instance_.settings.Color[kColorOwnHandle]));
  router_.SendPacket(RouteServer, join);
}

void Session::OnParticipant(const Packet& p) {
  const int16_t i = IndexItem(p, 1);
  const QString handle = p.Text(2);
  const uint32_t color = static_cast<uint32_t>(p.Int(3));
  if (i > instance_.SocketCount) {
    instance_.SocketCount = i;
    instance_.EnsureParticipantRow(i);
    emit participantRowsGrown(i);
  }
  instance_.EnsureParticipantRow(i);
  Participant& row = instance_.ParticipantTable[i];
  row.Handle = handle;
  row.Color = color;
  row.Index = i;
  row.Present = true;
  emit participantChanged(i);

  if (i == instance_.OwnIndex) {
    if (instance_.SessionMode == ModeConnecting) {
      instance_.SessionMode = ModeClient;
      const QString ip = RemoteIp();
      SetTitle(QStringLiteral("Quillora - ClientMode  IP:") + ip + QStringLiteral("に接続"));
      Line(QStringLiteral("ClientModeになりました。接続先のＩＰは ") + ip +
           QStringLiteral(" です。"));
    }
    recipients_.InsertTopEntries();
    return;
  }
  // A connection that has not sent its handle yet is described without one; it is listed and
  // greeted when its own announcement arrives. A repeated announcement only renames.
  if (handle.isEmpty() && recipients_.RowOf(i) < 0) return;
  if (recipients_.AddParticipant(i, handle, instance_.settings.PreFixStr)) {
    Line(handle + QStringLiteral("さんがチャットに加わりました"));
  }
}

void Session::OnParticipantLeft(const Packet& p) {
  const int16_t i = IndexItem(p, 1);
  if (i == 1 && instance_.SessionMode == ModeClient) {
    // The server's own user left: the server is gone.
    CloseClient(false);
    EnterNoMode(QStringLiteral("サーバとの接続が切れました。"));
    return;
  }
  Participant* row = instance_.ParticipantAt(i);
  if (!row) throw SubscriptError();
  if (!row->Present) return;
  row->Present = false;
  emit participantChanged(i);
  Line(row->Handle + QStringLiteral("さんがチャットから落ちました"));
  recipients_.RemoveParticipant(i);
  if (instance_.SessionMode == ModeServer) CloseServerSocket(i);
}

void Session::OnRenamed(const Packet& p) {
  const int16_t i = IndexItem(p, 1);
  const QString handle = p.Text(2);
  const uint32_t color = static_cast<uint32_t>(p.Int(3));
  Participant* row = instance_.ParticipantAt(i);
  if (!row) throw SubscriptError();
  recipients_.Rename(i, handle, instance_.settings.PreFixStr);
  row->Handle = handle;
  row->Color = color;
  emit participantChanged(i);
}

void Session::OnToolOpen(const Packet& p) {
  if (instance_.SessionMode != ModeClient) return;
  const double tool = p.Number(1);
  // Tools menu entries: 1 cards, 2 drawing board, 3 hex map, 4 counters, 5 shared table.
  if (tool == 2) {
    emit instance_.toolWindowRequested(1, p.Int(2) - 1);
  } else if (tool == 3 || tool == 4 || tool == 5 || tool == 6) {
    emit instance_.toolWindowRequested(static_cast<int>(tool) - 1, 0);
  }
}

void Session::OnChat(const Packet& p) {
  const int s = p.SenderIndex;
  const Participant* row = instance_.ParticipantAt(s);
  if (!row) throw SubscriptError();
  const QString h = row->Handle;
  const uint32_t c = row->Color;
  const int own_kind = s == instance_.OwnIndex ? kSpeakerOwn : kSpeakerOther;
  const QString colon = QStringLiteral("：");
  switch (p.SubCode) {
    case 1:
      sink_.AppendChatLine(h + colon, own_kind, p.Text(1), {}, c);
      break;
    case 2:
      sink_.AppendChatLine(h + QStringLiteral("(秘密通達)："), kSpeakerSystem, p.Text(1), h, c);
      break;
    case 3:
    case 4:
    case 8: {
      const QString text = p.Text(1);
      sink_.AppendChatLine(h + p.Text(2) + colon, kSpeakerSystem, text, h, 0);
      break;
    }
    case 5: {
      const QString text = p.Text(1);
      sink_.AppendChatLine(p.Text(2) + colon, own_kind, text, {}, c);
      break;
    }
    case 6:
    case 7: {
      const QString text = p.Text(1);
      const QString speaker = p.Text(3);
      sink_.AppendChatLine(speaker + p.Text(2) + colon, kSpeakerSystem, text, speaker, 0);
      break;
    }
    default:
      break;
  }
}

void Session::OnTyping(const Packet& p) {
  const int32_t i = p.Int(1);
  const QString handle = p.Text(2);
  recipients_.SetTyping(i, handle, instance_.settings.PreFixStr, p.SubCode == 1);
}

}  // namespace quillora
