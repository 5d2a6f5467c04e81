#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QTest>
#include <random>

#include "common/TestSupport.h"
#include "core/Colors.h"
#include "drawing/DrawBoard.h"
#include "net/MessageCodes.h"
#include "unit/NetFakes.h"

namespace quillora {
namespace {

using test::NetRig;

constexpr uint32_t kRed = 0x0000FF;  // 0x00BBGGRR
constexpr uint32_t kBlue = 0xFF0000;

class DrawBoardTest : public ::testing::Test {
 protected:
  DrawBoardTest()
      : board(rig.instance, rig.router, rig.dispatcher,
              [this](const QString& path, std::function<void()> sent) {
                files << path;
                if (sent) sent();
                return QFileInfo::exists(path);
              }) {
    SetSessionMode(rig.instance, ModeClient);
    SetOwnIndex(rig.instance, 2);
    board.SetPauseForTesting(0);
  }

  // A received message, as the server relays it.
  static Packet Msg(int code, int sub, std::initializer_list<ItemValue> items, int sender = 3) {
    Packet p(static_cast<int16_t>(code), static_cast<int16_t>(sub), static_cast<int16_t>(sender));
    for (const ItemValue& v : items) p.Add(v);
    return p;
  }
  void Receive(const Packet& p) { rig.dispatcher.ClientDispatch(p); }

  QColor Pixel(int page, int x, int y) const { return board.Snapshot(page).pixelColor(x, y); }
  bool Painted(int page, int x, int y) const { return Pixel(page, x, y) != QColor(Qt::white); }

  // Decoded packets the instance sent, in order.
  QVector<Packet> Sent() const {
    QVector<Packet> out;
    for (const auto& w : rig.writes) out.push_back(DecodePacket(w.bytes));
    return out;
  }

  QString ReceivedFile(const QString& name) const {
    QDir().mkpath(rig.instance.PathOf(QStringLiteral("file_Rcv")));
    return rig.instance.PathOf(QStringLiteral("file_Rcv/") + name);
  }
  void WriteImage(const QString& path, QColor colour, QSize size = {40, 30}) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(path));
  }

  NetRig rig;
  QStringList files;
  DrawBoard board;
};

TEST_F(DrawBoardTest, MessagesForHigherPagesCreateThemWithoutTurningAndCostNothingUndrawn) {
  Receive(Msg(msg::kDrawShape, draw::kLine,
              {int16_t{3}, int32_t{10}, int32_t{10}, int32_t{50}, int32_t{10}, int32_t(kRed)}));
  EXPECT_EQ(board.HighestPage(), 3);
  EXPECT_EQ(board.CurrentPage(), 0);
  EXPECT_EQ(Pixel(3, 30, 10), FromBgr(kRed));
  EXPECT_EQ(board.Page(1), nullptr);  // no image for pages nobody drew on
  EXPECT_EQ(board.Page(2), nullptr);
  EXPECT_EQ(board.Page(0), nullptr);
  EXPECT_EQ(board.DrawnPages(), QVector<int>{3});

  // A pointer message names its page in item 2; a page message turns the page.
  Receive(Msg(msg::kDrawPointer, draw::kPointerShow,
              {int16_t{3}, int16_t{5}, 12.5, 40.0, int32_t(kBlue)}));
  EXPECT_EQ(board.HighestPage(), 5);
  EXPECT_TRUE(board.Pointers().value(3).visible);
  EXPECT_EQ(board.Pointers().value(3).pos, QPointF(12.5, 40.0));
  Receive(Msg(msg::kDrawPage, draw::kPageNew, {int16_t{7}}));
  EXPECT_EQ(board.CurrentPage(), 7);
  EXPECT_EQ(board.HighestPage(), 7);
}

