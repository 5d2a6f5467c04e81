#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "common/ScriptedDialogs.h"
#include "counters/CounterWindow.h"
#include "counters/Counters.h"
#include "gui/GuiInput.h"
#include "unit/ChatFakes.h"

namespace quillora {
namespace {

using test::NetRig;
using test::SentToServer;

class CounterWindowTest : public ::testing::Test {
 protected:
  CounterWindowTest() : counters(rig.instance, rig.router) {
    SetSessionMode(rig.instance, ModeClient);
    SetOwnIndex(rig.instance, 2);
    counters.RegisterHandlers(rig.dispatcher);
    window = std::make_unique<CounterWindow>(rig.instance, counters, dialogs);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitForWindowActive(window.get());
  }

  template <typename T>
  T* Find(const QString& name) {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
  }
  QPushButton* Button(const char* name, int n) {
    return Find<QPushButton>(QStringLiteral("%1_%2").arg(QString::fromUtf8(name)).arg(n));
  }
  QLineEdit* Box(int n) { return Find<QLineEdit>(QStringLiteral("txtCnt_%1").arg(n)); }
  QLabel* Caption(int n) { return Find<QLabel>(QStringLiteral("lblCntCap_%1").arg(n)); }
  QAction* Menu(const char* name) { return Find<QAction>(QString::fromUtf8(name)); }

  void ChooseMode() {
    Menu("mnuModeSub_0")->trigger();
    ASSERT_TRUE(Find<QWidget>(QStringLiteral("fraCount"))->isVisible());
  }

  // Replaces a value box's text the way a user does and leaves it for another control.
  void Type(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    test::TypeText(box, text);
  }

  NetRig rig;
  test::ScriptedDialogs dialogs;
  Counters counters;
  std::unique_ptr<CounterWindow> window;
};

TEST_F(CounterWindowTest, TheGeneralModeShowsTheCountersOnceAndOpensThemEverywhereOnTheServer) {
  EXPECT_EQ(window->objectName(), QStringLiteral("frmCount"));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("カウンター機能"));
  EXPECT_FALSE(Find<QWidget>(QStringLiteral("fraCount"))->isVisible());
  EXPECT_FALSE(Menu("mnuOptSub_1")->isEnabled());
  EXPECT_EQ(Menu("mnuOptSub_1")->text(), QStringLiteral("途中参加・修復"));

  SetSessionMode(rig.instance, ModeServer);
  SetOwnIndex(rig.instance, 1);
  ChooseMode();
  EXPECT_TRUE(Menu("mnuModeSub_0")->isChecked());
  EXPECT_TRUE(Menu("mnuOptSub_1")->isEnabled());
  EXPECT_GE(window->width(), 4890 * window->logicalDpiX() / 1440);
  ASSERT_EQ(rig.Recipients(), (QVector<int>{4, 3, 2, 1}));
  EXPECT_EQ(DecodePacket(rig.writes[0].bytes).MessageCode, 5);

  rig.writes.clear();
  Menu("mnuModeSub_0")->trigger();
  EXPECT_TRUE(Menu("mnuModeSub_0")->isChecked()) << "the only mode stays chosen";
  EXPECT_TRUE(rig.writes.isEmpty());

  Menu("mnuOptSub_0")->trigger();
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  Menu("mnuOptSub_0")->trigger();
  EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);

  window->close();
  EXPECT_FALSE(window->isVisible());
}

TEST_F(CounterWindowTest, StepButtonsChangeTheBoxAndSendOnlyForSharedCounters) {
  ChooseMode();
  EXPECT_EQ(Caption(0)->text(), QStringLiteral("共有カウンター１"));
  EXPECT_EQ(Caption(256)->text(), QStringLiteral("個人用カウンター１"));
  EXPECT_EQ(Box(0)->text(), QStringLiteral("0"));
  const char* captions[] = {"-", "-", "+", "+"};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(Button("cmdCntOp", k)->text(), QString::fromUtf8(captions[k]));
    EXPECT_EQ(Button("cmdCntOp", 1024 + k)->text(), QString::fromUtf8(captions[k]));
  }

  QTest::mouseClick(Button("cmdCntOp", 3), Qt::LeftButton);
  QTest::mouseClick(Button("cmdCntOp", 3), Qt::LeftButton);
  QTest::mouseClick(Button("cmdCntOp", 1), Qt::LeftButton);
  EXPECT_EQ(Box(0)->text(), QStringLiteral("19"));
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 3);
  EXPECT_EQ(sent[2].MessageCode, 702);
  EXPECT_EQ(sent[2].Int(2), 19);

  rig.writes.clear();
  QTest::mouseClick(Button("cmdCntOp", 1024), Qt::LeftButton);
  EXPECT_EQ(Box(256)->text(), QStringLiteral("-10"));
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(CounterWindowTest, AddButtonsAddACounterToTheirColumnAndTheWindowGrows) {
  ChooseMode();
  const int height = window->height();
  QTest::mouseClick(Button("cmdAddCount", 0), Qt::LeftButton);
  EXPECT_EQ(Caption(1)->text(), QStringLiteral("共有カウンター２"));
  EXPECT_EQ(Box(1)->text(), QStringLiteral("0"));
  EXPECT_NE(Button("cmdCntOp", 7), nullptr);
  ASSERT_EQ(SentToServer(rig).size(), 1);
  EXPECT_EQ(SentToServer(rig)[0].MessageCode, 701);
  QTest::mouseClick(Button("cmdAddCount", 1), Qt::LeftButton);
  EXPECT_EQ(Caption(257)->text(), QStringLiteral("個人用カウンター２"));
  EXPECT_EQ(SentToServer(rig).size(), 1);
  // Room is made for new counters while the screen has it.
  QTest::mouseClick(Button("cmdAddCount", 0), Qt::LeftButton);
  QTest::mouseClick(Button("cmdAddCount", 0), Qt::LeftButton);
  EXPECT_GT(window->height(), height);
  QTest::qWait(10);
  auto* scroll = window->findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr);
  EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0) << "every counter is in view";
  // The new counters sit below the first ones of their column.
  EXPECT_GT(Caption(1)->mapTo(window.get(), QPoint()).y(),
            Caption(0)->mapTo(window.get(), QPoint()).y());
  EXPECT_GT(Caption(257)->mapTo(window.get(), QPoint()).x(),
            Box(1)->mapTo(window.get(), QPoint()).x() + Box(1)->width() / 2);
}

