#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTcpSocket>
#include <QTest>
#include <QTextDocument>

#include "app/AppCore.h"
#include "app/MainWindow.h"
#include "app/ProgramShell.h"
#include "cards/CardWindow.h"
#include "cards/Cards.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSupport.h"
#include "counters/CounterWindow.h"
#include "drawing/DrawWindow.h"
#include "gui/ToolsSeen.h"
#include "hexmap/HexWindow.h"
#include "table/TableWindow.h"
#include "text/IniFile.h"

using namespace quillora;

namespace {

struct Program {
  Program(const QString& handle, int port) : core(home.path(), 5, sound) {
    core.instance().SetHostNameForTesting(handle);
    CommandLine options;
    options.handle = handle;
    options.port = port;
    core.Startup(options);
    shell = std::make_unique<ProgramShell>(core, dialogs);
  }
  QString Chat() { return core.chat_log().Main()->toPlainText(); }
  QString LinkState() const {
    auto* label = shell->main_window().statusBar()->findChild<QLabel*>(QStringLiteral("LinkState"));
    return label ? label->text() : QStringLiteral("(no panel)");
  }
  test::TempHome home;
  test::FakeSound sound;
  test::ScriptedDialogs dialogs;
  AppCore core;
  std::unique_ptr<ProgramShell> shell;
};

}  // namespace

// A player whose connection is cut comes back by itself with the same handle, its open counter
// window catches up with what changed meanwhile, the status bar tells each step, and 切断 during
// the tries ends them for good.
TEST(Reconnect, APlayerCutOffComesBackCaughtUpAndDisconnectStopsTheTries) {
  const int port = test::FreePort();
  Program gm(QStringLiteral("GM"), port);
  Program player(QStringLiteral("太郎"), port);
  ASSERT_TRUE(gm.core.session().BecomeServer());
  ASSERT_TRUE(QTest::qWaitFor([&] { return gm.core.instance().OwnIndex == 1; }, 8000));
  player.core.session().Connect(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return player.core.instance().SessionMode == ModeClient; }, 8000));
  EXPECT_EQ(player.LinkState(), QStringLiteral("接続中"));
  EXPECT_EQ(gm.LinkState(), QStringLiteral("サーバ稼働中"));

  gm.shell->main_window().menu_action(QStringLiteral("mnuExtSub_4"))->trigger();  // counters
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.shell->counter_window().isVisible(); }, 8000));
  Counters& gm_counters = gm.core.counters();
  const int element = gm_counters.AddCount(0, true);
  ASSERT_GE(element, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.core.counters().At(element) != nullptr; }, 8000));

  // The host drops the connection under the player; the host changes the counters meanwhile.
  const int old_index = player.core.instance().OwnIndex;
  gm.core.session().ServerSocket(old_index)->abort();
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.core.reconnector().Active(); }, 8000));
  EXPECT_TRUE(player.LinkState().startsWith(QStringLiteral("再接続中（1回目")))
      << player.LinkState().toStdString();
  // 切断 stays available while the program tries.
  EXPECT_TRUE(player.shell->main_window().menu_action(QStringLiteral("mnuConSub_3"))->isEnabled());
  ASSERT_TRUE(gm_counters.SetValue(element, 42));
  const int second = gm_counters.AddCount(0, true);

  ASSERT_TRUE(QTest::qWaitFor([&] { return !player.core.reconnector().Active(); }, 8000));
  ASSERT_EQ(player.core.instance().SessionMode, ModeClient);
  EXPECT_GT(player.core.instance().OwnIndex, old_index);
  // The old row went at once, not after the host's watch timer: no ghost beside the new one.
  const Participant* old_row = gm.core.instance().ParticipantAt(old_index);
  ASSERT_NE(old_row, nullptr);
  EXPECT_FALSE(old_row->Present);
  EXPECT_EQ(player.core.instance().OwnHandle, QStringLiteral("太郎"));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const Counters::Counter* c = player.core.counters().At(element);
        return c && c->value == 42 && player.core.counters().At(second) != nullptr;
      },
      8000));
  const QString chat = player.Chat();
  EXPECT_EQ(chat.count(QStringLiteral("自動で再接続を試みます")), 1);
  EXPECT_EQ(chat.count(QStringLiteral("サーバに再接続しました。")), 1);
  EXPECT_EQ(chat.count(QStringLiteral("（カウンター）の状態をサーバから取り寄せています")), 1);
  // Only the connect by hand said so; the attempts are quiet.
  EXPECT_EQ(chat.count(QStringLiteral("に接続中です。")), 1);
  EXPECT_EQ(chat.count(QStringLiteral("ClientModeになりました")), 1);
  EXPECT_EQ(player.LinkState(), QStringLiteral("接続中"));
  EXPECT_TRUE(player.dialogs.asked.empty());

  // The host's program goes away; while the player waits for the next try, 切断 ends it.
  gm.core.session().Disconnect();
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.core.reconnector().Active(); }, 8000));
  player.shell->main_window().menu_action(QStringLiteral("mnuConSub_3"))->trigger();
  EXPECT_FALSE(player.core.reconnector().Active());
  EXPECT_EQ(player.LinkState(), QStringLiteral("未接続"));
  EXPECT_FALSE(player.shell->main_window().menu_action(QStringLiteral("mnuConSub_3"))->isEnabled());
  ASSERT_TRUE(gm.core.session().BecomeServer());
  QTest::qWait(2500);  // longer than the first two spacings
  EXPECT_EQ(player.core.instance().SessionMode, ModeNone);

  // AutoReconnect=0 in app.ini: a lost session stays lost.
  IniFile ini;
  ASSERT_TRUE(ini.Load(player.core.instance().IniPath()));
  ini.SetValue(QStringLiteral("SpExt"), QStringLiteral("AutoReconnect"), QStringLiteral("0"));
  ASSERT_TRUE(ini.Save(player.core.instance().IniPath()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return gm.core.instance().OwnIndex == 1; }, 8000));
  player.core.session().Connect(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return player.core.instance().SessionMode == ModeClient; }, 8000));
  gm.core.session().Disconnect();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return player.core.instance().SessionMode == ModeNone; }, 8000));
  QTest::qWait(100);
  EXPECT_FALSE(player.core.reconnector().Active());
}

