#include "dice/DiceRoll.h"

#include "dice/DiceLanguage.h"
#include "dice/RankJudge.h"
#include "text/Width.h"

namespace quillora {

namespace {

QString SignedNumber(int value) {
  return value >= 0 ? QLatin1Char('+') + QString::number(value) : QString::number(value);
}

}  // namespace

QString DiceModifierLabel(int modifier) { return ToFullWidth(SignedNumber(modifier)); }

bool IsRankJudgeText(const QString& expression) {
  return ToHalfWidth(expression.left(3)).toUpper() == QLatin1String("SG:");
}

QString InsertDiceModifier(const QString& expression, int modifier) {
  if (modifier == 0) return expression;
  const QString narrow = ToHalfWidth(expression);
  qsizetype at = narrow.indexOf(QLatin1Char(':'));
  const qsizetype comment = narrow.indexOf(QLatin1Char('\''));
  // A modifier written into the comment would be cut away with it.
  if (comment >= 0 && (at < 0 || comment < at)) at = comment;
  QString out = narrow;
  if (at < 0) {
    out += SignedNumber(modifier);
  } else {
    out.insert(at, SignedNumber(modifier));
  }
  return out;
}

QString RollDiceExpression(const QString& expression, int modifier, const DiceOptions& options,
                           Random& rng) {
  if (expression.isEmpty()) return QString();
  if (IsRankJudgeText(expression)) return JudgeRank(expression, modifier, rng);
  return EvaluateDiceText(InsertDiceModifier(expression, modifier), options, rng);
}

}  // namespace quillora
