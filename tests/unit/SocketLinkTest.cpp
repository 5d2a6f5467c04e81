// A link over a real loopback connection whose reader has stopped for a moment: file pieces
// wait in their own queue, chat and other senders' packets overtake them, a sender's own
// packets stay behind its pieces, and every byte arrives in the end.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "common/TestSupport.h"
#include "net/MessageCodes.h"
#include "net/PacketCodec.h"
#include "net/SocketLink.h"
#include "net/StreamBuffer.h"

using namespace quillora;

namespace {

QByteArray Piece(int number) {
  Packet p(msg::kFilePiece, 2, 3, 0);
  p.Add(QStringLiteral("map.png")).Add(int32_t{400}).Add(int32_t{number});
  p.SetBin(QByteArray(2048, static_cast<char>(number & 0x7F)));
  return EncodePacket(p);
}

QByteArray Tool(int sender, int number) {
  Packet p(513, 0, static_cast<int16_t>(sender), 0);
  p.Add(int32_t{number});
  return EncodePacket(p);
}

QByteArray Chat(int sender, const QString& text) {
  Packet p(msg::kChat, 1, static_cast<int16_t>(sender), 0);
  p.Add(text);
  return EncodePacket(p);
}

}  // namespace

TEST(SocketLink, ChatOvertakesWaitingPiecesAndASendersOwnPacketsKeepTheirPlace) {
  QTcpServer listener;
  ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
  QTcpSocket reader;
  reader.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 16 * 1024);
  reader.setReadBufferSize(4096);
  reader.connectToHost(QHostAddress::LocalHost, listener.serverPort());
  ASSERT_TRUE(listener.waitForNewConnection(5000));
  QTcpSocket* writer = listener.nextPendingConnection();
  ASSERT_TRUE(QTest::qWaitFor([&] { return reader.state() == QAbstractSocket::ConnectedState; }));
  SocketLink link(writer);

  // 800 KB of pieces for a reader that is not reading: most of them have to wait here.
  static_assert(SocketLink::kBulkMaxInFlight < 400 * 2048 / 2);
  constexpr int kPieces = 400;
  for (int k = 1; k <= kPieces; ++k) link.WriteBulk(Piece(k));
  QTest::qWait(100);
  EXPECT_GT(link.BulkBacklog(), 400 * 2048 - SocketLink::kBulkMaxInFlight - 64 * 1024);
  EXPECT_LE(link.UrgentBacklog(), SocketLink::kBulkMaxInFlight + 4096)
      << "pieces reached the socket beyond the link's share";
  // A page announcement by the pieces' sender must come after them; the chat of that same
  // sender and a tool packet of someone else need not.
  link.Write(Tool(3, 1));
  link.Write(Chat(3, QStringLiteral("地図を送ります")));
  link.Write(Tool(5, 2));
  EXPECT_EQ(link.BulkWritten(), quint64{kPieces});

  StreamBuffer stream;
  QVector<Packet> got;
  const bool all = QTest::qWaitFor(
      [&] {
        stream.Append(reader.readAll());
        QByteArray one;
        ProtocolError error{0, {}};
        bool report = false;
        while (stream.Next(&one, &error, &report) == StreamBuffer::Cut::kPacket) {
          got.push_back(DecodePacket(one));
        }
        return got.size() == kPieces + 3;
      },
      20000);
  ASSERT_TRUE(all) << got.size();
  int chat_at = -1, other_tool_at = -1, own_tool_at = -1, next_piece = 1;
  for (int i = 0; i < got.size(); ++i) {
    const Packet& p = got[i];
    if (p.MessageCode == msg::kFilePiece) {
      ASSERT_EQ(p.Int(3), next_piece++) << "pieces out of order";
      ASSERT_EQ(p.BinData, QByteArray(2048, static_cast<char>(p.Int(3) & 0x7F)));
    } else if (p.MessageCode == msg::kChat) {
      chat_at = i;
    } else if (p.Int(1) == 1) {
      own_tool_at = i;
    } else {
      other_tool_at = i;
    }
  }
  EXPECT_EQ(next_piece, kPieces + 1);
  // Only what the system already held (a share of the link, and the reader's own small buffer)
  // was ahead of the chat line.
  const int share = static_cast<int>((SocketLink::kBulkMaxInFlight + 64 * 1024) / 2048);
  EXPECT_GE(chat_at, 0);
  EXPECT_LE(chat_at, share);
  EXPECT_EQ(other_tool_at, chat_at + 1);
  EXPECT_EQ(own_tool_at, kPieces + 2);
  EXPECT_EQ(link.Backlog(), 0);
}