TEST_F(DrawBoardTest, AStrokeOfNPointsDrawsNMinusOneSegmentsAndNumbersMayBeReal) {
  // Three points: two segments, and no closing segment back to the start.
  Receive(Msg(msg::kDrawShape, draw::kStroke,
              {int16_t{0}, int32_t(kRed), int32_t{3}, int32_t{100}, int32_t{100}, int32_t{200},
               int32_t{100}, QStringLiteral("200.4"), 200.0}));
  EXPECT_TRUE(Painted(0, 150, 100));
  EXPECT_TRUE(Painted(0, 200, 150));
  EXPECT_FALSE(Painted(0, 150, 150));
  EXPECT_FALSE(Painted(0, 200, 201));

  // One point draws nothing at all.
  Receive(Msg(msg::kDrawShape, draw::kStroke,
              {int16_t{1}, int32_t(kRed), int32_t{1}, int32_t{5}, int32_t{5}}));
  EXPECT_EQ(board.Page(1), nullptr);

  // Ellipse items as text-carried reals or integers alike; a flat aspect stretches it wide.
  Receive(Msg(msg::kDrawEllipse, draw::kFilledEllipse,
              {int16_t{0}, int32_t{500}, 400.0, int32_t(kBlue), int32_t{100}, 0.5}));
  EXPECT_EQ(Pixel(0, 590, 400), FromBgr(kBlue));  // within the 100-wide half-axis
  EXPECT_EQ(Pixel(0, 500, 445), FromBgr(kBlue));  // within the 50-high half-axis
  EXPECT_FALSE(Painted(0, 500, 460));
}

TEST_F(DrawBoardTest, PageEraseWhitensPastedImagesAndMissingFilesAreReported) {
  WriteImage(ReceivedFile(QStringLiteral("pic.png")), Qt::red);
  Receive(Msg(msg::kDrawImage, draw::kImageFile,
              {int16_t{0}, QStringLiteral("pic.png"), QString(), QString(), QString(), QString()}));
  EXPECT_EQ(Pixel(0, 10, 10), QColor(Qt::red));
  EXPECT_FALSE(Painted(0, 60, 60));

  Receive(Msg(msg::kDrawErase, draw::kErasePage, {int16_t{0}}));
  EXPECT_FALSE(Painted(0, 10, 10));
  EXPECT_EQ(board.Page(0), nullptr);

  // A name that has not arrived, and one that points outside the received-files folder
  // (which holds no such file, although the program folder does).
  WriteImage(rig.instance.PathOf(QStringLiteral("outside.png")), Qt::green);
  for (const char* name : {"late.png", "../outside.png", "..\\outside.png"}) {
    rig.instance.SetPanel(QLatin1String(kPanelSysReqMes), QString());
    Receive(Msg(msg::kDrawImage, draw::kImageFile, {int16_t{0}, QString::fromUtf8(name)}));
    EXPECT_EQ(rig.instance.Panel(QLatin1String(kPanelSysReqMes)),
              QStringLiteral("ファイル転送エラー"))
        << name;
    EXPECT_EQ(board.Page(0), nullptr) << name;
  }

  // A file that is not a picture costs that message only.
  QFile junk(ReceivedFile(QStringLiteral("junk.png")));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("not a picture at all");
  junk.close();
  // (It is looked for again a while first, as a file still arriving would be.)
  board.SetImageWaitForTesting(300);
  Receive(Msg(msg::kDrawImage, draw::kImageFile, {int16_t{0}, QStringLiteral("junk.png")}));
  EXPECT_TRUE(QTest::qWaitFor([&] {
    return !rig.reports.isEmpty() && rig.reports.last().contains(QStringLiteral("DrawClntPros"));
  }));
  EXPECT_EQ(board.Page(0), nullptr);
}

