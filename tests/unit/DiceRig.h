#pragma once

#include <QString>
#include <cstdint>

#include "dice/DiceBroadcast.h"
#include "dice/DiceOptions.h"
#include "dice/DiceRoll.h"
#include "unit/ChatFakes.h"

namespace quillora::test {

// A dice broadcaster on a fake connection: a joined client named "GM" whose generator starts
// from `seed`, recording what it sends and what it shows.
struct DiceRig {
  DiceRig(uint64_t seed, int own_index)
      : seed(seed), dice(rig.instance, rig.router, chat, options) {
    SetSessionMode(rig.instance, ModeClient);
    SetOwnIndex(rig.instance, static_cast<int16_t>(own_index));
    rig.instance.OwnHandle = QStringLiteral("GM");
    rig.instance.Rng().Seed(seed);
  }

  // What the same roll gives with a fresh generator of the same seed.
  QString Expected(const QString& expression, int modifier) const {
    Random rng(seed);
    return RollDiceExpression(expression, modifier, options, rng);
  }

  uint64_t seed;
  NetRig rig;
  RecordingChat chat;
  DiceOptions options;
  DiceBroadcast dice;
};

}  // namespace quillora::test
