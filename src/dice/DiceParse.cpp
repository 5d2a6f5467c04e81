// Cleaning, lexing and parsing of a dice expression into the node table.
#include "dice/DiceEvaluator.h"
#include "dice/DiceNumber.h"
#include "text/Width.h"

namespace quillora::dice_internal {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDiceLetter(char16_t c) { return c == u'd' || c == u'D'; }

// A nesting guard for the recursive descent.
class Nest {
 public:
  Nest(int& depth, int limit) : depth_(depth) {
    if (++depth_ > limit) throw EvalError{};
  }
  ~Nest() { --depth_; }

 private:
  int& depth_;
};

}  // namespace

// Whether ToHalfWidth would change anything; most expressions are plain ASCII.
static bool HasWideCharacters(const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() >= 0x2000) return true;
  }
  return false;
}

void Evaluator::Clean(const QString& text) {
  cleaned_ = HasWideCharacters(text) ? ToHalfWidth(text) : text;
  const qsizetype comment = cleaned_.indexOf(QLatin1Char('\''));
  if (comment >= 0) cleaned_.truncate(comment);
  // Variable definitions, read from the right.
  for (qsizetype colon; (colon = cleaned_.lastIndexOf(QLatin1Char(':'))) >= 0;) {
    const QString definition = cleaned_.mid(colon + 1);
    cleaned_.truncate(colon);
    const qsizetype equals = definition.indexOf(QLatin1Char('='));
    if (equals < 0) throw EvalError{};
    QString value = definition.mid(equals + 1).trimmed();
    if (!ParseDiceNumber(value)) throw EvalError{};
    if (static_cast<int>(variables_.size()) >= kMaxVariables) throw EvalError{};
    variables_.emplace_back(definition.left(equals).trimmed(), std::move(value));
  }
}

void Evaluator::NextToken() {
  const QChar* s = cleaned_.constData();
  const int size = static_cast<int>(cleaned_.size());
  while (pos_ < size && (s[pos_] == u' ' || s[pos_] == u'\u3000')) ++pos_;
  token_start_ = pos_;
  if (pos_ >= size) {
    token_ = Kind::kEos;
    token_length_ = 0;
    return;
  }
  const char16_t c = s[pos_].unicode();
  switch (c) {
    case u'+':
      token_ = Kind::kPlus;
      break;
    case u'-':
      token_ = Kind::kMinus;
      break;
    case u'*':
      token_ = Kind::kTimes;
      break;
    case u'/':
      token_ = Kind::kDivide;
      break;
    case u'^':
      token_ = Kind::kPower;
      break;
    case u'%':
      token_ = Kind::kModulo;
      break;
    case u'\\':
      token_ = Kind::kIntDivide;
      break;
    case u'(':
      token_ = Kind::kOpen;
      break;
    case u')':
      token_ = Kind::kClose;
      break;
    case u',':
      token_ = Kind::kComma;
      break;
    default:
      if (IsDigit(c)) {
        double value = 0;
        while (pos_ < size && IsDigit(s[pos_].unicode())) {
          value = value * 10 + (s[pos_++].unicode() - u'0');
        }
        if (pos_ < size && s[pos_] == u'.') {
          ++pos_;
          // The divisor is a 32-bit integer: a ninth fraction digit overflows it.
          int64_t divisor = 10;
          while (pos_ < size && IsDigit(s[pos_].unicode())) {
            value += static_cast<double>(s[pos_++].unicode() - u'0') / static_cast<double>(divisor);
            divisor *= 10;
            if (divisor > INT32_MAX) throw EvalError{};
          }
        }
        token_ = Kind::kNumber;
        token_value_ = value;
        token_length_ = pos_ - token_start_;
        return;
      }
      if (IsDiceLetter(c)) {
        ++pos_;
        while (pos_ < size && IsLetter(s[pos_].unicode())) ++pos_;
        token_ = Kind::kDice;
        token_length_ = pos_ - token_start_;
        return;
      }
      if (IsLetter(c)) {
        while (pos_ < size && IsLetter(s[pos_].unicode()) && !IsDiceLetter(s[pos_].unicode())) {
          ++pos_;
        }
        token_ = Kind::kIdent;
        token_length_ = pos_ - token_start_;
        return;
      }
      throw EvalError{};
  }
  ++pos_;
  token_length_ = 1;
}

