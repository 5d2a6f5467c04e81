#include "net/Session.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>

#include "core/Instance.h"
#include "net/MessageCodes.h"
#include "net/Reachability.h"
#include "net/RelayPump.h"
#include "net/SocketLink.h"
#include "text/Width.h"

namespace quillora {

namespace {

const QString kTagMenu = QStringLiteral("Menu_Connect");

// How long a closing socket may take to hand over what it still holds.
constexpr int kRetireGraceMs = 5000;
// Input taken from the own client socket at a time. The socket is read as fast as input comes
// (what shows it catches up in batches of its own), so a host's window never slows its relay.
constexpr qint64 kClientShare = 64 * 1024;
// What the kernel may hold for one participant beyond our own queue: small, so that a reader
// who stops shows up as a stalled backlog here soon.
constexpr int kServerSendBuffer = 256 * 1024;

QString AddressText(const QHostAddress& address) {
  bool ok = false;
  const quint32 v4 = address.toIPv4Address(&ok);
  return ok ? QHostAddress(v4).toString() : address.toString();
}

}  // namespace

Session::Session(Instance& instance, QObject* parent)
    : QObject(parent),
      instance_(instance),
      router_(instance),
      dispatcher_(new Dispatcher(instance, router_, this)),
      output_cap_(SocketLink::kDefaultOutputCap),
      title_(NoModeTitle()) {
  watch_.setInterval(kWatchInterval);
  // A coarse timer may move a 30 s check by a second and a half either way; this one keeps
  // its count from the first join exactly (and says so in WatchRemainingMs()).
  watch_.setTimerType(Qt::PreciseTimer);
  connect(&watch_, &QTimer::timeout, this, &Session::OnWatchTick);
  client_read_.setSingleShot(true);
  connect(&client_read_, &QTimer::timeout, this, &Session::ReadClient);
  pump_ = new RelayPump(
      [this](int k, QByteArrayView bytes) {
        const qsizetype before = dispatcher_->BufferedServerBytes(k);
        dispatcher_->DP_Srv(k, bytes);
        NoteInput(k, before + bytes.size());
      },
      [this](int k) {
        DropServerSocket(k,
                         QStringLiteral("送信待ちが上限を超えたため接続%1を切断しました").arg(k));
      },
      this);
  // A socket that floods us with input is dropped like one that stops reading.
  connect(dispatcher_, &Dispatcher::inputOverflow, this, [this](int k) {
    DropServerSocket(k, QStringLiteral("受信量が上限を超えたため接続%1を切断しました").arg(k));
  });
  RegisterHandlers();
  gate_clock_.start();
  connect(&gate_tick_, &QTimer::timeout, this, &Session::OnGateTick);
  SetAdmissionTimes(admission_);
  dispatcher_->SetServerGate([this](int k, int code) { return Admits(k, code); });
}

Session::~Session() {
  watch_.stop();
  gate_tick_.stop();
  pump_->Clear();
  router_.SetClientLink(nullptr);
  router_.ClearServerLinks();
  // Sockets are children of this object; make sure none of them calls back while going away.
  for (auto& slot : slots_) {
    if (slot.socket) slot.socket->disconnect(this);
  }
  if (client_) client_->disconnect(this);
  if (listener_) listener_->disconnect(this);
}

QString Session::NoModeTitle() {
  return QStringLiteral("Quillora - NoMode どこにも接続されてません");
}

bool Session::Active() const { return instance_.SessionMode != ModeNone; }

void Session::SetTitle(const QString& title) {
  title_ = title;
  emit titleChanged(title_);
}

void Session::Line(const QString& text) {
  if (!quiet_) emit systemLine(text);
}

void Session::SetCutAfter(int ms) { pump_->SetCutAfter(ms); }

bool Session::ReadingPaused() const { return pump_->Paused(); }

qint64 Session::ClientBacklog() const { return client_link_ ? client_link_->Backlog() : 0; }

QTcpSocket* Session::ServerSocket(int k) const {
  if (k < 1 || k >= static_cast<int>(slots_.size())) return nullptr;
  return slots_[k].socket;
}

QString Session::ListeningIp() const {
  for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
      return address.toString();
    }
  }
  return {};
}

