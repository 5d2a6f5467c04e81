#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "common/ScriptedDialogs.h"
#include "common/TestSupport.h"
#include "drawing/DrawBoard.h"
#include "drawing/DrawView.h"
#include "drawing/DrawWindow.h"
#include "gui/GuiInput.h"
#include "net/MessageCodes.h"
#include "unit/NetFakes.h"

namespace quillora {
namespace {

using test::NetRig;

class DrawWindowTest : public ::testing::Test {
 protected:
  DrawWindowTest()
      : board(rig.instance, rig.router, rig.dispatcher,
              [this](const QString& path, std::function<void()> sent) {
                files << path;
                if (sent) sent();
                return true;
              }) {
    SetSessionMode(rig.instance, ModeClient);
    SetOwnIndex(rig.instance, 2);
    board.SetPauseForTesting(0);
    for (int i = 0; i < 32; ++i) rig.instance.settings.DrawColor[i] = 0x010101u * i;
    window = std::make_unique<DrawWindow>(rig.instance, board, dialogs);
    window->resize(900, 700);
    window->show();
    (void)QTest::qWaitForWindowExposed(window.get());
    rig.writes.clear();
  }

  template <typename T>
  T* Find(const QString& name) {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
  }
  QAction* Menu(const char* name) { return Find<QAction>(QString::fromUtf8(name)); }
  void Tool(int tool) {
    Find<QToolButton>(QStringLiteral("optSelDrawMode_%1").arg(tool))->click();
    ASSERT_EQ(window->CurrentTool(), tool);
    rig.writes.clear();
  }

  // Mouse events on the page at page units.
  void Mouse(QEvent::Type type, QPointF page, Qt::MouseButton button,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
    DrawView* view = window->view();
    const QPointF at = view->ToView(page);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton
                                  : type == QEvent::MouseMove        ? Qt::MouseButtons(button)
                                                                     : Qt::MouseButtons(button);
    QMouseEvent event(type, at, view->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, mods);
    QApplication::sendEvent(view, &event);
  }
  void Press(QPointF p, Qt::MouseButton b = Qt::LeftButton) {
    Mouse(QEvent::MouseButtonPress, p, b);
  }
  void Move(QPointF p, Qt::MouseButton held = Qt::LeftButton) { Mouse(QEvent::MouseMove, p, held); }
  void Release(QPointF p, Qt::MouseButton b = Qt::LeftButton) {
    Mouse(QEvent::MouseButtonRelease, p, b);
  }
  void Click(QPointF p, Qt::MouseButton b = Qt::LeftButton) {
    Press(p, b);
    Release(p, b);
  }

  QVector<Packet> Sent() const {
    QVector<Packet> out;
    for (const auto& w : rig.writes) out.push_back(DecodePacket(w.bytes));
    return out;
  }

