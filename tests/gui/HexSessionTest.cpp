// The hex map played over a real server and two clients on loopback, and a late joiner.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <memory>

#include "common/HexContent.h"
#include "common/ScriptedDialogs.h"
#include "gui/SessionHarness.h"
#include "hexmap/HexMap.h"
#include "hexmap/HexMapView.h"
#include "hexmap/HexSetupDialog.h"
#include "hexmap/HexWindow.h"
#include "hexmap/MapFile.h"
#include "net/FileTransfer.h"
#include "net/MessageCodes.h"

namespace quillora::test {
namespace {

// A session participant with its file transfer and hex map.
struct HexPeer {
  HexPeer(const QString& handle, int port)
      : peer(handle, port),
        files(peer.instance, peer.session),
        map(peer.instance, peer.session.router(), peer.session.dispatcher(), files) {
    files.SetPace(5);
    map.SetWaitsForTesting(50, 200);
  }
  const HexPage& Page(int n) const { return *map.Page(n); }
  QVector<int> Stack(int page, int c, int r) const {
    return map.Page(page) ? map.Page(page)->Stack(c, r) : QVector<int>();
  }

  Peer peer;
  FileTransfer files;
  HexMap map;
};

class HexSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    ASSERT_GT(port, 0);
    gm = std::make_unique<HexPeer>(QStringLiteral("GM"), port);
    alice = std::make_unique<HexPeer>(QStringLiteral("Alice"), port);
    bob = std::make_unique<HexPeer>(QStringLiteral("Bob"), port);
    ASSERT_TRUE(StartServer(gm->peer));
    ASSERT_TRUE(Join(alice->peer, gm->peer));
    ASSERT_TRUE(Join(bob->peer, gm->peer));
  }

  // True once all three copies hold the same map (and `also` holds).
  bool AllEqual(const std::function<bool()>& also = [] { return true; }) {
    return WaitUntil([&] {
      const QStringList ref = HexContent(gm->map);
      return HexContent(alice->map) == ref && HexContent(bob->map) == ref && also();
    });
  }
  void ExpectNoErrors() {
    for (HexPeer* p : {gm.get(), alice.get(), bob.get()}) {
      EXPECT_FALSE(p->peer.SysReqMes().startsWith(QStringLiteral("Err")))
          << p->peer.SysReqMes().toStdString();
    }
  }

  int port = 0;
  std::unique_ptr<HexPeer> gm, alice, bob;
};

