#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "app/CommandLine.h"
#include "app/TableKeeper.h"
#include "cards/CardState.h"
#include "cards/Cards.h"
#include "chat/ChatController.h"
#include "chat/ChatLog.h"
#include "chat/ChatReceiver.h"
#include "chat/MessageBuffers.h"
#include "chat/Recipients.h"
#include "core/Instance.h"
#include "core/Sound.h"
#include "counters/CounterState.h"
#include "counters/Counters.h"
#include "dice/DiceBroadcast.h"
#include "dice/DiceOptions.h"
#include "drawing/DrawBoard.h"
#include "drawing/DrawBoardState.h"
#include "hexmap/HexMap.h"
#include "hexmap/HexMapState.h"
#include "instant/InstantMessages.h"
#include "net/FileTransfer.h"
#include "net/PortMapper.h"
#include "net/Reconnector.h"
#include "net/Session.h"
#include "net/ToolAnnouncer.h"
#include "scenario/ScenarioPlayer.h"
#include "table/SharedTable.h"
#include "table/SharedTableState.h"

namespace quillora {

// Everything of one running program that is not a window: the instance state, the chat log,
// the session and the feature models. The windows are built on top of it; tests build several
// of these in one process to run real sessions.
class AppCore : public QObject {
  Q_OBJECT

 public:
  AppCore(const QString& program_folder, uint64_t seed, SoundPlayer& sound,
          QObject* parent = nullptr);
  ~AppCore() override;

  Instance& instance() { return instance_; }
  ChatLog& chat_log() { return chat_log_; }
  Recipients& recipients() { return recipients_; }
  Session& session() { return session_; }
  ChatController& chat() { return chat_; }
  ToolAnnouncer& tools() { return tools_; }
  MessageBuffers& buffers() { return buffers_; }
  DiceOptions& dice_options() { return dice_options_; }
  FileTransfer& files() { return files_; }
  DiceBroadcast& dice() { return dice_; }
  InstantMessages& instant_messages() { return instant_; }
  ScenarioPlayer& scenario() { return scenario_; }
  SharedTable& table() { return table_; }
  Counters& counters() { return counters_; }
  Cards& cards() { return cards_; }

  // The shared drawing board.
  DrawBoard& drawing() { return drawing_; }
  HexMap& hex_map() { return hex_map_; }
  // Brings the client back into a session it lost.
  Reconnector& reconnector() { return reconnector_; }
  // How long it tries, from app.ini ([SpExt] AutoReconnect, minutes; 0: never).
  int ReconnectMinutes() const;
  // The table file the host keeps the shared state in.
  TableKeeper& table_keeper() { return keeper_; }
  // Asks the router to forward the port while serving (unless the settings turn it off).
  PortMapper& port_mapper() { return port_mapper_; }
  // The program itself allows it; a core made by a test never talks to a router.
  void AllowPortMapping(bool allowed) { port_mapping_allowed_ = allowed; }
  // How players reach this machine: for the address box and the version box.
  Reachability CurrentReachability() const;

  // Tells the chat log whether the main window is the active, foreground window.
  void SetForegroundProbe(std::function<bool()> probe) { foreground_probe_ = std::move(probe); }

  // The model half of start-up: settings (or first-run defaults with their system lines), the
  // process state, the status panels, the log folder, the log date and the day's log. The
  // command-line handle, when given, is used for this run.
  void Startup(const CommandLine& options);

  // Disconnects when connected, then writes the settings file. Safe to call twice.
  void Shutdown();

  // Windows that keep settings of their own (window size, menu checks, the dice list) put them
  // into the live record when this runs; it runs before every save.
  void SetSettingsCollector(std::function<void()> collect) {
    collect_settings_ = std::move(collect);
  }
  // Writes the settings file from the program's current state.
  void SaveCurrentSettings();

  // Opening the appearance dialog: the live settings become the working copy.
  void BeginAppearanceEdit();
  // The appearance dialog's OK: the working copy's appearance and presets become live and the
  // settings are saved; a changed handle or handle colour is taken and announced; the addressee
  // entries get the new honorific.
  void ApplyWorkingSettings();
  // The appearance dialog's reset: the appearance and preset settings go back to their
  // first-run values (with the first-run handle line in the chat) and the working copy follows.
  void ResetAppearanceSettings();

 private:
  // The system line that goes with the first-run defaults: the handle is the host name.
  void AnnounceDefaultHandle(const QString& handle);

  Instance instance_;
  std::function<bool()> foreground_probe_;
  std::function<void()> collect_settings_;
  // The dialog shows the command-line handle in place of the current preset handle.
  bool run_handle_shown_ = false;
  ChatLog chat_log_;
  Recipients recipients_;
  Session session_;
  ChatController chat_;
  ChatReceiver chat_receiver_;
  ToolAnnouncer tools_;
  MessageBuffers buffers_;
  DiceOptions dice_options_;
  FileTransfer files_;
  DiceBroadcast dice_;
  InstantMessages instant_;
  ScenarioPlayer scenario_;
  SharedTable table_;
  Counters counters_;
  // Card decks (server) and every mode's card state.
  Cards cards_;

  // The shared drawing board.
  DrawBoard drawing_;
  // The shared hex map: pages, pieces, map files and the server's answer to late joiners.
  HexMap hex_map_;
  Reconnector reconnector_;

  // The shared tools as the table file sees them, and the keeper of that file.
  SharedTableState table_state_{table_};
  CounterState counter_state_{counters_};
  HexMapState hex_state_{hex_map_};
  DrawBoardState draw_state_{drawing_};
  CardState card_state_{cards_};
  ScenarioState scenario_state_{scenario_.place()};
  TableKeeper keeper_{
      instance_,
      chat_log_,
      {&table_state_, &counter_state_, &hex_state_, &draw_state_, &card_state_, &scenario_state_}};
  QString table_path_;      // --table FILE
  PortMapper port_mapper_;  // destroyed first: takes the router's mapping back at exit
  bool port_mapping_allowed_ = false;
  bool shut_down_ = false;
};

}  // namespace quillora
