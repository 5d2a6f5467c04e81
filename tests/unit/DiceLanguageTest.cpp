#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "dice/DiceLanguage.h"
#include "dice/DiceNumber.h"
#include "unit/DiceTestSupport.h"

using namespace quillora;
using quillora::test::D6;
using quillora::test::Face;
using quillora::test::Failed;

namespace {

// Evaluates with no option sets and the given six-sided faces.
QString Eval(const QString& text, std::initializer_list<int> faces = {}) {
  Random rng = faces.size() ? D6(faces) : Random(1);
  return EvaluateDiceText(text, DiceOptions(), rng);
}

}  // namespace

TEST(DiceLanguage, ShowsEveryStageOfTheDefaultExpressions) {
  EXPECT_EQ(Eval("3D6+3", {4, 6, 1}), "3D6+3 = (4+6+1)+3 = 14");
  EXPECT_EQ(Eval("xD6+3 : x=5", {1, 2, 3, 4, 5}), "xD6+3  = 5D6+3 = (1+2+3+4+5)+3 = 18");
  // 1D10 rolls from the same generator: u = 0.65 gives 7.
  Random rng = Random::Scripted({0.65, Face(3), Face(5)});
  EXPECT_EQ(EvaluateDiceText("(1D10+2)*2D6", DiceOptions(), rng),
            "(1D10+2)*2D6 = (7+2)*(3+5) = 72");
}

TEST(DiceLanguage, StagesOfSimpleAndNestedTerms) {
  EXPECT_EQ(Eval("1+2"), "1+2 = 3");
  EXPECT_EQ(Eval("5"), "5");
  EXPECT_EQ(Eval("(5)"), "(5)");
  EXPECT_EQ(Eval("1.50"), "1.50");
  EXPECT_EQ(Eval("-5"), "-5 = -5");
  EXPECT_EQ(Eval("1D6", {4}), "1D6 = 4 = 4");
  EXPECT_EQ(Eval("2D6", {4, 6}), "2D6 = (4+6) = 10");
  EXPECT_EQ(Eval("(1+2)D6", {1, 5, 3}), "(1+2)D6 = 3D6 = (1+5+3) = 9");
  EXPECT_EQ(Eval("(1D6)D6", {2, 3, 4}), "(1D6)D6 = (2)D6 = 2D6 = (3+4) = 7");
  EXPECT_EQ(Eval("1D6D6", {2, 3, 4}), "1D6D6 = 2D6 = 2D6 = (3+4) = 7");
  EXPECT_EQ(Eval("2D6^2", {2, 3}), "2D6^2 = (2+3)^2 = 25");
  EXPECT_EQ(Eval("abs(1D6-7)", {2}), "abs(1D6-7) = abs(2-7) = 5");
  EXPECT_EQ(Eval("max(2,3)"), Failed("max(2,3)"));
  // Lower-case d and a set name that does not exist roll ordinary dice.
  EXPECT_EQ(Eval("2d6", {1, 2}), "2d6 = (1+2) = 3");
  EXPECT_EQ(Eval("2Dq6", {1, 2}), "2Dq6 = (1+2) = 3");
}

TEST(DiceLanguage, ZeroOrNegativeCountsRollNothing) {
  EXPECT_EQ(Eval("0D6"), "0D6 =  = 0");
  EXPECT_EQ(Eval("(0-2)D6+1"), "(0-2)D6+1 = -2D6+1 = +1 = 1");
}