TEST_F(HexSessionTest, PagesStrokesAndPiecesReachEveryoneAndOnlyOwnersTouchTheirPieces) {
  ASSERT_EQ(gm->map.CreatePage(kHexVertical, 1, kPieceBoth, 10, 8), 1);
  ASSERT_TRUE(
      AllEqual([&] { return alice->map.CurrentPage() == 1 && bob->map.CurrentPage() == 1; }));
  EXPECT_EQ(bob->Page(1).header.columns, 10);
  EXPECT_EQ(bob->Page(1).header.shape, kHexVertical);

  // A stroke of three cells.
  alice->map.BeginStroke();
  for (QPoint cell : {QPoint(1, 1), QPoint(2, 1), QPoint(2, 2)})
    alice->map.PaintOver(cell, 0x0000FF);
  alice->map.EndStroke(0x0000FF);
  ASSERT_TRUE(AllEqual([&] { return gm->Page(1).Cell(2, 2).colour == 0x0000FFu; }));

  // Pieces: added, moved by dragging, turned by a click.
  ASSERT_TRUE(alice->map.AddPieceAt(QPoint(3, 3), 0x00FF00));
  ASSERT_TRUE(bob->map.AddPieceAt(QPoint(5, 5), 0xFF0000));
  ASSERT_TRUE(
      AllEqual([&] { return gm->Stack(1, 3, 3).size() == 1 && gm->Stack(1, 5, 5).size() == 1; }));
  const int alices = gm->Stack(1, 3, 3).front();
  EXPECT_EQ(gm->Page(1).Piece(alices).label, QStringLiteral("A1"));
  EXPECT_EQ(gm->Page(1).Piece(alices).owner, alice->peer.Index());
  ASSERT_TRUE(alice->map.BeginDrag(QPoint(3, 3)));
  alice->map.DragOver(QPoint(4, 3));
  alice->map.DragOver(QPoint(6, 4));
  alice->map.EndDrag(Qt::LeftButton);
  ASSERT_TRUE(alice->map.BeginDrag(QPoint(6, 4)));
  alice->map.EndDrag(Qt::RightButton);  // a click: one step clockwise
  ASSERT_TRUE(AllEqual([&] {
    return bob->Stack(1, 6, 4) == QVector<int>{alices} && bob->Page(1).Piece(alices).direction == 1;
  }));
  EXPECT_TRUE(bob->Stack(1, 3, 3).isEmpty());

  // Dragging away and back sends nothing and does not turn.
  ASSERT_TRUE(alice->map.BeginDrag(QPoint(6, 4)));
  alice->map.DragOver(QPoint(7, 4));
  alice->map.DragOver(QPoint(6, 4));
  alice->map.EndDrag(Qt::LeftButton);
  EXPECT_EQ(alice->Page(1).Piece(alices).direction, 1);

  // Bob cannot move, turn or delete Alice's piece, but may paint its cell and stack on it.
  EXPECT_FALSE(bob->map.BeginDrag(QPoint(6, 4)));
  EXPECT_FALSE(bob->map.DeletePieceAt(QPoint(6, 4)));
  bob->map.BeginStroke();
  bob->map.PaintOver(QPoint(6, 4), 0x808080);
  bob->map.EndStroke(0x808080);
  ASSERT_TRUE(bob->map.AddPieceAt(QPoint(6, 4), 0xFF0000));
  ASSERT_TRUE(AllEqual([&] { return gm->Stack(1, 6, 4).size() == 2; }));
  EXPECT_EQ(gm->Page(1).header.stacked_cells, 1);
  EXPECT_EQ(alice->Page(1).Cell(6, 4).colour, 0x808080u);
  // Alice's own piece lies under Bob's: she deletes it from the top only when it is on top.
  EXPECT_FALSE(alice->map.DeletePieceAt(QPoint(6, 4)));
  ASSERT_TRUE(bob->map.BeginDrag(QPoint(6, 4)));
  bob->map.DragOver(QPoint(8, 8));
  bob->map.EndDrag(Qt::LeftButton);
  ASSERT_TRUE(AllEqual([&] { return alice->Stack(1, 6, 4).size() == 1; }));
  ASSERT_TRUE(alice->map.DeletePieceAt(QPoint(6, 4)));
  ASSERT_TRUE(AllEqual([&] { return gm->Stack(1, 6, 4).isEmpty(); }));

  // A stroke over more cells than one message holds travels in several.
  ASSERT_EQ(gm->map.CreatePage(kHexSquare, 1, kPieceEdges, 20, 20), 2);
  ASSERT_TRUE(AllEqual([&] { return bob->map.CurrentPage() == 2; }));
  bob->map.BeginStroke();
  for (int i = 0; i < 300; ++i) bob->map.PaintOver(QPoint(1 + i % 20, 1 + i / 20), 0x00FFFF);
  bob->map.EndStroke(0x00FFFF);
  ASSERT_TRUE(AllEqual([&] { return gm->Page(2).Cell(20, 15).colour == 0x00FFFFu; }));
  EXPECT_EQ(gm->Page(2).Cell(1, 16).colour, kHexWhite);

  // Paging follows the server's user; a client's page choice stays its own.
  ASSERT_TRUE(gm->map.GoToPage(1));
  ASSERT_TRUE(
      WaitUntil([&] { return alice->map.CurrentPage() == 1 && bob->map.CurrentPage() == 1; }));
  ASSERT_TRUE(alice->map.GoToPage(2));
  QTest::qWait(100);
  EXPECT_EQ(bob->map.CurrentPage(), 1);
  EXPECT_EQ(gm->map.CurrentPage(), 1);
  ExpectNoErrors();
}

