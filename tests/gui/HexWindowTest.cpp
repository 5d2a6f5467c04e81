// The hex map window and its set-up dialog, driven like a user would, without a session.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "chat/Recipients.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSupport.h"
#include "core/ChatSink.h"
#include "core/Instance.h"
#include "core/Palettes.h"
#include "hexmap/HexMap.h"
#include "hexmap/HexMapView.h"
#include "hexmap/HexSetupDialog.h"
#include "hexmap/HexWindow.h"
#include "hexmap/MapFile.h"
#include "net/FileTransfer.h"
#include "net/Session.h"

namespace quillora::test {
namespace {

class NoChat : public ChatSink {
 public:
  void AppendChatLine(const QString&, int, const QString&, const QString&, uint32_t) override {}
};

class HexWindowTest : public ::testing::Test {
 protected:
  HexWindowTest()
      : instance(home.path(), 3),
        session(instance),
        files(instance, session),
        map(instance, session.router(), session.dispatcher(), files) {
    SetOwnIndex(instance, 1);
    instance.OwnHandle = QStringLiteral("ゆき");
    for (int i = 0; i < 17; ++i) instance.settings.HexColor[i] = kHexDesignColors[i];
    window = std::make_unique<HexWindow>(instance, map, dialogs);
    window->show();
  }

  template <typename T>
  T* Find(const QString& name) const {
    return window->findChild<T*>(name);
  }
  QString SysMes() const { return Find<QLabel>(QStringLiteral("SysMes"))->text(); }
  // Makes page 1 through the set-up dialog: 8 x 8 squares of 32 pixels.
  void CreateSmallMap() {
    window->ChooseGeneralMode();
    Find<QRadioButton>(QStringLiteral("optMapSize_4"))->setChecked(true);
    window->setup()->Create();
    ASSERT_EQ(map.CurrentPage(), 1);
  }
  void Click(QPoint cell, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(window->view(), button, Qt::NoModifier, window->view()->CellCentre(cell));
  }

