#include "net/PortMapper.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QPointer>
#include <QThread>
#include <algorithm>

// The router protocols. miniupnpc and libnatpmp build on Linux, Windows and macOS alike; a build
// without them keeps hosting and says the port could not be opened.
#ifdef QUILLORA_HAVE_MINIUPNPC
#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>
#endif
#ifdef QUILLORA_HAVE_NATPMP
#include <natpmp.h>
#include <sys/select.h>
#endif

namespace quillora {

// One protocol's conversation with the router. Its calls block (bounded by the timeout) and run
// only on the backend's own worker thread.
class MappingBackend : public QObject {
 public:
  using Answer = PortMapper::Answer;
  virtual Answer Map(int port, int lease_seconds) = 0;
  virtual void Unmap() = 0;
};

namespace {

constexpr int kTimeoutMs = PortMapper::kTimeoutMs;

#ifdef QUILLORA_HAVE_MINIUPNPC
class UpnpBackend : public MappingBackend {
 public:
  ~UpnpBackend() override { Forget(); }

  Answer Map(int port, int lease_seconds) override {
    Answer a;
    if (!found_ && !Discover(&a.error)) return a;
    char outside[40] = {};
    if (UPNP_GetExternalIPAddress(urls_.controlURL, data_.first.servicetype, outside) ==
        UPNPCOMMAND_SUCCESS) {
      a.outside = QString::fromLatin1(outside);
    }
    const QByteArray port_text = QByteArray::number(port);
    QByteArray lease = QByteArray::number(lease_seconds);
    int rc = UPNP_AddPortMapping(urls_.controlURL, data_.first.servicetype, port_text.constData(),
                                 port_text.constData(), lan_, "Quillora", "TCP", nullptr,
                                 lease.constData());
    if (rc == 725) {  // OnlyPermanentLeasesSupported: ask for one that lasts until removed
      lease = "0";
      rc = UPNP_AddPortMapping(urls_.controlURL, data_.first.servicetype, port_text.constData(),
                               port_text.constData(), lan_, "Quillora", "TCP", nullptr, "0");
    }
    if (rc != UPNPCOMMAND_SUCCESS) {
      a.error = rc == 718 ? QStringLiteral("UPnP：ポートは別の機器に割り当て済みです")
                          : QStringLiteral("UPnP：ルータが断りました（%1）")
                                .arg(QString::fromLatin1(strupnperror(rc)));
      // The next try discovers again: the router may have restarted.
      if (rc < 0) Forget();
      return a;
    }
    mapped_port_ = port_text;
    a.ok = true;
    a.lifetime = lease.toInt();
    return a;
  }

  void Unmap() override {
    if (!found_ || mapped_port_.isEmpty()) return;
    UPNP_DeletePortMapping(urls_.controlURL, data_.first.servicetype, mapped_port_.constData(),
                           "TCP", nullptr);
    mapped_port_.clear();
  }

 private:
  bool Discover(QString* error) {
    int err = 0;
    // Each kind searched for waits a second at least: two kinds keep the search to the timeout.
    // An IGD v2 answers a search for v1 as well.
    static const char* const kinds[] = {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                                        "urn:schemas-upnp-org:service:WANIPConnection:1", nullptr};
    UPNPDev* devices = upnpDiscoverDevices(kinds, kTimeoutMs / 2, nullptr, nullptr,
                                           UPNP_LOCAL_PORT_ANY, 0, 2, &err, 0);
    if (!devices) {
      *error = QStringLiteral("UPnP：ルータが応答しません");
      return false;
    }
#if MINIUPNPC_API_VERSION >= 18
    const int rc = UPNP_GetValidIGD(devices, &urls_, &data_, lan_, sizeof lan_, nullptr, 0);
#else
    const int rc = UPNP_GetValidIGD(devices, &urls_, &data_, lan_, sizeof lan_);
#endif
    freeUPNPDevlist(devices);
    if (rc != 1) {
      if (rc != 0) FreeUPNPUrls(&urls_);
      *error = QStringLiteral("UPnP：インターネットにつながったルータが見つかりません");
      return false;
    }
    found_ = true;
    return true;
  }

  void Forget() {
    if (found_) FreeUPNPUrls(&urls_);
    found_ = false;
  }

