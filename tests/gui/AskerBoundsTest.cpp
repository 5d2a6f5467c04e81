// What one participant can make the others do: catch-up answers go to the asker alone and once,
// a forged typing state renames nobody, a flood of files raises one question and keeps within
// its sender's quota, and odd names are all kept.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <limits>
#include <memory>
#include <random>

#include "cards/Cards.h"
#include "drawing/DrawBoard.h"
#include "gui/SessionHarness.h"
#include "hexmap/HexMap.h"
#include "net/FileTransfer.h"
#include "net/MessageCodes.h"
#include "text/Cp932.h"

namespace quillora::test {
namespace {

struct BoundPeer {
  BoundPeer(const QString& handle, int port)
      : peer(handle, port),
        files(peer.instance, peer.session),
        map(peer.instance, peer.session.router(), peer.session.dispatcher(), files),
        board(peer.instance, peer.session.router(), peer.session.dispatcher(),
              [this](const QString& path, std::function<void()> sent) {
                return files.SendFile(path, false, std::move(sent));
              }) {
    files.SetPace(0);
    map.SetWaitsForTesting(0, 0);
    board.SetPauseForTesting(20);
    // Questions wait until the test answers them, as a user's would.
    files.confirm = [this](const QString&, const QString& text, std::function<void(bool)> done) {
      questions << text;
      answers.push_back(std::move(done));
    };
    files.open_file = [this](const QString& path) { opened << path; };
  }
  QStringList Received() const {
    return QDir(peer.home.File("file_Rcv")).entryList(QDir::Files, QDir::Name);
  }
  void Answer(bool yes) {
    auto done = std::move(answers.front());
    answers.erase(answers.begin());
    done(yes);
  }

  Peer peer;
  FileTransfer files;
  HexMap map;
  DrawBoard board;
  QStringList questions;
  std::vector<std::function<void(bool)>> answers;
  QStringList opened;
};

class AskerBoundsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    ASSERT_GT(port, 0);
    gm = std::make_unique<BoundPeer>(QStringLiteral("GM"), port);
    alice = std::make_unique<BoundPeer>(QStringLiteral("Alice"), port);
    ASSERT_TRUE(StartServer(gm->peer));
    ASSERT_TRUE(Join(alice->peer, gm->peer));
  }
  // A raw participant that has joined; its index in *index.
  std::unique_ptr<RawPeer> Stranger(const QString& handle, int* index) {
    auto raw = std::make_unique<RawPeer>();
    if (!raw->Connect(port)) return nullptr;
    *index = raw->Hello(handle);
    if (*index <= 0 || !WaitUntil([&] { return alice->peer.Lists(*index); })) return nullptr;
    return raw;
  }
  static void SendFile(RawPeer& raw, int index, const QString& name, const QByteArray& bytes,
                       int declared = -1) {
    Packet p(311, 1, static_cast<int16_t>(index), 0);
    p.Add(name)
        .Add(1)
        .Add(1)
        .Add(declared < 0 ? static_cast<int32_t>(bytes.size()) : declared)
        .Add(1);
    if (!bytes.isEmpty()) p.SetBin(bytes);
    raw.Send(p);
  }

  int port = 0;
  std::unique_ptr<BoundPeer> gm, alice;
};