TEST_F(HexSessionTest, PiecesAddedAtTheSameMomentAreAllKeptOnEveryCopy) {
  ASSERT_EQ(gm->map.CreatePage(kHexSquare, 2, kPieceEdges, 8, 8), 1);
  ASSERT_TRUE(
      AllEqual([&] { return alice->map.CurrentPage() == 1 && bob->map.CurrentPage() == 1; }));
  // All three take the same slots before any message has travelled.
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(alice->map.AddPieceAt(QPoint(1 + round, 1), 0x0000FF));
    ASSERT_TRUE(bob->map.AddPieceAt(QPoint(1 + round, 2), 0x00FF00));
    ASSERT_TRUE(gm->map.AddPieceAt(QPoint(1 + round, 3), 0xFF0000));
  }
  ASSERT_TRUE(bob->map.BeginDrag(QPoint(3, 2)));  // and Bob moves one of his at once
  bob->map.DragOver(QPoint(5, 5));
  bob->map.EndDrag(Qt::LeftButton);
  ASSERT_TRUE(AllEqual([&] { return gm->Page(1).UsedSlots().size() == 9; }));
  for (HexPeer* p : {gm.get(), alice.get(), bob.get()}) {
    QStringList labels;
    for (int slot : p->Page(1).UsedSlots()) labels << p->Page(1).Piece(slot).label;
    labels.sort();
    EXPECT_EQ(labels, QStringList({"A1", "A2", "A3", "B1", "B2", "B3", "G1", "G2", "G3"}));
    EXPECT_EQ(p->Stack(1, 5, 5).size(), 1);
  }
  ExpectNoErrors();
}

TEST_F(HexSessionTest, ALateJoinerGetsEveryPageAsTheServerHoldsItAndMapFilesTravel) {
  ASSERT_EQ(gm->map.CreatePage(kHexHorizontal, 1, kPieceCorners, 64, 64), 1);
  ASSERT_TRUE(gm->map.AddPieceAt(QPoint(10, 10), 0xFF00FF));
  ASSERT_TRUE(gm->map.AddPieceAt(QPoint(10, 10), 0x00FF00));
  ASSERT_EQ(gm->map.CreatePage(kHexSquare, 3, kPieceNoDirection, 8, 5), 2);
  ASSERT_TRUE(AllEqual([&] { return bob->map.PageCount() == 2; }));
  ASSERT_TRUE(alice->map.AddPieceAt(QPoint(2, 2), 0x123456));
  ASSERT_TRUE(gm->map.GoToPage(1));
  ASSERT_TRUE(AllEqual([&] { return bob->map.CurrentPage() == 1; }));

  HexPeer carol(QStringLiteral("Carol"), port);
  ASSERT_TRUE(Join(carol.peer, gm->peer));
  carol.map.RequestMaps();
  ASSERT_TRUE(
      WaitUntil([&] { return carol.map.PageCount() == 2 && carol.map.CurrentPage() == 1; }, 20000));
  for (int n = 1; n <= 2; ++n) {
    EXPECT_EQ(EncodeMapFile(carol.Page(n)), EncodeMapFile(gm->Page(n))) << "page " << n;
  }
  EXPECT_EQ(HexContent(carol.map), HexContent(gm->map));

  // Carol plays on with the others.
  ASSERT_TRUE(carol.map.AddPieceAt(QPoint(11, 10), 0x0000FF));
  ASSERT_TRUE(AllEqual([&] { return HexContent(carol.map) == HexContent(gm->map); }));

  // A map file loaded by Bob replaces the current page on every copy.
  TempHome files;
  HexPage drawn;
  ASSERT_TRUE(drawn.Create(kHexVertical, 2, kPieceBoth, 6, 6));
  drawn.MutableCell(3, 3).colour = 0x00AA00;
  const QString path = files.File(QStringLiteral("森の地図.mh0"));
  ASSERT_TRUE(SaveMapFile(path, drawn, nullptr));
  QString error;
  ASSERT_TRUE(bob->map.OpenMapFile(path, &error)) << error.toStdString();
  ASSERT_TRUE(AllEqual([&] {
    return gm->Page(1).header.shape == kHexVertical && carol.Page(1).Cell(3, 3).colour == 0x00AA00u;
  }));
  ExpectNoErrors();
}

}  // namespace
}  // namespace quillora::test