QString Session::RemoteIp() const {
  return client_ ? AddressText(client_->peerAddress()) : QString();
}

// --- commands --------------------------------------------------------------------------------

bool Session::BecomeServer() {
  if (Active()) return false;
  auto* listener = new QTcpServer(this);
  if (!listener->listen(QHostAddress::Any, static_cast<quint16>(port_))) {
    instance_.ReportError(kTagMenu, SocketErrorNumber(listener->serverError()),
                          listener->errorString());
    delete listener;
    return false;
  }
  listener_ = listener;
  connect(listener_, &QTcpServer::newConnection, this, &Session::OnNewConnection);
  slots_.clear();
  slots_.emplace_back();  // element 0 is never used
  router_.ClearServerLinks();
  state().SetSocketCount(0);
  gate_.Reset();
  free_indexes_.clear();
  gate_tick_.start();

  // The server's own user joins like everybody else, as the first connection. A stranger may
  // knock between the listening and this connection; the port we connect from tells them apart.
  client_ = NewClientSocket();
  own_taken_ = false;
  // Bound without address sharing, so that nobody else can be handed this port meanwhile.
  own_port_ =
      client_->bind(QHostAddress(QHostAddress::LocalHost), 0, QAbstractSocket::DontShareAddress)
          ? client_->localPort()
          : 0;
  client_->connectToHost(QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(port_));

  emit connectedChanged(true);
  const QString ip = ListeningIp();
  const QString shown = ip.isEmpty() ? QStringLiteral("LocalHost") : ip;
  SetTitle(QStringLiteral("Quillora - ServerMode  現在のIP:") + shown);
  state().SetMode(ModeServer);
  Line(QStringLiteral("ServerModeになりました。現在のＩＰは ") + shown + QStringLiteral(" です。"));
  instance_.ClearStatus();
  return true;
}

void Session::Connect(const QString& typed_answer) {
  if (Active()) return;
  const ConnectTarget target = ParseConnectAnswer(typed_answer);
  const QString host = target.host;
  const int local_port = target.local_port;
  if (host.isEmpty()) return;
  if (local_port > 65535) {
    // A port number that does not fit is an invalid value, not a port modulo 65536.
    instance_.ReportError(
        kTagMenu, 380, QStringLiteral("ローカルポート%1は使えません（0〜65535）").arg(local_port));
    return;
  }

  client_ = NewClientSocket();
  // The local port is bound in the family of the address typed; a name may resolve to either.
  const QHostAddress literal(host);
  const QHostAddress any(literal.protocol() == QAbstractSocket::IPv4Protocol ? QHostAddress::AnyIPv4
                         : literal.protocol() == QAbstractSocket::IPv6Protocol
                             ? QHostAddress::AnyIPv6
                             : QHostAddress::Any);
  if (local_port > 0 &&
      !client_->bind(any, static_cast<quint16>(local_port), QAbstractSocket::ReuseAddressHint)) {
    instance_.ReportError(kTagMenu, SocketErrorNumber(client_->error()), client_->errorString());
    Retire(client_, false);
    client_ = nullptr;
    return;
  }
  typed_host_ = host;
  typed_answer_ = typed_answer;
  client_->connectToHost(host, static_cast<quint16>(port_));

  SetTitle(QStringLiteral("Quillora - IP:") + host + QStringLiteral("に接続中"));
  emit connectedChanged(true);
  state().SetMode(ModeConnecting);
  Line(host + QStringLiteral(" に接続中です。"));
  instance_.ClearStatus();
}

void Session::Disconnect() {
  emit disconnectRequested();
  quiet_ = false;
  switch (instance_.SessionMode) {
    case ModeClient:
      router_.Send(RouteServer, Packet(msg::kLeave, 0, instance_.OwnIndex, 0), kTagMenu);
      CloseClient(true);
      break;
    case ModeConnecting:
      CloseClient(false);
      break;
    case ModeServer:
      for (int k = 2; k <= instance_.SocketCount; ++k) {
        Packet gone(msg::kParticipantLeft, 0, instance_.OwnIndex, static_cast<int16_t>(k));
        gone.Add(instance_.OwnIndex);
        router_.Send(RouteOne, gone, kTagMenu);
      }
      StopServing(true);
      CloseClient(true);
      break;
    default:
      return;
  }
  EnterNoMode(QStringLiteral("接続を切断しました。"));
}