TEST_F(AskerBoundsTest, CatchUpGoesToTheAskerAloneOnceAndEndsWithIt) {
  ASSERT_EQ(gm->map.CreatePage(kHexHorizontal, 1, kPieceCorners, 120, 120), 1);
  ASSERT_EQ(gm->map.CreatePage(kHexSquare, 2, kPieceNoDirection, 40, 30), 2);
  ASSERT_TRUE(WaitUntil([&] { return alice->map.PageCount() == 2; }));
  ASSERT_TRUE(gm->map.GoToPage(1));
  // The drawing board: a picture that hardly compresses on page 0 (so one answer is megabytes),
  // a line on page 1, page 1 shown.
  QImage noise(DrawBoard::kPageWidth, DrawBoard::kPageHeight, QImage::Format_RGB32);
  std::mt19937 rng(19);
  for (int y = 0; y < noise.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(noise.scanLine(y));
    for (int x = 0; x < noise.width(); ++x) line[x] = 0xFF000000u | (rng() & 0xFFFFFFu);
  }
  QDir().mkpath(gm->peer.home.File("file_Rcv"));
  ASSERT_TRUE(noise.save(gm->peer.home.File("file_Rcv/noise.png")));
  Packet pasted(msg::kDrawImage, draw::kImageFile, 1, 0);
  pasted.Add(int16_t{0}).Add(QStringLiteral("noise.png"));
  for (int k = 0; k < 4; ++k) pasted.Add(QString());
  gm->board.HandleClient(pasted);  // as if it had come in: nobody else has it
  ASSERT_EQ(gm->board.Snapshot(0), noise);
  gm->board.NewPage();
  gm->board.DrawShape(draw::kLine, QPoint(0, 0), QPoint(300, 200), 0x0000FF);
  ASSERT_TRUE(WaitUntil([&] { return alice->board.CurrentPage() == 1; }));

  int asker = 0;
  auto raw = Stranger(QStringLiteral("遅刻者"), &asker);
  ASSERT_TRUE(raw);
  const size_t heap_before = LiveHeapBytes();
  auto ask = [&](RawPeer& peer, int index, int maps, int pictures) {
    for (int i = 0; i < std::max(maps, pictures); ++i) {
      if (i < maps) peer.Send(Packet(609, 0, static_cast<int16_t>(index), 0));
      if (i < pictures) peer.Send(Packet(510, 1, static_cast<int16_t>(index), 0));
    }
  };
  auto ask_both = [&](RawPeer& peer, int index, int times) { ask(peer, index, times, times); };
  // Fifty requests each. The map answer is short and may be over before the test could ask
  // again, so its fifty come at once; the drawing board's answer is megabytes long, so half of
  // its requests come while it is on its way.
  ask(*raw, asker, 50, 25);
  ASSERT_TRUE(WaitUntil([&] { return raw->Last(111) != nullptr; }));
  ASSERT_TRUE(gm->board.Answering());
  ask(*raw, asker, 0, 25);
  ASSERT_TRUE(raw->WaitFor(617));
  ASSERT_TRUE(WaitUntil([&] { return !gm->board.Answering() && raw->Last(517); }));
  QTest::qWait(300);
  int maps = 0, pictures = 0, turns = 0;
  QMap<QString, int> first_pieces;
  QByteArray page0;
  for (const Packet& p : raw->packets) {
    maps += p.MessageCode == 618;
    pictures += p.MessageCode == 519;
    turns += p.MessageCode == 517;
    if (p.MessageCode == 111 && p.Int(3) == 1) ++first_pieces[p.Text(1)];
    if (p.MessageCode == 111 && p.Text(1) == QStringLiteral("sysdraw0.png")) page0 += p.BinData;
    // A picture is announced once all of its file is there.
    if (p.MessageCode == 519 && p.Int(1) == 0) {
      EXPECT_EQ(QImage::fromData(page0, "PNG").convertToFormat(QImage::Format_RGB32), noise);
    }
  }
  EXPECT_EQ(maps, 2) << "fifty requests, one answer";
  EXPECT_EQ(pictures, 2) << "fifty requests, one answer";
  EXPECT_EQ(turns, 1);
  EXPECT_EQ(raw->Last(517)->Int(1), 1);
  const QMap<QString, int> once = {{QStringLiteral("sysmap1.mh0"), 1},
                                   {QStringLiteral("sysmap2.mh0"), 1},
                                   {QStringLiteral("sysdraw0.png"), 1},
                                   {QStringLiteral("sysdraw1.png"), 1}};
  EXPECT_EQ(first_pieces, once);
  EXPECT_FALSE(gm->map.AnswerPending(asker));
  // The bystander got none of it.
  EXPECT_TRUE(alice->Received().isEmpty()) << alice->Received().join(u',').toStdString();

  // An asker that leaves while its answers run ends them.
  int leaver = 0;
  auto gone = Stranger(QStringLiteral("すぐ帰る人"), &leaver);
  ASSERT_TRUE(gone);
  ask_both(*gone, leaver, 1);
  ASSERT_TRUE(WaitUntil([&] {
    const Packet* piece = gone->Last(111);
    return piece && piece->Text(1).startsWith(QStringLiteral("sysdraw"));
  }));
  gone->socket.abort();
  ASSERT_TRUE(WaitUntil([&] { return !gm->map.AnswerPending(leaver) && !gm->board.Answering(); }));

  // What the answers held is freed: the megabytes that went out are not kept anywhere.
  const qsizetype answer_size = page0.size();
  page0 = QByteArray();
  raw->packets.clear();
  gone.reset();
  QTest::qWait(100);
  const auto grown = static_cast<qint64>(LiveHeapBytes()) - static_cast<qint64>(heap_before);
  EXPECT_LT(grown, 512 * 1024) << "of an answer of " << answer_size << " bytes";
}

