#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "gui/SessionHarness.h"
#include "net/FileTransfer.h"

using namespace quillora;
using namespace quillora::test;

namespace {

// A participant that also sends and receives files, with scripted answers to its questions.
struct FilePeer : Peer {
  FilePeer(const QString& handle, int port) : Peer(handle, port), files(instance, session) {
    files.SetPace(5);
    files.confirm = [this](const QString& title, const QString& text,
                           std::function<void(bool)> done) {
      questions << title + QLatin1Char('|') + text;
      done(answer);
    };
    files.open_file = [this](const QString& path) { opened << path; };
  }
  QByteArray Received(const QString& name) const {
    QFile f(home.File("file_Rcv/" + name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  bool HasReceived(const QString& name) const {
    return QFile::exists(home.File("file_Rcv/" + name));
  }

  FileTransfer files;
  QStringList questions;
  QStringList opened;
  bool answer = true;
};

QByteArray Pattern(int size) {
  QByteArray bytes(size, '\0');
  for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  return bytes;
}

class FileTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = FreePort();
    server_ = std::make_unique<FilePeer>(QStringLiteral("親"), port_);
    client_ = std::make_unique<FilePeer>(QStringLiteral("子"), port_);
    ASSERT_TRUE(StartServer(*server_));
    ASSERT_TRUE(Join(*client_, *server_));
  }
  // Sends a file of `bytes` named `name` from the server's user and waits until the queue ran dry.
  void SendFromServer(const QString& name, const QByteArray& bytes, bool open_after = true) {
    server_->home.Write(name, bytes);
    ASSERT_TRUE(server_->files.SendFile(server_->home.File(name), open_after));
    ASSERT_TRUE(WaitUntil([&] { return !server_->files.Sending(); }));
    QTest::qWait(100);
  }
  int port_ = 0;
  std::unique_ptr<FilePeer> server_;
  std::unique_ptr<FilePeer> client_;
};

}  // namespace

TEST_F(FileTransferTest, PiecesArriveWholeAndTheFileOpensUnderTheDefaultPolicy) {
  const QByteArray data = Pattern(2049);  // two pieces, the second of one byte
  server_->home.Write("map.bmp", data);
  ASSERT_TRUE(server_->files.SendFile(server_->home.File("map.bmp"), true));
  EXPECT_EQ(server_->files.QueuedPieces(), 1);  // the first left at once
  ASSERT_TRUE(WaitUntil([&] { return client_->Received("map.bmp") == data; }));
  EXPECT_EQ(client_->opened.size(), 1);
  EXPECT_TRUE(client_->SysReqMes().isEmpty());
  // The sender does not receive its own file.
  EXPECT_FALSE(server_->HasReceived("map.bmp"));

  // Sending again replaces the earlier copy; an empty file arrives empty.
  SendFromServer("map.bmp", Pattern(10));
  EXPECT_EQ(client_->Received("map.bmp"), Pattern(10));
  SendFromServer("empty.txt", QByteArray());
  EXPECT_TRUE(client_->HasReceived("empty.txt"));
  EXPECT_TRUE(client_->Received("empty.txt").isEmpty());
}

TEST_F(FileTransferTest, PoliciesDecideWhatIsStoredAskedAndOpened) {
  client_->instance.settings.ExecuteLevel = FileTransfer::kRefuse;
  SendFromServer("a.txt", Pattern(100));
  EXPECT_FALSE(client_->HasReceived("a.txt"));
  EXPECT_TRUE(client_->SysReqMes().isEmpty());

  client_->instance.settings.ExecuteLevel = FileTransfer::kReceiveOnly;
  SendFromServer("b.txt", Pattern(100));
  EXPECT_TRUE(client_->HasReceived("b.txt"));
  EXPECT_EQ(client_->SysReqMes(), QStringLiteral("b.txt(1/1)を受信中"));  // left standing
  EXPECT_TRUE(client_->opened.isEmpty());

  client_->instance.settings.ExecuteLevel = FileTransfer::kReceiveAskOpen;
  client_->answer = false;
  SendFromServer("c.txt", Pattern(100));
  ASSERT_EQ(client_->questions.size(), 1);
  EXPECT_EQ(client_->questions[0],
            QStringLiteral("実行確認|受信したファイル\nc.txt\nを実行しますか？"));
  EXPECT_TRUE(client_->opened.isEmpty());

  // Asking before receiving: a "no" keeps the file out.
  client_->instance.settings.ExecuteLevel = FileTransfer::kAskReceiveOnly;
  SendFromServer("d.txt", Pattern(5000));
  EXPECT_FALSE(client_->HasReceived("d.txt"));
  client_->answer = true;
  SendFromServer("e.txt", Pattern(5000));
  EXPECT_EQ(client_->Received("e.txt"), Pattern(5000));

  // Store only (SubCode 2) never opens.
  client_->instance.settings.ExecuteLevel = FileTransfer::kReceiveOpen;
  client_->opened.clear();
  SendFromServer("f.txt", Pattern(10), false);
  EXPECT_TRUE(client_->HasReceived("f.txt"));
  EXPECT_TRUE(client_->opened.isEmpty());
}

TEST_F(FileTransferTest, HostileNamesAndProgramsAreDefused) {
  RawPeer raw;
  ASSERT_TRUE(raw.Connect(port_));
  const int index = raw.Hello(QStringLiteral("悪"));
  ASSERT_GT(index, 0);
  auto piece = [&](const QString& name, const QByteArray& bytes, int position = 1, int size = -1) {
    Packet p(311, 1, static_cast<int16_t>(index), 0);
    p.Add(name)
        .Add(1)
        .Add(1)
        .Add(size < 0 ? static_cast<int32_t>(bytes.size()) : size)
        .Add(position);
    p.SetBin(bytes);
    raw.Send(p);
  };
  piece(QStringLiteral("../../evil.sh"), "#!/bin/sh\necho owned\n");
  ASSERT_TRUE(WaitUntil([&] { return client_->HasReceived("evil.sh"); }));
  EXPECT_FALSE(QFile::exists(client_->home.File("../evil.sh")));
  EXPECT_TRUE(client_->opened.isEmpty());  // a script is stored, never opened
  EXPECT_FALSE(QFileInfo(client_->home.File("file_Rcv/evil.sh")).isExecutable());

  piece(QStringLiteral("C:\\Windows\\con.txt"), "x");
  ASSERT_TRUE(WaitUntil([&] { return client_->HasReceived("_con.txt"); }));

  // A piece that claims to lie far beyond its file is refused and reported.
  piece(QStringLiteral("huge.bin"), "x", 2000000000, 10);
  ASSERT_TRUE(WaitUntil(
      [&] { return client_->SysReqMes().startsWith(QStringLiteral("Err 5 @ DP_Clnt")); }));
  EXPECT_FALSE(client_->HasReceived("huge.bin"));

  EXPECT_EQ(FileTransfer::SafeFileName(QStringLiteral("..")), QStringLiteral("received.bin"));
  EXPECT_EQ(FileTransfer::SafeFileName(QStringLiteral(".bashrc")), QStringLiteral("_bashrc"));
  EXPECT_EQ(FileTransfer::SafeFileName(QStringLiteral("a:b?.txt")), QStringLiteral("a_b_.txt"));
  EXPECT_TRUE(FileTransfer::RunsCode(QStringLiteral("Setup.EXE"), {}));
  EXPECT_TRUE(FileTransfer::RunsCode(QStringLiteral("noext"), QByteArray("\x7F"
                                                                         "ELF")));
  EXPECT_FALSE(FileTransfer::RunsCode(QStringLiteral("map.mh0"), QByteArray("MH0")));
}
