#include "ProtocolHarness.h"

#include <cstdio>
#include <cstdlib>

#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/PacketCodec.h"
#include "net/Router.h"

namespace quillora::fuzz {

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "protocol invariant broken: %s\n", what);
  std::abort();
}

// Whatever reaches a socket must be one well-framed packet.
class CheckingLink : public Link {
 public:
  bool IsConnected() const override { return connected; }
  void Write(const QByteArray& bytes) override {
    if (bytes.size() < kEmptyPacketSize || bytes.size() > kMaxPacketSize) Fail("packet size");
    if (bytes[0] != 1 || bytes[1] != 0 || bytes[bytes.size() - 2] != 2 ||
        bytes[bytes.size() - 1] != 0) {
      Fail("markers");
    }
    if (RawWord(bytes, 2) != bytes.size()) Fail("length word");
    ++writes;
  }
  bool connected = true;
  int writes = 0;
};

// Reads every item with every reader, as handlers do, then one past the end.
void ReadItems(const Packet& p) {
  for (int i = 1; i <= p.Count(); ++i) {
    try {
      (void)p.Int(i);
    } catch (const ProtocolError&) {
    }
    try {
      (void)p.Number(i);
    } catch (const ProtocolError&) {
    }
    try {
      (void)p.Bool(i);
    } catch (const ProtocolError&) {
    }
    (void)p.Text(i);
  }
  if (p.MessageCode % 2 == 1) (void)p.Text(p.Count() + 1);  // the short-list error path
}

// Echoes a decoded packet through the router, checking that our own encoding is canonical.
void Reply(Router& router, const Packet& p, RoutingMode mode) {
  Packet reply = p;
  reply.MessageCode = static_cast<int16_t>(p.MessageCode % 1000);
  const QByteArray bytes = EncodePacket(reply);  // may throw overflow: the dispatcher reports it
  if (EncodePacket(DecodePacket(bytes)) != bytes) Fail("encoding is not canonical");
  router.SendPacket(mode, reply);
}

}  // namespace

QByteArray Arrival(int target, const QByteArray& bytes, bool reset_first) {
  QByteArray out;
  out.append(static_cast<char>(target | (reset_first ? 0x80 : 0)));
  out.append(static_cast<char>(bytes.size() & 0xFF));
  out.append(static_cast<char>((bytes.size() >> 8) & 0xFF));
  return out + bytes;
}

void RunProtocolInput(const uint8_t* data, size_t size) {
  Instance instance(QStringLiteral("/nonexistent/quillora-fuzz"), 1);
  instance.SessionMode = ModeServer;
  instance.SocketCount = 4;
  Router router(instance);
  Dispatcher dispatcher(instance, router);
  CheckingLink links[5];
  links[3].connected = false;
  router.SetClientLink(&links[0]);
  for (int k = 1; k <= 4; ++k) router.SetServerLink(k, &links[k]);

  dispatcher.RegisterServerHandler(202, 202, [&](int k, const Packet& p) {
    ReadItems(p);
    dispatcher.ResetServerStream(k);  // a leave closes the connection
  });
  dispatcher.RegisterServerHandler(1, 999, [&](int, const Packet& p) {
    ReadItems(p);
    Reply(router, p, p.SubCode % 2 ? RouteAll : RouteOne);
  });
  dispatcher.RegisterClientHandler(1, 999, [&](const Packet& p) {
    ReadItems(p);
    if (p.MessageCode == 3) dispatcher.ResetClientStream();
    Reply(router, p, RouteServer);
  });

  const char* bytes = reinterpret_cast<const char*>(data);
  size_t at = 0;
  while (at < size) {
    if (size - at < 3) {
      dispatcher.DP_Clnt(QByteArrayView(bytes + at, static_cast<qsizetype>(size - at)));
      break;
    }
    const uint8_t selector = data[at];
    size_t length = data[at + 1] | (data[at + 2] << 8);
    at += 3;
    if (length > size - at) length = size - at;
    const QByteArrayView arrival(bytes + at, static_cast<qsizetype>(length));
    at += length;
    const int target = selector % 5;
    const bool reset = selector & 0x80;
    if (target == 0) {
      if (reset) dispatcher.ResetClientStream();
      dispatcher.DP_Clnt(arrival);
    } else {
      if (reset) dispatcher.ResetServerStream(target);
      dispatcher.DP_Srv(target, arrival);
      if (dispatcher.BufferedServerBytes(target) > Dispatcher::kInputCap) Fail("cap");
    }
  }
}

}  // namespace quillora::fuzz
