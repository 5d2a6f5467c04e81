// Levels, values, folding, printing and the dice roll of the dice language.
#include "dice/DiceEvaluator.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "dice/DiceNumber.h"

namespace quillora::dice_internal {

namespace {

bool IsBinary(Kind kind) { return kind >= Kind::kPlus && kind <= Kind::kIntDivide; }

char16_t OperatorChar(Kind kind) {
  switch (kind) {
    case Kind::kPlus:
      return u'+';
    case Kind::kMinus:
      return u'-';
    case Kind::kNegate:
      return u'-';
    case Kind::kTimes:
      return u'*';
    case Kind::kDivide:
      return u'/';
    case Kind::kPower:
      return u'^';
    case Kind::kModulo:
      return u'%';
    case Kind::kIntDivide:
      return u'\\';
    default:
      return u'?';
  }
}

void AppendInteger(QString& out, int64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(QLatin1String(buf, res.ptr - buf));
}

double Checked(double value) {
  if (!std::isfinite(value)) throw EvalError{};
  return value;
}

int32_t ToLong(double value) {
  const auto rounded = ToDiceLong(value);
  if (!rounded) throw EvalError{};
  return *rounded;
}

// The part of a rolled term's detail after its first "=": the term's result.
QStringView DetailResult(const QString& detail) {
  const qsizetype equals = detail.indexOf(QLatin1Char('='));
  return equals < 0 ? QStringView() : QStringView(detail).mid(equals + 1);
}

QStringView DetailDice(const QString& detail) {
  const qsizetype equals = detail.indexOf(QLatin1Char('='));
  return equals < 0 ? QStringView(detail) : QStringView(detail).left(equals);
}

}  // namespace

QString Evaluator::Run(const QString& text) {
  Clean(text);
  nodes_.reserve(32);
  nodes_.emplace_back();  // index 0: no node
  NextToken();
  root_ = ParseExpression();
  // Only whole-expression rerolls need the parsed tree again.
  for (const DiceOptionSet& set : options_.Sets()) {
    if (set.flags & kDiceAddWhole) {
      pristine_ = nodes_;
      break;
    }
  }
  pristine_root_ = root_;

  QString result;
  result.reserve(cleaned_.size() * 4 + 32);
  result += cleaned_;
  const int deepest = SetLevels(root_, 1);
  if (Fold(root_, deepest)) {
    result += QLatin1String(" = ");
    Print(root_, Show::kFirst, result);
  }
  for (int stage = deepest - 1; stage >= 1; --stage) {
    RollAll(root_, stage);
    result += QLatin1String(" = ");
    Print(root_, Show::kDice, result);
    Fold(root_, stage);
    result += QLatin1String(" = ");
    Print(root_, Show::kResult, result);
  }
  return result;
}

int Evaluator::SetLevels(int node, int level) {
  if (node == 0) return 0;
  Node& n = nodes_[node];
  n.level = level;
  const int below = n.kind == Kind::kDice ? level + 1 : level;
  const int left = n.left;
  const int right = n.right;
  return std::max({level, SetLevels(left, below), SetLevels(right, below)});
}

double Evaluator::VariableValue(const QString& name) {
  for (const auto& [var_name, value] : variables_) {
    if (var_name == name) {
      const auto number = ParseDiceNumber(value);
      if (!number) throw EvalError{};
      return *number;
    }
  }
  throw EvalError{};
}

double Evaluator::OperandValue(int node) { return RoundDiceNumber(Value(node)); }

double Evaluator::Value(int node) {
  if (node == 0) throw EvalError{};
  const Node& n = nodes_[node];
  switch (n.kind) {
    case Kind::kNumber:
      return n.value;
    case Kind::kVariable:
      return VariableValue(n.text);
    case Kind::kRolled:
      return n.value;  // the number after "=" in its detail
    case Kind::kNegate:
      return -OperandValue(n.left);
    case Kind::kFunction: {
      const QString name = n.text.toLower();
      const int second = n.right;
      const double x = OperandValue(n.left);
      if (second != 0) OperandValue(second);  // evaluated, then ignored
      if (name == QLatin1String("abs")) return std::fabs(x);
      if (name == QLatin1String("sqr")) {
        if (x < 0) throw EvalError{};
        return std::sqrt(x);
      }
      if (name == QLatin1String("int")) return std::floor(x);
      if (name == QLatin1String("roff")) return Checked(std::floor(x + 0.5));
      if (name == QLatin1String("opnt")) return std::trunc(x);
      if (name == QLatin1String("rpnt")) return x == std::trunc(x) ? x : Checked(std::trunc(x + 1));
      throw EvalError{};
    }
    default:
      break;
  }
  if (!IsBinary(n.kind)) throw EvalError{};  // an unrolled dice term or a stray token
  const Kind kind = n.kind;
  const int right_node = n.right;
  const double a = OperandValue(n.left);
  const double b = OperandValue(right_node);
  switch (kind) {
    case Kind::kPlus:
      return Checked(a + b);
    case Kind::kMinus:
      return Checked(a - b);
    case Kind::kTimes:
      return Checked(a * b);
    case Kind::kDivide:
      if (b == 0) throw EvalError{};
      return Checked(a / b);
    case Kind::kPower:
      return Checked(std::pow(a, b));
    case Kind::kModulo:
    case Kind::kIntDivide: {
      const int64_t x = ToLong(a);
      const int64_t y = ToLong(b);
      if (y == 0) throw EvalError{};
      if (kind == Kind::kModulo) return static_cast<double>(x % y);
      const int64_t quotient = x / y;
      if (quotient > INT32_MAX) throw EvalError{};  // -2147483648 \ -1
      return static_cast<double>(quotient);
    }
    default:
      throw EvalError{};
  }
}

bool Evaluator::Fold(int node, int bound) {
  if (node == 0) return false;
  Node& n = nodes_[node];
  if (n.level < bound) {
    const int left = n.left;
    const int right = n.right;
    const bool folded_left = Fold(left, bound);
    return Fold(right, bound) || folded_left;
  }
  const Kind kind = n.kind;
  const double value = Value(node);
  Node& folded = nodes_[node];
  if (kind == Kind::kVariable) {
    // A folded variable prints its value as written.
    folded.text = [&] {
      for (const auto& [var_name, written] : variables_) {
        if (var_name == folded.text) return written;
      }
      return QString();
    }();
  } else {
    folded.text = QString();
  }
  folded.kind = Kind::kNumber;
  folded.value = value;
  folded.left = 0;
  folded.right = 0;
  folded.paren = false;
  return kind != Kind::kNumber;
}

void Evaluator::Print(int node, Show show, QString& out) const {
  if (node == 0) return;
  const Node& n = nodes_[node];
  if (n.paren) out += QLatin1Char('(');
  switch (n.kind) {
    case Kind::kNumber:
      if (n.text.isEmpty()) {
        AppendDiceNumber(out, n.value);
      } else {
        out += n.text;
      }
      break;
    case Kind::kVariable:
      out += n.text;
      break;
    case Kind::kFunction:
      out += n.text;
      out += QLatin1Char('(');
      Print(n.left, show, out);
      out += QLatin1Char(')');
      break;
    case Kind::kNegate:
      out += QLatin1Char('-');
      Print(n.left, show, out);
      break;
    case Kind::kDice:
      Print(n.left, show, out);
      out += n.text;
      Print(n.right, show, out);
      break;
    case Kind::kRolled:
      if (show == Show::kFirst) {
        out += n.text;
      } else if (show == Show::kDice) {
        out += DetailDice(n.text);
      } else {
        out += DetailResult(n.text);
      }
      break;
    default:
      Print(n.left, show, out);
      out += QChar(OperatorChar(n.kind));
      Print(n.right, show, out);
      break;
  }
  if (n.paren) out += QLatin1Char(')');
}

void Evaluator::RollAll(int node, int stage) {
  if (node == 0) return;
  const int left = nodes_[node].left;
  const int right = nodes_[node].right;
  RollAll(left, stage);
  RollAll(right, stage);
  if (nodes_[node].kind == Kind::kDice && nodes_[node].level >= stage) Roll(node, stage);
}

void Evaluator::RerollWholeExpression(int sign, bool once, int stage) {
  if (rerolled_once_ && once) return;
  rerolled_once_ = true;
  if (pristine_.empty()) throw EvalError{};  // cannot happen: Run keeps it for such sets
  const int copied = static_cast<int>(pristine_.size()) - 1;
  const int offset = static_cast<int>(nodes_.size()) - 1;
  if (offset + copied + 1 > kMaxNodes) throw EvalError{};
  for (int i = 1; i <= copied; ++i) {
    Node copy = pristine_[i];
    if (copy.left) copy.left = static_cast<uint8_t>(copy.left + offset);
    if (copy.right) copy.right = static_cast<uint8_t>(copy.right + offset);
    nodes_.push_back(std::move(copy));
  }
  const int copy_root = pristine_root_ + offset;
  nodes_[copy_root].paren = true;
  root_ = NewNode(sign > 0 ? Kind::kPlus : Kind::kMinus, root_, copy_root);
  SetLevels(root_, 1);
  RollAll(copy_root, stage);
}

bool Evaluator::RerollEvent(bool highest, const DiceFlags& flags, int64_t count, int64_t& add_pool,
                            int64_t& subtract_pool, int stage) {
  // Which way the event goes: +1 adds, -1 subtracts, 0 nothing (explode in place).
  int sign = 0;
  switch (flags.result) {
    case 0:
      sign = 1;
      break;
    case kDiceSubtract:
      sign = -1;
      break;
    case kDiceBothAddSubtract:
      sign = highest ? 1 : -1;
      break;
    case kDiceSubtract | kDiceBothAddSubtract:
      sign = highest ? -1 : 1;
      break;
    default:
      break;
  }
  if (sign == 0) return false;
  if (flags.added == kDiceAddWhole) {
    RerollWholeExpression(sign, flags.once, stage);
    return true;
  }
  if (count <= 0) return false;
  (sign > 0 ? add_pool : subtract_pool) += count;
  if (add_pool + subtract_pool > kMaxDicePerTerm) throw EvalError{};
  return true;
}

void Evaluator::Roll(int node, int stage) {
  const QString set_name =
      nodes_[node].text.size() > 1 ? nodes_[node].text.mid(1).toUpper() : QString();
  const DiceFlags flags = DiceFlags::Decode(options_.FlagsOf(set_name));
  const int64_t count = ToLong(OperandValue(nodes_[node].left));
  int64_t sides = ToLong(OperandValue(nodes_[node].right));
  const int64_t lowest = flags.lowest_face;
  const int64_t target = sides;
  if (flags.kind != 0) sides = 6;
  const int64_t highest = lowest + sides - 1;
  if (count > kMaxDicePerTerm) throw EvalError{};

  const bool single_highest = flags.condition == 0 || flags.condition == kDiceOnBoth;
  const bool single_lowest = flags.condition == kDiceOnLowest || flags.condition == kDiceOnBoth;
  const bool explode = flags.result == kDiceExplode;
  const int64_t event_dice = flags.added == 0 ? 1 : flags.added == kDiceAddSet ? count : 0;
  auto face = [&](int64_t face_sides) {
    return static_cast<int64_t>(
        std::floor(rng_.Next() * static_cast<double>(face_sides) + static_cast<double>(lowest)));
  };

  int64_t add_pool = count > 0 ? count : 0;
  int64_t subtract_pool = 0;
  int64_t sum = 0;
  int64_t hits = 0;
  int64_t rolled = 0;
  int64_t explosions = 0;
  bool all_tested = false;
  // The detail is built as "(" + dice + ")=" + result in one buffer; the first separator takes
  // the place of "(" and is dropped at the end when no parentheses are needed.
  QString detail;
  detail.reserve(static_cast<qsizetype>(std::min<int64_t>(add_pool, 64)) * 3 + 16);
  for (;;) {
    while (add_pool > 0 || subtract_pool > 0) {
      int sign = 1;
      char16_t separator = u'+';
      if (add_pool > 0) {
        --add_pool;
      } else {
        --subtract_pool;
        sign = -1;
        separator = u'-';
      }
      if (flags.kind != 0) separator = u',';
      if (++rolled > kMaxDicePerTerm) throw EvalError{};
      const int64_t first = face(sides);
      int64_t value = first;
      detail += QChar(separator);
      const qsizetype die_start = detail.size();
      AppendInteger(detail, first);
      if (explode) {
        int64_t last = first;
        int steps = 0;
        while (((flags.condition == 0 && last == highest) ||
                (flags.condition == kDiceOnLowest && last == lowest)) &&
               !(flags.once && steps >= 1)) {
          if (++explosions > kMaxDicePerTerm) throw EvalError{};
          last = face(6);
          value += last;
          detail += QLatin1Char('+');
          AppendInteger(detail, last);
          ++steps;
        }
        if (steps > 0) {
          // "15:6+6+3": the die's total goes in front of its faces.
          QString total;
          AppendInteger(total, value);
          total += QLatin1Char(':');
          detail.insert(die_start, total);
        }
      }
      sum += sign * value;
      if (flags.kind == kDiceCountAtLeast && value >= target) ++hits;
      if (flags.kind == kDiceCountAtMost && target >= value) ++hits;
      if (flags.reroll && !explode && (!flags.once || rolled <= count)) {
        if (single_highest && value == highest) {
          RerollEvent(true, flags, event_dice, add_pool, subtract_pool, stage);
        }
        if (single_lowest && value == lowest) {
          RerollEvent(false, flags, event_dice, add_pool, subtract_pool, stage);
        }
      }
    }
    // All-dice conditions; a term that rolled nothing has no dice to test.
    if (!flags.reroll || (flags.condition & kDiceAllDice) == 0 || rolled == 0) break;
    if (flags.once && all_tested) break;
    all_tested = true;
    const bool all_highest = sum == highest * rolled;
    const bool all_lowest = sum == lowest * rolled;
    bool added = false;
    if (all_highest &&
        (flags.condition == kDiceAllDice || flags.condition == (kDiceAllDice | kDiceOnBoth))) {
      added = RerollEvent(true, flags, event_dice, add_pool, subtract_pool, stage);
    } else if (all_lowest && (flags.condition == (kDiceAllDice | kDiceOnLowest) ||
                              flags.condition == (kDiceAllDice | kDiceOnBoth))) {
      added = RerollEvent(false, flags, event_dice, add_pool, subtract_pool, stage);
    }
    if (!added || flags.added == kDiceAddWhole) break;
  }

  const int64_t result = flags.kind != 0 ? hits : sum;
  bool several = false;
  for (qsizetype i = 1; i < detail.size() && !several; ++i) {
    const QChar c = detail[i];
    several = c == u'-' || c == u'+' || c == u',';
  }
  if (several) {
    detail[0] = QLatin1Char('(');
    detail += QLatin1Char(')');
  } else if (!detail.isEmpty()) {
    detail.remove(0, 1);
  }
  detail += QLatin1Char('=');
  AppendInteger(detail, result);
  Node& n = nodes_[node];
  n.kind = Kind::kRolled;
  n.text = std::move(detail);
  n.value = static_cast<double>(result);
  n.left = 0;
  n.right = 0;
}

}  // namespace quillora::dice_internal
