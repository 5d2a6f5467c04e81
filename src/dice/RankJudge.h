#pragma once

#include <QString>
#include <cstdint>

#include "core/Random.h"

namespace quillora {

// The rank judgement reached with texts of the form "SG:target:row:modifier[:follow-up]":
// rolls three or more six-sided dice, keeps three, reads a rank from the rank table and may add
// a follow-up roll. `modifier` is the dice window's own modifier. Malformed text returns the
// text followed by "　：　評価できません". Never throws.
QString JudgeRank(const QString& text, int modifier, Random& rng);

// The value of a rank letter (E -99, D -1, C 0, B 1, A 2, S 3).
int RankValue(QChar rank);

}  // namespace quillora
