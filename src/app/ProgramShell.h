#pragma once

#include <functional>
#include <memory>

namespace quillora {

class AppCore;
class CardWindow;
class CounterWindow;
class Dialogs;
class DiceWindow;
class DrawWindow;
class HexWindow;
class InstMesWindow;
class MainWindow;
class ScenarioWindow;
class TableWindow;

// All windows of one running program, built hidden in start-up order and wired to each other:
// the tool windows first, then the main window that opens them.
class ProgramShell {
 public:
  ProgramShell(AppCore& core, Dialogs& dialogs);
  ~ProgramShell();

  // The start-up steps that concern the windows: settings into the windows, main window size,
  // lists, menu checks and state; then shows the main window.
  void Show();

  MainWindow& main_window() { return *main_; }
  DiceWindow& dice_window() { return *dice_; }
  InstMesWindow& instant_window() { return *instant_; }
  ScenarioWindow& scenario_window() { return *scenario_; }
  TableWindow& table_window() { return *table_; }
  CounterWindow& counter_window() { return *counters_; }
  CardWindow& card_window() { return *cards_; }
  DrawWindow& draw_window() { return *drawing_; }
  HexWindow& hex_window() { return *hex_; }

 private:
  // Runs `open` with the announcement's argument (the card mode + 1 for the cards) whenever
  // the server announces `tool` (a msg::kTool* number).
  void OpenWhenAnnounced(int tool, std::function<void(int argument)> open);
  // After an automatic reconnection the open shared tools catch up by themselves.
  void CatchUpAfterReconnect();

  AppCore& core_;
  // The main window is destroyed last (it is the parent of the dialogs the tools open).
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<DiceWindow> dice_;
  std::unique_ptr<InstMesWindow> instant_;
  std::unique_ptr<ScenarioWindow> scenario_;
  std::unique_ptr<TableWindow> table_;
  std::unique_ptr<CounterWindow> counters_;
  std::unique_ptr<CardWindow> cards_;
  // The shared drawing board.
  std::unique_ptr<DrawWindow> drawing_;
  std::unique_ptr<HexWindow> hex_;
};

}  // namespace quillora
