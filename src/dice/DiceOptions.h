#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "core/Settings.h"

namespace quillora {

// Bits of a dice option set's flags word.
enum DiceFlag : int32_t {
  kDiceLowestZero = 1,          // faces run from 0 to S-1
  kDiceRerollOn = 2,            // rerolls on
  kDiceCountAtLeast = 4,        // six-sided dice, count those at or above the given number
  kDiceCountAtMost = 8,         // six-sided dice, count those at or below the given number
  kDiceOnLowest = 16,           // a single die shows its lowest face
  kDiceOnBoth = 32,             // a single die shows its highest or its lowest face
  kDiceOnce = 64,               // reroll only once
  kDiceAddSet = 128,            // a reroll adds as many dice as the term's count
  kDiceAddWhole = 256,          // a reroll adds the whole expression once more
  kDiceSubtract = 512,          // rerolled dice are subtracted
  kDiceBothAddSubtract = 1024,  // highest face adds, lowest face subtracts
  kDiceAllDice = 2048,          // the condition must hold for all dice of the term
  kDiceExplode = 4096,          // a die meeting the condition is rolled again into itself
};

// The flags word decoded into its groups; each field holds the group's chosen value.
struct DiceFlags {
  int32_t lowest_face = 1;  // 1 or 0
  bool reroll = false;
  int32_t kind = 0;       // 0, 4 or 8
  int32_t condition = 0;  // 0, 16, 32, 2048, 2064 or 2080
  bool once = false;
  int32_t added = 0;   // 0, 128 or 256
  int32_t result = 0;  // 0, 512, 1024, 1536 or 4096

  static DiceFlags Decode(int32_t flags);
};

// One named dice option set.
struct DiceOptionSet {
  QString name;  // upper-cased
  int32_t flags = 0;
  QString comment;
};

// The table of dice option sets that dice terms name ("2DA6" uses set A).
class DiceOptions {
 public:
  static constexpr int kMaxSets = 256;

  // Replaces the flags and comment of the set with that (upper-cased) name, or appends a new
  // set. Returns false when the table is full or the name is empty.
  bool RegisterDiceOptionSet(const QString& name, int32_t flags, const QString& comment);
  // The set with that (upper-cased) name; an unknown or empty name gives flags 0 and no comment.
  DiceOptionSet FindDiceOptionSet(const QString& name) const;
  // The flags word alone; `upper_name` must already be upper-cased.
  int32_t FlagsOf(const QString& upper_name) const;

  const std::vector<DiceOptionSet>& Sets() const { return sets_; }

  // The lettered sets as the settings file keeps them (index = letter - 'A'; 'D' is never a
  // set's name).
  static DiceOptions FromSettings(const std::array<DiceOptSetting, 26>& stored);
  void ToSettings(std::array<DiceOptSetting, 26>& stored) const;

 private:
  std::vector<DiceOptionSet> sets_;
};

}  // namespace quillora