// Every shared tool a player has open is caught up after a return: what the host changed while
// the player was away (a new deal, hex cells and a piece, a drawn page, table cells, counters)
// is on the player's screen afterwards exactly as on the host's.
TEST(Reconnect, EveryOpenToolShowsTheHostsStateAfterTheReturn) {
  const int port = test::FreePort();
  Program gm(QStringLiteral("GM"), port);
  Program player(QStringLiteral("花子"), port);
  test::UseSmallCardDecks(gm.home, gm.core.instance().settings);
  ASSERT_TRUE(gm.core.session().BecomeServer());
  ASSERT_TRUE(QTest::qWaitFor([&] { return gm.core.instance().OwnIndex == 1; }, 8000));
  player.core.session().Connect(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return player.core.instance().SessionMode == ModeClient &&
               player.core.instance().OwnIndex > 1;
      },
      8000));
  AppCore& host = gm.core;

  // The evening so far, every tool open on the player's screen.
  host.cards().ChooseMode(Cards::kNova);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.core.cards().mode() == Cards::kNova; }, 8000));
  host.cards().StartDecks();
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.core.cards().nova().hand.size() == 4; }, 8000));
  ASSERT_EQ(host.hex_map().CreatePage(kHexHorizontal, 1, kPieceCorners, 20, 15), 1);
  ASSERT_TRUE(host.hex_map().AddPieceAt(QPoint(3, 3), 0x0000FF));
  host.drawing().DrawShape(draw::kFilledBox, QPoint(100, 100), QPoint(300, 200), 0xFF0000);
  ASSERT_TRUE(host.table().AddRow());
  host.table().CommitCell(1, 0, QStringLiteral("ゴブリン"));
  ASSERT_GE(host.counters().AddCount(0, true), 1);
  player.shell->card_window().show();
  player.shell->hex_window().show();
  player.shell->draw_window().show();
  player.shell->table_window().show();
  player.shell->counter_window().show();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return test::LookAtTools(player.core) == test::LookAtTools(host); }, 8000))
      << test::LookAtTools(player.core).Describe() << "\nhost:\n"
      << test::LookAtTools(host).Describe();

  // The line goes; the evening goes on without the player.
  host.session().ServerSocket(player.core.instance().OwnIndex)->abort();
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.core.reconnector().Active(); }, 8000));
  host.cards().StartDecks();
  host.hex_map().BeginStroke();
  for (int c = 2; c <= 9; ++c) host.hex_map().PaintOver(QPoint(c, 5), 0x3366CC);
  host.hex_map().EndStroke(0x3366CC);
  ASSERT_TRUE(host.hex_map().AddPieceAt(QPoint(7, 8), 0x00FF00));
  ASSERT_EQ(host.drawing().NewPage(), 1);
  host.drawing().DrawShape(draw::kLine, QPoint(0, 0), QPoint(959, 719), 0x00AA00);
  ASSERT_TRUE(host.table().AddColumn());
  host.table().CommitCell(1, 1, QStringLiteral("HP 12"));
  ASSERT_TRUE(host.counters().SetValue(1, -7));
  ASSERT_GE(host.counters().AddCount(0, true), 2);
  const test::ToolsSeen meanwhile = test::LookAtTools(host);
  ASSERT_NE(test::LookAtTools(player.core), meanwhile);

  ASSERT_TRUE(QTest::qWaitFor([&] { return !player.core.reconnector().Active(); }, 8000));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return test::LookAtTools(player.core) == test::LookAtTools(host); }, 15000))
      << test::LookAtTools(player.core).Describe() << "\nhost:\n"
      << meanwhile.Describe();
  EXPECT_EQ(test::LookAtTools(host), meanwhile) << "catching up changed nothing on the host";
  // The cards of the new deal: the tarot card the table sees and a hand of the new deck.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return player.core.cards().nova().hand.size() == 4 &&
               player.core.cards().nova().tarot == host.cards().nova().tarot;
      },
      8000))
      << player.core.cards().nova().hand.join(' ').toStdString() << " / "
      << player.core.cards().nova().tarot.toStdString() << " vs "
      << host.cards().nova().tarot.toStdString();
  EXPECT_EQ(player.Chat().count(QStringLiteral(
                "開いている共有ツール（カード、ヘックスマップ、お絵かきボード、共有テーブル、"
                "カウンター）の状態をサーバから取り寄せています。")),
            1);
  EXPECT_TRUE(player.dialogs.asked.empty());
}