void Session::EnterNoMode(const QString& line) {
  emit connectedChanged(false);
  SetTitle(NoModeTitle());
  if (!line.isEmpty()) Line(line);
  state().SetMode(ModeNone);
  state().SetSocketCount(0);
  watch_.stop();
}

// --- sockets ---------------------------------------------------------------------------------

QTcpSocket* Session::NewClientSocket() {
  auto* socket = new QTcpSocket(this);
  std::function<void()> on_overflow;
  // The server's own user is never cut from its own server, whatever it holds.
  if (!listener_) {
    on_overflow = [this, socket] {
      // Our server stopped reading; treat it like a connection reset.
      QMetaObject::invokeMethod(
          this,
          [this, socket] {
            if (client_ == socket) OnClientError(QAbstractSocket::RemoteHostClosedError);
          },
          Qt::QueuedConnection);
    };
  }
  client_link_ = std::make_unique<SocketLink>(socket, std::move(on_overflow), output_cap_);
  router_.SetClientLink(client_link_.get());
  dispatcher_->ResetClientStream();
  socket->setReadBufferSize(kClientShare);
  connect(socket, &QTcpSocket::connected, this, &Session::OnClientConnected);
  connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
    if (client_ == socket) ScheduleClientRead();
  });
  connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](auto error) {
    if (client_ != socket) return;
    // What arrived before the error (a server's goodbye) is handled first.
    client_read_.stop();
    if (socket->bytesAvailable() > 0) dispatcher_->DP_Clnt(socket->readAll());
    if (client_ == socket) OnClientError(error);
  });
  return socket;
}

void Session::ScheduleClientRead(int delay_ms) {
  if (client_read_.isActive()) return;
  client_read_.start(delay_ms);
}

void Session::ReadClient() {
  if (!client_ || client_->bytesAvailable() <= 0) return;
  // Only what bounds the memory of unshown lines holds reading back (a frame at a time).
  if (reader_behind_ && reader_behind_()) {
    ScheduleClientRead(16);
    return;
  }
  QTcpSocket* socket = client_;
  dispatcher_->DP_Clnt(socket->read(ShareToRead(socket->bytesAvailable(), kClientShare)));
  if (client_ == socket && socket->bytesAvailable() > 0) ScheduleClientRead();
}

void Session::Retire(QTcpSocket* socket, bool flush) {
  if (!socket) return;
  socket->disconnect(this);
  if (!flush || socket->state() != QAbstractSocket::ConnectedState) {
    socket->abort();
    socket->deleteLater();
    return;
  }
  // Let the last packets (a leave, the server's goodbye) reach the peer before closing.
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  QTimer::singleShot(kRetireGraceMs, socket, [socket] {
    socket->abort();
    socket->deleteLater();
  });
  socket->disconnectFromHost();
}

void Session::CloseClient(bool flush) {
  client_read_.stop();
  if (flush && client_link_) client_link_->FlushForClose();
  router_.SetClientLink(nullptr);
  dispatcher_->ResetClientStream();
  QTcpSocket* socket = client_;
  client_ = nullptr;
  Retire(socket, flush);
  client_link_.reset();
}

void Session::StopServing(bool flush) {
  gate_tick_.stop();
  free_indexes_.clear();
  for (QTcpSocket* socket : early_) Retire(socket, false);
  early_.clear();
  own_taken_ = false;
  if (listener_) {
    listener_->disconnect(this);
    listener_->close();
    listener_->deleteLater();
    listener_ = nullptr;
  }
  pump_->Clear();
  router_.ClearServerLinks();
  for (size_t k = 1; k < slots_.size(); ++k) {
    if (flush && slots_[k].link) slots_[k].link->FlushForClose();
    dispatcher_->ResetServerStream(static_cast<int>(k));
    Retire(slots_[k].socket, flush);
  }
  slots_.clear();
}

