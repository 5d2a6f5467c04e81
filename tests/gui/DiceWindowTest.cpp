#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include "dice/DiceBroadcast.h"
#include "dice/DiceOptions.h"
#include "dice/DiceRoll.h"
#include "dice/DiceWindow.h"
#include "gui/GuiInput.h"
#include "ui/Dialogs.h"
#include "unit/ChatFakes.h"
#include "unit/DiceRig.h"

namespace quillora {
namespace {

using test::NetRig;
using test::RecordingChat;
using test::SentToServer;

constexpr uint64_t kSeed = 2024;

// Answers nothing; records the message boxes it was asked to show.
class ScriptedDialogs : public Dialogs {
 public:
  void Message(QWidget*, const QString& title, const QString& text, Icon,
               std::function<void()> done) override {
    messages << title + QStringLiteral("|") + text;
    if (done) done();
  }
  void Confirm(QWidget*, const QString&, const QString&, std::function<void(bool)> done) override {
    done(false);
  }
  void Input(QWidget*, const QString&, const QString&, const QString&,
             std::function<void(std::optional<QString>)> done) override {
    done(std::nullopt);
  }
  void SaveFile(QWidget*, const QString&, const QString&, const QString&, const QString&,
                std::function<void(QString)> done) override {
    done({});
  }
  void OpenFile(QWidget*, const QString&, const QString&, const QString&,
                std::function<void(QString)> done) override {
    done({});
  }
  void PickColor(QWidget*, const QColor&, std::function<void(std::optional<QColor>)> d) override {
    d(std::nullopt);
  }
  void PickFont(QWidget*, const QFont&, std::function<void(std::optional<QFont>)> d) override {
    d(std::nullopt);
  }
  void SetClipboardText(const QString&) override {}
  QString ClipboardText() override { return {}; }
  bool OpenWithShell(const QString&) override { return false; }

  QStringList messages;
};

class DiceWindowTest : public ::testing::Test, protected test::DiceRig {
 protected:
  DiceWindowTest() : DiceRig(kSeed, 1) {
    rig.instance.settings.UnivDiceStr = {QStringLiteral("3D6+3"), QStringLiteral("xD6+3 : x=5"),
                                         QStringLiteral("(1D10+2)*2D6")};
    rig.instance.settings.DiceInputText = QStringLiteral("3D6+3");
    MainChatHooks hooks;
    hooks.chat_text = [this] { return main_input; };
    hooks.set_chat_text = [this](const QString& t) { main_input = t; };
    hooks.focus_chat = [this] { ++main_focus; };
    hooks.addressee = [this] { return addressee; };
    window = std::make_unique<DiceWindow>(rig.instance, dice, options, dialogs, hooks);
    window->LoadFromSettings();
    window->show();
    window->activateWindow();
    (void)QTest::qWaitForWindowActive(window.get());
    rig.instance.Rng().Seed(kSeed);
  }

  template <typename T>
  T* Find(const QString& name) {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
  }
  QLineEdit* Input() { return Find<QLineEdit>(QStringLiteral("txtUnivDice")); }
  QListWidget* List() { return Find<QListWidget>(QStringLiteral("lstRegUnivDice")); }
  QPushButton* Button(int i) { return Find<QPushButton>(QStringLiteral("cmdUnivDice_%1").arg(i)); }
  QRadioButton* Option(const char* control, int i) {
    return Find<QRadioButton>(QStringLiteral("%1_%2").arg(QString::fromUtf8(control)).arg(i));
  }
  void Click(const char* control, int i) {
    QPushButton* toggle = Find<QPushButton>(QStringLiteral("chkDiceOpt"));
    if (!toggle->isChecked()) QTest::mouseClick(toggle, Qt::LeftButton);
    // On the indicator: a radio button only reacts to clicks on its indicator and caption.
    QRadioButton* b = Option(control, i);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
  }
  int Selected(DiceWindow::Frame f) { return window->SelectedOption(f); }