  NetRig rig;
  test::ScriptedDialogs dialogs;
  QStringList files;
  DrawBoard board;
  std::unique_ptr<DrawWindow> window;
};

TEST_F(DrawWindowTest, ControlsCarryTheirNamesAndTips) {
  EXPECT_EQ(window->objectName(), QStringLiteral("frmDraw"));
  EXPECT_EQ(Find<QToolButton>(QStringLiteral("optSelDrawMode_0"))->toolTip(),
            QStringLiteral("現在このボタンは機能しません"));
  EXPECT_EQ(Find<QToolButton>(QStringLiteral("optSelDrawMode_11"))->toolTip(),
            QStringLiteral("絵を全て消去"));
  EXPECT_EQ(Find<QPushButton>(QStringLiteral("cmdPageCtrl_2"))->toolTip(),
            QStringLiteral("新しいページを作成"));
  for (const char* name : {"picMain", "txtInputChr", "txtCurPage", "lblColorSelected",
                           "lblColorSelect_31", "XYPos", "stbMain"}) {
    Find<QWidget>(QString::fromUtf8(name));
  }
  EXPECT_EQ(Menu("mnuFileSub_2")->text(), QStringLiteral("名前を付けて保存"));
  EXPECT_EQ(Menu("mnuOptSub_1")->text(), QStringLiteral("途中参加/絵修復"));
  EXPECT_TRUE(Menu("mnuDrawModeSub_0")->isChecked());

  // Swatches come from the settings; a double-click replaces one through the colour dialog.
  QLabel* swatch = Find<QLabel>(QStringLiteral("lblColorSelect_5"));
  QTest::mouseClick(swatch, Qt::LeftButton);
  EXPECT_EQ(window->CurrentColour(), 0x050505u);
  dialogs.colors.push_back(QColor(0x11, 0x22, 0x33));
  QTest::mouseDClick(swatch, Qt::LeftButton);
  EXPECT_EQ(window->CurrentColour(), 0x332211u);
  EXPECT_EQ(rig.instance.settings.DrawColor[5], 0x332211u);

  // Mouse moves show the page position.
  Move(QPointF(120, 45), Qt::NoButton);
  EXPECT_EQ(Find<QLabel>(QStringLiteral("XYPos"))->text(), QStringLiteral("( 120 , 45 )"));
  // The page is shown at full size, one page pixel to one screen pixel; a window smaller than
  // the page scrolls it.
  DrawView* view = window->view();
  EXPECT_EQ(view->Scale(), 1.0);
  EXPECT_EQ(view->ToView(QPointF(120, 45)) - view->ToView(QPointF(0, 0)), QPointF(120, 45));
  EXPECT_GE(view->width(), DrawBoard::kPageWidth);
  EXPECT_EQ(view->parentWidget()->parentWidget(), Find<QScrollArea>(QStringLiteral("scrPage")));

  // The first picture to open is looked for in the program's folder.
  ASSERT_FALSE(rig.instance.ProgramFolder().isEmpty());
  Menu("mnuFileSub_0")->trigger();  // cancelled
  EXPECT_TRUE(dialogs.Last("open").text.startsWith(rig.instance.ProgramFolder() + u'|'))
      << dialogs.Last("open").text.toStdString();

  // The pointer tool: selecting it recolours, a click places, a right click hides.
  Tool(DrawWindow::kNoTool);
  Find<QToolButton>(QStringLiteral("optSelDrawMode_1"))->click();
  ASSERT_EQ(Sent().size(), 1);
  EXPECT_EQ(Sent()[0].SubCode, draw::kPointerColour);
  // The press itself shows the pointer to everyone; a release in place sends nothing more,
  // a drag sends where it ended.
  Press(QPointF(300, 200));
  ASSERT_EQ(Sent().size(), 2);
  EXPECT_EQ(Sent().last().SubCode, draw::kPointerShow);
  EXPECT_EQ(Sent().last().Number(3), 300.0);
  Release(QPointF(300, 200));
  EXPECT_EQ(Sent().size(), 2);
  Press(QPointF(300, 200));
  Move(QPointF(320, 230));
  EXPECT_EQ(Sent().size(), 3);
  Release(QPointF(320, 230));
  ASSERT_EQ(Sent().size(), 4);
  EXPECT_EQ(Sent().last().SubCode, draw::kPointerShow);
  EXPECT_EQ(Sent().last().Number(4), 230.0);
  Click(QPointF(300, 200), Qt::RightButton);
  EXPECT_EQ(Sent().last().SubCode, draw::kPointerHide);

  // The repair entry refuses in server mode.
  SetSessionMode(rig.instance, ModeServer);
  Menu("mnuOptSub_1")->trigger();
  EXPECT_EQ(dialogs.Last("message").title, QStringLiteral("機能エラー"));
  EXPECT_EQ(dialogs.Last("message").text,
            QStringLiteral("サーバーモードではこの機能は利用できません"));
}

TEST_F(DrawWindowTest, FreehandOfAHundredMovesGoesOutAs41And41AndTheRestJoinedUp) {
  Tool(DrawWindow::kFreehand);
  Press(QPointF(10, 10));
  for (int i = 1; i <= 100; ++i) Move(QPointF(10 + 3 * i, 10 + (i % 7) * 5));
  Release(QPointF(310, 10));
  const QVector<Packet> sent = Sent();
  ASSERT_EQ(sent.size(), 3);
  const int expected[3] = {41, 41, 21};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(sent[k].MessageCode, msg::kSendDrawShape);
    EXPECT_EQ(sent[k].SubCode, draw::kStroke);
    EXPECT_EQ(sent[k].Int(3), expected[k]);
    if (k > 0) {  // starts where the last one ended
      const int n = sent[k - 1].Int(3);
      EXPECT_EQ(sent[k].Int(4), sent[k - 1].Int(4 + 2 * (n - 1)));
      EXPECT_EQ(sent[k].Int(5), sent[k - 1].Int(5 + 2 * (n - 1)));
    }
  }
  EXPECT_EQ(sent[0].Int(4), 10);

