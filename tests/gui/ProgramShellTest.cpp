#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "app/AppCore.h"
#include "app/MainWindow.h"
#include "app/ProgramShell.h"
#include "cards/CardWindow.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSupport.h"
#include "counters/CounterWindow.h"
#include "dice/DiceWindow.h"
#include "hexmap/HexWindow.h"
#include "instant/InstMesWindow.h"
#include "scenario/ScenarioWindow.h"
#include "table/TableWindow.h"

using namespace quillora;

TEST(ProgramShell, ToolsMenuShowsAndHidesEveryToolAndFollowsTheCloseBox) {
  test::TempHome home;
  test::FakeSound sound;
  test::ScriptedDialogs dialogs;
  AppCore core(home.path(), 3, sound);
  core.instance().SetHostNameForTesting(QStringLiteral("host"));
  core.Startup({});
  ProgramShell shell(core, dialogs);
  shell.Show();
  MainWindow& main = shell.main_window();
  // What the user types right after start-up goes into the input box.
  EXPECT_EQ(main.focusWidget(), main.input());

  const std::vector<std::pair<int, QWidget*>> tools = {
      {MainWindow::kDice, &shell.dice_window()},
      {MainWindow::kInstantMessages, &shell.instant_window()},
      {MainWindow::kScenario, &shell.scenario_window()},
      {MainWindow::kCounters, &shell.counter_window()},
      {MainWindow::kHexMap, &shell.hex_window()}};
  for (const auto& [tool, window] : tools) {
    QAction* entry = main.menu_action(QStringLiteral("mnuExtSub_%1").arg(tool));
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->isEnabled());
    EXPECT_FALSE(window->isVisible());
    entry->trigger();
    EXPECT_TRUE(window->isVisible()) << tool;
    EXPECT_TRUE(entry->isChecked());
    entry->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(entry->isChecked());
    // The window's own close box only hides it and clears the check.
    entry->trigger();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(entry->isChecked()) << tool;
  }
  // Entries of tools without a window stay disabled.
  for (int tool = 0; tool < MainWindow::kToolCount; ++tool) {
    if (!main.ToolWindow(tool)) {
      EXPECT_FALSE(main.menu_action(QStringLiteral("mnuExtSub_%1").arg(tool))->isEnabled());
    }
  }

  // Ctrl+D in the chat box goes to the dice window's expression box when it is open.
  auto* expression = shell.dice_window().findChild<QLineEdit*>(QStringLiteral("txtUnivDice"));
  ASSERT_NE(expression, nullptr);
  expression->setText(QStringLiteral("2D6+1"));
  expression->setCursorPosition(0);
  QTest::keyClick(main.input(), Qt::Key_D, Qt::ControlModifier);  // dice window hidden: nothing
  EXPECT_EQ(expression->cursorPosition(), 0);
  main.menu_action(QStringLiteral("mnuExtSub_0"))->trigger();
  QTest::keyClick(main.input(), Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(expression->cursorPosition(), 5);
}

TEST(ProgramShell, ASharedToolTheServerOpensOpensOnEveryClient) {
  struct Program {
    explicit Program(const QString& handle, int port) : core(home.path(), 5, sound) {
      core.instance().SetHostNameForTesting(handle);
      CommandLine options;
      options.handle = handle;
      options.port = port;
      core.Startup(options);
      shell = std::make_unique<ProgramShell>(core, dialogs);
    }
    test::TempHome home;
    test::FakeSound sound;
    test::ScriptedDialogs dialogs;
    AppCore core;
    std::unique_ptr<ProgramShell> shell;
  };
  const int port = test::FreePort();
  Program gm(QStringLiteral("GM"), port);
  Program player(QStringLiteral("太郎"), port);
  ASSERT_TRUE(gm.core.session().BecomeServer());
  ASSERT_TRUE(QTest::qWaitFor([&] { return gm.core.instance().OwnIndex == 1; }, 8000));
  player.core.session().Connect(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return player.core.instance().SessionMode == ModeClient; }, 8000));

  gm.shell->main_window().menu_action(QStringLiteral("mnuExtSub_5"))->trigger();  // the table
  EXPECT_TRUE(gm.shell->table_window().isVisible());
  QAction* entry = player.shell->main_window().menu_action(QStringLiteral("mnuExtSub_5"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.shell->table_window().isVisible(); }, 8000));
  EXPECT_TRUE(entry->isChecked());
  EXPECT_FALSE(player.shell->counter_window().isVisible());

  // A client opening a tool opens it only for itself.
  player.shell->main_window().menu_action(QStringLiteral("mnuExtSub_4"))->trigger();
  EXPECT_TRUE(player.shell->counter_window().isVisible());
  QTest::qWait(200);
  EXPECT_FALSE(gm.shell->counter_window().isVisible());

  // The host picks the counters' mode: the player's window shows the counters, not the hint.
  EXPECT_FALSE(player.shell->counter_window().GeneralMode());
  gm.shell->counter_window().ChooseGeneralMode();
  EXPECT_TRUE(QTest::qWaitFor([&] { return player.shell->counter_window().GeneralMode(); }, 8000));
  // A late joiner's window follows the first counter change it receives.
  Program late(QStringLiteral("花子"), port);
  late.core.session().Connect(QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return late.core.instance().SessionMode == ModeClient; }, 8000));
  EXPECT_FALSE(late.shell->counter_window().GeneralMode());
  gm.core.counters().Step(2);
  EXPECT_TRUE(QTest::qWaitFor([&] { return late.shell->counter_window().GeneralMode(); }, 8000));
  // The game master opening the card window opens the players' too, before any mode is picked;
  // someone who joins while a game is chosen finds the window in that game.
  gm.shell->main_window().menu_action(QStringLiteral("mnuExtSub_1"))->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return player.shell->card_window().isVisible(); }, 8000));
  gm.core.cards().ChooseMode(Cards::kNovaRev);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.core.cards().mode() == Cards::kNovaRev; }, 8000));
  Program late_cards(QStringLiteral("次郎"), port);
  late_cards.core.session().Connect(QStringLiteral("127.0.0.1"));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return late_cards.core.cards().mode() == Cards::kNovaRev &&
               late_cards.shell->card_window().isVisible();
      },
      8000));
}