  ScriptedDialogs dialogs;
  QString main_input;
  QString addressee;
  int main_focus = 0;
  std::unique_ptr<DiceWindow> window;
};

TEST_F(DiceWindowTest, ShowsItsControlsWithTheirCaptions) {
  EXPECT_EQ(window->objectName(), QStringLiteral("frmDice"));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("ダイス機能"));
  const char* captions[] = {"振る", "登録", "削除", "発言"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Button(i)->text(), QString::fromUtf8(captions[i]));
  EXPECT_EQ(Find<QCheckBox>(QStringLiteral("chkIsCloseDice"))->text(), QStringLiteral("非公開"));
  EXPECT_EQ(Find<QLabel>(QStringLiteral("lblImiPlus"))->text(), QStringLiteral("＋０"));
  EXPECT_EQ(Find<QLineEdit>(QStringLiteral("txtComment"))->toolTip(),
            QStringLiteral("このオプションのコメント"));
  const char* frames[] = {"最小値",
                          "ダイスの種類",
                          "振り足し/引き",
                          "振り足し/引き条件",
                          "振り足し/引きする回数",
                          "振り足し/引きするダイスの種類",
                          "振り足し/引き方法"};
  for (int f = 0; f < 7; ++f) {
    EXPECT_EQ(Find<QGroupBox>(QStringLiteral("fraDiceOpt_%1").arg(f))->title(),
              QString::fromUtf8(frames[f]));
  }
  EXPECT_EQ(Option("optReDiceCond", 5)->text(), QStringLiteral("全体両方"));
  EXPECT_EQ(Option("optReDiceCond", 3)->toolTip(),
            QStringLiteral("全てのダイスが最大値のとき(ゾロ目)に振り足し/引きする"));
  EXPECT_EQ(Option("optDiceType", 1)->toolTip(),
            QStringLiteral("６面体を振り、指定した数以上のダイスの個数を数える"));
  EXPECT_EQ(Option("optReDiceResult", 4)->text(), QStringLiteral("加算"));

