#include "net/Router.h"

#include "core/Instance.h"
#include "net/MessageCodes.h"
#include "net/PacketCodec.h"
#include "net/Reported.h"

namespace quillora {

Router::Router(Instance& instance) : instance_(instance) {}

void Router::SetServerLink(int k, Link* link) {
  if (k < 1) return;  // element 0 is never used
  if (server_links_.size() <= k) {
    if (link == nullptr) return;
    server_links_.resize(k + 1, nullptr);
  }
  server_links_[k] = link;
}

Link* Router::ServerLink(int k) const {
  return (k >= 1 && k < server_links_.size()) ? server_links_[k] : nullptr;
}

void Router::ClearServerLinks() { server_links_.clear(); }

void Router::SetClientLink(Link* link) { client_link_ = link; }

bool IsBulkPacket(QByteArrayView bytes) {
  if (bytes.size() < kPacketHeaderSize) return false;
  const int code = RawWord(bytes, 8);
  return code == msg::kFilePiece || code == msg::kSendFilePiece;
}

bool IsChatPacket(QByteArrayView bytes) {
  if (bytes.size() < kPacketHeaderSize) return false;
  const int code = RawWord(bytes, 8);
  return code == msg::kChat || code == msg::kSendChat || code == msg::kTyping ||
         code == msg::kSendTyping;
}

void Router::WriteIfConnected(Link* link, const QByteArray& bytes, bool bulk) {
  if (link == nullptr || !link->IsConnected()) return;
  if (bulk) {
    link->WriteBulk(bytes);
  } else {
    link->Write(bytes);
  }
}

void Router::Route(RoutingMode mode, const QByteArray& bytes, int sender, int dest) {
  // Read once: a write never runs other handlers here (sockets buffer), but keep the loop
  // bounds fixed regardless.
  const int count = instance_.SocketCount;
  const bool bulk = IsBulkPacket(bytes);
  switch (mode) {
    case RouteAll:
      for (int k = count; k >= 1; --k) WriteIfConnected(ServerLink(k), bytes, bulk);
      return;
    case RouteOne:
      WriteIfConnected(ServerLink(dest), bytes, bulk);
      return;
    case RouteServer:
      WriteIfConnected(client_link_, bytes, bulk);
      return;
    case RouteOthers:
      for (int k = 1; k <= count; ++k) {
        if (k != sender) WriteIfConnected(ServerLink(k), bytes, bulk);
      }
      return;
  }
  throw InvalidCallError();
}

void Router::SendPacket(RoutingMode mode, const Packet& p) {
  if (mode < RouteAll || mode > RouteOthers) throw InvalidCallError();
  const QByteArray bytes = EncodePacket(p);
  Route(mode, bytes, p.SenderIndex == -1 ? 0 : p.SenderIndex, p.DestIndex);
}

bool Router::Send(RoutingMode mode, const Packet& p, const QString& tag) {
  return RunReported(instance_, tag, [&] { SendPacket(mode, p); });
}

void Router::RDSend(RoutingMode mode, const QByteArray& bytes) {
  RunReported(instance_, QStringLiteral("RDSend"), [&] {
    if (bytes.size() < kPacketHeaderSize) throw SubscriptError();
    for (qsizetype offset = 2; offset < kPacketHeaderSize; offset += 2) {
      if (RawWord(bytes, offset) >= 0x8000) throw OverflowError();
    }
    Route(mode, bytes, RawWord(bytes, 4), RawWord(bytes, 6));
  });
}

}  // namespace quillora