  TempHome home;
  Instance instance;
  NoChat chat;
  Recipients recipients;
  Session session;
  FileTransfer files;
  HexMap map;
  ScriptedDialogs dialogs;
  std::unique_ptr<HexWindow> window;
};

TEST_F(HexWindowTest, ControlsCarryTheirNamesAndWaitForTheFirstPage) {
  for (const char* name :
       {"picMain", "hscMain", "vscMain", "optSelHexMode_0", "optSelHexMode_3", "chkOpt_0",
        "chkOpt_1", "cmdPageCtrl_0", "cmdPageCtrl_2", "txtCurPage", "lblColorSelect_0",
        "lblColorSelect_16", "lblColorSelected", "XYPos", "SysMes", "stbMain"}) {
    EXPECT_NE(window->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  }
  for (const char* name :
       {"mnuFileSub_0", "mnuFileSub_1", "mnuOptSub_0", "mnuOptSub_1", "mnuModeSub_0"}) {
    EXPECT_NE(window->findChild<QAction*>(QString::fromLatin1(name)), nullptr) << name;
  }
  EXPECT_EQ(window->windowTitle(), QStringLiteral("ＨＥＸ機能"));
  EXPECT_EQ(Find<QToolButton>(QStringLiteral("optSelHexMode_2"))->toolTip(),
            QStringLiteral("コマを動かす"));
  EXPECT_FALSE(Find<QToolButton>(QStringLiteral("optSelHexMode_0"))->isEnabled());
  EXPECT_FALSE(window->view()->isEnabled());

  // A client's page controls stay off; the server's user pages.
  SetSessionMode(instance, ModeClient);
  window->ChooseGeneralMode();
  EXPECT_FALSE(Find<QToolButton>(QStringLiteral("cmdPageCtrl_2"))->isEnabled());
  EXPECT_FALSE(window->setup()->isVisible());
  window->Repair();
  EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(HexWindowTest, SetupDialogChecksTheCustomSizeAndMakesThePage) {
  SetSessionMode(instance, ModeServer);
  window->ChooseGeneralMode();
  HexSetupDialog* setup = window->setup();
  ASSERT_TRUE(setup->isVisible());
  EXPECT_EQ(setup->windowTitle(), QStringLiteral("ＨＥＸ機能 - 新規ＨＥＸマップ作成"));
  auto* x = setup->findChild<QLineEdit*>(QStringLiteral("txtMapSizeX"));
  EXPECT_FALSE(x->isEnabled());
  EXPECT_EQ(x->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
  setup->findChild<QRadioButton*>(QStringLiteral("optMapSize_6"))->setChecked(true);
  EXPECT_TRUE(x->isEnabled());
  EXPECT_EQ(x->palette().color(QPalette::Base), QColor(Qt::white));

  x->setText(QStringLiteral("300"));
  setup->findChild<QLineEdit*>(QStringLiteral("txtMapSizeY"))->setText(QStringLiteral("12"));
  setup->Create();
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].text, QStringLiteral("Err Mapsize"));
  EXPECT_TRUE(setup->isVisible());
  EXPECT_EQ(map.PageCount(), 0);

  x->setText(QStringLiteral("40"));
  setup->findChild<QRadioButton*>(QStringLiteral("optHexType_1"))->setChecked(true);
  setup->findChild<QRadioButton*>(QStringLiteral("optPieceType_3"))->setChecked(true);
  QTest::mouseClick(setup->findChild<QPushButton*>(QStringLiteral("cmdOperate_0")), Qt::LeftButton);
  EXPECT_FALSE(setup->isVisible());
  ASSERT_EQ(map.PageCount(), 1);
  const HexMapPage& h = map.Page(1)->header;
  EXPECT_EQ(QVector<int>({h.columns, h.rows, h.shape, h.piece_type, h.cell_width}),
            QVector<int>({40, 12, kHexVertical, kPieceBoth, 32}));
  EXPECT_TRUE(Find<QToolButton>(QStringLiteral("optSelHexMode_0"))->isEnabled());
  EXPECT_EQ(Find<QLineEdit>(QStringLiteral("txtCurPage"))->text(), QStringLiteral("1"));
  // 40 columns of 32 pixels do not fit: the horizontal bar scrolls the map.
  EXPECT_TRUE(Find<QScrollBar>(QStringLiteral("hscMain"))->isEnabled());
  Find<QScrollBar>(QStringLiteral("hscMain"))->setValue(3);
  EXPECT_EQ(map.Page(1)->header.first_column, 3);

  window->Repair();
  EXPECT_EQ(dialogs.asked.back().title, QStringLiteral("機能エラー"));
  EXPECT_EQ(dialogs.asked.back().text,
            QStringLiteral("サーバーモードではこの機能は利用できません"));
}

TEST_F(HexWindowTest, ClicksAndDragsOnTheMapUseTheChosenTool) {
  CreateSmallMap();
  EXPECT_EQ(SysMes(), QStringLiteral("左クリック：選択色　右クリック：白"));

  // Colour: the palette's red, dragged over two cells; the right button paints white.
  QTest::mouseClick(Find<QLabel>(QStringLiteral("lblColorSelect_5")), Qt::LeftButton);
  EXPECT_EQ(window->ChosenColour(), 0x0000FFu);
  QWidget* view = window->view();
  QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, window->view()->CellCentre(QPoint(2, 2)));
  QMouseEvent drag(QEvent::MouseMove, window->view()->CellCentre(QPoint(3, 2)),
                   view->mapToGlobal(window->view()->CellCentre(QPoint(3, 2))), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &drag);
  QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier,
                      window->view()->CellCentre(QPoint(3, 2)));
  EXPECT_EQ(map.Page(1)->Cell(2, 2).colour, 0x0000FFu);
  EXPECT_EQ(map.Page(1)->Cell(3, 2).colour, 0x0000FFu);
  EXPECT_EQ(Find<QLabel>(QStringLiteral("XYPos"))->text(), QStringLiteral("( 3 , 2 )"));
  Click(QPoint(2, 2), Qt::RightButton);
  EXPECT_EQ(map.Page(1)->Cell(2, 2).colour, kHexWhite);
  // The picture shows the colour where the cell is.
  EXPECT_EQ(window->view()->Picture().pixelColor(window->view()->CellCentre(QPoint(3, 2))),
            QColor(255, 0, 0));

