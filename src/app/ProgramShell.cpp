#include "app/ProgramShell.h"

#include <QListWidget>
#include <QPlainTextEdit>

#include "app/AppCore.h"
#include "app/MainWindow.h"
#include "cards/CardWindow.h"
#include "counters/CounterWindow.h"
#include "dice/DiceWindow.h"
#include "drawing/DrawWindow.h"
#include "hexmap/HexWindow.h"
#include "instant/InstMesWindow.h"
#include "net/MessageCodes.h"
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
  // The entry as shown; the windows drop its typing markers.
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

  // The card window; the game master's "＋１" goes to the client chosen in the destination
  // list, or to the server's own user when the list's first line is chosen.
  cards_ = std::make_unique<CardWindow>(core.instance(), core.cards(), dialogs, [&core] {
    const RecipientEntry* entry = core.recipients().SelectedSend();
    return entry && core.recipients().SendRow() > 0 && entry->data > 0 ? entry->data : 1;
  });
  main->SetToolWindow(MainWindow::kCards, cards_.get());
  // The shared drawing board.
  drawing_ = std::make_unique<DrawWindow>(core.instance(), core.drawing(), dialogs);
  main->SetToolWindow(MainWindow::kDrawing, drawing_.get());
  main->SetToolWindow(MainWindow::kHexMap, hex_.get());
  // On the server the hex map opens with the set-up of its first page.
  HexWindow* hex = hex_.get();
  main->SetHexSetupHandler([hex](std::function<void()> show) { hex->OpenSetup(std::move(show)); });
  main->SetToolWindow(MainWindow::kInstantMessages, instant_.get());
  DiceWindow* dice = dice_.get();
  main->SetDiceFocusHandler([dice] { dice->FocusExpressionAtEnd(); });
  QObject::connect(main, &MainWindow::aboutToSaveSettings, dice,
                   [dice] { dice->StoreToSettings(); });

  // A shared tool the server's user opened opens here too.
  // The counter window opens in the host's mode, not empty.
  CounterWindow* counters = counters_.get();
  OpenWhenAnnounced(msg::kToolCounters, [main, counters](int) {
    counters->ChooseGeneralMode();
    main->ShowTool(MainWindow::kCounters);
  });
  OpenWhenAnnounced(msg::kToolTable, [main](int) { main->ShowTool(MainWindow::kTable); });
  OpenWhenAnnounced(msg::kToolDrawing, [main](int) { main->ShowTool(MainWindow::kDrawing); });
  OpenWhenAnnounced(msg::kToolHexMap, [main](int) { main->ShowTool(MainWindow::kHexMap); });
  // The card model switches to the announced mode itself.
  OpenWhenAnnounced(msg::kToolCards, [main](int) { main->ShowTool(MainWindow::kCards); });
  CatchUpAfterReconnect();
}

void ProgramShell::CatchUpAfterReconnect() {
  // Back in the session after a lost connection: every shared tool that is open asks for the
  // server's state as its late-join entry does, without a word unless something was asked.
  QObject::connect(&core_.reconnector(), &Reconnector::reconnected, main_.get(), [this] {
    AppCore& core = core_;
    QStringList asked;
    if (cards_->isVisible()) {
      core.cards().CatchUp();
      asked << QStringLiteral("カード");
    }
    if (hex_->isVisible()) {
      core.hex_map().RequestMaps();
      asked << QStringLiteral("ヘックスマップ");
    }
    if (drawing_->isVisible()) {
      core.drawing().RequestCatchUp();
      asked << QStringLiteral("お絵かきボード");
    }
    if (table_->isVisible()) {
      core.table().Repair();
      asked << QStringLiteral("共有テーブル");
    }
    if (counters_->isVisible()) {
      core.counters().RequestRepair();
      asked << QStringLiteral("カウンター");
    }
    if (asked.isEmpty()) return;
    core.reconnector().Say(QStringLiteral("開いている共有ツール（") +
                           asked.join(QStringLiteral("、")) +
                           QStringLiteral("）の状態をサーバから取り寄せています。"));
  });
}

void ProgramShell::OpenWhenAnnounced(int tool, std::function<void(int argument)> open) {
  QObject::connect(&core_.tools(), &ToolAnnouncer::toolAnnounced, main_.get(),
                   [tool, open = std::move(open)](int announced, int argument) {
                     if (announced == tool) open(argument);
                   });
}

ProgramShell::~ProgramShell() {
  cards_.reset();
  drawing_.reset();
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
  // What the user types right after start-up goes into the input box.
  main_->FocusInput();
}

}  // namespace quillora