TEST_F(DrawBoardTest, BadPagesCountsAndNumbersCostThatMessageOnly) {
  const QVector<Packet> bad = {
      Msg(msg::kDrawErase, draw::kErasePage, {int16_t{32000}}),
      Msg(msg::kDrawPage, draw::kPageNew, {int16_t{50}}),
      Msg(msg::kDrawShape, draw::kLine, {int16_t{-1}, 1, 1, 2, 2, 0}),
      // Counts that do not match the points that follow, or too many points.
      Msg(msg::kDrawShape, draw::kStroke, {int16_t{0}, 0, int32_t{5}, 1, 1, 2, 2}),
      Msg(msg::kDrawShape, draw::kStroke, {int16_t{0}, 0, int32_t{1}, 1, 1, 2, 2}),
      Msg(msg::kDrawShape, draw::kStroke, {int16_t{0}, 0, int32_t{-2}}),
      Msg(msg::kDrawErase, draw::kEraseSquares, {int16_t{0}, int16_t{8}, int32_t{10001}}),
      // Numbers that are no numbers, or absurd ones.
      Msg(msg::kDrawShape, draw::kBox, {int16_t{0}, QStringLiteral("abc"), 1, 2, 2, 0}),
      Msg(msg::kDrawEllipse, draw::kEllipse, {int16_t{0}, 1.0, 1.0, 0, 1e300, 1.0}),
      Msg(msg::kDrawEllipse, draw::kEllipse, {int16_t{0}, 1.0, 1.0, 0, 5.0, -1.0}),
      Msg(msg::kDrawText, draw::kTextPlain,
          {int16_t{0}, 1.0, 1.0, 0, QStringLiteral("x"), QStringLiteral("f"), int32_t{100000}}),
      Msg(msg::kDrawErase, draw::kEraseSquare, {int16_t{0}, 1, 1, int32_t{-8}}),
      // Items missing.
      Msg(msg::kDrawShape, draw::kLine, {int16_t{0}, 1, 1}),
  };
  for (const Packet& p : bad) {
    const int before = rig.reports.size();
    Receive(p);
    EXPECT_EQ(rig.reports.size(), before + 1) << p.MessageCode << "/" << p.SubCode;
    EXPECT_TRUE(rig.reports.last().contains(QStringLiteral("DrawClntPros")));
  }
  EXPECT_EQ(board.HighestPage(), 0);
  EXPECT_EQ(board.CurrentPage(), 0);
  EXPECT_TRUE(board.DrawnPages().isEmpty());

  // The next good message still draws.
  Receive(Msg(msg::kDrawShape, draw::kFilledBox,
              {int16_t{49}, int32_t{0}, int32_t{0}, int32_t{9}, int32_t{9}, int32_t(kRed)}));
  EXPECT_EQ(Pixel(49, 9, 9), FromBgr(kRed));
  EXPECT_FALSE(Painted(49, 10, 10));
}

TEST_F(DrawBoardTest, GarbageOfEveryCodeNeverHurts) {
  std::mt19937 rng(11);
  auto item = [&]() -> ItemValue {
    switch (rng() % 6) {
      case 0:
        return static_cast<int16_t>(rng() % 120 - 60);
      case 1:
        return static_cast<int32_t>(rng());
      case 2:
        return std::ldexp(static_cast<double>(rng() % 2000) - 1000, static_cast<int>(rng() % 80));
      case 3:
        return QString::number(static_cast<int>(rng() % 100));
      case 4:
        return rng() % 2 == 0;
      default:
        return QString(static_cast<int>(rng() % 40), QChar(u'字'));
    }
  };
  SetSessionMode(rig.instance, ModeServer);
  SetOwnIndex(rig.instance, 1);
  for (int round = 0; round < 3000; ++round) {
    const int code = msg::kDrawRepair + static_cast<int>(rng() % 10);
    Packet p(static_cast<int16_t>(code), static_cast<int16_t>(rng() % 6),
             static_cast<int16_t>(rng() % 6));
    const int count = static_cast<int>(rng() % 14);
    for (int k = 0; k < count; ++k) p.Add(item());
    // Stroke-shaped messages with a plausible count now and then.
    if (rng() % 4 == 0 && count >= 3) p.Items[3] = int32_t((count - 3) / 2);
    if (code == msg::kDrawRepair) {
      board.HandleServer(static_cast<int>(rng() % 5), p);
    } else {
      board.HandleClient(p);
    }
  }
  EXPECT_LE(board.HighestPage(), DrawBoard::kMaxPage);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !board.Answering(); }, 5000));
}