TEST_F(CounterWindowTest, ClickingACaptionAsksForANewNameAndIgnoresAnEmptyOne) {
  ChooseMode();
  dialogs.inputs = {QStringLiteral("HP"), QString(), std::nullopt, QStringLiteral("メモ")};
  QTest::mouseClick(Caption(0), Qt::RightButton);
  const auto asked = dialogs.Last(QStringLiteral("input"));
  EXPECT_EQ(asked.title, QStringLiteral("カウンター名変更"));
  EXPECT_EQ(asked.text, QStringLiteral("新しいカウンター名を入力して下さい"));
  EXPECT_EQ(Caption(0)->text(), QStringLiteral("HP"));
  QTest::mouseClick(Caption(0), Qt::LeftButton);
  QTest::mouseClick(Caption(0), Qt::LeftButton);
  EXPECT_EQ(Caption(0)->text(), QStringLiteral("HP"));
  QTest::mouseClick(Caption(256), Qt::LeftButton);
  EXPECT_EQ(Caption(256)->text(), QStringLiteral("メモ"));

  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].MessageCode, 703);
  EXPECT_EQ(sent[0].Text(2), QStringLiteral("HP"));
}

TEST_F(CounterWindowTest, AValueBoxRefusesTextThatIsNotANumberAndSendsNumbers) {
  ChooseMode();
  Type(Box(0), QStringLiteral("abc"));
  Box(256)->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.asked.empty(); }));
  QTest::qWait(20);
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].text, QStringLiteral("数値を入力して下さい"));
  EXPECT_TRUE(Box(0)->hasFocus()) << "the focus stays in the box";
  EXPECT_EQ(Box(0)->text(), QStringLiteral("abc"));
  // A step is not taken while the box holds no number.
  QTest::mouseClick(Button("cmdCntOp", 2), Qt::LeftButton);
  QTest::qWait(20);
  EXPECT_EQ(counters.At(0)->value, 0);
  EXPECT_TRUE(rig.writes.isEmpty());
  EXPECT_TRUE(Box(0)->hasFocus());

  Type(Box(0), QStringLiteral("４２"));
  QTest::keyClick(Box(0), Qt::Key_Return);
  EXPECT_EQ(Box(0)->text(), QStringLiteral("42"));
  auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].MessageCode, 702);
  EXPECT_EQ(sent[0].Int(1), 0);
  EXPECT_EQ(sent[0].Int(2), 42);
  Box(256)->setFocus();
  EXPECT_EQ(SentToServer(rig).size(), 1) << "an unchanged box is not sent again";

  // A typed value is taken before a step that follows it.
  Type(Box(0), QStringLiteral("7"));
  QTest::mouseClick(Button("cmdCntOp", 2), Qt::LeftButton);
  EXPECT_EQ(Box(0)->text(), QStringLiteral("8"));
  sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 3);
  EXPECT_EQ(sent[1].Int(2), 7);
  EXPECT_EQ(sent[2].Int(2), 8);

  // Personal values are taken but never sent.
  Type(Box(256), QStringLiteral("-3"));
  Box(0)->setFocus();
  EXPECT_EQ(counters.At(256)->value, -3);
  EXPECT_EQ(SentToServer(rig).size(), 3);
}

TEST_F(CounterWindowTest, UpdatesFromOthersAppearAndRepairAsksTheServer) {
  ChooseMode();
  Packet p(712, 1, 3, 0);
  p.Add(int32_t{2}).Add(int32_t{15});
  rig.dispatcher.ClientDispatch(p);
  EXPECT_EQ(Caption(1)->text(), QStringLiteral("共有カウンター２"));
  EXPECT_EQ(Box(2)->text(), QStringLiteral("15"));

  Menu("mnuOptSub_1")->trigger();
  ASSERT_EQ(SentToServer(rig).size(), 1);
  EXPECT_EQ(SentToServer(rig)[0].MessageCode, 709);

  rig.writes.clear();
  SetSessionMode(rig.instance, ModeServer);
  Menu("mnuOptSub_1")->trigger();
  EXPECT_TRUE(rig.writes.isEmpty());
  const auto asked = dialogs.Last(QStringLiteral("message"));
  EXPECT_EQ(asked.title, QStringLiteral("機能エラー"));
  EXPECT_EQ(asked.text, QStringLiteral("サーバーモードではこの機能は利用できません"));
}

}  // namespace
}  // namespace quillora
