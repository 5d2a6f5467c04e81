// The chat window as a player uses it on a game night: reading along and whispering.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include "app/AppCore.h"
#include "app/MainWindow.h"
#include "chat/ChatLog.h"
#include "chat/Recipients.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSupport.h"

using namespace quillora;

namespace {

struct ChatProgram {
  explicit ChatProgram(const QString& folder) : core(folder, 5, sound) {
    core.instance().SetHostNameForTesting(QStringLiteral("testhost"));
    core.Startup({});
    window = std::make_unique<MainWindow>(core, dialogs);
    window->RestoreFromSettings();
    window->resize(520, 360);
    window->show();
    view = window->findChild<QTextEdit*>(QStringLiteral("rtbMain"));
  }
  ~ChatProgram() { window->close(); }

  void Say(const QString& text) {
    core.chat_log().AppendChatLine(QStringLiteral("ゆき："), kSpeakerOther, text, {}, 0x0000C0);
  }
  QScrollBar* bar() const { return view->verticalScrollBar(); }

  // The last line written is wholly inside the visible part of the box, at the end.
  bool ShowsLastLine() const {
    QTextDocument* doc = view->document();
    QTextBlock last = doc->lastBlock();
    while (last.isValid() && last.text().isEmpty()) last = last.previous();
    if (!last.isValid()) return false;
    const QRectF box = doc->documentLayout()->blockBoundingRect(last);
    const int top = bar()->value();
    return box.top() >= top && box.bottom() <= top + view->viewport()->height() + 1 &&
           bar()->value() == bar()->maximum();
  }
  // Waits for the batching frame and the lazy layout, then asks.
  bool SettlesOnLastLine() {
    return QTest::qWaitFor([this] { return ShowsLastLine(); }, 1500);
  }

  test::FakeSound sound;
  test::ScriptedDialogs dialogs;
  AppCore core;
  std::unique_ptr<MainWindow> window;
  QTextEdit* view = nullptr;
};

QString Wrapped(int n) {
  return QStringLiteral("長い台詞%1：").arg(n) +
         QString(QStringLiteral("扉の向こうから冷たい風が吹き込んでくる。")).repeated(6);
}

}  // namespace

TEST(ChatFollow, FollowsSingleWrappedAndBatchedLinesUntilTheUserScrollsUp) {
  test::TempHome home;
  ChatProgram p(home.path());

  // One by one, well past a screenful.
  for (int i = 0; i < 40; ++i) {
    p.Say(QStringLiteral("一行目から数えて%1行目").arg(i));
    QTest::qWait(5);
  }
  ASSERT_GT(p.bar()->maximum(), 0) << "the box must be full for this test";
  EXPECT_TRUE(p.SettlesOnLastLine()) << "single lines";

  // Wrapped lines one by one, then single lines after them.
  for (int i = 0; i < 4; ++i) {
    p.Say(Wrapped(i));
    EXPECT_TRUE(p.SettlesOnLastLine()) << "wrapped line " << i;
  }
  p.Say(QStringLiteral("短い行"));
  EXPECT_TRUE(p.SettlesOnLastLine()) << "a single line after wrapped ones";

  // A batch in one go, wrapped, multi-line and single lines mixed.
  for (int i = 0; i < 30; ++i) {
    p.Say(i % 3 == 0   ? Wrapped(i)
          : i % 3 == 1 ? QStringLiteral("一行目\r\n二行目\r\n三行目")
                       : QStringLiteral("まとめて%1").arg(i));
  }
  EXPECT_TRUE(p.SettlesOnLastLine()) << "a batch";

  // The user scrolls up to read: the view stays where it is while lines arrive.
  p.bar()->setValue(p.bar()->maximum() / 2);
  const int reading = p.bar()->value();
  for (int i = 0; i < 10; ++i) p.Say(i % 2 ? Wrapped(i) : QStringLiteral("読んでいる間の行"));
  QTest::qWait(200);
  EXPECT_EQ(p.bar()->value(), reading);
  EXPECT_FALSE(p.ShowsLastLine());

  // Back at the end by hand, it follows again; a narrower window keeps the end in view too.
  p.bar()->setValue(p.bar()->maximum());
  p.Say(Wrapped(99));
  EXPECT_TRUE(p.SettlesOnLastLine()) << "after scrolling back down";
  p.window->resize(400, 360);
  EXPECT_TRUE(p.SettlesOnLastLine()) << "after the lines rewrapped";
}

TEST(ChatWhisper, WhereTheUserTypesItSaysWhenTheNextLineIsAWhisper) {
  test::TempHome home;
  ChatProgram p(home.path());
  auto* button = p.window->findChild<QPushButton*>(QStringLiteral("cmdMessSend"));
  auto* input = p.window->findChild<QPlainTextEdit*>(QStringLiteral("txtMess"));
  ASSERT_NE(button, nullptr);
  ASSERT_NE(input, nullptr);
  Recipients& rec = p.core.recipients();
  rec.InsertTopEntries();
  rec.AddParticipant(3, QStringLiteral("太郎"), QStringLiteral("さん"));
  EXPECT_EQ(button->text(), QStringLiteral("発言"));
  EXPECT_TRUE(input->placeholderText().isEmpty());

  // Picking a participant in the destination list turns the next lines into whispers.
  p.window->findChild<QListWidget*>(QStringLiteral("lstSend"))->setCurrentRow(1);
  EXPECT_EQ(button->text(), QStringLiteral("秘密通達"));
  EXPECT_TRUE(input->placeholderText().contains(QStringLiteral("太郎へ秘密通達")))
      << input->placeholderText().toStdString();
  // The selection stays after a line is sent, and so does the notice, also while the addressee
  // types.
  input->setPlainText(QStringLiteral("こっそり"));
  button->click();
  EXPECT_EQ(rec.SendRow(), 1);
  rec.SetTyping(3, QStringLiteral("太郎"), QStringLiteral("さん"), true);
  EXPECT_TRUE(input->placeholderText().startsWith(QStringLiteral("太郎へ秘密通達")))
      << input->placeholderText().toStdString();
  EXPECT_EQ(button->text(), QStringLiteral("秘密通達"));

  // Back to everyone.
  rec.SelectSend(0);
  EXPECT_EQ(button->text(), QStringLiteral("発言"));
  EXPECT_TRUE(input->placeholderText().isEmpty());
}
