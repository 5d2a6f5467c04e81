#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "dice/DiceBroadcast.h"
#include "dice/DiceOptions.h"
#include "dice/DiceRoll.h"
#include "gui/GuiInput.h"
#include "instant/InstMesWindow.h"
#include "instant/InstantMessages.h"
#include "unit/ChatFakes.h"
#include "unit/DiceRig.h"

namespace quillora {
namespace {

using test::NetRig;
using test::RecordingChat;
using test::SentToServer;

constexpr uint64_t kSeed = 7;

// The dice window as the instant-message window sees it.
class FakeDiceState : public DiceWindowState {
 public:
  QString ExpressionText() const override { return expression; }
  QString ModifierLabel() const override { return label; }
  bool IsSecret() const override { return secret; }
  bool IsShown() const override { return shown; }

  QString expression = QStringLiteral("2D6");
  QString label = QStringLiteral("＋０");
  bool secret = false;
  bool shown = true;
};

class InstMesWindowTest : public ::testing::Test, protected test::DiceRig {
 protected:
  InstMesWindowTest() : DiceRig(kSeed, 1), messages(rig.instance, rig.router, chat, dice) {
    MainChatHooks hooks;
    hooks.addressee = [this] { return addressee; };
    hooks.addressee_used = [this] { ++addressee_resets; };
    window = std::make_unique<InstMesWindow>(rig.instance, messages, &dice_state, hooks);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitForWindowActive(window.get());
    rig.instance.Rng().Seed(kSeed);
  }

  template <typename T>
  T* Find(const char* name, int n) {
    T* w = window->findChild<T*>(QStringLiteral("%1_%2").arg(QString::fromUtf8(name)).arg(n));
    EXPECT_NE(w, nullptr) << name << n;
    return w;
  }
  QLineEdit* Message(int n) { return Find<QLineEdit>("txtMes", n); }
  QLineEdit* Handle(int n) { return Find<QLineEdit>("txtHandle", n); }
  void Op(int i) { QTest::mouseClick(Find<QPushButton>("cmdOp", i), Qt::LeftButton); }
  QVector<Packet> Chat() {
    QVector<Packet> out;
    for (const Packet& p : SentToServer(rig)) {
      if (p.MessageCode == 301) out.push_back(p);
    }
    return out;
  }

  InstantMessages messages;
  FakeDiceState dice_state;
  QString addressee;
  int addressee_resets = 0;
  std::unique_ptr<InstMesWindow> window;
};

TEST_F(InstMesWindowTest, StartsWithOneRowOfNamedControls) {
  EXPECT_EQ(window->objectName(), QStringLiteral("frmInstMes"));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("簡易発言機能"));
  EXPECT_EQ(window->RowCount(), 1);
  EXPECT_EQ(Find<QPushButton>("cmdSendMes", 0)->text(), QStringLiteral("発言"));
  EXPECT_EQ(Find<QPushButton>("cmdSendMesWithDice", 0)->text(), QStringLiteral("ダイス"));
  EXPECT_EQ(Find<QPushButton>("cmdOp", 0)->text(), QStringLiteral("設定同期"));
  EXPECT_EQ(Find<QPushButton>("cmdOp", 1)->text(), QStringLiteral("＋"));
  EXPECT_EQ(Find<QPushButton>("cmdOp", 2)->text(), QStringLiteral("－"));
  EXPECT_NE(Find<QCheckBox>("chkPreName", 0), nullptr);
}

TEST_F(InstMesWindowTest, PlusAndMinusAddAndRemoveRowsAtTheBottom) {
  const int height = window->height();
  Op(1);
  Op(1);
  ASSERT_EQ(window->RowCount(), 3);
  QLineEdit* last = Message(2);
  EXPECT_TRUE(last->isVisible());
  EXPECT_EQ(last->y() - Message(1)->y(), InstMesWindow::kRowPitch);
  EXPECT_GE(window->height(), height);
  EXPECT_GE(window->height(), window->sizeHint().height()) << "rows fit in the window";

  Op(2);
  EXPECT_EQ(window->RowCount(), 2);
  Op(2);
  Op(2);  // the last row stays
  EXPECT_EQ(window->RowCount(), 1);
  Op(1);
  EXPECT_EQ(window->RowCount(), 2);
  EXPECT_NE(Message(1), nullptr);
}

TEST_F(InstMesWindowTest, SendSpeaksUnderTheRowsNameWithTheAddressee) {
  Op(1);
  Op(1);
  Handle(2)->setText(QStringLiteral("Goblin"));
  QTest::mouseClick(Find<QCheckBox>("chkPreName", 2), Qt::LeftButton);
  Message(2)->setFocus();
  test::TypeText(Message(2), QStringLiteral("ぐへへ"));
  addressee = QStringLiteral("***＞太郎さん***");
  QTest::mouseClick(Find<QPushButton>("cmdSendMes", 2), Qt::LeftButton);

  const auto sent = Chat();
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].SubCode, 5);
  EXPECT_EQ(sent[0].Text(1), QStringLiteral("ぐへへ＞太郎さん"));
  EXPECT_EQ(sent[0].Text(2), QStringLiteral("GM/Goblin"));
  EXPECT_EQ(addressee_resets, 1);
  EXPECT_EQ(Message(2)->text(), QString());
  EXPECT_TRUE(Message(2)->hasFocus());

  // Enter sends too; an empty box sends nothing.
  addressee.clear();
  test::TypeText(Message(2), QStringLiteral("次"));
  QTest::keyClick(Message(2), Qt::Key_Return);
  QTest::keyClick(Message(2), Qt::Key_Return);
  ASSERT_EQ(Chat().size(), 2);
  EXPECT_EQ(Chat()[1].Text(1), QStringLiteral("次"));
  EXPECT_EQ(addressee_resets, 1);
}

