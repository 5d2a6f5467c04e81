// The drawing board kept pixel-equal through a real server over loopback.
#include <gtest/gtest.h>

#include <memory>

#include "drawing/DrawBoard.h"
#include "gui/SessionHarness.h"
#include "net/FileTransfer.h"

namespace quillora::test {
namespace {

struct DrawPeer {
  DrawPeer(const QString& handle, int port)
      : peer(handle, port),
        files(peer.instance, peer.session),
        board(peer.instance, peer.session.router(), peer.session.dispatcher(),
              [this](const QString& path, std::function<void()> sent) {
                return files.SendFile(path, false, std::move(sent));
              }) {
    files.SetPace(5);
    board.SetPauseForTesting(30);
  }

  Peer peer;
  FileTransfer files;
  DrawBoard board;
};

class DrawSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    ASSERT_GT(port, 0);
    gm = std::make_unique<DrawPeer>(QStringLiteral("GM"), port);
    alice = std::make_unique<DrawPeer>(QStringLiteral("Alice"), port);
    bob = std::make_unique<DrawPeer>(QStringLiteral("Bob"), port);
    ASSERT_TRUE(StartServer(gm->peer));
    ASSERT_TRUE(Join(alice->peer, gm->peer));
    ASSERT_TRUE(Join(bob->peer, gm->peer));
  }

  // True once every page of `copy` equals the same page of `model`.
  static bool SamePages(const DrawPeer& model, const DrawPeer& copy) {
    if (model.board.HighestPage() != copy.board.HighestPage()) return false;
    for (int i = 0; i <= model.board.HighestPage(); ++i) {
      if (model.board.Snapshot(i) != copy.board.Snapshot(i)) return false;
    }
    return true;
  }

  // Where two copies differ, for the failure message.
  static std::string Differences(const DrawPeer& model, const DrawPeer& copy) {
    QString out = QStringLiteral("%1 vs %2: highest %3/%4, panel \"%5\";")
                      .arg(model.peer.instance.OwnHandle, copy.peer.instance.OwnHandle)
                      .arg(model.board.HighestPage())
                      .arg(copy.board.HighestPage())
                      .arg(copy.peer.SysReqMes());
    for (int i = 0; i <= std::min(model.board.HighestPage(), copy.board.HighestPage()); ++i) {
      if (model.board.Snapshot(i) != copy.board.Snapshot(i))
        out += QStringLiteral(" page %1").arg(i);
    }
    return out.toStdString();
  }

  int port = 0;
  std::unique_ptr<DrawPeer> gm, alice, bob;
};

TEST_F(DrawSessionTest, EveryToolLeavesEveryCopyPixelEqualAndLateJoinersCatchUp) {
  DrawBoard& a = alice->board;
  // Page 0: every kind of stroke, and a picture.
  a.PlacePointer(QPointF(400, 300), 0x0000FF);
  DrawFont font;
  font.name = QStringLiteral("VL Gothic");
  font.size = 18;
  a.DrawText(QPointF(20, 20), 0x000000, QStringLiteral("お絵描きテスト"), font);
  font.bold = font.italic = font.underline = true;
  a.DrawText(QPointF(20, 60), 0x800000, QStringLiteral("Styled 文字"), font);
  a.DrawShape(draw::kLine, QPoint(10, 700), QPoint(950, 400), 0x00C000);
  a.DrawShape(draw::kBox, QPoint(100, 100), QPoint(300, 250), 0xC00000);
  a.DrawShape(draw::kFilledBox, QPoint(320, 100), QPoint(420, 250), 0x0080FF);
  a.BeginStroke(QPoint(500, 500), 0x404040);
  for (int i = 1; i <= 100; ++i) a.ExtendStroke(QPoint(500 + 4 * i, 500 + ((i * 37) % 90)));
  a.EndStroke();
  ASSERT_TRUE(a.DrawEllipse(QPointF(600, 200), QPointF(700, 250), 0x808000, false));
  ASSERT_TRUE(a.DrawEllipse(QPointF(800, 200), QPointF(830, 290), 0x008080, true));
  a.BeginErase(QPoint(110, 110), 16);
  for (int i = 1; i <= 60; ++i) a.ExtendErase(QPoint(110 + 3 * i, 110 + i));
  a.EndErase();
  QImage picture(120, 80, QImage::Format_RGB32);
  picture.fill(QColor(250, 200, 40));
  const QString path = alice->peer.home.File(QStringLiteral("sun.png"));
  ASSERT_TRUE(picture.save(path));
  ASSERT_TRUE(a.PasteImage(path));
  // Pages 1 and 2: one the server's user draws on, one erased whole again.
  a.NewPage();
  a.DrawShape(draw::kFilledBox, QPoint(0, 0), QPoint(50, 50), 0x0000FF);
  a.ErasePage();
  // (Strokes that cross in flight may land in a different order; the server's user waits.)
  ASSERT_TRUE(WaitUntil([&] { return gm->board.HighestPage() == 1 && SamePages(*alice, *gm); }));
  gm->board.NewPage();
  gm->board.DrawShape(draw::kLine, QPoint(0, 0), QPoint(959, 719), 0xFF00FF);

  ASSERT_TRUE(WaitUntil([&] {
    return !gm->files.Sending() && !alice->files.Sending() && SamePages(*alice, *gm) &&
           SamePages(*alice, *bob);
  })) << Differences(*alice, *gm)
      << "\n"
      << Differences(*alice, *bob);
  EXPECT_EQ(bob->board.Snapshot(0).pixelColor(10, 10), QColor(250, 200, 40));
  EXPECT_EQ(bob->board.HighestPage(), 2);
  EXPECT_EQ(bob->board.CurrentPage(), 2);
  EXPECT_TRUE(bob->board.Pointers().value(alice->peer.Index()).visible);
  EXPECT_TRUE(bob->board.DrawnPages().contains(0));
  EXPECT_FALSE(bob->board.DrawnPages().contains(1));
  EXPECT_TRUE(bob->peer.SysReqMes().isEmpty() || !bob->peer.SysReqMes().startsWith("Err"));

  // A late joiner asks and ends with the server's picture on every page and its page shown.
  gm->board.ShowPage(0, false);
  DrawPeer carol(QStringLiteral("Carol"), port);
  ASSERT_TRUE(Join(carol.peer, gm->peer));
  // What Carol drew before asking went to everyone and comes back in the server's picture.
  carol.board.DrawShape(draw::kFilledBox, QPoint(600, 600), QPoint(700, 700), 0x00FF00);
  ASSERT_TRUE(WaitUntil([&] { return gm->board.Snapshot(0).pixelColor(650, 650) == Qt::green; }));
  ASSERT_TRUE(carol.board.RequestCatchUp());
  ASSERT_TRUE(WaitUntil([&] {
    return !gm->board.Answering() && SamePages(*gm, carol) && carol.board.CurrentPage() == 0;
  })) << Differences(*gm, carol);
  // The others were not disturbed.
  EXPECT_EQ(alice->board.CurrentPage(), 2);
  EXPECT_TRUE(WaitUntil([&] { return SamePages(*gm, *alice); }));
}

}  // namespace
}  // namespace quillora::test