TEST_F(AskerBoundsTest, AForgedTypingStateRenamesNobody) {
  int index = 0;
  auto raw = Stranger(QStringLiteral("悪戯"), &index);
  ASSERT_TRUE(raw);
  const QString before = alice->peer.ReDirText(1);
  Packet forged(321, 1, static_cast<int16_t>(index), 0);
  raw->Send(forged.Add(int32_t{1}).Add(QStringLiteral("偽ＧＭ")));
  Packet own(321, 1, static_cast<int16_t>(index), 0);
  raw->Send(own.Add(int32_t{index}).Add(QStringLiteral("悪戯")));
  ASSERT_TRUE(
      WaitUntil([&] { return alice->peer.ReDirText(index) != QStringLiteral("悪戯さん"); }));
  EXPECT_EQ(alice->peer.ReDirText(1), before);
  EXPECT_FALSE(alice->peer.ReDirText(1).contains(QStringLiteral("偽")));
}

TEST_F(AskerBoundsTest, AFileFloodAsksOnceAndStaysWithinItsQuota) {
  alice->peer.instance.settings.ExecuteLevel = FileTransfer::kAskReceiveOnly;
  alice->peer.instance.settings.ReceiveQuotaMB = 1;
  int index = 0;
  auto raw = Stranger(QStringLiteral("洪水"), &index);
  ASSERT_TRUE(raw);
  for (int i = 0; i < 40; ++i) {
    SendFile(*raw, index, QStringLiteral("f%1.txt").arg(i), QByteArray(1000, char('a' + i % 26)));
  }
  ASSERT_TRUE(WaitUntil([&] { return alice->questions.size() == 1; }));
  QTest::qWait(300);
  ASSERT_EQ(alice->questions.size(), 1) << "one box, not one per file";
  EXPECT_TRUE(alice->Received().isEmpty()) << "held aside until the answer";
  alice->Answer(true);
  // The rest: one more question, whether to answer the same for the session.
  ASSERT_EQ(alice->questions.size(), 2);
  EXPECT_TRUE(alice->questions[1].contains(QStringLiteral("このセッション")));
  alice->Answer(true);
  ASSERT_TRUE(WaitUntil([&] { return alice->Received().size() == 40; }));
  EXPECT_EQ(alice->questions.size(), 2);

  // Files that claim more than the quota left are not taken; one line says so.
  for (int i = 0; i < 5; ++i) {
    SendFile(*raw, index, QStringLiteral("big%1.bin").arg(i), QByteArray(10, 'x'), 400 * 1024);
  }
  ASSERT_TRUE(WaitUntil([&] { return alice->peer.SysReqMes().contains(QStringLiteral("上限")); }));
  QTest::qWait(200);
  EXPECT_EQ(alice->Received().filter(QStringLiteral("big")).size(), 2);

  // Odd names are all kept, each under its own name; a long one is shortened by bytes.
  alice->peer.instance.settings.ReceiveQuotaMB = 1024;
  const QStringList odd = {QStringLiteral("."), QStringLiteral(".."), QString(),
                           QStringLiteral(" ")};
  for (int i = 0; i < odd.size(); ++i) SendFile(*raw, index, odd[i], QByteArray(1, char('0' + i)));
  const QString long_name = QString(150, QChar(0x5B57)) + QStringLiteral(".txt");
  SendFile(*raw, index, long_name, "long");
  ASSERT_TRUE(WaitUntil([&] { return alice->Received().size() == 40 + 2 + 5; }));
  QFile first(alice->peer.home.File("file_Rcv/received.bin"));
  ASSERT_TRUE(first.open(QIODevice::ReadOnly));
  EXPECT_EQ(first.readAll(), "0");
  for (int n = 2; n <= 4; ++n) {
    QFile f(alice->peer.home.File(QStringLiteral("file_Rcv/received (%1).bin").arg(n)));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << n;
    EXPECT_EQ(f.readAll(), QByteArray(1, char('0' + n - 1)));
  }
  const QStringList longs = alice->Received().filter(QStringLiteral(".txt")).filter(QChar(0x5B57));
  ASSERT_EQ(longs.size(), 1);
  EXPECT_LE(QFile::encodeName(longs[0]).size(), 255);
  EXPECT_TRUE(longs[0].endsWith(QStringLiteral(".txt")));

  // A disk near its floor of free space takes nothing more, from anyone; one line says so.
  alice->files.SetDiskFloorForTesting(std::numeric_limits<qint64>::max() / 4);
  int other = 0;
  auto second = Stranger(QStringLiteral("満杯"), &other);
  ASSERT_TRUE(second);
  for (int i = 0; i < 3; ++i) SendFile(*second, other, QStringLiteral("disk%1.txt").arg(i), "x");
  ASSERT_TRUE(
      WaitUntil([&] { return alice->peer.SysReqMes().contains(QStringLiteral("ディスク")); }));
  QTest::qWait(100);
  EXPECT_TRUE(alice->Received().filter(QStringLiteral("disk")).isEmpty());
}