  UPNPUrls urls_{};
  IGDdatas data_{};
  char lan_[64] = {};
  bool found_ = false;
  QByteArray mapped_port_;
};
#endif

#ifdef QUILLORA_HAVE_NATPMP
class NatPmpBackend : public MappingBackend {
 public:
  Answer Map(int port, int lease_seconds) override {
    Answer a;
    natpmp_t n;
    if (initnatpmp(&n, 0, 0) < 0) {
      a.error = QStringLiteral("NAT-PMP：ルータが見つかりません");
      return a;
    }
    const QDeadlineTimer deadline(kTimeoutMs);
    natpmpresp_t r{};
    if (sendpublicaddressrequest(&n) >= 0 && Await(&n, &r, deadline) == 0) {
      a.outside = QHostAddress(ntohl(r.pnu.publicaddress.addr.s_addr)).toString();
    } else {
      closenatpmp(&n);
      a.error = QStringLiteral("NAT-PMP：ルータが応答しません");
      return a;
    }
    const int rc = sendnewportmappingrequest(&n, NATPMP_PROTOCOL_TCP, static_cast<uint16_t>(port),
                                             static_cast<uint16_t>(port),
                                             static_cast<uint32_t>(lease_seconds));
    const int got = rc >= 0 ? Await(&n, &r, deadline) : rc;
    if (got == 0 && r.pnu.newportmapping.mappedpublicport != port) {
      // Players always connect to the listening port: another outside port is of no use.
      sendnewportmappingrequest(&n, NATPMP_PROTOCOL_TCP, static_cast<uint16_t>(port),
                                r.pnu.newportmapping.mappedpublicport, 0);
      Await(&n, &r, QDeadlineTimer(kTimeoutMs / 4));
      closenatpmp(&n);
      a.error = QStringLiteral("NAT-PMP：ポートは別の機器に割り当て済みです");
      return a;
    }
    closenatpmp(&n);
    if (got != 0) {
      a.error = got == NATPMP_ERR_NOTAUTHORIZED || got == NATPMP_ERR_OUTOFRESOURCES
                    ? QStringLiteral("NAT-PMP：ルータが断りました")
                    : QStringLiteral("NAT-PMP：ルータが応答しません");
      return a;
    }
    mapped_port_ = port;
    a.ok = true;
    a.lifetime = static_cast<int>(r.pnu.newportmapping.lifetime);
    return a;
  }

  void Unmap() override {
    if (mapped_port_ == 0) return;
    natpmp_t n;
    if (initnatpmp(&n, 0, 0) < 0) return;
    natpmpresp_t r{};
    if (sendnewportmappingrequest(&n, NATPMP_PROTOCOL_TCP, static_cast<uint16_t>(mapped_port_), 0,
                                  0) >= 0) {
      Await(&n, &r, QDeadlineTimer(kTimeoutMs));
    }
    closenatpmp(&n);
    mapped_port_ = 0;
  }

 private:
  // Waits for the answer to the pending request, resending as the protocol says, until the
  // deadline. 0 when an answer came.
  static int Await(natpmp_t* n, natpmpresp_t* response, const QDeadlineTimer& deadline) {
    int rc = NATPMP_TRYAGAIN;
    while (rc == NATPMP_TRYAGAIN) {
      const qint64 left = deadline.remainingTime();
      if (left <= 0) return NATPMP_TRYAGAIN;
      timeval wait{};
      getnatpmprequesttimeout(n, &wait);
      const qint64 wait_ms = wait.tv_sec * 1000 + wait.tv_usec / 1000;
      if (wait_ms > left || wait.tv_sec < 0) {
        wait.tv_sec = static_cast<time_t>(left / 1000);
        wait.tv_usec = static_cast<suseconds_t>((left % 1000) * 1000);
      }
      fd_set fds;
      FD_ZERO(&fds);
      FD_SET(n->s, &fds);
      select(n->s + 1, &fds, nullptr, nullptr, &wait);
      rc = readnatpmpresponseorretry(n, response);
    }
    return rc;
  }

  int mapped_port_ = 0;
};
#endif

// A protocol this build was made without.
class MissingBackend : public MappingBackend {
 public:
  explicit MissingBackend(QString name) : name_(std::move(name)) {}
  Answer Map(int, int) override {
    Answer a;
    a.error = name_ + QStringLiteral("：このビルドでは使えません");
    return a;
  }
  void Unmap() override {}

