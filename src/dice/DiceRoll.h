#pragma once

#include <QString>

#include "core/Random.h"
#include "dice/DiceOptions.h"

namespace quillora {

// What the dice window's roll button does with its expression box and modifier, shared by the
// window and the command-line roller. Texts starting with "SG:" (any case, full-width allowed) go
// to the rank judgement with the modifier; all others get the modifier written into the
// expression (InsertDiceModifier) and are evaluated. An empty expression gives an empty text.
QString RollDiceExpression(const QString& expression, int modifier, const DiceOptions& options,
                           Random& rng);

// The expression with "+2" or "-3" placed right before its first ":" (in front of the variable
// definitions), or at its end; a modifier of 0 leaves it unchanged. A comment stays a comment:
// the modifier goes in front of a "'" that comes before any ":".
QString InsertDiceModifier(const QString& expression, int modifier);

// The modifier as the window's label shows it: full-width, always signed ("＋０", "－３").
QString DiceModifierLabel(int modifier);

// True when the text asks for the rank judgement.
bool IsRankJudgeText(const QString& expression);

}  // namespace quillora