void Session::OnClientConnected() {
  // Chat lines are small and interactive: never hold them back to fill a segment.
  if (client_) client_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  WatchLink(client_);
  // The own user's window is one of the server's readers: keep what the kernel holds for it
  // small, so that the server notices at once when the window falls behind.
  if (client_ && listener_) {
    client_->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 64 * 1024);
  }
  if (instance_.SessionMode == ModeConnecting) {
    Line(typed_host_ + QStringLiteral(" とネゴシエーション中"));
  }
  router_.Send(RouteServer, Packet(msg::kHello, 0), QStringLiteral("DP_Clnt"));
}

void Session::OnClientError(QAbstractSocket::SocketError error) {
  const int number = SocketErrorNumber(error);
  const int16_t mode = instance_.SessionMode;
  instance_.ReportStatus(QStringLiteral("TC_Err:") +
                         (client_ ? client_->errorString() : QString()));
  if (number != 10054) {
    // A joined connection that timed out or failed is as gone as a reset one.
    if (mode == ModeClient && IsDepartureError(number)) {
      EnterNoMode(QStringLiteral("サーバとの通信が途絶えました。接続を切断します"));
      CloseClient(false);
      emit linkLost();
    } else if (mode == ModeConnecting) {
      emit connectFailed();
    }
    return;
  }
  // Our own server vanished under us: stop serving too instead of listening without a user.
  if (instance_.SessionMode == ModeServer) StopServing(false);
  EnterNoMode(QStringLiteral("リモート側から接続がリセットされました。接続を切断します"));
  instance_.ClearStatus();
  router_.Send(RouteServer, Packet(msg::kLeave, 0, instance_.OwnIndex, 0),
               QStringLiteral("DP_Clnt"));
  CloseClient(false);
  if (mode == ModeClient) emit linkLost();
  if (mode == ModeConnecting) emit connectFailed();
}

bool Session::IsOwnConnection(const QTcpSocket* socket) const {
  // Without a known port (the bind failed) the first connection is taken for the own one.
  if (own_port_ == 0) return true;
  bool v4 = false;
  const quint32 address = socket->peerAddress().toIPv4Address(&v4);
  return socket->peerPort() == own_port_ &&
         (socket->peerAddress().isLoopback() || (v4 && (address >> 24) == 127));
}

void Session::OnNewConnection() {
  while (listener_ && listener_->hasPendingConnections()) {
    QTcpSocket* socket = listener_->nextPendingConnection();
    if (!socket) break;
    if (own_taken_) {
      TakeConnection(socket);
      continue;
    }
    if (!IsOwnConnection(socket)) {
      // Knocked before the own connection arrived: waits, reading nothing, until it has.
      if (early_.size() >= kMaxEarlyConnections) {
        socket->abort();
        socket->deleteLater();
        continue;
      }
      socket->setParent(this);
      socket->setReadBufferSize(1);
      early_.push_back(socket);
      continue;
    }
    own_taken_ = true;
    TakeConnection(socket);
    std::vector<QTcpSocket*> waiting;
    waiting.swap(early_);
    for (QTcpSocket* early : waiting) TakeConnection(early);
  }
}