TEST_F(InstMesWindowTest, TypingShowsTheRowsNameAndStopsWithTheOwnHandle) {
  Handle(0)->setText(QStringLiteral("Goblin"));
  Message(0)->setFocus();
  QTest::keyClicks(Message(0), QStringLiteral("ab"));
  QTest::keyClick(Message(0), Qt::Key_Return);
  QVector<Packet> typing;
  for (const Packet& p : SentToServer(rig)) {
    if (p.MessageCode == 321) typing.push_back(p);
  }
  ASSERT_EQ(typing.size(), 2);
  EXPECT_EQ(typing[0].SubCode, 1);
  EXPECT_EQ(typing[0].Text(2), QStringLiteral("Goblin"));
  EXPECT_EQ(typing[1].SubCode, 2);
  EXPECT_EQ(typing[1].Text(2), QStringLiteral("GM"));
}

TEST_F(InstMesWindowTest, RemovingATypingRowEndsTheIndicator) {
  Op(1);
  Message(1)->setFocus();
  QTest::keyClicks(Message(1), QStringLiteral("a"));
  ASSERT_TRUE(messages.IsTyping(1));
  Op(2);
  EXPECT_FALSE(messages.IsTyping(1));
  const auto sent = SentToServer(rig);
  ASSERT_FALSE(sent.isEmpty());
  EXPECT_EQ(sent.last().MessageCode, 321);
  EXPECT_EQ(sent.last().SubCode, 2);
}

TEST_F(InstMesWindowTest, DiceButtonRollsTheDiceWindowsExpression) {
  Handle(0)->setText(QStringLiteral("Goblin"));
  dice_state.expression = QStringLiteral("xD6 : x=3");
  dice_state.label = QStringLiteral("＋２");
  Message(0)->setText(QStringLiteral("えいっ"));
  addressee = QStringLiteral("＞太郎さん");
  QTest::mouseClick(Find<QPushButton>("cmdSendMesWithDice", 0), Qt::LeftButton);
  const auto sent = Chat();
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].SubCode, 6);
  const QString result = Expected(QStringLiteral("xD6 : x=3"), 2);
  EXPECT_TRUE(result.startsWith(QStringLiteral("xD6 +2 = 3D6+2 = ("))) << result.toStdString();
  EXPECT_EQ(sent[0].Text(1), QStringLiteral("えいっ＞太郎さん　") + result);
  EXPECT_EQ(sent[0].Text(3), QStringLiteral("Goblin"));
  EXPECT_EQ(addressee_resets, 0) << "a roll keeps the addressee";
  EXPECT_EQ(Message(0)->text(), QString());
}

TEST_F(InstMesWindowTest, SecretDiceWithAnEmptyMessage) {
  Handle(0)->setText(QStringLiteral("Goblin"));
  dice_state.secret = true;
  addressee = QStringLiteral("＞太郎さん");
  QTest::mouseClick(Find<QPushButton>("cmdSendMesWithDice", 0), Qt::LeftButton);
  ASSERT_EQ(chat.lines.size(), 1);
  EXPECT_EQ(chat.lines[0].speaker, QStringLiteral("Goblin(ダイス機能)："));
  EXPECT_EQ(chat.lines[0].text,
            QStringLiteral("非公開ダイス：") + Expected(QStringLiteral("2D6"), 0));
  const auto sent = Chat();
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].SubCode, 7);
  EXPECT_EQ(sent[0].Text(1), QStringLiteral("非公開ダイスが振られました"));
}

TEST_F(InstMesWindowTest, DiceButtonsDoNothingWithoutAVisibleExpression) {
  Message(0)->setText(QStringLiteral("keep"));
  dice_state.shown = false;
  QTest::mouseClick(Find<QPushButton>("cmdSendMesWithDice", 0), Qt::LeftButton);
  dice_state.shown = true;
  dice_state.expression.clear();
  QTest::mouseClick(Find<QPushButton>("cmdSendMesWithDice", 0), Qt::LeftButton);
  EXPECT_TRUE(Chat().isEmpty());
  EXPECT_EQ(Message(0)->text(), QStringLiteral("keep"));
}

TEST_F(InstMesWindowTest, SyncNamesCopiesOnlyTheSetPresets) {
  for (int i = 0; i < 4; ++i) Op(1);
  for (int n = 0; n < 5; ++n) Handle(n)->setText(QStringLiteral("old%1").arg(n));
  auto& presets = rig.instance.settings.PsetName;
  presets[0] = QStringLiteral("GM");
  presets[1] = QStringLiteral("騎士");
  presets[3] = QStringLiteral("魔術師");
  presets[7] = QStringLiteral("unused");
  Op(0);
  EXPECT_EQ(Handle(0)->text(), QStringLiteral("GM"));
  EXPECT_EQ(Handle(1)->text(), QStringLiteral("騎士"));
  EXPECT_EQ(Handle(2)->text(), QStringLiteral("old2"));
  EXPECT_EQ(Handle(3)->text(), QStringLiteral("魔術師"));
  EXPECT_EQ(Handle(4)->text(), QStringLiteral("old4"));
}

TEST_F(InstMesWindowTest, CloseBoxOnlyHides) {
  window->close();
  EXPECT_TRUE(window->isHidden());
  Message(0)->setText(QStringLiteral("still here"));
  window->show();
  EXPECT_EQ(Message(0)->text(), QStringLiteral("still here"));
}

}  // namespace
}  // namespace quillora