// Card returns the server takes back: only cards it dealt to that participant.
struct CardPeer {
  CardPeer(const QString& handle, int port)
      : peer(handle, port), cards(peer.instance, peer.session.router(), peer.session.dispatcher()) {
    cards.FollowAnnouncements(peer.tools);
    UseSmallCardDecks(peer.home, peer.instance.settings);
  }
  int Index() const { return peer.Index(); }

  Peer peer;
  Cards cards;
};

TEST(CardReturnTest, ReturnsOfCardsNeverDealtAreRefused) {
  const int port = FreePort();
  CardPeer gm(QStringLiteral("GM"), port), alice(QStringLiteral("Alice"), port),
      bob(QStringLiteral("Bob"), port);
  ASSERT_TRUE(StartServer(gm.peer));
  ASSERT_TRUE(Join(alice.peer, gm.peer));
  ASSERT_TRUE(Join(bob.peer, gm.peer));
  auto mode = [&](int m) {
    gm.cards.ChooseMode(m);
    return WaitUntil([&] { return alice.cards.mode() == m && bob.cards.mode() == m; });
  };
  ASSERT_TRUE(mode(Cards::kNova));
  gm.cards.StartDecks();
  ASSERT_TRUE(WaitUntil(
      [&] { return alice.cards.nova().hand.size() == 4 && bob.cards.nova().hand.size() == 4; }));
  CardDecks& decks = gm.cards.decks();
  auto forged = [&](int code, int sub, const QString& card) {
    Packet p(static_cast<int16_t>(code), static_cast<int16_t>(sub),
             static_cast<int16_t>(alice.Index()), 0);
    alice.peer.session.router().Send(RouteServer, p.Add(card), QStringLiteral("test"));
  };

  // Bob's card, discarded by Alice, and an access card nobody drew: refused and reported.
  const int discards = decks.nova_trump.discards;
  forged(427, 3, bob.cards.nova().hand[0]);
  ASSERT_TRUE(
      WaitUntil([&] { return gm.peer.SysReqMes().contains(QStringLiteral("受け付けません")); }));
  forged(426, 3, QStringLiteral("アクセス1"));
  QTest::qWait(100);
  EXPECT_EQ(decks.nova_trump.discards, discards);
  // Her own card goes back, once.
  const QString own = alice.cards.nova().hand[0];
  forged(427, 3, own);
  ASSERT_TRUE(WaitUntil([&] { return decks.nova_trump.discards == discards + 1; }));
  forged(427, 3, own);
  QTest::qWait(100);
  EXPECT_EQ(decks.nova_trump.discards, discards + 1);

  // The graphic table: a card Alice never drew is not thrown onto the discards.
  ASSERT_TRUE(mode(Cards::kGraphic));
  gm.cards.StartDecks();
  ASSERT_TRUE(WaitUntil([&] { return !alice.cards.graphic_tarot().isEmpty(); }));
  bob.cards.GraphicDraw(10, 10);
  int drawn = -1;
  ASSERT_TRUE(WaitUntil([&] {
    for (const CardRecord& r : alice.cards.placed()) {
      if (r.in_use) drawn = r.index;
    }
    return drawn >= 0;
  }));
  const int face = alice.cards.placed()[drawn].face;
  alice.cards.GraphicDiscard(drawn);
  QTest::qWait(150);
  EXPECT_EQ(alice.cards.placed()[drawn].face, face) << "still Bob's, still on the table";
  bob.cards.GraphicDiscard(drawn);
  ASSERT_TRUE(WaitUntil([&] { return alice.cards.placed()[drawn].face == 2; }));
}

}  // namespace
}  // namespace quillora::test
