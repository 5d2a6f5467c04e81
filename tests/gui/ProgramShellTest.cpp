#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "app/AppCore.h"
#include "chat/InstMesWindow.h"
#include "chat/MainWindow.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSupport.h"
#include "counters/CounterWindow.h"
#include "dice/DiceWindow.h"
#include "hexmap/HexWindow.h"
#include "scenario/ScenarioWindow.h"
#include "app/ProgramShell.h"

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
