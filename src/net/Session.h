#pragma once

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/Gatekeeper.h"
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
  static constexpr size_t kMaxEarlyConnections = 64;  // strangers before the own connection

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

  // --- admission ----------------------------------------------------------------------------
  // How long a connection may take over each step of joining before it is closed.
  struct AdmissionTimes {
    int hello_ms = 15000;   // from connecting to the hello
    int handle_ms = 30000;  // from the hello to the handle
    int answer_ms = 10000;  // from the password challenge to the answer
    int stall_ms = 30000;   // a packet begun and not finished
  };
  void SetAdmissionTimes(const AdmissionTimes& times);
  // The password the server asks for (empty: an open session, as always); when serving, the
  // own user answers with it too. Applies to connections that say hello from now on.
  void SetPassword(const QString& word) { gate_.SetPassword(word); }
  QString Password() const { return gate_.Password(); }
  // The word this instance answers a host's challenge with as a client: one given for that host
  // in this run, else what the lookup finds (the command line's, or one remembered for it).
  void SetJoinPassword(const QString& host, const QString& word) { run_words_[host] = word; }
  void SetPasswordLookup(std::function<QString(const QString& host)> lookup) {
    password_lookup_ = std::move(lookup);
  }
  Gatekeeper& gatekeeper() { return gate_; }
  // Server only, participant k > 1 that is connected: closes its connection, tells it and
  // everyone, and refuses its address for a while (Kick) or while this server runs (Ban).
  bool Kick(int k);
  bool Ban(int k);
  bool LiftBan(const QString& address) { return gate_.Lift(address); }
  std::vector<Gatekeeper::Ban> Bans() const { return gate_.Bans(); }
  // True when connection k has been let in (always, in an open session).
  bool Admitted(int k) const;

  // --- connection menu ---------------------------------------------------------------------
  // Starts serving and joins through the loopback address. False when listening failed
  // (reported in the status bar) or a session is already running.
  bool BecomeServer();
  // Connects to the address the user typed ("host" or "host:localport", full-width allowed).
  // An empty answer does nothing.
  void Connect(const QString& typed_answer);
  // Leaves the session in any mode; nothing happens in ModeNone.
  void Disconnect();
  // Automatic reconnection: dials the last typed address again without the lines of a connect
  // by hand, and gives up such an attempt without a line (back to ModeNone).
  void Redial();
  void AbandonRedial();

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
  // What shows the own client's packets tells the session when it can take no more for now; the
  // session then reads nothing until it can (TCP slows the server meanwhile). It is meant as a
  // bound on memory, not as pacing: the own connection is otherwise read at once.
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
  // A client connection whose join had completed ended without the user asking (a dead link,
  // a reset, the server's user gone).
  void linkLost();
  // A connection that was still connecting or joining failed.
  void connectFailed();
  // The own join completed (ModeConnecting became ModeClient).
  void joinedSession();
  // The user asked to disconnect (whatever the mode).
  void disconnectRequested();
  // The host turned this client away (wrong or missing password, kicked, banned); the session
  // is over and must not be tried again without the user.
  void refusedByHost(const QString& reason);
  // The refusal was about the password: the user may give one and connect to `host` again.
  void passwordWanted(const QString& host, const QString& reason);

 private:
  struct ServerSlot {
    QTcpSocket* socket = nullptr;
    std::unique_ptr<SocketLink> link;
    // Admission: where it comes from and how far it got (times on gate_clock_, -1 not yet).
    QString address;
    bool admitted = false;
    bool announced = false;  // described to anyone: its index is taken for this run
    QByteArray nonce;
    qint64 accepted_at = 0;
    qint64 hello_at = -1;
    qint64 challenged_at = -1;
    qint64 joined_at = -1;
    qint64 partial_since = -1;  // a packet begun and not yet complete
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
  bool IsOwnConnection(const QTcpSocket* socket) const;
  void TakeConnection(QTcpSocket* socket);
  void OnServerError(int k, QAbstractSocket::SocketError error);
  void OnWatchTick();
  // Closes socket k at once, or after what it holds has left (its link stays, as a closed one).
  void CloseServerSocket(int k, bool flush = false);
  // Closes socket k and tells everyone that participant k is gone.
  void DropServerSocket(int k, const QString& reason);
  void AnnounceGone(int k);
  // Switches on the quick detection of a dead link for a connected socket.
  void WatchLink(QTcpSocket* socket);
  // Participant r joined: rows of the same handle whose connections are dying are announced
  // as gone at once, so they do not linger beside the new one.
  void DropStaleTwins(int r);
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
  // Admission (SessionGate.cpp).
  bool Admits(int socket, int code) const;
  int NextIndex();
  void TurnAway(QTcpSocket* socket, Gatekeeper::Refusal refusal);
  void SendAway(int k, Gatekeeper::Refusal refusal);
  void Admit(int k);
  void OnAnswer(int socket, const Packet& p);
  void NoteInput(int k, qsizetype expected);
  void OnGateTick();
  bool Remove(int k, bool ban);
  void OnChallenge(const Packet& p);
  void OnRefused(const Packet& p);
  void OnRemoved(const Packet& p);
  void Refused(Gatekeeper::Refusal refusal);

  SessionState& state() { return instance_.session_state(); }

  Instance& instance_;
  Router router_;
  Dispatcher* dispatcher_;  // child object
  std::function<bool()> reader_behind_;
  RelayPump* pump_;  // child object

  QTcpServer* listener_ = nullptr;
  std::vector<ServerSlot> slots_;  // element k = participant k; element 0 unused
  // Participant 1 speaks for everyone, so only the own loopback connection may be it: the port
  // it connects from, and who knocked before it arrived (taken in after it, in their order).
  quint16 own_port_ = 0;
  bool own_taken_ = false;
  std::vector<QTcpSocket*> early_;
  QTcpSocket* client_ = nullptr;
  std::unique_ptr<SocketLink> client_link_;
  QTimer watch_;
  Gatekeeper gate_;
  AdmissionTimes admission_;
  QElapsedTimer gate_clock_;
  QTimer gate_tick_;
  std::set<int> free_indexes_;  // numbers of connections that never joined, to hand out again
  std::map<QString, QString> run_words_;
  std::function<QString(const QString& host)> password_lookup_;
  QTimer client_read_;

  int port_ = kDefaultPort;
  int index_limit_ = kMaxIndex;
  qint64 output_cap_;
  QString typed_host_;
  QString typed_answer_;  // the last address as typed, for reconnecting
  bool quiet_ = false;    // a reconnection attempt: no lines until it has joined
  QString title_;
};

}  // namespace quillora