TEST(DiceLanguage, OperatorPrecedenceAndArithmetic) {
  EXPECT_EQ(Eval("-2^2"), "-2^2 = 4");
  EXPECT_EQ(Eval("2^-1"), "2^-1 = 0.5");
  EXPECT_EQ(Eval("2^3^2"), "2^3^2 = 64");
  EXPECT_EQ(Eval("7\\2"), "7\\2 = 3");
  EXPECT_EQ(Eval("7%2"), "7%2 = 1");
  EXPECT_EQ(Eval("-7\\2"), "-7\\2 = -3");
  EXPECT_EQ(Eval("-7%2"), "-7%2 = -1");
  EXPECT_EQ(Eval("7\\2*2"), "7\\2*2 = 1");  // \ binds more loosely than *
  EXPECT_EQ(Eval("1+7%4*2"), "1+7%4*2 = 8");
  EXPECT_EQ(Eval("10-2-3"), "10-2-3 = 5");
  // \ and % round their operands half to even first.
  EXPECT_EQ(Eval("2.5\\1"), "2.5\\1 = 2");
  EXPECT_EQ(Eval("3.5\\1"), "3.5\\1 = 4");
  EXPECT_EQ(Eval("int(-1.5)+roff(2.5)+opnt(-1.5)+rpnt(1.2)+rpnt(3)+sqr(16)+ABS(-1)"),
            "int(-1.5)+roff(2.5)+opnt(-1.5)+rpnt(1.2)+rpnt(3)+sqr(16)+ABS(-1) = 10");
  // A second argument is evaluated and ignored, and printing shows only the first.
  EXPECT_EQ(Eval("abs(-2,5)"), "abs(-2,5) = 2");
  EXPECT_EQ(Eval("abs(-2,1/0)"), Failed("abs(-2,1/0)"));
}

TEST(DiceLanguage, PrintsNumbersInTheGeneralForm) {
  EXPECT_EQ(Eval("1/3"), "1/3 = 0.333333333333333");
  EXPECT_EQ(Eval("2/3*3"), "2/3*3 = 2");  // the operand reads back rounded to 15 digits
  EXPECT_EQ(Eval("0.1+0.2"), "0.1+0.2 = 0.3");
  EXPECT_EQ(Eval("10^15"), "10^15 = 1E+15");
  EXPECT_EQ(Eval("10^14*9.99"), "10^14*9.99 = 999000000000000");
  EXPECT_EQ(Eval("1/100000"), "1/100000 = 1E-05");
  EXPECT_EQ(Eval("1/10000"), "1/10000 = 0.0001");
  EXPECT_EQ(Eval("0*-1"), "0*-1 = 0");
  EXPECT_EQ(Eval("1.12345678*1"), "1.12345678*1 = 1.12345678");
}

TEST(DiceLanguage, VariablesAreReadFromTheRight) {
  EXPECT_EQ(Eval("x+1 : x=1 : x=2"), "x+1  = 3");
  EXPECT_EQ(Eval("xD6 : x = 02", {3, 4}), "xD6  = 02D6 = (3+4) = 7");
  EXPECT_EQ(Eval("ab*c:ab=1.5:c=-2"), "ab*c = -3");
  EXPECT_EQ(Eval("x*2 : x=1e2"), "x*2  = 200");
  // Names are case-sensitive; d starts a dice term; definitions need "=" and a number.
  EXPECT_EQ(Eval("X+1 : x=1"), Failed("X+1 "));
  EXPECT_EQ(Eval("d+1 : d=1"), Failed("d+1 "));
  EXPECT_EQ(Eval("x+1 : x"), Failed("x+1 "));
  EXPECT_EQ(Eval("x+1 : x=five"), Failed("x+1 "));
  EXPECT_EQ(Eval("x+1 : x="), Failed("x+1 "));
  EXPECT_EQ(Eval("y+1 : x=1"), Failed("y+1 "));
}

TEST(DiceLanguage, CleansWidthAndComments) {
  EXPECT_EQ(Eval(""), "");
  EXPECT_EQ(Eval("'just a note"), Failed(""));
  EXPECT_EQ(Eval("2D6 'fire: x", {1, 2}), "2D6  = (1+2) = 3");
  EXPECT_EQ(Eval("1+2 'note: x=oops"), "1+2  = 3");
  EXPECT_EQ(Eval("１＋２＊３"), "1+2*3 = 7");
  EXPECT_EQ(Eval("ｘＤ６：ｘ＝１", {5}), "xD6 = 1D6 = 5 = 5");
  EXPECT_EQ(Eval("7￥2"), "7\\2 = 3");
  EXPECT_EQ(Eval("1+2　’全角のコメント"), "1+2  = 3");
  EXPECT_EQ(Eval("1 + 2"), "1 + 2 = 3");
}