  auto* letters = Find<QComboBox>(QStringLiteral("cmbVarName"));
  ASSERT_EQ(letters->count(), 25);
  EXPECT_EQ(letters->itemText(0), QStringLiteral("A"));
  EXPECT_EQ(letters->findText(QStringLiteral("D")), -1);
  EXPECT_EQ(letters->currentText(), QStringLiteral("A"));
}

TEST_F(DiceWindowTest, ConditionChoicesPullTheResultAlong) {
  Click("optReDiceCond", 2);  // 単体両方 -> 両方-/+
  EXPECT_EQ(Selected(DiceWindow::kResult), 2);
  Click("optReDiceResult", 3);  // 両方+/- is fine with it
  EXPECT_EQ(Selected(DiceWindow::kCondition), 2);
  Click("optReDiceCond", 5);  // 全体両方 keeps 両方+/-
  EXPECT_EQ(Selected(DiceWindow::kResult), 3);
  Click("optReDiceCond", 0);  // 単体最大 -> 振り足す
  EXPECT_EQ(Selected(DiceWindow::kResult), 0);
  Click("optReDiceResult", 1);  // 振り引く with 単体最大 stays
  Click("optReDiceCond", 3);    // 全体最大 keeps 振り引く
  EXPECT_EQ(Selected(DiceWindow::kResult), 1);
  Click("optReDiceResult", 4);  // 加算 -> back to a single-die condition
  EXPECT_EQ(Selected(DiceWindow::kCondition), 0);
  Click("optReDiceCond", 1);  // 単体最小 keeps 加算
  EXPECT_EQ(Selected(DiceWindow::kResult), 4);
  Click("optReDiceCond", 4);  // 全体最小 cannot explode
  EXPECT_EQ(Selected(DiceWindow::kResult), 0);
}

TEST_F(DiceWindowTest, ResultChoicesPullTheConditionAlong) {
  Click("optReDiceResult", 2);  // 両方-/+ needs a two-sided condition
  EXPECT_EQ(Selected(DiceWindow::kCondition), 2);
  Click("optReDiceCond", 5);
  Click("optReDiceResult", 3);
  EXPECT_EQ(Selected(DiceWindow::kCondition), 5);
  Click("optReDiceResult", 0);  // one-sided result: back to 単体最大
  EXPECT_EQ(Selected(DiceWindow::kCondition), 0);
  Click("optReDiceCond", 4);
  Click("optReDiceResult", 1);  // 振り引く keeps 全体最小
  EXPECT_EQ(Selected(DiceWindow::kCondition), 4);
}

TEST_F(DiceWindowTest, ExplodingNeedsOneDieAndACountingKind) {
  Click("optReDiceType", 2);
  Click("optReDiceResult", 4);
  EXPECT_EQ(Selected(DiceWindow::kAdded), 0);
  EXPECT_EQ(Selected(DiceWindow::kType), 1);  // ノーマル became 個数(以上)
  Click("optDiceType", 2);                    // 個数(以下) is fine
  EXPECT_EQ(Selected(DiceWindow::kResult), 4);
  Click("optDiceType", 0);  // ノーマル ends the explosion
  EXPECT_EQ(Selected(DiceWindow::kResult), 0);

  Click("optReDiceResult", 4);
  EXPECT_EQ(Selected(DiceWindow::kType), 1);
  Click("optReDiceType", 1);  // a whole set ends it too
  EXPECT_EQ(Selected(DiceWindow::kResult), 0);
  EXPECT_EQ(Selected(DiceWindow::kAdded), 1);
}

TEST_F(DiceWindowTest, EveryClickStoresTheSetOfTheChosenLetter) {
  auto* letters = Find<QComboBox>(QStringLiteral("cmbVarName"));
  letters->setCurrentText(QStringLiteral("C"));
  Click("optDiceBase", 1);
  Click("optIsReDice", 1);
  Click("optReDiceCond", 5);  // also selects 両方-/+
  Click("optReDiceExec", 1);
  EXPECT_EQ(options.FindDiceOptionSet(QStringLiteral("C")).flags, 1 + 2 + 2080 + 1024 + 64);
  test::TypeText(Find<QLineEdit>(QStringLiteral("txtComment")), QStringLiteral("ゾロ目"));
  EXPECT_EQ(options.FindDiceOptionSet(QStringLiteral("C")).comment, QStringLiteral("ゾロ目"));
  EXPECT_EQ(options.FindDiceOptionSet(QStringLiteral("A")).flags, 0);

  // Another letter shows its own (empty) set; coming back shows C again.
  letters->setCurrentText(QStringLiteral("E"));
  EXPECT_EQ(Selected(DiceWindow::kCondition), 0);
  EXPECT_EQ(Find<QLineEdit>(QStringLiteral("txtComment"))->text(), QString());
  letters->setCurrentText(QStringLiteral("C"));
  EXPECT_EQ(Selected(DiceWindow::kBase), 1);
  EXPECT_EQ(Selected(DiceWindow::kReroll), 1);
  EXPECT_EQ(Selected(DiceWindow::kCondition), 5);
  EXPECT_EQ(Selected(DiceWindow::kTimes), 1);
  EXPECT_EQ(Selected(DiceWindow::kResult), 2);
  EXPECT_EQ(Find<QLineEdit>(QStringLiteral("txtComment"))->text(), QStringLiteral("ゾロ目"));
  // Looking at letters registers nothing.
  EXPECT_EQ(options.Sets().size(), 1u);
}

TEST_F(DiceWindowTest, SettingsFillAndReceiveTheWindow) {
  Settings& s = rig.instance.settings;
  s.DiceOpt[0] = {4 + 2 + 16 + 128 + 512, QStringLiteral("一つ")};
  s.DiceOpt[1] = {0, QStringLiteral("コメントだけ")};
  s.UnivImiMin = -2;
  s.UnivImiMax = 9;
  s.DiceInputText = QStringLiteral("2D6");
  window->LoadFromSettings();
  EXPECT_EQ(List()->count(), 3);
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_EQ(Input()->text(), QStringLiteral("2D6"));
  EXPECT_EQ(Selected(DiceWindow::kType), 1);
  EXPECT_EQ(Selected(DiceWindow::kCondition), 1);
  EXPECT_EQ(Selected(DiceWindow::kAdded), 1);
  EXPECT_EQ(Selected(DiceWindow::kResult), 1);
  auto* bar = Find<QScrollBar>(QStringLiteral("hscImiPlus"));
  EXPECT_EQ(bar->minimum(), -2);
  EXPECT_EQ(bar->maximum(), 9);

  Input()->setText(QStringLiteral("4D6"));
  QTest::mouseClick(Button(1), Qt::LeftButton);
  Find<QComboBox>(QStringLiteral("cmbVarName"))->setCurrentText(QStringLiteral("Z"));
  Click("optDiceBase", 1);
  Settings out;
  rig.instance.settings = out;
  window->StoreToSettings();
  const Settings& w = rig.instance.settings;
  EXPECT_EQ(w.UnivDiceStr, (QStringList{QStringLiteral("3D6+3"), QStringLiteral("xD6+3 : x=5"),
                                        QStringLiteral("(1D10+2)*2D6"), QStringLiteral("4D6")}));
  EXPECT_EQ(w.DiceOpt[0].flags, 4 + 2 + 16 + 128 + 512);
  EXPECT_EQ(w.DiceOpt[1].comment, QStringLiteral("コメントだけ"));
  EXPECT_EQ(w.DiceOpt[25].flags, 1);
  EXPECT_FALSE(w.DiceOpt[2].Exists());
  EXPECT_EQ(w.UnivImiMin, -2);
  EXPECT_EQ(w.UnivImiMax, 9);
}

TEST_F(DiceWindowTest, ModifierLabelIsSignedAndFullWidth) {
  auto* bar = Find<QScrollBar>(QStringLiteral("hscImiPlus"));
  auto* label = Find<QLabel>(QStringLiteral("lblImiPlus"));
  EXPECT_EQ(bar->minimum(), -6);
  EXPECT_EQ(bar->maximum(), 6);
  bar->setValue(-3);
  EXPECT_EQ(label->text(), QStringLiteral("－３"));
  EXPECT_EQ(window->ModifierLabel(), QStringLiteral("－３"));
  bar->setValue(4);
  EXPECT_EQ(label->text(), QStringLiteral("＋４"));
  bar->setValue(0);
  EXPECT_EQ(label->text(), QStringLiteral("＋０"));
}

TEST_F(DiceWindowTest, RegisterDeleteAndPick) {
  Input()->setText(QStringLiteral("2D10"));
  QTest::mouseClick(Button(1), Qt::LeftButton);
  ASSERT_EQ(List()->count(), 4);
  EXPECT_EQ(List()->item(3)->text(), QStringLiteral("2D10"));
  Input()->clear();
  QTest::mouseClick(Button(1), Qt::LeftButton);  // empty: nothing
  EXPECT_EQ(List()->count(), 4);

  QListWidgetItem* second = List()->item(1);
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                    List()->visualItemRect(second).center());
  EXPECT_EQ(Input()->text(), QStringLiteral("xD6+3 : x=5"));