int Evaluator::NewNode(Kind kind, int left, int right) {
  if (static_cast<int>(nodes_.size()) > kMaxNodes) throw EvalError{};
  Node& node = nodes_.emplace_back();
  node.kind = kind;
  node.left = static_cast<uint8_t>(left);
  node.right = static_cast<uint8_t>(right);
  return static_cast<int>(nodes_.size()) - 1;
}

void Evaluator::Expect(Kind kind) {
  if (token_ != kind) throw EvalError{};
  NextToken();
}

int Evaluator::ParseExpression() {
  Nest nest(nesting_, kMaxNesting);
  int left = ParseLevel1();
  while (token_ == Kind::kPlus || token_ == Kind::kMinus) {
    const Kind op = token_;
    NextToken();
    const int right = ParseLevel1();
    left = NewNode(op, left, right);
  }
  return left;
}

int Evaluator::ParseLevel1() {
  int left = ParseLevel2();
  while (token_ == Kind::kIntDivide || token_ == Kind::kModulo) {
    const Kind op = token_;
    NextToken();
    const int right = ParseLevel2();
    left = NewNode(op, left, right);
  }
  return left;
}

int Evaluator::ParseLevel2() {
  int left = ParseLevel3();
  while (token_ == Kind::kTimes || token_ == Kind::kDivide) {
    const Kind op = token_;
    NextToken();
    const int right = ParseLevel3();
    left = NewNode(op, left, right);
  }
  return left;
}

int Evaluator::ParseLevel3() {
  int left = ParseUnary();
  while (token_ == Kind::kPower) {
    NextToken();
    const int right = ParseUnary();
    left = NewNode(Kind::kPower, left, right);
  }
  return left;
}

int Evaluator::ParseUnary() {
  Nest nest(nesting_, kMaxNesting);
  if (token_ == Kind::kMinus) {
    NextToken();
    const int operand = ParseUnary();
    return NewNode(Kind::kNegate, operand);
  }
  return ParseDice();
}

int Evaluator::ParseDice() {
  int left = ParsePrimary();
  while (token_ == Kind::kDice) {
    const QString text = token_length_ != 1 ? cleaned_.mid(token_start_, token_length_)
                         : cleaned_[token_start_] == u'D' ? QStringLiteral("D")
                                                          : QStringLiteral("d");
    NextToken();
    const int right = ParsePrimary();
    left = NewNode(Kind::kDice, left, right);
    nodes_[left].text = text;
  }
  return left;
}

int Evaluator::ParsePrimary() {
  switch (token_) {
    case Kind::kNumber: {
      const double value = token_value_;
      NextToken();
      const int node = NewNode(Kind::kNumber);
      nodes_[node].value = value;
      return node;
    }
    case Kind::kIdent: {
      const QString name = cleaned_.mid(token_start_, token_length_);
      NextToken();
      if (token_ != Kind::kOpen) {
        const int node = NewNode(Kind::kVariable);
        nodes_[node].text = name;
        return node;
      }
      NextToken();
      const int first = ParseExpression();
      int second = 0;
      if (token_ == Kind::kComma) {
        NextToken();
        second = ParseExpression();
      }
      Expect(Kind::kClose);
      const int node = NewNode(Kind::kFunction, first, second);
      nodes_[node].text = name;
      return node;
    }
    case Kind::kOpen: {
      NextToken();
      const int inner = ParseExpression();
      Expect(Kind::kClose);
      nodes_[inner].paren = true;
      return inner;
    }
    default:
      throw EvalError{};
  }
}

}  // namespace quillora::dice_internal
