#pragma once
// In-process session participants for the session tests: each has its own program folder,
// instance, chat record, lists, session and chat controller, all on one event loop.

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QTcpSocket>
#include <QTest>
#include <QVector>
#include <functional>

#include "chat/ChatController.h"
#include "chat/ChatReceiver.h"
#include "chat/Recipients.h"
#include "common/TestSupport.h"
#include "core/ChatSink.h"
#include "core/Instance.h"
#include "net/PacketCodec.h"
#include "net/Session.h"
#include "net/StreamBuffer.h"
#include "net/ToolAnnouncer.h"

namespace quillora::test {

inline constexpr int kWaitMs = 8000;

struct ChatLine {
  QString speaker;
  int kind;
  QString text;
  QString indent;
  uint32_t color;
};

class RecordingSink : public ChatSink {
 public:
  void AppendChatLine(const QString& speaker, int kind, const QString& text,
                      const QString& indent_reference, uint32_t color) override {
    lines.push_back({speaker, kind, text, indent_reference, color});
  }
  // The first line with this text, or nullptr.
  const ChatLine* Find(const QString& text) const {
    for (const auto& l : lines) {
      if (l.text == text) return &l;
    }
    return nullptr;
  }
  bool Has(const QString& text) const { return Find(text) != nullptr; }
  int Count(const QString& text) const {
    int n = 0;
    for (const auto& l : lines) n += l.text == text ? 1 : 0;
    return n;
  }
  QVector<ChatLine> lines;
};

class Peer {
 public:
  Peer(const QString& handle, int port, uint32_t color = 0)
      : instance(home.path(), 7),
        session(instance),
        chat(instance, session, sink, recipients),
        receiver(instance, session, sink, recipients),
        tools(instance, session.router(), session.dispatcher()) {
    instance.OwnHandle = handle;
    instance.settings.PreFixStr = QStringLiteral("さん");
    instance.settings.Color[kColorOwnHandle] = color;
    session.SetPort(port);
  }

  int Index() const { return instance.OwnIndex; }
  QString SysReqMes() const { return instance.Panel(QLatin1String(kPanelSysReqMes)); }
  bool Lists(int index) const { return recipients.RowOf(index) >= 0; }
  QString ReDirText(int index) const {
    const int row = recipients.RowOf(index);
    return row < 0 ? QString() : recipients.ReDir()[row].text;
  }
  QString SendText(int index) const {
    const int row = recipients.RowOf(index);
    return row < 0 || row >= recipients.Send().size() ? QString() : recipients.Send()[row].text;
  }

  TempHome home;
  Instance instance;
  RecordingSink sink;
  Recipients recipients;
  Session session;
  ChatController chat;
  ChatReceiver receiver;
  ToolAnnouncer tools;
};

inline bool WaitUntil(const std::function<bool()>& done, int ms = kWaitMs) {
  return QTest::qWaitFor(done, ms);
}

// Starts serving and waits until the server's own user has joined as participant 1.
inline bool StartServer(Peer& server) {
  if (!server.session.BecomeServer()) return false;
  return WaitUntil([&] { return server.Index() == 1 && !server.recipients.ReDir().isEmpty(); });
}

// Connects and waits until the server lists the newcomer.
inline bool Join(Peer& client, Peer& server, const QString& address = QStringLiteral("127.0.0.1")) {
  const int before = server.instance.SocketCount;
  client.session.Connect(address);
  return WaitUntil([&] {
    return client.instance.SessionMode == ModeClient && client.Index() > before &&
           server.Lists(client.Index());
  });
}

// A hand-driven connection that speaks the wire format directly.
class RawPeer {
 public:
  RawPeer() {
    QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
      buffer.Append(socket.readAll());
      QByteArray bytes;
      ProtocolError error{0, {}};
      bool report = false;
      while (buffer.Next(&bytes, &error, &report) == StreamBuffer::Cut::kPacket) {
        packets.push_back(DecodePacket(bytes));
      }
    });
  }
  bool Connect(int port) {
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(port));
    return WaitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; });
  }
  void Send(const Packet& p) { socket.write(EncodePacket(p)); }
  void SendRaw(const QByteArray& bytes) { socket.write(bytes); }
  const Packet* Last(int code) const {
    for (auto it = packets.crbegin(); it != packets.crend(); ++it) {
      if (it->MessageCode == code) return &*it;
    }
    return nullptr;
  }
  bool WaitFor(int code) {
    return WaitUntil([&] { return Last(code) != nullptr; });
  }
  // The hello and the join with a handle; returns the index the server gave us (0 on failure).
  int Hello(const QString& handle) {
    Send(Packet(204, 0));
    if (!WaitFor(2)) return 0;
    const int index = Last(2)->Int(1);
    Packet join(201, 0, static_cast<int16_t>(index), 1);
    join.Add(handle).Add(int32_t{0x123456});
    Send(join);
    return index;
  }

  QTcpSocket socket;
  StreamBuffer buffer;
  QVector<Packet> packets;
};

}  // namespace quillora::test