  QTest::mouseClick(Button(2), Qt::LeftButton);
  ASSERT_EQ(List()->count(), 3);
  EXPECT_EQ(List()->item(1)->text(), QStringLiteral("(1D10+2)*2D6"));
  EXPECT_EQ(List()->currentRow(), -1);
  EXPECT_EQ(Input()->text(), QStringLiteral("xD6+3 : x=5")) << "deleting keeps the box";
  QTest::mouseClick(Button(2), Qt::LeftButton);  // nothing selected: nothing deleted
  EXPECT_EQ(List()->count(), 3);
}

TEST_F(DiceWindowTest, UpAndDownKeysWalkTheListAndStopAtItsEnds) {
  List()->setCurrentRow(-1);
  QTest::keyClick(Input(), Qt::Key_Up);
  EXPECT_EQ(List()->currentRow(), -1);
  QTest::keyClick(Input(), Qt::Key_Down);
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_EQ(Input()->text(), QStringLiteral("3D6+3"));
  QTest::keyClick(Input(), Qt::Key_Down);
  QTest::keyClick(Input(), Qt::Key_Down);
  QTest::keyClick(Input(), Qt::Key_Down);
  EXPECT_EQ(List()->currentRow(), 2);
  EXPECT_EQ(Input()->text(), QStringLiteral("(1D10+2)*2D6"));
  QTest::keyClick(Input(), Qt::Key_Up);
  EXPECT_EQ(Input()->text(), QStringLiteral("xD6+3 : x=5"));
  QTest::keyClick(Input(), Qt::Key_Up);
  QTest::keyClick(Input(), Qt::Key_Up);
  EXPECT_EQ(List()->currentRow(), 0);
}