namespace quillora::test {
namespace {

// The windows of a session: the server's "汎用モード" opens the others' maps only after its new
// page went out, and every choice of it does so again; a client is pointed at the repair entry;
// a click that wobbles inside the cell is a drag, not a turn; the view beside the map shows the
// window's background.
TEST_F(HexSessionTest, TheWindowsOpenTogetherAndTheViewTakesClicksAsTheyWereMade) {
  RawPeer raw;
  ASSERT_TRUE(raw.Connect(port));
  ASSERT_GT(raw.Hello(QStringLiteral("Raw")), 0);
  ASSERT_TRUE(WaitUntil([&] { return gm->peer.instance.SocketCount >= 4; }));
  ScriptedDialogs dialogs;
  HexWindow server_window(gm->peer.instance, gm->map, dialogs);
  HexWindow client_window(alice->peer.instance, alice->map, dialogs);
  server_window.show();
  client_window.show();
  EXPECT_TRUE(client_window.findChild<QLabel*>(QStringLiteral("lblModeHint"))
                  ->text()
                  .contains(QStringLiteral("途中参加/修復")));
  auto order = [&](int code) {
    QVector<int> at;
    for (int i = 0; i < raw.packets.size(); ++i) {
      if (raw.packets[i].MessageCode == code) at << i;
    }
    return at;
  };
  for (int round = 1; round <= 2; ++round) {
    server_window.ChooseGeneralMode();
    ASSERT_TRUE(server_window.setup()->isVisible()) << round;
    QTest::qWait(150);
    EXPECT_EQ(order(msg::kOpenTool).size(), round - 1) << "not before the page is made";
    server_window.setup()
        ->findChild<QRadioButton*>(QStringLiteral("optMapSize_4"))
        ->setChecked(true);
    server_window.setup()->Create();
    // Sent after the page: the relayed page may still arrive second, as it travels through the
    // server's own connection.
    ASSERT_TRUE(WaitUntil([&] {
      return order(msg::kOpenTool).size() == round && order(msg::kHexNewPage + 10).size() == round;
    })) << round;
  }
  ASSERT_TRUE(WaitUntil([&] { return alice->map.PageCount() == 2; }));

  // A piece pressed, wobbled two pixels inside its cell and released keeps its direction.
  HexMapView* view = server_window.view();
  server_window.SetMode(HexWindow::kAdd);
  const QPoint centre = view->CellCentre(QPoint(3, 3));
  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, centre);
  ASSERT_EQ(gm->Stack(2, 3, 3).size(), 1);
  const int slot = gm->Stack(2, 3, 3).front();
  const int direction = gm->Page(2).Piece(slot).direction;
  ASSERT_TRUE(WaitUntil([&] { return alice->Stack(2, 3, 3).size() == 1; }));
  server_window.SetMode(HexWindow::kMove);
  QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, centre);
  QMouseEvent wobble(QEvent::MouseMove, centre + QPoint(2, 1), view->mapToGlobal(centre),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &wobble);
  QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, centre + QPoint(2, 1));
  EXPECT_EQ(gm->Page(2).Piece(slot).direction, direction);
  // A plain click still turns it, and the others see the turn.
  QTest::mouseClick(view, Qt::RightButton, Qt::NoModifier, centre);
  EXPECT_NE(gm->Page(2).Piece(slot).direction, direction);
  ASSERT_TRUE(WaitUntil(
      [&] { return alice->Page(2).Piece(slot).direction == gm->Page(2).Piece(slot).direction; }));

  // Beside an 8 x 8 map the view is the window's background, not black.
  const QImage& picture = view->Picture();
  EXPECT_EQ(picture.pixelColor(picture.width() - 2, picture.height() - 2),
            view->palette().color(QPalette::Window));
  ExpectNoErrors();
}

}  // namespace
}  // namespace quillora::test
