#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <utility>

#include "common/TestSupport.h"
#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/PacketCodec.h"
#include "net/Router.h"

namespace quillora::test {

// "01 00 10 00" -> bytes; spaces are ignored.
inline QByteArray Hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

// One write as seen by the wire: which link and what bytes.
struct Sent {
  int link;
  QByteArray bytes;
};

// A connection that records what the router writes, in the order of all links together.
class FakeLink : public Link {
 public:
  FakeLink(int id, QVector<Sent>* log, bool connected = true)
      : id_(id), log_(log), connected_(connected) {}
  bool IsConnected() const override { return connected_; }
  void Write(const QByteArray& bytes) override { log_->push_back({id_, bytes}); }
  void SetConnected(bool connected) { connected_ = connected; }

 private:
  int id_;
  QVector<Sent>* log_;
  bool connected_;
};

// A server instance with n participant links (ids 1..n) and a client link (id 0), a router
// and a dispatcher; error reports are collected.
struct NetRig {
  explicit NetRig(int sockets = 4)
      : instance(home.path(), 1), router(instance), dispatcher(instance, router) {
    SetSocketCount(instance, static_cast<int16_t>(sockets));
    client = std::make_unique<FakeLink>(0, &writes);
    router.SetClientLink(client.get());
    for (int k = 1; k <= sockets; ++k) {
      links.push_back(std::make_unique<FakeLink>(k, &writes));
      router.SetServerLink(k, links.back().get());
    }
    QObject::connect(&instance, &Instance::panelChanged,
                     [this](const QString&, const QString& text) { reports << text; });
  }

  FakeLink& link(int k) { return *links[k - 1]; }
  QVector<int> Recipients() const {
    QVector<int> ids;
    for (const auto& w : writes) ids.push_back(w.link);
    return ids;
  }

  TempHome home;
  Instance instance;
  Router router;
  Dispatcher dispatcher;
  QVector<Sent> writes;
  std::unique_ptr<FakeLink> client;
  std::vector<std::unique_ptr<FakeLink>> links;
  QStringList reports;
};

// An encoded packet with the given header and one text item.
inline QByteArray Encoded(int code, int sub = 0, int sender = 0, int dest = 0,
                          const QString& text = QStringLiteral("x")) {
  Packet p(static_cast<int16_t>(code), static_cast<int16_t>(sub), static_cast<int16_t>(sender),
           static_cast<int16_t>(dest));
  p.Add(text);
  return EncodePacket(p);
}

}  // namespace quillora::test
