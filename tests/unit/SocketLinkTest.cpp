// A link over a real loopback connection whose reader has stopped for a moment: file pieces
// wait in their own queue, chat and other senders' packets overtake them, a sender's own
// packets stay behind its pieces, and every byte arrives in the end.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
  // The reader's system buffer is made small before connecting, so that what it holds unread is
  // small too; the rest has to wait on the writing side.
  const int reader = ::socket(AF_INET, SOCK_STREAM, 0);
  const int small = 8 * 1024;
  ::setsockopt(reader, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(listener.serverPort());
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(reader, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  ASSERT_TRUE(listener.waitForNewConnection(5000));
  QTcpSocket* writer = listener.nextPendingConnection();
  SocketLink link(writer);

  // 800 KB of pieces for a reader that is not reading: most of them have to wait here.
  constexpr int kPieces = 400;
  static_assert(SocketLink::kBulkMaxInFlight < kPieces * 2048 / 2);
  for (int k = 1; k <= kPieces; ++k) link.WriteBulk(Piece(k));
  QTest::qWait(100);
  EXPECT_GT(link.BulkBacklog(), kPieces * 2048 / 4);
  EXPECT_LE(link.UrgentBacklog(), SocketLink::kBulkMaxInFlight + 4096)
      << "pieces reached the socket beyond the link's share";
  // A page announcement by the pieces' sender must come after them; the chat of that same
  // sender and a tool packet of someone else need not.
  const int waiting = static_cast<int>(link.BulkBacklog() / Piece(1).size());
  link.Write(Tool(3, 1));
  link.Write(Chat(3, QStringLiteral("地図を送ります")));
  link.Write(Tool(5, 2));
  EXPECT_EQ(link.BulkWritten(), quint64{kPieces});

  StreamBuffer stream;
  QVector<Packet> got;
  const bool all = QTest::qWaitFor(
      [&] {
        char bytes[65536];
        for (ssize_t n; (n = ::recv(reader, bytes, sizeof bytes, MSG_DONTWAIT)) > 0;) {
          stream.Append(QByteArrayView(bytes, n));
        }
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
  // Only the pieces that had already left the link were ahead of the chat line, none of those
  // still waiting in it.
  const int share = kPieces - waiting + 1;
  EXPECT_GE(chat_at, 0);
  EXPECT_LE(chat_at, share);
  EXPECT_EQ(other_tool_at, chat_at + 1);
  EXPECT_EQ(own_tool_at, kPieces + 2);
  EXPECT_EQ(link.Backlog(), 0);
  ::close(reader);
}