TEST_F(DiceWindowTest, RollButtonEnterAndDoubleClickSendAPublicRoll) {
  Input()->setText(QStringLiteral("2D6"));
  QTest::mouseClick(Button(0), Qt::LeftButton);
  QTest::keyClick(Input(), Qt::Key_Return);
  QListWidgetItem* third = List()->item(2);
  const QPoint at = List()->visualItemRect(third).center();
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, at);
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 3);
  EXPECT_EQ(sent[0].MessageCode, 301);
  EXPECT_EQ(sent[0].SubCode, 3);
  EXPECT_EQ(sent[0].SenderIndex, 1);
  EXPECT_EQ(sent[0].Text(1), Expected(QStringLiteral("2D6"), 0));
  EXPECT_EQ(sent[0].Text(2), QStringLiteral("(ダイス機能)"));
  EXPECT_TRUE(sent[1].Text(1).startsWith(QStringLiteral("2D6 = (")));
  EXPECT_TRUE(sent[2].Text(1).startsWith(QStringLiteral("(1D10+2)*2D6 = ")));
  EXPECT_TRUE(chat.lines.isEmpty());
}

TEST_F(DiceWindowTest, ModifierAndSecretBoxShapeTheRoll) {
  Input()->setText(QStringLiteral("xD6+3 : x=5"));
  Find<QScrollBar>(QStringLiteral("hscImiPlus"))->setValue(2);
  QTest::mouseClick(Find<QCheckBox>(QStringLiteral("chkIsCloseDice")), Qt::LeftButton);
  EXPECT_TRUE(window->IsSecret());
  QTest::mouseClick(Button(0), Qt::LeftButton);
  const QString result = Expected(QStringLiteral("xD6+3 : x=5"), 2);
  EXPECT_TRUE(result.startsWith(QStringLiteral("xD6+3 +2 = 5D6+3+2")));
  ASSERT_EQ(chat.lines.size(), 1);
  EXPECT_EQ(chat.lines[0].speaker, QStringLiteral("GM(ダイス機能)："));
  EXPECT_EQ(chat.lines[0].text, QStringLiteral("非公開ダイス：") + result);
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].SubCode, 4);
  EXPECT_EQ(sent[0].Text(1), QStringLiteral("非公開ダイスが振られました"));
}

