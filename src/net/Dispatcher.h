#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QVector>
#include <functional>
#include <map>

#include "net/Packet.h"
#include "net/StreamBuffer.h"

namespace quillora {

class Instance;
class Router;

// Cuts socket arrivals into packets, applies the server's relay table and hands everything
// else to the handlers that features register by message code.
class Dispatcher : public QObject {
  Q_OBJECT

 public:
  using ServerHandler = std::function<void(int socket, const Packet&)>;
  using ClientHandler = std::function<void(const Packet&)>;

  // Unprocessed input one server socket may hold before the connection counts as flooding.
  static constexpr qsizetype kInputCap = 1024 * 1024;

  Dispatcher(Instance& instance, Router& router, QObject* parent = nullptr);

  // Handlers for the codes first_code..last_code (inclusive). When ranges overlap, the first
  // registered range that holds the code wins.
  void RegisterServerHandler(int first_code, int last_code, ServerHandler h);
  void RegisterClientHandler(int first_code, int last_code, ClientHandler h);
  // Asked for every packet from a server socket before it is relayed or handled; a packet it
  // refuses is dropped unseen (connections that have not been admitted yet).
  void SetServerGate(std::function<bool(int socket, int code)> gate) { gate_ = std::move(gate); }

  // Server side, one arrival on socket k: appended to the socket's stream; every whole packet
  // is stamped with k (k != 1), then relayed or decoded and handed to DP_Serv. Framing errors
  // drop the socket's buffered bytes and are reported with "DP_Srv"; a packet that fails to
  // decode is reported and skipped. If the socket's unprocessed input (buffered bytes plus this
  // arrival) exceeds kInputCap, everything is dropped and inputOverflow(k) is emitted.
  void DP_Srv(int socket, QByteArrayView arrival);
  // Client side, one arrival on the own client link: cut, decoded, ClientDispatch. Errors are
  // reported with "DP_Clnt".
  void DP_Clnt(QByteArrayView arrival);

  // Hand one decoded packet to its handler; unknown codes are ignored. A handler's failure is
  // caught and reported ("DP_Serv" / "DP_Clnt") and costs only that packet.
  void DP_Serv(int socket, const Packet& p);
  void ClientDispatch(const Packet& p);

  // Forget buffered bytes (a connection closed or was replaced). Safe inside a handler.
  void ResetServerStream(int socket);
  void ResetClientStream();

  qsizetype BufferedServerBytes(int socket) const;
  qsizetype BufferedClientBytes() const { return client_stream_.Size(); }

 signals:
  // A socket's unprocessed input passed kInputCap; its bytes were dropped.
  void inputOverflow(int socket);

 private:
  template <typename H>
  struct Entry {
    int first_code;
    int last_code;
    H handler;
  };

  void HandleServerPacket(int socket, QByteArray packet);
  void HandleClientPacket(const QByteArray& packet);

  Instance& instance_;
  Router& router_;
  std::function<bool(int socket, int code)> gate_;
  QVector<Entry<ServerHandler>> server_handlers_;
  QVector<Entry<ClientHandler>> client_handlers_;
  std::map<int, StreamBuffer> server_streams_;  // node-based: stable while handlers run
  StreamBuffer client_stream_;
};

}  // namespace quillora