TEST(DiceLanguage, LexerAndParserFailures) {
  EXPECT_EQ(Eval("1.5"), "1.5");
  EXPECT_EQ(Eval("1.12345678"), "1.12345678");
  EXPECT_EQ(Eval("1.123456789"), Failed("1.123456789"));
  EXPECT_EQ(Eval("1+#"), Failed("1+#"));
  EXPECT_EQ(Eval("1+"), Failed("1+"));
  EXPECT_EQ(Eval("(1+2"), Failed("(1+2"));
  EXPECT_EQ(Eval("abs(1"), Failed("abs(1"));
  EXPECT_EQ(Eval("2D"), Failed("2D"));
  EXPECT_EQ(Eval("D6"), Failed("D6"));
  EXPECT_EQ(Eval("2D-1"), Failed("2D-1"));
  EXPECT_EQ(Eval("1\t+2"), Failed("1\t+2"));
  // Tokens after one whole expression are ignored but echoed.
  EXPECT_EQ(Eval("1+2)"), "1+2) = 3");
  EXPECT_EQ(Eval("1+2 3 #"), "1+2 3 # = 3");
}

TEST(DiceLanguage, ArithmeticFaultsFail) {
  for (const char* text :
       {"1/0", "1\\0", "1%0", "sqr(-1)", "2^10000", "0^-1", "(-8)^0.5", "-2147483648\\-1",
        "3000000000\\1", "10^308*10", "99999999D6", "1D(10^10)", "1001D6", "nope(1)", "1D6+x"}) {
    const QString expr = QString::fromUtf8(text);
    EXPECT_EQ(Eval(expr), Failed(expr));
  }
  EXPECT_EQ(Eval("-2147483648%-1"), "-2147483648%-1 = 0");
  EXPECT_EQ(Eval("1000D1"), "1000D1 = (" + QString("1+").repeated(999) + "1) = 1000");
}

TEST(DiceLanguage, NodeTableHoldsExactly255Nodes) {
  const QString ones = QString("1+").repeated(127) + "1";  // 128 numbers, 127 operators
  EXPECT_EQ(Eval(ones), ones + " = 128");
  EXPECT_EQ(Eval("-" + ones), Failed("-" + ones));
  // Parentheses make no nodes, but their depth is bounded.
  const QString deep = QString("(").repeated(100) + "1" + QString(")").repeated(100);
  EXPECT_EQ(Eval(deep), deep);
  const QString too_deep = QString("(").repeated(100000) + "1" + QString(")").repeated(100000);
  EXPECT_EQ(Eval(too_deep), Failed(too_deep));
  const QString negations = QString("-").repeated(100000) + "1";
  EXPECT_EQ(Eval(negations), Failed(negations));
}

TEST(DiceLanguage, RandomDiceStayInRange) {
  Random rng(12345);
  for (int i = 0; i < 200; ++i) {
    const QString out = EvaluateDiceText("1D6", DiceOptions(), rng);
    const int face = out.section(' ', -1).toInt();
    ASSERT_GE(face, 1);
    ASSERT_LE(face, 6);
  }
}

TEST(DiceLanguage, RandomInputsAlwaysEndInAResultOrTheErrorText) {
  // Token soup with every option-set flag combination the settings file could hold.
  const QStringList pieces = {"1", "6",    "0",    "2.5",  "10", "D",    "d",   "DA", "DB", "DQ",
                              "+", "-",    "*",    "/",    "^",  "%",    "\\",  "(",  ")",  ",",
                              "x", "abs(", "sqr(", "int(", " ",  ":x=3", ":y=", "'",  "＋", "１"};
  Random pick(2024);
  Random rng(7);
  for (int i = 0; i < 3000; ++i) {
    DiceOptions options;
    options.RegisterDiceOptionSet("A", static_cast<int32_t>(pick.Between(0, 8191)), "");
    options.RegisterDiceOptionSet("B", static_cast<int32_t>(pick.Between(0, 8191)), "");
    QString text;
    const int length = static_cast<int>(pick.Between(1, 12));
    for (int k = 0; k < length; ++k) text += pieces[pick.Between(0, pieces.size() - 1)];
    const QString out = EvaluateDiceText(text, options, rng);
    ASSERT_FALSE(out.isEmpty()) << text.toStdString();
    if (out.endsWith(QStringLiteral("　：　評価できません"))) continue;
    // A successful evaluation with stages ends in its value.
    const qsizetype last = out.lastIndexOf(QLatin1String(" = "));
    if (last >= 0) {
      ASSERT_TRUE(ParseDiceNumber(QStringView(out).mid(last + 3)).has_value())
          << text.toStdString() << " -> " << out.toStdString();
    }
  }
}
