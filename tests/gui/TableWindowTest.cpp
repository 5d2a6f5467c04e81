#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <memory>

#include "common/ScriptedDialogs.h"
#include "gui/GuiInput.h"
#include "net/PacketCodec.h"
#include "table/SharedTable.h"
#include "table/TableWindow.h"
#include "unit/NetFakes.h"

namespace quillora {
namespace {

using test::NetRig;
using test::ScriptedDialogs;

QVector<Packet> SentToServer(const NetRig& rig) {
  QVector<Packet> packets;
  for (const auto& s : rig.writes) {
    if (s.link == 0) packets.push_back(DecodePacket(s.bytes));
  }
  return packets;
}

class TableWindowTest : public ::testing::Test {
 protected:
  TableWindowTest() : table(rig.instance, rig.router, rig.dispatcher) {
    SetSessionMode(rig.instance, ModeClient);
    SetOwnIndex(rig.instance, 2);
    rig.instance.OwnHandle = QStringLiteral("Alice");
    table.SetPauseForTesting(0);
    window = std::make_unique<TableWindow>(rig.instance, table, dialogs);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitForWindowActive(window.get());
  }

  QTableWidget* Grid() { return window->grid(); }
  QString Cell(int r, int c) {
    const QTableWidgetItem* item = Grid()->item(r, c);
    return item ? item->text() : QStringLiteral("<none>");
  }
  // Where the user sees cell (r, c): the corner button, a header section or a cell.
  std::pair<QWidget*, QPoint> Place(int r, int c) {
    QHeaderView* columns = Grid()->horizontalHeader();
    QHeaderView* rows = Grid()->verticalHeader();
    if (r == 0 && c == 0) {
      auto* corner = Grid()->findChild<QAbstractButton*>(QStringLiteral("fgdMainCorner"));
      return {corner, corner ? corner->rect().center() : QPoint()};
    }
    if (r == 0) {
      return {columns->viewport(),
              QPoint(columns->sectionViewportPosition(c) + columns->sectionSize(c) / 2,
                     columns->height() / 2)};
    }
    if (c == 0) {
      return {rows->viewport(), QPoint(rows->width() / 2, rows->sectionViewportPosition(r) +
                                                              rows->sectionSize(r) / 2)};
    }
    return {Grid()->viewport(), Grid()->visualRect(Grid()->model()->index(r, c)).center()};
  }
  void Click(int r, int c, Qt::MouseButton button = Qt::LeftButton,
             Qt::KeyboardModifiers mods = {}) {
    const auto [surface, point] = Place(r, c);
    ASSERT_NE(surface, nullptr) << r << "," << c;
    ASSERT_TRUE(surface->rect().contains(point)) << r << "," << c;
    QTest::mouseClick(surface, button, mods, point);
  }
  QAction* Action(const QString& name) {
    auto* a = window->findChild<QAction*>(name);
    EXPECT_NE(a, nullptr) << name.toStdString();
    return a;
  }

  NetRig rig;
  SharedTable table;
  ScriptedDialogs dialogs;
  std::unique_ptr<TableWindow> window;
};

TEST_F(TableWindowTest, ShowsTheCornerAndGrowsFromCornerClicks) {
  EXPECT_EQ(window->objectName(), QStringLiteral("frmTable"));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("テーブル機能"));
  EXPECT_EQ(Grid()->objectName(), QStringLiteral("fgdMain"));
  EXPECT_EQ(Grid()->rowCount(), 1);
  EXPECT_EQ(Grid()->columnCount(), 1);
  EXPECT_EQ(Cell(0, 0), QStringLiteral("左行 右列"));

  Click(0, 0, Qt::RightButton);
  Click(0, 0, Qt::RightButton);
  Click(0, 0);
  EXPECT_EQ(Grid()->columnCount(), 3);
  EXPECT_EQ(Cell(0, 2), QStringLiteral("列2"));
  EXPECT_EQ(Cell(1, 0), QStringLiteral("Alice1"));
  EXPECT_EQ(Grid()->columnWidth(2), (700 * window->logicalDpiX() + 720) / 1440);
  EXPECT_TRUE(Grid()->item(1, 1)->textAlignment() & Qt::AlignHCenter);
  EXPECT_FALSE(window->Editing()) << "the corner never opens the editor";
}

TEST_F(TableWindowTest, EditorOpensOverTheCellAndEnterCommitsIt) {
  Click(0, 0, Qt::RightButton);
  Click(0, 0);
  rig.writes.clear();
  Click(1, 1);
  ASSERT_TRUE(window->Editing());
  QLineEdit* editor = window->editor();
  EXPECT_EQ(editor->objectName(), QStringLiteral("txtInput"));
  EXPECT_TRUE(editor->isVisible());
  EXPECT_TRUE(editor->hasFocus());
  const QRect cell = Grid()->visualRect(Grid()->model()->index(1, 1));
  EXPECT_EQ(editor->mapToGlobal(QPoint()), Grid()->viewport()->mapToGlobal(cell.topLeft()));

  test::TypeText(editor, QStringLiteral("先攻"));
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_FALSE(window->Editing());
  EXPECT_FALSE(editor->isVisible());
  EXPECT_TRUE(editor->text().isEmpty());
  EXPECT_EQ(Cell(1, 1), QStringLiteral("先攻"));
  auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].MessageCode, 801);
  EXPECT_EQ(sent[0].Int(1), 200001);
  EXPECT_EQ(sent[0].Int(2), 200001);
  EXPECT_EQ(sent[0].Text(3), QStringLiteral("先攻"));

  // Reopening shows the text with the caret at its end; clicking elsewhere commits first.
  Click(1, 1);
  EXPECT_EQ(editor->text(), QStringLiteral("先攻"));
  EXPECT_EQ(editor->cursorPosition(), 2);
  QTest::keyClicks(editor, "!");
  Click(0, 1);
  EXPECT_EQ(Cell(1, 1), QStringLiteral("先攻!"));
  EXPECT_EQ(window->EditedCell(), QPoint(0, 1));
  EXPECT_EQ(editor->text(), QStringLiteral("列1"));
}

