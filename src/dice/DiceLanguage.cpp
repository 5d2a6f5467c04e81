#include "dice/DiceLanguage.h"

#include <exception>

#include "dice/DiceEvaluator.h"

namespace quillora {

QString EvaluateDiceText(const QString& text, const DiceOptions& options, Random& rng) {
  if (text.isEmpty()) return QString();
  dice_internal::Evaluator evaluator(options, rng);
  try {
    return evaluator.Run(text);
  } catch (...) {
    // Whatever went wrong (including running out of memory), the user sees the error text.
  }
  try {
    return evaluator.Cleaned() + QString::fromUtf16(kDiceErrorSuffix);
  } catch (...) {
    return QString();
  }
}

}  // namespace quillora