TEST_F(DiceWindowTest, SpeakButtonTakesTheMainInputAndItsAddressee) {
  Input()->setText(QStringLiteral("1D6"));
  main_input = QStringLiteral("えいっ");
  addressee = QStringLiteral("***＞太郎さん***");
  QTest::mouseClick(Button(3), Qt::LeftButton);
  EXPECT_EQ(main_input, QString());
  EXPECT_EQ(main_focus, 1);
  auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].SubCode, 3);
  EXPECT_EQ(sent[0].Text(1),
            QStringLiteral("えいっ＞太郎さん　") + Expected(QStringLiteral("1D6"), 0));

  // An empty main input gives a plain roll.
  rig.writes.clear();
  QTest::mouseClick(Button(3), Qt::LeftButton);
  sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_TRUE(sent[0].Text(1).startsWith(QStringLiteral("1D6 = ")));
  EXPECT_EQ(main_focus, 2);

  // Nothing to roll: the main input is left alone.
  rig.writes.clear();
  Input()->clear();
  main_input = QStringLiteral("keep");
  QTest::mouseClick(Button(3), Qt::LeftButton);
  EXPECT_TRUE(rig.writes.isEmpty());
  EXPECT_EQ(main_input, QStringLiteral("keep"));
}

TEST_F(DiceWindowTest, SecretSpeakShowsTheChatTextLocally) {
  Input()->setText(QStringLiteral("1D6"));
  window->findChild<QCheckBox*>(QStringLiteral("chkIsCloseDice"))->setChecked(true);
  main_input = QStringLiteral("こっそり");
  QTest::mouseClick(Button(3), Qt::LeftButton);
  ASSERT_EQ(chat.lines.size(), 1);
  EXPECT_EQ(chat.lines[0].text,
            QStringLiteral("こっそり　非公開ダイス：") + Expected(QStringLiteral("1D6"), 0));
  EXPECT_EQ(SentToServer(rig)[0].Text(1), QStringLiteral("こっそり　非公開ダイスが振られました"));
}

TEST_F(DiceWindowTest, OptionPanelOpensAndCloses) {
  auto* toggle = Find<QPushButton>(QStringLiteral("chkDiceOpt"));
  auto* panel = Find<QWidget>(QStringLiteral("cntDiceOpt"));
  EXPECT_EQ(toggle->text(), QStringLiteral(">>>"));
  EXPECT_FALSE(panel->isVisible());
  const QSize narrow = window->size();
  auto* bar = Find<QScrollBar>(QStringLiteral("hscImiPlus"));
  const int bar_width = bar->width();
  QTest::mouseClick(toggle, Qt::LeftButton);
  EXPECT_EQ(toggle->text(), QStringLiteral("<<<"));
  // The modifier bar keeps its room beside the open options.
  EXPECT_GE(bar->width(), bar_width);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_TRUE(Find<QComboBox>(QStringLiteral("cmbVarName"))->isVisible());
  EXPECT_GT(window->width(), narrow.width());
  EXPECT_GT(window->height(), narrow.height());
  QTest::mouseClick(toggle, Qt::LeftButton);
  EXPECT_EQ(toggle->text(), QStringLiteral(">>>"));
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(window->size(), narrow);
}

TEST_F(DiceWindowTest, CloseBoxOnlyHides) {
  EXPECT_TRUE(window->IsShown());
  window->close();
  EXPECT_FALSE(window->IsShown());
  EXPECT_TRUE(window->isHidden());
  window->show();
  Input()->setText(QStringLiteral("3D6"));
  Input()->setCursorPosition(0);
  window->FocusExpressionAtEnd();
  EXPECT_EQ(Input()->cursorPosition(), 3);
}

TEST_F(DiceWindowTest, RegisteringStopsAtTheListLimit) {
  for (int i = List()->count(); i < kMaxDiceList; ++i) List()->addItem(QString::number(i));
  Input()->setText(QStringLiteral("1D2"));
  QTest::mouseClick(Button(1), Qt::LeftButton);
  EXPECT_EQ(List()->count(), kMaxDiceList);
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(dialogs.messages[0].startsWith(QStringLiteral("機能エラー|")));
}

}  // namespace
}  // namespace quillora