TEST_F(TableWindowTest, HeadersStayInPlaceHintAtTheCornerAndWidenByDragging) {
  for (int i = 0; i < 12; ++i) Click(0, 0, Qt::RightButton);
  for (int i = 0; i < 12; ++i) Click(0, 0);
  ASSERT_EQ(Grid()->columnCount(), 13);
  QTest::qWait(20);  // the view lays its scroll bars out later
  Grid()->horizontalScrollBar()->setValue(Grid()->horizontalScrollBar()->maximum());
  Grid()->verticalScrollBar()->setValue(Grid()->verticalScrollBar()->maximum());
  ASSERT_GT(Grid()->horizontalScrollBar()->value(), 0);
  // Scrolled to the far right and bottom, the name column and the header row are still there,
  // and a click at the far left edits a row's name, not a scrolled cell.
  QHeaderView* names = Grid()->verticalHeader();
  ASSERT_TRUE(names->isVisible());
  const int last_row = Grid()->rowCount() - 1;
  EXPECT_EQ(names->model()->headerData(last_row, Qt::Vertical).toString(), Cell(last_row, 0));
  Click(last_row, 0);
  EXPECT_EQ(window->EditedCell(), QPoint(last_row, 0));
  Click(0, 12);
  EXPECT_EQ(window->EditedCell(), QPoint(0, 12));
  EXPECT_EQ(window->editor()->text(), QStringLiteral("列12"));
  window->CloseEditor();

  // The corner tells what clicking it does, as a tool tip and in the status bar.
  auto* corner = Grid()->findChild<QAbstractButton*>(QStringLiteral("fgdMainCorner"));
  ASSERT_NE(corner, nullptr);
  EXPECT_FALSE(corner->toolTip().isEmpty());
  EXPECT_EQ(corner->statusTip(), corner->toolTip());

  // Dragging a header edge widens that column here only; it is no click on the header.
  Grid()->horizontalScrollBar()->setValue(0);
  QHeaderView* headers = Grid()->horizontalHeader();
  const int width = Grid()->columnWidth(1);
  const int edge = headers->sectionViewportPosition(1) + width - 1;
  const int y = headers->height() / 2;
  rig.writes.clear();
  QTest::mousePress(headers->viewport(), Qt::LeftButton, {}, QPoint(edge, y));
  QMouseEvent move(QEvent::MouseMove, QPointF(edge + 60, y),
                   headers->viewport()->mapToGlobal(QPointF(edge + 60, y)), Qt::LeftButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(headers->viewport(), &move);
  QTest::mouseRelease(headers->viewport(), Qt::LeftButton, {}, QPoint(edge + 60, y));
  EXPECT_GT(Grid()->columnWidth(1), width + 30);
  EXPECT_FALSE(window->Editing());
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(TableWindowTest, LosingTheFocusCommitsAndLongTextsWidenTheEditor) {
  Click(0, 0, Qt::RightButton);
  Click(0, 1);
  QLineEdit* editor = window->editor();
  const int width = editor->width();
  QTest::keyClicks(editor, "a rather long header text that does not fit");
  EXPECT_GT(editor->width(), width);
  EXPECT_GE(editor->width(),
            editor->fontMetrics().horizontalAdvance(QStringLiteral("　") + editor->text()));
  rig.writes.clear();
  Grid()->setFocus(Qt::OtherFocusReason);
  EXPECT_FALSE(window->Editing());
  EXPECT_EQ(Cell(0, 1), QStringLiteral("列1a rather long header text that does not fit"));
  EXPECT_EQ(SentToServer(rig).size(), 1);
}

TEST_F(TableWindowTest, OthersRowsStayClosedAndCtrlClicksDelete) {
  Click(0, 0, Qt::RightButton);
  Click(0, 0, Qt::RightButton);
  Click(0, 0);
  Packet bob(812, 2, 3);
  bob.Add(int32_t{300001}).Add(QStringLiteral("Bob1"));
  rig.dispatcher.ClientDispatch(bob);
  ASSERT_EQ(Grid()->rowCount(), 3);
  Click(2, 1);
  EXPECT_FALSE(window->Editing());
  Click(2, 0, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(Grid()->rowCount(), 3);

  const int first_width = Grid()->columnWidth(1);
  Grid()->setColumnWidth(2, first_width + 40);
  Click(0, 1, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(Grid()->columnCount(), 2);
  EXPECT_EQ(Cell(0, 1), QStringLiteral("列2"));
  EXPECT_EQ(Grid()->columnWidth(1), first_width) << "widths stay with their positions";
  Click(1, 0, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(Grid()->rowCount(), 2);
  EXPECT_EQ(Cell(1, 0), QStringLiteral("Bob1"));
}

TEST_F(TableWindowTest, RemoteDeletionClosesTheEditorKeepingItsText) {
  Click(0, 0, Qt::RightButton);
  Click(0, 0, Qt::RightButton);
  Click(0, 2);
  QTest::keyClicks(window->editor(), "X");
  Packet gone(813, 1, 3);
  gone.Add(int32_t{200001});
  rig.dispatcher.ClientDispatch(gone);
  EXPECT_FALSE(window->Editing());
  EXPECT_EQ(Grid()->columnCount(), 2);
  EXPECT_EQ(Cell(0, 1), QStringLiteral("列2X"));
}

TEST_F(TableWindowTest, LockMenuIsExclusiveAndBlocksCornerClicks) {
  QAction* rows = Action(QStringLiteral("mnuLockTableSub_2"));
  QAction* none = Action(QStringLiteral("mnuLockTableSub_0"));
  EXPECT_TRUE(none->isChecked());
  rows->trigger();
  EXPECT_TRUE(rows->isChecked());
  EXPECT_FALSE(none->isChecked());
  Click(0, 0);
  Click(0, 0, Qt::RightButton);
  EXPECT_EQ(Grid()->rowCount(), 1);
  EXPECT_EQ(Grid()->columnCount(), 2);
  Action(QStringLiteral("mnuLockTableSub_1"))->trigger();
  Click(0, 0, Qt::RightButton);
  EXPECT_EQ(Grid()->columnCount(), 2);
  none->trigger();
  Click(0, 0);
  EXPECT_EQ(Grid()->rowCount(), 2);
  EXPECT_TRUE(Action(QStringLiteral("mnuModeSub_0"))->isChecked());
}

TEST_F(TableWindowTest, RepairIsRefusedToTheServerAndEmptiesAClientsTable) {
  Click(0, 0, Qt::RightButton);
  SetSessionMode(rig.instance, ModeServer);
  Action(QStringLiteral("mnuOptSub_1"))->trigger();
  EXPECT_EQ(dialogs.Last("message").title, QStringLiteral("機能エラー"));
  EXPECT_EQ(dialogs.Last("message").text,
            QStringLiteral("サーバーモードではこの機能は利用できません"));
  EXPECT_EQ(Grid()->columnCount(), 2);

  SetSessionMode(rig.instance, ModeClient);
  rig.writes.clear();
  Action(QStringLiteral("mnuOptSub_1"))->trigger();
  EXPECT_EQ(Grid()->columnCount(), 1);
  EXPECT_EQ(Cell(0, 0), QStringLiteral("左行 右列"));
  ASSERT_EQ(SentToServer(rig).size(), 1);
  EXPECT_EQ(SentToServer(rig)[0].MessageCode, 809);
}

TEST_F(TableWindowTest, OpenLoadsColumnsOrSaysTheFileCannotBeRead) {
  rig.home.Write("pc.tb0", QByteArray("#Table File Ver0.1\r\nHP\r\nMP\r\n"));
  dialogs.files.push_back(rig.home.File("pc"));  // typed without the extension
  Action(QStringLiteral("mnuFileSub_0"))->trigger();
  EXPECT_EQ(dialogs.Last("open").text,
            rig.instance.ProgramFolder() + QStringLiteral("|テーブル定義ファイル(*.tb0) (*.tb0)"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return table.Idle(); }, 5000));
  EXPECT_EQ(Grid()->columnCount(), 3);
  EXPECT_EQ(Cell(0, 2), QStringLiteral("MP"));

  rig.home.Write("bad.tb0", QByteArray("table\r\nHP\r\n"));
  dialogs.files.push_back(rig.home.File("bad.tb0"));
  Action(QStringLiteral("mnuFileSub_0"))->trigger();
  EXPECT_EQ(dialogs.Last("message").title, QStringLiteral("ファイル読み込みエラー"));
  EXPECT_EQ(dialogs.Last("message").text, QStringLiteral("テーブル定義ファイルを読み込めません"));

  dialogs.asked.clear();
  Action(QStringLiteral("mnuFileSub_0"))->trigger();  // cancelled
  EXPECT_EQ(dialogs.asked.size(), 1u);
}

}  // namespace
}  // namespace quillora