TEST_F(DrawBoardTest, OwnDrawingIsDrawnAsReplayedAndSentToTheServer) {
  board.DrawShape(draw::kBox, QPoint(10, 10), QPoint(30, 20), kRed);
  ASSERT_EQ(rig.writes.size(), 1);
  EXPECT_EQ(rig.writes[0].link, 0);  // the client link
  const Packet sent = Sent()[0];
  EXPECT_EQ(sent.MessageCode, msg::kSendDrawShape);
  EXPECT_EQ(sent.SubCode, draw::kBox);
  EXPECT_EQ(sent.SenderIndex, 2);
  ASSERT_EQ(sent.Count(), 6);
  EXPECT_EQ(sent.Int(4), 30);

  // Replaying what was sent on another board gives the same page.
  NetRig other_rig;
  DrawBoard other(other_rig.instance, other_rig.router, other_rig.dispatcher, {});
  Packet relayed = sent;
  relayed.MessageCode = msg::kDrawShape;
  other.HandleClient(relayed);
  EXPECT_EQ(other.Snapshot(0), board.Snapshot(0));

  // The text message carries styles only when the font has any.
  DrawFont font;
  font.name = QStringLiteral("VL Gothic");
  board.DrawText(QPointF(5, 5), kBlue, QStringLiteral("あ"), font);
  EXPECT_EQ(Sent().last().SubCode, draw::kTextPlain);
  EXPECT_EQ(Sent().last().Count(), 7);
  font.underline = true;
  board.DrawText(QPointF(5, 40), kBlue, QStringLiteral("い"), font);
  EXPECT_EQ(Sent().last().SubCode, draw::kTextStyled);
  EXPECT_EQ(Sent().last().Count(), 11);
  EXPECT_TRUE(Sent().last().Bool(11));

  // A freehand stroke's release sends what is left, even a single point: a click without a
  // move, and the end point of a stroke whose last message just went out.
  board.BeginStroke(QPoint(50, 50), kRed);
  board.EndStroke();
  EXPECT_EQ(Sent().last().MessageCode, msg::kSendDrawShape);
  EXPECT_EQ(Sent().last().SubCode, draw::kStroke);
  EXPECT_EQ(Sent().last().Int(3), 1);
  EXPECT_EQ(Sent().last().Count(), 5);
  board.BeginStroke(QPoint(0, 100), kRed);
  for (int i = 1; i <= 40; ++i) board.ExtendStroke(QPoint(i, 100));
  ASSERT_EQ(Sent().last().Int(3), 41);
  board.EndStroke();
  EXPECT_EQ(Sent().last().Int(3), 1);
  EXPECT_EQ(Sent().last().Int(4), 40);

  // Without a session the board still draws but sends nothing.
  SetSessionMode(rig.instance, ModeNone);
  const int before = rig.writes.size();
  board.ErasePage();
  EXPECT_EQ(rig.writes.size(), before);
  EXPECT_EQ(board.Page(0), nullptr);
}

TEST_F(DrawBoardTest, TheServerAnswersACatchUpWithEveryDrawnPageToTheAskerAlone) {
  SetSessionMode(rig.instance, ModeServer);
  SetOwnIndex(rig.instance, 1);
  board.DrawShape(draw::kFilledBox, QPoint(0, 0), QPoint(20, 20), kRed);
  board.NewPage();
  board.NewPage();
  board.DrawShape(draw::kLine, QPoint(0, 0), QPoint(200, 100), kBlue);
  board.ShowPage(1, false);
  rig.writes.clear();

  // The asker is the connection the request came in on; our own user never needs an answer.
  board.HandleServer(1, Msg(msg::kDrawRepair, draw::kRepairAll, {}, 1));
  board.HandleServer(3, Msg(msg::kDrawRepair, draw::kRepairAll, {int16_t{4}}, 3));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !board.Answering(); }, 5000));

  // Each drawn page as a picture file, then its announcement; last the page we show.
  EXPECT_TRUE(files.isEmpty()) << "nothing goes out by the relay to everyone";
  for (const auto& w : rig.writes) EXPECT_EQ(w.link, 3);
  QVector<Packet> sent = Sent();
  ASSERT_FALSE(sent.isEmpty());
  EXPECT_EQ(sent.last().MessageCode, msg::kDrawPage);
  EXPECT_EQ(sent.last().Int(1), 1);
  sent.removeLast();
  for (const int page : {0, 2}) {
    QByteArray file;
    while (!sent.isEmpty() && sent.first().MessageCode == msg::kFilePiece) {
      EXPECT_EQ(sent.first().Text(1), QStringLiteral("sysdraw%1.png").arg(page));
      EXPECT_EQ(sent.first().SubCode, 2) << "stored, never opened";
      file += sent.takeFirst().BinData;
    }
    ASSERT_FALSE(sent.isEmpty());
    const Packet announced = sent.takeFirst();
    EXPECT_EQ(announced.MessageCode, msg::kDrawImage);
    EXPECT_EQ(announced.DestIndex, 3);
    EXPECT_EQ(announced.Int(1), page);
    EXPECT_EQ(announced.Text(2), QStringLiteral("sysdraw%1.png").arg(page));
    EXPECT_EQ(announced.Count(), 6);
    EXPECT_EQ(QImage::fromData(file, "PNG").convertToFormat(QImage::Format_RGB32),
              board.Snapshot(page));
  }
  EXPECT_TRUE(sent.isEmpty());

  // Asked again and again meanwhile: one answer. An asker gone before it starts gets none.
  rig.writes.clear();
  for (int i = 0; i < 5; ++i) board.HandleServer(2, Msg(msg::kDrawRepair, draw::kRepairAll, {}, 2));
  board.HandleServer(4, Msg(msg::kDrawRepair, draw::kRepairAll, {}, 4));
  rig.link(4).SetConnected(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !board.Answering(); }, 5000));
  int announced = 0;
  for (const Packet& p : Sent()) announced += p.MessageCode == msg::kDrawImage;
  EXPECT_EQ(announced, 2);
  for (const auto& w : rig.writes) EXPECT_EQ(w.link, 2);
}

