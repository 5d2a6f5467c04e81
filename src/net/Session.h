#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/Packet.h"
#include "net/Router.h"

class QTcpServer;
class QTcpSocket;

namespace quillora {

class Instance;
class RelayPump;
class SocketLink;

// The connections of one program: the listening socket and the participants' sockets when it
// serves, its own client socket always, the router and the dispatcher over them, the join
// handshake, the roster, leaving, socket errors and the watch timer. It is the only writer of
// the instance's session state. Commands are what the connection menu calls; the chat follows
// the roster signals, the window titleChanged / connectedChanged.
class Session : public QObject {
  Q_OBJECT

 public:
  static constexpr int kDefaultPort = 2001;
  static constexpr int kWatchInterval = 30000;  // ms
  static constexpr int kMaxIndex = 32767;       // participant indexes are 16-bit, never reused

  explicit Session(Instance& instance, QObject* parent = nullptr);
  ~Session() override;

  // Listening port and the remote port of every connection (2001 unless --port says otherwise).
  void SetPort(int port) { port_ = port; }
  int Port() const { return port_; }
  // For tests: the watch timer's interval, the highest index handed out, the output cap.
  void SetWatchInterval(int ms) { watch_.setInterval(ms); }
  void SetIndexLimit(int limit) { index_limit_ = limit; }
  void SetOutputCap(qint64 bytes) { output_cap_ = bytes; }
  // For tests: how long a participant who stopped reading may hold output over the cap.
  void SetCutAfter(int ms);
  // True while the server holds back reading because its output is behind.
  bool ReadingPaused() const;

  // --- connection menu ---------------------------------------------------------------------
  // Starts serving and joins through the loopback address. False when listening failed
  // (reported in the status bar) or a session is already running.
  bool BecomeServer();
  // Connects to the address the user typed ("host" or "host:localport", full-width allowed).
  // An empty answer does nothing.
  void Connect(const QString& typed_answer);
  // Leaves the session in any mode; nothing happens in ModeNone.
  void Disconnect();

  // The machine's first non-loopback IPv4 address, or empty when it has none.
  QString ListeningIp() const;

  QString Title() const { return title_; }
  bool Active() const;  // serving, connecting or connected

  // Features register handlers on the dispatcher and send through the router.
  Router& router() { return router_; }
  Dispatcher& dispatcher() { return *dispatcher_; }

  // For tests and the window: the server socket of participant k, or nullptr.
  QTcpSocket* ServerSocket(int k) const;
  QTcpSocket* ClientSocket() const { return client_; }
  // Bytes the own client socket has not yet handed to the network.
  qint64 ClientBacklog() const;
  // What shows the own client's packets tells the session when it has fallen behind; the session
  // then reads less from the server until it catches up (TCP slows the server meanwhile).
  void SetReaderBehind(std::function<bool()> behind) { reader_behind_ = std::move(behind); }
  bool WatchTimerActive() const { return watch_.isActive(); }
  int WatchRemainingMs() const { return watch_.remainingTime(); }

  static QString NoModeTitle();

 signals:
  void titleChanged(const QString& title);
  // Menus: while true entries 0/1 are disabled, entry 3 and the tools menu enabled.
  void connectedChanged(bool connected);
  // A line for the chat: mode changes, joins, departures, version warnings.
  void systemLine(const QString& text);
  // A participant was announced (the own index too, once the join is complete). A handle may
  // be empty: a connection that has not sent its own yet.
  void participantJoined(int index, const QString& handle);
  // A participant that was present left.
  void participantLeft(int index, const QString& handle);
  // A participant took another handle or colour.
  void participantRenamed(int index, const QString& handle);

 private:
  struct ServerSlot {
    QTcpSocket* socket = nullptr;
    std::unique_ptr<SocketLink> link;
  };

  void RegisterHandlers();
  void SetTitle(const QString& title);
  void Line(const QString& text);
  QString RemoteIp() const;

  // Sockets.
  QTcpSocket* NewClientSocket();
  void OnClientConnected();
  void OnClientError(QAbstractSocket::SocketError error);
  void OnNewConnection();
  void OnServerError(int k, QAbstractSocket::SocketError error);
  void OnWatchTick();
  // Closes socket k at once (its link stays, as a closed one).
  void CloseServerSocket(int k);
  // Closes socket k and tells everyone that participant k is gone.
  void DropServerSocket(int k, const QString& reason);
  void AnnounceGone(int k);
  // Shuts a socket down, sending what it still holds first, and deletes it later.
  void Retire(QTcpSocket* socket, bool flush);
  void CloseClient(bool flush);
  // Takes the next share of the own client socket's input, unless the chat output is behind.
  void ReadClient();
  void ScheduleClientRead(int delay_ms = 0);
  void StopServing(bool flush);
  // The common end of every way out of a session.
  void EnterNoMode(const QString& line);

  // Server handlers.
  void OnHello(int socket);
  void OnJoin(const Packet& p);
  void OnHandleChange(const Packet& p);
  void OnLeave(const Packet& p);
  // Client handlers.
  void OnIndex(const Packet& p);
  void OnParticipant(const Packet& p);
  void OnParticipantLeft(const Packet& p);
  void OnRenamed(const Packet& p);

  SessionState& state() { return instance_.session_state(); }

  Instance& instance_;
  Router router_;
  Dispatcher* dispatcher_;  // child object
  std::function<bool()> reader_behind_;
  RelayPump* pump_;  // child object

  QTcpServer* listener_ = nullptr;
  std::vector<ServerSlot> slots_;  // element k = participant k; element 0 unused
  QTcpSocket* client_ = nullptr;
  std::unique_ptr<SocketLink> client_link_;
  QTimer watch_;
  QTimer client_read_;

  int port_ = kDefaultPort;
  int index_limit_ = kMaxIndex;
  qint64 output_cap_;
  QString typed_host_;
  QString title_;
};

}  // namespace quillora
