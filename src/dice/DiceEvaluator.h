#pragma once

#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/Random.h"
#include "dice/DiceOptions.h"

namespace quillora::dice_internal {

// Token and node kinds; the operator kinds print as their token text.
enum class Kind : uint8_t {
  kEos,
  kPlus,
  kMinus,
  kNegate,
  kTimes,
  kDivide,
  kPower,
  kModulo,
  kIntDivide,
  kOpen,
  kClose,
  kComma,
  kNumber,
  kIdent,
  kVariable,
  kFunction,
  kDice,
  kRolled,
};

struct Node {
  Kind kind = Kind::kNumber;
  uint8_t left = 0;  // node index, 0 = none
  uint8_t right = 0;
  bool paren = false;  // top of a sub-expression written in parentheses
  int level = 0;
  double value = 0;
  // Variable or function name; a dice term's own text ("D", "dA"); a rolled term's detail
  // ("(4+6)=10"); for a folded variable, its value as written.
  QString text;
};

// Thrown inside the evaluator for anything that cannot be evaluated; never leaves
// EvaluateDiceText.
struct EvalError {};

// One evaluation: the node table, the variable table and the stages. Not reusable.
class Evaluator {
 public:
  static constexpr int kMaxNodes = 255;
  static constexpr int kMaxVariables = 255;
  static constexpr int kMaxDicePerTerm = 1000;
  static constexpr int kMaxNesting = 512;  // parentheses and negations

  Evaluator(const DiceOptions& options, Random& rng) : options_(options), rng_(rng) {}

  // The result text; the caller catches failures and uses Cleaned().
  QString Run(const QString& text);
  const QString& Cleaned() const { return cleaned_; }

 private:
  enum class Show { kFirst, kDice, kResult };

  // Cleaning, lexing and parsing.
  void Clean(const QString& text);
  void NextToken();
  int NewNode(Kind kind, int left = 0, int right = 0);
  int ParseExpression();
  int ParseLevel1();
  int ParseLevel2();
  int ParseLevel3();
  int ParseUnary();
  int ParseDice();
  int ParsePrimary();
  void Expect(Kind kind);

  // Stages.
  int SetLevels(int node, int level);
  double Value(int node);
  double OperandValue(int node);
  double VariableValue(const QString& name);
  bool Fold(int node, int bound);
  void Print(int node, Show show, QString& out) const;
  void RollAll(int node, int stage);
  void Roll(int node, int stage);
  // Adds dice to a pool, or the whole expression once more; false when nothing was added.
  bool RerollEvent(bool highest, const DiceFlags& flags, int64_t count, int64_t& add_pool,
                   int64_t& subtract_pool, int stage);
  void RerollWholeExpression(int sign, bool once, int stage);

  const DiceOptions& options_;
  Random& rng_;
  QString cleaned_;
  std::vector<std::pair<QString, QString>> variables_;  // name, value as written
  std::vector<Node> nodes_;                             // index 0 is unused
  std::vector<Node> pristine_;
  int root_ = 0;
  int pristine_root_ = 0;
  bool rerolled_once_ = false;
  int nesting_ = 0;

  // Lexer state.
  int pos_ = 0;
  Kind token_ = Kind::kEos;
  double token_value_ = 0;
  int token_start_ = 0;
  int token_length_ = 0;
};

}  // namespace quillora::dice_internal