  // Add, turn with a click, delete.
  QTest::mouseClick(Find<QToolButton>(QStringLiteral("optSelHexMode_0")), Qt::LeftButton);
  EXPECT_EQ(SysMes(), QStringLiteral("左クリック：コマ追加"));
  Click(QPoint(4, 4));
  ASSERT_EQ(map.Page(1)->Stack(4, 4).size(), 1);
  const int slot = map.Page(1)->Stack(4, 4).front();
  EXPECT_EQ(map.Page(1)->Piece(slot).label, QStringLiteral("ゆ1"));
  QTest::mouseClick(Find<QToolButton>(QStringLiteral("optSelHexMode_2")), Qt::LeftButton);
  EXPECT_EQ(SysMes(), QStringLiteral("左右クリック：左右回転　ドラッグ：移動"));
  Click(QPoint(4, 4), Qt::RightButton);  // edge directions: a quarter turn clockwise
  EXPECT_EQ(map.Page(1)->Piece(slot).direction, 2);
  EXPECT_EQ(SysMes(), QStringLiteral("クリック：左右回転　ドラッグ：移動"));
  QTest::mouseClick(Find<QToolButton>(QStringLiteral("optSelHexMode_1")), Qt::LeftButton);
  Click(QPoint(4, 4));
  EXPECT_TRUE(map.Page(1)->Stack(4, 4).isEmpty());
  // Clicks beside the map do nothing.
  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier,
                    QPoint(view->width() - 2, view->height() - 2));
  EXPECT_TRUE(map.Page(1)->UsedSlots().isEmpty());
}

TEST_F(HexWindowTest, PaletteFilesAndTheStackTimer) {
  CreateSmallMap();
  // Double-click edits a swatch: the settings and the chosen colour follow.
  dialogs.colors.push_back(QColor(0x12, 0x34, 0x56));
  QTest::mouseDClick(Find<QLabel>(QStringLiteral("lblColorSelect_2")), Qt::LeftButton);
  EXPECT_EQ(instance.settings.HexColor[2], 0x563412u);
  EXPECT_EQ(window->ChosenColour(), 0x563412u);

  // Two pieces on one cell start the stack timer while the option is on.
  window->SetMode(HexWindow::kAdd);
  Click(QPoint(1, 1));
  Click(QPoint(1, 1));
  EXPECT_FALSE(window->StackTimerRunning());
  QTest::mouseClick(Find<QToolButton>(QStringLiteral("chkOpt_0")), Qt::LeftButton);
  EXPECT_TRUE(window->StackTimerRunning());
  window->SetMode(HexWindow::kDelete);
  Click(QPoint(1, 1));
  EXPECT_FALSE(window->StackTimerRunning());

  // Saving appends the extension; opening a bad file says which file.
  dialogs.files.push_back(home.File(QStringLiteral("map")));
  window->SaveFile();
  QString error;
  HexPage back;
  ASSERT_TRUE(LoadMapFile(home.File(QStringLiteral("map.mh0")), back, &error))
      << error.toStdString();
  EXPECT_EQ(back.UsedSlots().size(), 1);
  home.Write(QStringLiteral("broken.mh0"), QByteArray("QRHX"));
  dialogs.files.push_back(home.File(QStringLiteral("broken.mh0")));
  window->OpenFile();
  EXPECT_EQ(dialogs.asked.back().title, QStringLiteral("ファイル読み込みエラー"));
  EXPECT_TRUE(dialogs.asked.back().text.contains(QStringLiteral("broken.mh0")));
  EXPECT_EQ(map.Page(1)->UsedSlots().size(), 1);
}

}  // namespace
}  // namespace quillora::test
