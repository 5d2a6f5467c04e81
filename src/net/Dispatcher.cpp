#include "net/Dispatcher.h"

#include "core/Instance.h"
#include "net/PacketCodec.h"
#include "net/Relay.h"
#include "net/Reported.h"
#include "net/Router.h"

namespace quillora {

namespace {

const QString kTagSrv = QStringLiteral("DP_Srv");
const QString kTagClnt = QStringLiteral("DP_Clnt");
const QString kTagServ = QStringLiteral("DP_Serv");

template <typename Entries>
auto FindHandler(const Entries& entries, int code) -> decltype(entries.front().handler) {
  for (const auto& e : entries) {
    if (code >= e.first_code && code <= e.last_code) return e.handler;
  }
  return {};
}

}  // namespace

Dispatcher::Dispatcher(Instance& instance, Router& router, QObject* parent)
    : QObject(parent), instance_(instance), router_(router) {}

void Dispatcher::RegisterServerHandler(int first_code, int last_code, ServerHandler h) {
  server_handlers_.push_back({first_code, last_code, std::move(h)});
}

void Dispatcher::RegisterClientHandler(int first_code, int last_code, ClientHandler h) {
  client_handlers_.push_back({first_code, last_code, std::move(h)});
}

void Dispatcher::DP_Srv(int socket, QByteArrayView arrival) {
  // Element 0 is never a connection, and an index must fit the sender word.
  if (socket < 1 || socket > 0x7FFF) return;
  StreamBuffer& stream = server_streams_[socket];
  if (stream.Size() + arrival.size() > kInputCap) {
    stream.Clear();
    emit inputOverflow(socket);
    return;
  }
  stream.Append(arrival);
  for (;;) {
    QByteArray packet;
    ProtocolError error{};
    bool report = false;
    switch (stream.Next(&packet, &error, &report)) {
      case StreamBuffer::Cut::kWait:
        return;
      case StreamBuffer::Cut::kBroken:
        if (report) instance_.ReportError(kTagSrv, error.number, error.description);
        return;
      case StreamBuffer::Cut::kPacket:
        HandleServerPacket(socket, std::move(packet));
        break;
    }
  }
}

void Dispatcher::HandleServerPacket(int socket, QByteArray packet) {
  // The true sender, whatever the packet claims; the own loopback client speaks for others.
  if (socket != 1) PatchWord(packet, 4, socket);

  const int code = RawWord(packet, 8);
  if (gate_ && !gate_(socket, code)) return;
  if (code < 0x8000) {
    if (const std::optional<RelayAction> relay = RelayFor(code, RawWord(packet, 10))) {
      if (!relay->send) return;
      PatchWord(packet, 8, relay->new_code);
      router_.RDSend(relay->mode, packet);
      return;
    }
  }
  Packet p;
  if (!RunReported(instance_, kTagSrv, [&] { p = DecodePacket(packet); })) return;
  DP_Serv(socket, p);
}

void Dispatcher::DP_Clnt(QByteArrayView arrival) {
  client_stream_.Append(arrival);
  for (;;) {
    QByteArray packet;
    ProtocolError error{};
    bool report = false;
    switch (client_stream_.Next(&packet, &error, &report)) {
      case StreamBuffer::Cut::kWait:
        return;
      case StreamBuffer::Cut::kBroken:
        if (report) instance_.ReportError(kTagClnt, error.number, error.description);
        return;
      case StreamBuffer::Cut::kPacket:
        HandleClientPacket(packet);
        break;
    }
  }
}

void Dispatcher::HandleClientPacket(const QByteArray& packet) {
  Packet p;
  if (!RunReported(instance_, kTagClnt, [&] { p = DecodePacket(packet); })) return;
  ClientDispatch(p);
}

void Dispatcher::DP_Serv(int socket, const Packet& p) {
  // A copy: the handler may register others while it runs.
  const ServerHandler handler = FindHandler(server_handlers_, p.MessageCode);
  if (!handler) return;
  RunReported(instance_, kTagServ, [&] { handler(socket, p); });
}

void Dispatcher::ClientDispatch(const Packet& p) {
  const ClientHandler handler = FindHandler(client_handlers_, p.MessageCode);
  if (!handler) return;
  RunReported(instance_, kTagClnt, [&] { handler(p); });
}

void Dispatcher::ResetServerStream(int socket) {
  // Cleared, not erased: DP_Srv may be cutting this very stream further up the call stack.
  const auto it = server_streams_.find(socket);
  if (it != server_streams_.end()) it->second.Clear();
}

void Dispatcher::ResetClientStream() { client_stream_.Clear(); }

qsizetype Dispatcher::BufferedServerBytes(int socket) const {
  const auto it = server_streams_.find(socket);
  return it == server_streams_.end() ? 0 : it->second.Size();
}

}  // namespace quillora