 private:
  QString name_;
};

MappingBackend* MakeBackend(int which) {
  if (which == 0) {
#ifdef QUILLORA_HAVE_MINIUPNPC
    return new UpnpBackend;
#else
    return new MissingBackend(QStringLiteral("UPnP"));
#endif
  }
#ifdef QUILLORA_HAVE_NATPMP
  return new NatPmpBackend;
#else
  return new MissingBackend(QStringLiteral("NAT-PMP"));
#endif
}

}  // namespace

PortMapper::PortMapper(QObject* parent) : QObject(parent) {
  for (int b = 0; b < kBackends; ++b) {
    auto slot = std::make_unique<Slot>();
    slot->renew.setSingleShot(true);
    connect(&slot->renew, &QTimer::timeout, this, [this, b] { Ask(b); });
    slots_[b] = std::move(slot);
  }
}

PortMapper::~PortMapper() {
  Stop();
  for (auto& slot : slots_) {
    if (!slot->thread) continue;
    // Queued after the removal, so the worker takes the mapping back before it stops.
    MappingBackend* worker = slot->worker;
    QMetaObject::invokeMethod(worker, [worker] {
      delete worker;
      QThread::currentThread()->quit();
    });
    // Every library call is bounded by its own timeout; a thread that still hangs is left to
    // the end of the process rather than destroyed while it runs.
    if (slot->thread->wait(10 * kTimeoutMs)) delete slot->thread;
  }
}

void PortMapper::Start(int port) {
  if (port_ > 0) Stop();
  port_ = port;
  ++generation_;
  opening_ = PortOpening::Unknown;
  outside_.clear();
  reason_.clear();
  for (int b = 0; b < kBackends; ++b) {
    Slot& slot = *slots_[b];
    slot.answered = false;
    slot.last = Answer{};
    if (!slot.thread) {
      slot.thread = new QThread;
      slot.thread->setObjectName(b == kUpnp ? QStringLiteral("upnp") : QStringLiteral("natpmp"));
      slot.worker = MakeBackend(b);
      slot.worker->moveToThread(slot.thread);
      slot.thread->start();
    }
    Ask(b);
  }
  emit changed();
}

void PortMapper::Ask(int backend) {
  Slot& slot = *slots_[backend];
  MappingBackend* worker = slot.worker;
  const int port = port_;
  const int lease = lease_seconds_;
  const int generation = generation_;
  QPointer<PortMapper> self(this);
  QMetaObject::invokeMethod(worker, [worker, port, lease, generation, backend, self] {
    const Answer answer = worker->Map(port, lease);
    if (!self) return;
    QMetaObject::invokeMethod(self.data(), [self, backend, generation, answer] {
      if (self) self->OnAnswer(backend, generation, answer);
    });
  });
}

void PortMapper::Stop() {
  if (port_ == 0) return;
  port_ = 0;
  ++generation_;  // answers still on their way belong to the hosting that ended
  for (auto& slot : slots_) {
    slot->renew.stop();
    if (!slot->worker) continue;
    MappingBackend* worker = slot->worker;
    QMetaObject::invokeMethod(worker, [worker] { worker->Unmap(); });
  }
  opening_ = PortOpening::NotServing;
  reason_.clear();
  emit changed();
}

void PortMapper::OnAnswer(int backend, int generation, const Answer& answer) {
  // An answer for a hosting that has ended: that Stop() queued the removal behind the request.
  if (generation != generation_ || port_ == 0) return;
  Slot& slot = *slots_[backend];
  const bool renewal = slot.answered && slot.last.ok;
  slot.answered = true;
  slot.last = answer;
  if (answer.ok && answer.lifetime > 0) {
    // Renew at half time, so that one lost answer still leaves time for another try.
    slot.renew.start(std::max(1, answer.lifetime / 2) * 1000);
  } else if (!answer.ok && renewal) {
    slot.renew.start(30 * 1000);
  }
  Settle();
}

void PortMapper::Settle() {
  const Slot& upnp = *slots_[kUpnp];
  const Slot& natpmp = *slots_[kNatPmp];
  PortOpening opening = opening_;
  QString outside = outside_;
  // The first protocol that opened the port names it; the other one may hold it as well.
  if (opening_ == PortOpening::UPnP && !upnp.last.ok) opening = PortOpening::Unknown;
  if (opening_ == PortOpening::NatPmp && !natpmp.last.ok) opening = PortOpening::Unknown;
  if (opening != PortOpening::UPnP && opening != PortOpening::NatPmp) {
    if (upnp.last.ok) {
      opening = PortOpening::UPnP;
    } else if (natpmp.last.ok) {
      opening = PortOpening::NatPmp;
    } else if (upnp.answered && natpmp.answered) {
      opening = PortOpening::NotOpen;
    } else {
      opening = PortOpening::Unknown;
    }
  }
  const Answer& named = opening == PortOpening::NatPmp ? natpmp.last : upnp.last;
  if (!named.outside.isEmpty()) {
    outside = named.outside;
  } else if (!upnp.last.outside.isEmpty()) {
    outside = upnp.last.outside;
  } else if (!natpmp.last.outside.isEmpty()) {
    outside = natpmp.last.outside;
  }
  QString reason;
  if (opening == PortOpening::NotOpen) {
    QStringList why;
    for (const Slot* s : {&upnp, &natpmp}) {
      if (!s->last.error.isEmpty()) why << s->last.error;
    }
    reason = why.join(QStringLiteral("、"));
  }
  const bool moved = opening != opening_ || outside != outside_;
  const bool differs = moved || reason != reason_;
  opening_ = opening;
  outside_ = outside;
  reason_ = reason;
  if (!differs) return;
  emit changed();
  if (!moved) return;

  const QString port = QString::number(port_);
  const bool inside = IsInsideAddress(QHostAddress(outside_));
  if (opening_ == PortOpening::UPnP || opening_ == PortOpening::NatPmp) {
    const QString how =
        opening_ == PortOpening::UPnP ? QStringLiteral("UPnP") : QStringLiteral("NAT-PMP");
    QString line = QStringLiteral("ルータがポート%1番を%2で開けました。").arg(port, how);
    if (!outside_.isEmpty()) line += QStringLiteral("外側のアドレスは %1 です。").arg(outside_);
    if (inside) line += InsideWarning();
    emit notice(line);
  } else if (opening_ == PortOpening::NotOpen) {
    QString line =
        QStringLiteral("ルータにポート%1番を開けてもらえませんでした（%2）。サーバは続けます。")
            .arg(port, reason_);
    if (inside) line += InsideWarning();
    emit notice(line);
  }
}

}  // namespace quillora
