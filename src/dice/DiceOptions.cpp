#include "dice/DiceOptions.h"

namespace quillora {

DiceFlags DiceFlags::Decode(int32_t flags) {
  DiceFlags d;
  d.lowest_face = (flags & kDiceLowestZero) ? 0 : 1;
  d.reroll = (flags & kDiceRerollOn) != 0;
  d.kind = (flags & kDiceCountAtMost)    ? kDiceCountAtMost
           : (flags & kDiceCountAtLeast) ? kDiceCountAtLeast
                                         : 0;
  const int32_t single = (flags & kDiceOnBoth)     ? kDiceOnBoth
                         : (flags & kDiceOnLowest) ? kDiceOnLowest
                                                   : 0;
  d.condition = (flags & kDiceAllDice) ? kDiceAllDice + single : single;
  d.once = (flags & kDiceOnce) != 0;
  d.added = (flags & kDiceAddWhole) ? kDiceAddWhole : (flags & kDiceAddSet) ? kDiceAddSet : 0;
  if (flags & kDiceExplode) {
    d.result = kDiceExplode;
  } else {
    d.result = flags & (kDiceSubtract | kDiceBothAddSubtract);
  }
  return d;
}

bool DiceOptions::RegisterDiceOptionSet(const QString& name, int32_t flags,
                                        const QString& comment) {
  const QString upper = name.toUpper();
  if (upper.isEmpty()) return false;
  for (DiceOptionSet& set : sets_) {
    if (set.name == upper) {
      set.flags = flags;
      set.comment = comment;
      return true;
    }
  }
  if (static_cast<int>(sets_.size()) >= kMaxSets) return false;
  sets_.push_back(DiceOptionSet{upper, flags, comment});
  return true;
}

DiceOptionSet DiceOptions::FindDiceOptionSet(const QString& name) const {
  const QString upper = name.toUpper();
  for (const DiceOptionSet& set : sets_) {
    if (set.name == upper) return set;
  }
  return DiceOptionSet{upper, 0, QString()};
}

int32_t DiceOptions::FlagsOf(const QString& upper_name) const {
  if (upper_name.isEmpty()) return 0;
  for (const DiceOptionSet& set : sets_) {
    if (set.name == upper_name) return set.flags;
  }
  return 0;
}

DiceOptions DiceOptions::FromSettings(const std::array<DiceOptSetting, 26>& stored) {
  DiceOptions options;
  for (int i = 0; i < 26; ++i) {
    if (i == 'D' - 'A' || !stored[i].Exists()) continue;
    options.RegisterDiceOptionSet(QString(QChar(u'A' + i)), stored[i].flags, stored[i].comment);
  }
  return options;
}

void DiceOptions::ToSettings(std::array<DiceOptSetting, 26>& stored) const {
  for (int i = 0; i < 26; ++i) {
    if (i == 'D' - 'A') {
      stored[i] = DiceOptSetting{};
      continue;
    }
    const DiceOptionSet set = FindDiceOptionSet(QString(QChar(u'A' + i)));
    stored[i] = DiceOptSetting{set.flags, set.comment};
  }
}

}  // namespace quillora
