#pragma once

#include <QString>
#include <QStringList>

#include "scenario/Scenario.h"
#include "scenario/ScenarioPlace.h"

namespace quillora {

class DiceOptions;
class Instance;
class Random;
class Router;

// Rolls dice links with the dice language, the given option sets and generator. Both must
// outlive the returned roller.
DiceRoller RollWith(const DiceOptions& options, Random& rng);

// Plays scenario lines into the chat: a speech line goes to the server as chat code 301 with
// sub-code 5 (text, speaker name), which relays it to everyone, the sender included.
class ScenarioPlayer {
 public:
  // `roll` evaluates dice links; it is called only for lines that are actually sent.
  ScenarioPlayer(Instance& instance, Router& router, DiceRoller roll);

  // What a double-click on line `index` does. A speech line is sent when a session is up (as
  // server or client) and otherwise ignored; a jump is returned for the window to carry out.
  LineAction Play(const QStringList& lines, int index);

  // Sends `text` spoken by `speaker`. False when no session is up or sending failed (reported
  // in the status bar).
  bool Say(const QString& speaker, const QString& text);

  bool CanSend() const;

  // Where the game master is in the scenario.
  ScenarioPlace& place() { return place_; }

 private:
  Instance& instance_;
  Router& router_;
  DiceRoller roll_;
  ScenarioPlace place_;
};

}  // namespace quillora
