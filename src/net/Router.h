#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QVector>

#include "net/Packet.h"

namespace quillora {

class Instance;

// One connection as the router sees it. The session wraps its QTcpSocket in one; tests use
// fakes. Write must not block: the socket buffers.
class Link {
 public:
  virtual ~Link() = default;
  virtual bool IsConnected() const = 0;
  virtual void Write(const QByteArray& bytes) = 0;
  // Bytes that may wait behind everything else written to the link (file pieces): a link that
  // keeps two queues sends them only while nothing else is waiting.
  virtual void WriteBulk(const QByteArray& bytes) { Write(bytes); }
};

// True for packets that go as bulk: file pieces, whoever sends them.
bool IsBulkPacket(QByteArrayView bytes);
// True for chat lines and typing marks, which never refer to anything sent before them and so
// may overtake anybody's file pieces. Other packets keep their order behind their sender's
// pieces (a page is announced after its file).
bool IsChatPacket(QByteArrayView bytes);

// Sends encoded packets along the four routes. On the server, element k of the server links
// is the connection of participant k (element 0 is never used); every instance also has one
// client link to the server. Unconnected or missing links are skipped silently.
class Router {
 public:
  explicit Router(Instance& instance);  // SocketCount comes from the instance

  void SetServerLink(int k, Link* link);  // tcpServ element k (nullptr clears)
  Link* ServerLink(int k) const;
  void ClearServerLinks();
  void SetClientLink(Link* link);  // tcpClnt
  Link* ClientLink() const { return client_link_; }

  // Encodes and sends. Throws ProtocolError when the packet cannot be encoded (nothing sent)
  // or the mode is unknown.
  //   RouteAll:    server links k = SocketCount down to 1
  //   RouteOne:    server link DestIndex
  //   RouteServer: the client link
  //   RouteOthers: server links k = 1 up to SocketCount, except SenderIndex
  void SendPacket(RoutingMode mode, const Packet& p);
  // The same, but a packet that cannot be sent is reported with `tag` instead of thrown.
  // True when it went out (or was skipped for want of a connection).
  bool Send(RoutingMode mode, const Packet& p, const QString& tag);

  // Sends bytes that already are one packet (the relay), taking SenderIndex and DestIndex from
  // bytes 4-7. Failures (a header word of 0x8000 or more, a short packet, an unknown mode) are
  // reported with the tag "RDSend" and nothing is sent.
  void RDSend(RoutingMode mode, const QByteArray& bytes);

 private:
  void Route(RoutingMode mode, const QByteArray& bytes, int sender, int dest);
  static void WriteIfConnected(Link* link, const QByteArray& bytes, bool bulk);

  Instance& instance_;
  QVector<Link*> server_links_;
  Link* client_link_ = nullptr;
};

}  // namespace quillora
