#pragma once

#include <QString>

#include "core/Random.h"
#include "dice/DiceOptions.h"

namespace quillora {

// What a failed evaluation appends to the cleaned expression.
inline constexpr char16_t kDiceErrorSuffix[] = u"　：　評価できません";

// Evaluates one line of the dice language ("3D6+3", "xD6+3 : x=5", "(1D10+2)*2D6") and returns
// the expression followed by every stage of its evaluation and the value, e.g.
// "2D6+3 = (4+6)+3 = 13". Anything that cannot be evaluated returns the cleaned expression
// followed by kDiceErrorSuffix. An empty text gives an empty text. Never throws.
QString EvaluateDiceText(const QString& text, const DiceOptions& options, Random& rng);

}  // namespace quillora
