#include "app/ProgramShell.h"

#include <QListWidget>
#include <QPlainTextEdit>

#include "app/AppCore.h"
#include "chat/InstMesWindow.h"
#include "chat/MainWindow.h"
#include "counters/CounterWindow.h"
#include "dice/DiceWindow.h"
#include "hexmap/HexWindow.h"
#include "scenario/ScenarioWindow.h"
#include "table/TableWindow.h"

namespace quillora {

ProgramShell::ProgramShell(AppCore& core, Dialogs& dialogs) : core_(core) {
  main_ = std::make_unique<MainWindow>(core, dialogs);
  MainWindow* main = main_.get();

  // What the tool windows may do with the main window's chat input and addressee list.
  MainChatHooks hooks;
  hooks.chat_text = [main] { return main->input()->toPlainText(); };
  hooks.set_chat_text = [main](const QString& text) {
    main->input()->setPlainText(text);
    main->input()->moveCursor(QTextCursor::End);
  };
  hooks.focus_chat = [main] {
    main->activateWindow();
    main->input()->setFocus();
  };
  hooks.addressee = [&core] {
    const RecipientEntry* entry = core.recipients().SelectedReDir();
    return entry && entry->data > 0 ? entry->text : QString();
  };
  hooks.addressee_used = [&core] {
    if (core.instance().settings.ReDirListReset && !core.recipients().ReDir().isEmpty()) {
      core.recipients().SelectReDir(0);
    }
  };

  dice_ = std::make_unique<DiceWindow>(core.instance(), core.dice(), core.dice_options(), dialogs,
                                       hooks);
  instant_ =
      std::make_unique<InstMesWindow>(core.instance(), core.instant_messages(), dice_.get(), hooks);

  scenario_ = std::make_unique<ScenarioWindow>(core.instance(), core.scenario(), dialogs);
  table_ = std::make_unique<TableWindow>(core.instance(), core.table(), dialogs);
  counters_ = std::make_unique<CounterWindow>(core.instance(), core.counters(), dialogs);
  hex_ = std::make_unique<HexWindow>(core.instance(), core.hex_map(), dialogs);

  main->SetToolWindow(MainWindow::kDice, dice_.get());
  main->SetToolWindow(MainWindow::kScenario, scenario_.get());
  main->SetToolWindow(MainWindow::kTable, table_.get());
  main->SetToolWindow(MainWindow::kCounters, counters_.get());
  main->SetToolWindow(MainWindow::kHexMap, hex_.get());
  // On the server the hex map opens with the set-up of its first page.
  HexWindow* hex = hex_.get();
  main->SetHexSetupHandler([hex](std::function<void()> show) { hex->OpenSetup(std::move(show)); });
  main->SetToolWindow(MainWindow::kInstantMessages, instant_.get());
  DiceWindow* dice = dice_.get();
  main->SetDiceFocusHandler([dice] { dice->FocusExpressionAtEnd(); });
  QObject::connect(main, &MainWindow::aboutToSaveSettings, dice,
                   [dice] { dice->StoreToSettings(); });
}

ProgramShell::~ProgramShell() {
  hex_.reset();
  counters_.reset();
  table_.reset();
  scenario_.reset();
  instant_.reset();
  dice_.reset();
  main_.reset();
}

void ProgramShell::Show() {
  dice_->LoadFromSettings();
  main_->RestoreFromSettings();
  switch (core_.instance().settings.frmMain_WindowMode) {
    case 2:
      main_->showMaximized();
      break;
    case 1:
      main_->showMinimized();
      break;
    default:
      main_->show();
      break;
  }
}

}  // namespace quillora