  // Another board that replays the messages has the drawer's page.
  NetRig other_rig;
  DrawBoard other(other_rig.instance, other_rig.router, other_rig.dispatcher, {});
  for (Packet p : sent) {
    p.MessageCode = msg::kDrawShape;
    other.HandleClient(p);
  }
  EXPECT_EQ(other.Snapshot(0), board.Snapshot(0));
}

TEST_F(DrawWindowTest, ShapesPreviewAboveThePageAndEllipsesNeedAWidth) {
  Tool(DrawWindow::kLine);
  Press(QPointF(100, 100));
  Move(QPointF(200, 150));
  EXPECT_EQ(window->view()->CurrentPreview().kind, DrawView::Preview::kLine);
  EXPECT_EQ(board.Page(0), nullptr);  // the rubber band is not in the page
  Release(QPointF(200, 150));
  EXPECT_EQ(window->view()->CurrentPreview().kind, DrawView::Preview::kNone);
  ASSERT_EQ(Sent().size(), 1);
  EXPECT_EQ(Sent()[0].SubCode, draw::kLine);

  Tool(DrawWindow::kEllipse);
  Press(QPointF(400, 300));
  Move(QPointF(400, 380));
  Release(QPointF(400, 380));
  EXPECT_TRUE(Sent().isEmpty());
  Press(QPointF(400, 300));
  Release(QPointF(450, 330));
  ASSERT_EQ(Sent().size(), 1);
  EXPECT_EQ(Sent()[0].MessageCode, msg::kSendDrawEllipse);
  EXPECT_EQ(Sent()[0].Number(5), 50.0);
  EXPECT_DOUBLE_EQ(Sent()[0].Number(6), 0.6);

  // The polyline sends a segment per further click; a right click ends it.
  Tool(DrawWindow::kPolyline);
  Click(QPointF(10, 10));
  Click(QPointF(50, 10));
  Click(QPointF(50, 60));
  Click(QPointF(0, 0), Qt::RightButton);
  Click(QPointF(90, 90));
  ASSERT_EQ(Sent().size(), 2);
  EXPECT_EQ(Sent()[1].Int(2), 50);
  EXPECT_EQ(Sent()[1].Int(5), 60);

  // Erasing the page asks first.
  Tool(DrawWindow::kErasePage);
  dialogs.confirms = {false, true};
  Click(QPointF(5, 5));
  EXPECT_TRUE(Sent().isEmpty());
  EXPECT_EQ(dialogs.Last("okcancel").text, QStringLiteral("画面を消去します。よろしいですか？"));
  Click(QPointF(5, 5));
  ASSERT_EQ(Sent().size(), 1);
  EXPECT_EQ(Sent()[0].MessageCode, msg::kSendDrawErase);
  EXPECT_EQ(board.Page(0), nullptr);
}

TEST_F(DrawWindowTest, EraserSizeCyclesThroughEightSteps) {
  Tool(DrawWindow::kEraser);
  EXPECT_EQ(window->EraserSize(), 8);
  const int expected[8] = {16, 24, 32, 40, 48, 56, 64, 0};
  for (int k = 0; k < 8; ++k) {
    Click(QPointF(50, 50), Qt::RightButton);
    EXPECT_EQ(window->EraserSize(), expected[k]);
  }
  Click(QPointF(50, 50), Qt::RightButton);
  EXPECT_EQ(window->EraserSize(), 8);
  EXPECT_TRUE(Sent().isEmpty());

  // A press alone erases one square and says so.
  Click(QPointF(50, 50));
  ASSERT_EQ(Sent().size(), 1);
  EXPECT_EQ(Sent()[0].SubCode, draw::kEraseSquares);
  EXPECT_EQ(Sent()[0].Int(2), 8);
  EXPECT_EQ(Sent()[0].Int(3), 1);
}

TEST_F(DrawWindowTest, PageButtonsFollowTheRulesAndCtrlKeepsTheTurnLocal) {
  auto* previous = Find<QPushButton>(QStringLiteral("cmdPageCtrl_0"));
  auto* next = Find<QPushButton>(QStringLiteral("cmdPageCtrl_1"));
  auto* add = Find<QPushButton>(QStringLiteral("cmdPageCtrl_2"));
  auto* box = Find<QLineEdit>(QStringLiteral("txtCurPage"));
  QTest::mouseClick(previous, Qt::LeftButton);
  EXPECT_TRUE(Sent().isEmpty());
  EXPECT_EQ(board.CurrentPage(), 0);

  QTest::mouseClick(add, Qt::LeftButton);
  EXPECT_EQ(board.CurrentPage(), 1);
  EXPECT_EQ(box->text(), QStringLiteral("2"));
  ASSERT_EQ(Sent().size(), 1);
  EXPECT_EQ(Sent()[0].SubCode, draw::kPageNew);
  EXPECT_EQ(Sent()[0].Int(1), 1);

  QTest::mouseClick(previous, Qt::LeftButton);
  EXPECT_EQ(board.CurrentPage(), 0);
  EXPECT_EQ(Sent().last().SubCode, draw::kPageShow);
  rig.writes.clear();
  QTest::mouseClick(next, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(board.CurrentPage(), 1);
  EXPECT_TRUE(Sent().isEmpty());

  // The page box: a page that exists, quietly without Ctrl.
  box->setFocus();
  box->setText(QStringLiteral("1"));
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_EQ(board.CurrentPage(), 0);
  EXPECT_TRUE(Sent().isEmpty());
  box->setText(QStringLiteral("9"));
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_EQ(board.CurrentPage(), 0);
  EXPECT_EQ(box->text(), QStringLiteral("1"));
  box->setText(QStringLiteral("2"));
  QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(board.CurrentPage(), 1);
  ASSERT_EQ(Sent().size(), 1);
}

TEST_F(DrawWindowTest, TextCommitsAsPlainOrStyledByTheFontAndFilesGoThroughTheDialogs) {
  Tool(DrawWindow::kText);
  auto* text = Find<QLineEdit>(QStringLiteral("txtInputChr"));
  Click(QPointF(50, 60));
  ASSERT_TRUE(text->isVisible());
  const int narrow = text->width();
  test::TypeText(text, QStringLiteral("こんにちは世界"));
  EXPECT_GT(text->width(), narrow);  // the box widens as the text grows
  QTest::keyClick(text, Qt::Key_Return);
  ASSERT_EQ(Sent().size(), 1);
  EXPECT_EQ(Sent()[0].MessageCode, msg::kSendDrawText);
  EXPECT_EQ(Sent()[0].SubCode, draw::kTextPlain);
  EXPECT_EQ(Sent()[0].Number(2), 50.0);
  EXPECT_EQ(Sent()[0].Number(3), 60.0);
  EXPECT_EQ(Sent()[0].Text(5), QStringLiteral("こんにちは世界"));
  EXPECT_NE(board.Page(0), nullptr);

  // A bold font from the font dialog; the next click first prints what the box holds.
  QFont bold(QStringLiteral("VL Gothic"), 20);
  bold.setBold(true);
  dialogs.fonts.push_back(bold);
  Click(QPointF(100, 200));
  QTest::mouseDClick(text, Qt::LeftButton);
  EXPECT_TRUE(window->PageFont().bold);
  EXPECT_EQ(window->PageFont().size, 20);
  test::TypeText(text, QStringLiteral("太字"));
  Click(QPointF(300, 300));
  ASSERT_EQ(Sent().size(), 2);
  EXPECT_EQ(Sent()[1].SubCode, draw::kTextStyled);
  EXPECT_EQ(Sent()[1].Number(2), 100.0);
  EXPECT_EQ(Sent()[1].Int(7), 20);
  EXPECT_TRUE(Sent()[1].Bool(8));
  EXPECT_FALSE(Sent()[1].Bool(11));

  // Save as: ".bmp" is added; a PNG name stays PNG.
  test::TempHome home;
  dialogs.files = {home.File(QStringLiteral("page")), home.File(QStringLiteral("page.png"))};
  Menu("mnuFileSub_2")->trigger();
  EXPECT_EQ(QImage(home.File(QStringLiteral("page.bmp"))).size(),
            QSize(DrawBoard::kPageWidth, DrawBoard::kPageHeight));
  Menu("mnuFileSub_2")->trigger();
  EXPECT_TRUE(home.Read(QStringLiteral("page.png")).startsWith("\x89PNG"));

  // Opening a large picture asks first, then paints it and sends the file and its message.
  QImage big(400, 300, QImage::Format_RGB32);
  big.fill(Qt::red);
  ASSERT_TRUE(big.save(home.File(QStringLiteral("big.bmp"))));
  rig.writes.clear();
  dialogs.files = {home.File(QStringLiteral("big.bmp"))};
  dialogs.confirms = {true};
  Menu("mnuFileSub_0")->trigger();
  EXPECT_EQ(dialogs.Last("okcancel").title, QStringLiteral("確認メッセージ"));
  EXPECT_EQ(board.Snapshot(0).pixelColor(10, 10), QColor(Qt::red));
  EXPECT_EQ(files, QStringList{home.File(QStringLiteral("big.bmp"))});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Sent().isEmpty(); }, 2000));
  EXPECT_EQ(Sent()[0].MessageCode, msg::kSendDrawImage);
  EXPECT_EQ(Sent()[0].Text(2), QStringLiteral("big.bmp"));
  EXPECT_EQ(Sent()[0].Count(), 6);
}

}  // namespace
}  // namespace quillora