TEST_F(DrawBoardTest, ACatchUpReplacesOnlyWhatItBringsAndASilentServerCostsNothing) {
  for (int page = 0; page < 3; ++page) {
    Receive(
        Msg(msg::kDrawShape, draw::kFilledBox,
            {int16_t(page), int32_t{0}, int32_t{0}, int32_t{100}, int32_t{100}, int32_t(kRed)}));
  }
  ASSERT_TRUE(board.RequestCatchUp());
  EXPECT_EQ(Sent().last().MessageCode, msg::kDrawRepair);
  // A server that does not answer (or has not yet) leaves every page as it was.
  QTest::qWait(50);
  for (int page = 0; page < 3; ++page) EXPECT_TRUE(Painted(page, 50, 50)) << page;

  // The answer: the server's page 2, addressed to us, replaces ours whole.
  WriteImage(ReceivedFile(QStringLiteral("sysdraw2.png")), Qt::blue,
             QSize(DrawBoard::kPageWidth, DrawBoard::kPageHeight));
  Packet image = Msg(
      msg::kDrawImage, draw::kImageFile,
      {int16_t{2}, QStringLiteral("sysdraw2.png"), QString(), QString(), QString(), QString()}, 1);
  image.DestIndex = 2;
  Receive(image);
  EXPECT_EQ(Pixel(2, 50, 50), QColor(Qt::blue));
  EXPECT_TRUE(Painted(0, 50, 50)) << "not cleared before the answer is complete";
  // A page turn relayed from another player in between is not the end of the answer.
  Receive(Msg(msg::kDrawPage, draw::kPageShow, {int16_t{1}}));
  EXPECT_TRUE(Painted(0, 50, 50));
  // The closing page turn: pages the server did not send are white there.
  Packet turn = Msg(msg::kDrawPage, draw::kPageShow, {int16_t{2}}, 1);
  turn.DestIndex = 2;
  Receive(turn);
  EXPECT_EQ(board.CurrentPage(), 2);
  EXPECT_EQ(board.Page(0), nullptr);
  EXPECT_EQ(board.Page(1), nullptr);
  EXPECT_EQ(Pixel(2, 50, 50), QColor(Qt::blue));

  // Once it is over, nothing clears pages any more.
  Receive(Msg(msg::kDrawShape, draw::kFilledBox,
              {int16_t{0}, int32_t{0}, int32_t{0}, int32_t{100}, int32_t{100}, int32_t(kRed)}));
  Receive(turn);
  EXPECT_TRUE(Painted(0, 50, 50));
}

}  // namespace
}  // namespace quillora