void Session::TakeConnection(QTcpSocket* socket) {
  const QString address = AddressText(socket->peerAddress());
  if (const auto refusal = gate_.OnConnection(address); refusal != Gatekeeper::Refusal::kNone) {
    TurnAway(socket, refusal);
    return;
  }
  const int k = NextIndex();
  if (k < 1) {
    // The index space is spent for this run (only numbers nobody ever saw are reused).
    socket->abort();
    socket->deleteLater();
    instance_.ReportStatus(
        QStringLiteral("TS_Err:接続数が上限(%1)に達したため、新しい接続を拒否しました")
            .arg(index_limit_));
    return;
  }
  if (k > instance_.SocketCount) state().SetSocketCount(static_cast<int16_t>(k));
  socket->setParent(this);
  socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  WatchLink(socket);
  // Participants who stop reading are cut by the pump, not by the link.
  socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kServerSendBuffer);
  auto link = std::make_unique<SocketLink>(socket, std::function<void()>{}, output_cap_);
  if (static_cast<int>(slots_.size()) <= k) slots_.resize(k + 1);
  slots_[k].socket = socket;
  slots_[k].link = std::move(link);
  slots_[k].address = address;
  // Without a password everyone is in at once, as always; with one, only after the proof.
  slots_[k].admitted = !gate_.HasPassword();
  slots_[k].announced = false;
  slots_[k].nonce.clear();
  slots_[k].accepted_at = gate_clock_.elapsed();
  slots_[k].hello_at = slots_[k].challenged_at = slots_[k].joined_at = -1;
  slots_[k].partial_since = -1;
  router_.SetServerLink(k, slots_[k].admitted ? slots_[k].link.get() : nullptr);
  dispatcher_->ResetServerStream(k);
  // A row left over from an earlier run belongs to this new connection now.
  Participant& row = state().Row(k);
  row = Participant{};
  row.Index = static_cast<int16_t>(k);
  emit state().participantRowsGrown(instance_.SocketCount);

  // Participant 1 is the server's own user on the loopback address.
  pump_->Add(k, socket, slots_[k].link.get(), k == 1);
  connect(socket, &QTcpSocket::disconnected, this, [this, socket, k] {
    if (ServerSocket(k) == socket) CloseServerSocket(k);
  });
  connect(socket, &QTcpSocket::errorOccurred, this, [this, socket, k](auto error) {
    if (ServerSocket(k) == socket) OnServerError(k, error);
  });
}

void Session::OnServerError(int k, QAbstractSocket::SocketError error) {
  // A peer that closes its end is only closed here; the watch timer announces it.
  if (error == QAbstractSocket::RemoteHostClosedError) return;
  const int number = SocketErrorNumber(error);
  if (IsDepartureError(number)) {
    // A stranger that was never let in leaves unannounced.
    if (Admitted(k)) {
      AnnounceGone(k);
    } else {
      CloseServerSocket(k);
    }
    return;
  }
  QTcpSocket* socket = ServerSocket(k);
  instance_.ReportStatus(QStringLiteral("TS_Err:") + (socket ? socket->errorString() : QString()));
}

void Session::CloseServerSocket(int k, bool flush) {
  if (k < 1 || k >= static_cast<int>(slots_.size())) return;
  ServerSlot& slot = slots_[k];
  pump_->Remove(k);
  if (flush && slot.link) slot.link->FlushForClose();
  if (slot.link) slot.link->Detach();
  dispatcher_->ResetServerStream(k);
  QTcpSocket* socket = slot.socket;
  slot.socket = nullptr;
  Retire(socket, flush);
  // Nobody ever saw this number: it may be handed out again.
  if (!slot.announced && k > 1) free_indexes_.insert(k);
}

void Session::AnnounceGone(int k) {
  Packet gone(msg::kParticipantLeft, 0, static_cast<int16_t>(k), 0);
  gone.Add(static_cast<int16_t>(k));
  router_.Send(RouteAll, gone, QStringLiteral("DP_Serv"));
}

void Session::DropServerSocket(int k, const QString& reason) {
  if (!ServerSocket(k)) return;
  const bool admitted = Admitted(k);
  CloseServerSocket(k);
  if (!admitted) return;  // a stranger at the door: nobody knows it
  instance_.ReportStatus(QStringLiteral("TS_Err:") + reason);
  AnnounceGone(k);
}

void Session::OnWatchTick() {
  for (int k = instance_.SocketCount; k >= 1; --k) {
    const QTcpSocket* socket = ServerSocket(k);
    // Closed or failed (a failed socket ends up unconnected); one that is still closing is not.
    const bool closed = !socket || socket->state() == QAbstractSocket::UnconnectedState;
    const Participant* row = instance_.ParticipantAt(k);
    if (closed && row && row->Present) {
      Packet leave(msg::kLeave, 0, static_cast<int16_t>(k), 0);
      leave.Add(static_cast<int16_t>(k));
      router_.Send(RouteServer, leave, QStringLiteral("tmrObserv"));
    }
  }
  instance_.ClearStatus();
}

}  // namespace quillora
