#include <gtest/gtest.h>

#include <QAction>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include "common/TestSupport.h"
#include "core/Instance.h"
#include "net/PacketCodec.h"
#include "net/Router.h"
#include "scenario/ScenarioPlayer.h"
#include "scenario/ScenarioWindow.h"
#include "text/Cp932.h"
#include "ui/Dialogs.h"

using namespace quillora;

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// Answers file dialogs from a script and records every question.
class ScriptedDialogs : public Dialogs {
 public:
  QString next_path;
  QStringList asked;     // "open|title|folder|filter" or "save|...|suffix"
  QStringList messages;  // "title|text"

  void Message(QWidget*, const QString& title, const QString& text, Icon,
               std::function<void()> done) override {
    messages << title + u'|' + text;
    if (done) done();
  }
  void Confirm(QWidget*, const QString&, const QString&, std::function<void(bool)> done) override {
    done(false);
  }
  void Input(QWidget*, const QString&, const QString&, const QString&,
             std::function<void(std::optional<QString>)> done) override {
    done(std::nullopt);
  }
  void SaveFile(QWidget*, const QString& title, const QString& folder, const QString& filter,
                const QString& suffix, std::function<void(QString)> done) override {
    asked << QStringList{"save", title, folder, filter, suffix}.join(u'|');
    done(next_path);
  }
  void OpenFile(QWidget*, const QString& title, const QString& folder, const QString& filter,
                std::function<void(QString)> done) override {
    asked << QStringList{"open", title, folder, filter}.join(u'|');
    done(next_path);
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
};

class RecordingLink : public Link {
 public:
  bool IsConnected() const override { return true; }
  void Write(const QByteArray& bytes) override { packets.push_back(DecodePacket(bytes)); }
  QVector<Packet> packets;
};

// A connected participant (index 2, handle GM) with the viewer shown.
struct ViewerRig {
  ViewerRig()
      : instance(home.path(), 1),
        router(instance),
        player(instance, router, [](const QString& e) { return e + Q(" = 7"); }),
        window(instance, player, dialogs) {
    SetSessionMode(instance, ModeClient);
    SetOwnIndex(instance, 2);
    instance.OwnHandle = Q("GM");
    router.SetClientLink(&link);
    window.resize(500, 300);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  QTextEdit* text() { return window.findChild<QTextEdit*>("rtbMain"); }
  QListWidget* labels() { return window.findChild<QListWidget*>("lstLabel"); }
  QAction* action(const char* name) { return window.findChild<QAction*>(name); }

  // Loads `content` (CP932) through the file menu.
  void Load(const QString& content) {
    home.Write("scenario.txt", Cp932::Encode(content));
    dialogs.next_path = home.File("scenario.txt");
    action("mnuFileSub_0")->trigger();
  }

  void DoubleClickLine(int line) {
    QTextEdit* edit = text();
    QTextCursor cursor(edit->document()->findBlockByNumber(line));
    edit->setTextCursor(cursor);
    edit->ensureCursorVisible();
    const QPoint at = edit->cursorRect(cursor).center() + QPoint(2, 0);
    QTest::mouseDClick(edit->viewport(), Qt::LeftButton, {}, at);
  }

  test::TempHome home;
  Instance instance;
  Router router;
  RecordingLink link;
  ScenarioPlayer player;
  ScriptedDialogs dialogs;
  ScenarioWindow window;
};

// A scenario long enough to scroll, with the label near its end.
QString LongScenario() {
  QString s = Q("＃ｊｕｍｐ：End\r\n#label：Start2\r\n#LABEL:Start\r\n");
  for (int i = 0; i < 80; ++i) s += Q("村人%1：こんにちは\r\n").arg(i);
  s += Q("#LABEL:End\r\n/Goblin：Run!\r\n*メモ\r\n");
  return s;
}

}  // namespace

TEST(ScenarioWindow, LoadsThroughTheFileMenuWithNormalisedMarkers) {
  ViewerRig rig;
  EXPECT_EQ(rig.window.objectName(), Q("frmScenario"));
  EXPECT_EQ(rig.window.windowTitle(), Q("シナリオ機能"));
  rig.Load(LongScenario());
  ASSERT_EQ(rig.dialogs.asked.size(), 1);
  EXPECT_EQ(rig.dialogs.asked[0],
            Q("open|開く|") + rig.home.path() + Q("|シナリオファイル(*.txt) (*.txt)"));
  const QStringList lines = rig.window.Lines();
  ASSERT_EQ(lines.size(), 87);  // 86 lines and the empty paragraph after the last break
  EXPECT_EQ(lines[0], Q("#JUMP:End"));
  EXPECT_EQ(lines[1], Q("#LABEL:Start2"));
  EXPECT_EQ(lines[85], Q("*メモ"));
  EXPECT_EQ(rig.window.Labels(), QStringList({"Start2", "Start", "End"}));
  EXPECT_EQ(rig.text()->textCursor().position(), 0);

  // Cancelling or naming a missing file keeps the scenario.
  rig.dialogs.next_path.clear();
  rig.action("mnuFileSub_0")->trigger();
  rig.dialogs.next_path = rig.home.File("missing.txt");
  rig.action("mnuFileSub_0")->trigger();
  EXPECT_EQ(rig.window.Lines(), lines);
  EXPECT_EQ(rig.window.Labels().size(), 3);
  EXPECT_TRUE(rig.dialogs.messages.isEmpty());
}

TEST(ScenarioWindow, DoubleClickOnASpeechLineSendsIt) {
  ViewerRig rig;
  rig.Load(LongScenario());
  rig.DoubleClickLine(84);  // /Goblin：Run!
  rig.DoubleClickLine(85);  // a comment: nothing
  rig.DoubleClickLine(5);
  ASSERT_EQ(rig.link.packets.size(), 2);
  const Packet& p = rig.link.packets[0];
  EXPECT_EQ(p.MessageCode, 301);
  EXPECT_EQ(p.SubCode, 5);
  EXPECT_EQ(p.SenderIndex, 2);
  EXPECT_EQ(p.Text(1), Q("Run!"));
  EXPECT_EQ(p.Text(2), Q("GM/Goblin"));
  EXPECT_EQ(rig.link.packets[1].Text(1), Q("こんにちは"));
  EXPECT_EQ(rig.link.packets[1].Text(2), Q("村人2"));
}

TEST(ScenarioWindow, JumpsBringTheLabelLineIntoView) {
  ViewerRig rig;
  rig.Load(LongScenario());
  QScrollBar* bar = rig.text()->verticalScrollBar();
  ASSERT_EQ(bar->value(), 0);

  rig.DoubleClickLine(0);  // #JUMP:End
  EXPECT_EQ(rig.text()->textCursor().blockNumber(), 83);
  EXPECT_GT(bar->value(), 0);
  const QRect caret = rig.text()->cursorRect();
  EXPECT_TRUE(rig.text()->viewport()->rect().contains(caret.center()));
  EXPECT_TRUE(rig.link.packets.isEmpty());

  // The label list jumps too; "Start" stops at "Start2", which comes first.
  rig.labels()->setCurrentRow(2);
  rig.window.JumpToLabel(Q("Start"));
  EXPECT_EQ(rig.text()->textCursor().blockNumber(), 1);
  // Coming from below, the label line ends up at the top of the view.
  EXPECT_GE(rig.text()->cursorRect().top(), 0);
  EXPECT_LT(rig.text()->cursorRect().top(), rig.text()->fontMetrics().height());
  const QRect end = rig.labels()->visualItemRect(rig.labels()->item(2));
  QTest::mouseClick(rig.labels()->viewport(), Qt::LeftButton, {}, end.center());
  QTest::mouseDClick(rig.labels()->viewport(), Qt::LeftButton, {}, end.center());
  EXPECT_EQ(rig.text()->textCursor().blockNumber(), 83);

  // A missing label moves nothing.
  const int before = rig.text()->textCursor().position();
  EXPECT_FALSE(rig.window.JumpToLabel(Q("Nowhere")));
  EXPECT_EQ(rig.text()->textCursor().position(), before);
}

TEST(ScenarioWindow, LabelListToggleGivesTheTextTheWholeWidth) {
  ViewerRig rig;
  QAction* toggle = rig.action("mnuOptSub_1");
  ASSERT_TRUE(toggle->isChecked());
  EXPECT_TRUE(rig.labels()->isVisible());
  const int narrow = rig.text()->width();
  EXPECT_GE(rig.labels()->geometry().left(), rig.text()->geometry().right());

  toggle->trigger();
  EXPECT_FALSE(toggle->isChecked());
  QTest::qWait(0);
  EXPECT_FALSE(rig.labels()->isVisible());
  EXPECT_GT(rig.text()->width(), narrow + rig.labels()->width() / 2);
  EXPECT_GE(rig.text()->width(), rig.window.centralWidget()->width() - 8);

  toggle->trigger();
  QTest::qWait(0);
  EXPECT_TRUE(rig.labels()->isVisible());
  EXPECT_EQ(rig.text()->width(), narrow);

  // The text box follows the window's size.
  rig.window.resize(700, 400);
  QTest::qWait(0);
  EXPECT_GT(rig.text()->width(), narrow + 150);
}

TEST(ScenarioWindow, SavesTheEditedTextInTheLoadedEncoding) {
  ViewerRig rig;
  rig.Load(Q("#label：導入\r\nGM：ようこそ\r\n"));
  QTextCursor cursor = rig.text()->textCursor();
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(Q("GM：追記"));
  rig.text()->setTextCursor(cursor);

  rig.dialogs.next_path = rig.home.File("out.txt");
  rig.action("mnuFileSub_1")->trigger();
  EXPECT_EQ(rig.dialogs.asked.last(),
            Q("save|保存|") + rig.home.path() + Q("|シナリオファイル(*.txt) (*.txt)|txt"));
  EXPECT_EQ(rig.home.Read("out.txt"), Cp932::Encode(Q("#LABEL:導入\r\nGM：ようこそ\r\nGM：追記")));
  EXPECT_TRUE(rig.dialogs.messages.isEmpty());

  // A character Shift-JIS lacks is kept by writing UTF-8, and the user is told.
  cursor.insertText(Q("🎲"));
  rig.action("mnuFileSub_1")->trigger();
  EXPECT_EQ(rig.home.Read("out.txt"),
            "\xEF\xBB\xBF" + Q("#LABEL:導入\r\nGM：ようこそ\r\nGM：追記🎲").toUtf8());
  ASSERT_EQ(rig.dialogs.messages.size(), 1);
  EXPECT_TRUE(rig.dialogs.messages[0].startsWith(Q("確認メッセージ|")));

  // A folder that cannot be written to is reported, not silently ignored.
  rig.dialogs.next_path = rig.home.File("no/such/folder/x.txt");
  rig.action("mnuFileSub_1")->trigger();
  ASSERT_EQ(rig.dialogs.messages.size(), 2);
  EXPECT_TRUE(rig.dialogs.messages[1].startsWith(Q("機能エラー|")));
}

TEST(ScenarioWindow, OptionMenuKeepsTheWindowOnTop) {
  ViewerRig rig;
  QAction* topmost = rig.action("mnuOptSub_0");
  EXPECT_FALSE(topmost->isChecked());
  topmost->trigger();
  EXPECT_TRUE(topmost->isChecked());
  EXPECT_TRUE(rig.window.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(rig.window.isVisible());
  topmost->trigger();
  EXPECT_FALSE(rig.window.windowFlags() & Qt::WindowStaysOnTopHint);
  // The single mode stays checked.
  QAction* mode = rig.action("mnuModeSub_0");
  mode->trigger();
  EXPECT_TRUE(mode->isChecked());
}
