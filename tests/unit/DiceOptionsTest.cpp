#include <gtest/gtest.h>

#include "dice/DiceLanguage.h"
#include "dice/DiceOptions.h"
#include "unit/DiceTestSupport.h"

using namespace quillora;
using quillora::test::D6;
using quillora::test::Face;
using quillora::test::Failed;

namespace {

// Evaluates with option set A = flags and the given six-sided faces.
QString RollA(int32_t flags, const QString& text, std::initializer_list<int> faces) {
  DiceOptions options;
  options.RegisterDiceOptionSet("a", flags, QString());
  Random rng = D6(faces);
  return EvaluateDiceText(text, options, rng);
}

// The same with a seeded generator, for sets whose dice always meet their condition.
QString RollSeeded(int32_t flags, const QString& text) {
  DiceOptions options;
  options.RegisterDiceOptionSet("A", flags, QString());
  Random rng(99);
  return EvaluateDiceText(text, options, rng);
}

}  // namespace

TEST(DiceOptions, RegistersAndFindsSetsByUpperCaseName) {
  DiceOptions options;
  EXPECT_TRUE(options.RegisterDiceOptionSet("a", 6, "first"));
  EXPECT_TRUE(options.RegisterDiceOptionSet("A", 7, "second"));  // replaces
  EXPECT_TRUE(options.RegisterDiceOptionSet("ab", 1, ""));
  ASSERT_EQ(options.Sets().size(), 2u);
  EXPECT_EQ(options.FindDiceOptionSet("a").flags, 7);
  EXPECT_EQ(options.FindDiceOptionSet("a").comment, "second");
  EXPECT_EQ(options.FindDiceOptionSet("AB").flags, 1);
  EXPECT_EQ(options.FindDiceOptionSet("Q").flags, 0);
  EXPECT_TRUE(options.FindDiceOptionSet("Q").comment.isEmpty());
  EXPECT_EQ(options.FindDiceOptionSet("").flags, 0);
  EXPECT_FALSE(options.RegisterDiceOptionSet("", 3, ""));

  DiceOptions full;
  for (int i = 0; i < DiceOptions::kMaxSets; ++i) {
    ASSERT_TRUE(full.RegisterDiceOptionSet(QString("S%1").arg(i), i, ""));
  }
  EXPECT_FALSE(full.RegisterDiceOptionSet("ONEMORE", 1, ""));
  EXPECT_TRUE(full.RegisterDiceOptionSet("s3", 42, ""));  // replacing still works
  EXPECT_EQ(full.FindDiceOptionSet("S3").flags, 42);
}

TEST(DiceOptions, DecodesEachGroupOfTheFlagsWord) {
  const DiceFlags plain = DiceFlags::Decode(0);
  EXPECT_EQ(plain.lowest_face, 1);
  EXPECT_FALSE(plain.reroll);
  EXPECT_EQ(plain.kind, 0);
  EXPECT_EQ(plain.condition, 0);
  EXPECT_EQ(plain.added, 0);
  EXPECT_EQ(plain.result, 0);
  EXPECT_EQ(DiceFlags::Decode(1).lowest_face, 0);
  EXPECT_EQ(DiceFlags::Decode(4 | 8).kind, 8);
  EXPECT_EQ(DiceFlags::Decode(16 | 32).condition, 32);
  EXPECT_EQ(DiceFlags::Decode(0x800).condition, 2048);
  EXPECT_EQ(DiceFlags::Decode(0x810).condition, 2064);
  EXPECT_EQ(DiceFlags::Decode(0x820).condition, 2080);
  EXPECT_TRUE(DiceFlags::Decode(64).once);
  EXPECT_EQ(DiceFlags::Decode(128 | 256).added, 256);
  EXPECT_EQ(DiceFlags::Decode(0x600).result, 1536);
  EXPECT_EQ(DiceFlags::Decode(1024).result, 1024);
  EXPECT_EQ(DiceFlags::Decode(4096 | 512).result, 4096);
}

TEST(DiceOptions, ConvertsToAndFromTheSettingsLetters) {
  std::array<DiceOptSetting, 26> stored{};
  stored[0] = {6, "open-ended"};
  stored['C' - 'A'] = {0, "comment only"};
  stored['D' - 'A'] = {2, "never a set"};
  const DiceOptions options = DiceOptions::FromSettings(stored);
  EXPECT_EQ(options.Sets().size(), 2u);
  EXPECT_EQ(options.FindDiceOptionSet("A").flags, 6);
  EXPECT_EQ(options.FindDiceOptionSet("C").comment, "comment only");
  EXPECT_EQ(options.FindDiceOptionSet("D").flags, 0);

  std::array<DiceOptSetting, 26> back{};
  back['Z' - 'A'] = {9, "stale"};
  options.ToSettings(back);
  EXPECT_EQ(back[0], (DiceOptSetting{6, "open-ended"}));
  EXPECT_EQ(back['C' - 'A'], (DiceOptSetting{0, "comment only"}));
  EXPECT_FALSE(back['D' - 'A'].Exists());
  EXPECT_FALSE(back['Z' - 'A'].Exists());
}

TEST(DiceOptionSets, LowestFaceAndCountingKinds) {
  DiceOptions options;
  options.RegisterDiceOptionSet("A", 1, "");
  Random zero_based = Random::Scripted({Face(0, 6, 0), Face(5, 6, 0), Face(2, 6, 0)});
  EXPECT_EQ(EvaluateDiceText("3DA6", options, zero_based), "3DA6 = (0+5+2) = 7");

  EXPECT_EQ(RollA(4, "4DA4", {2, 5, 6, 1}), "4DA4 = (2,5,6,1) = 2");
  EXPECT_EQ(RollA(8, "3DA2", {2, 5, 1}), "3DA2 = (2,5,1) = 2");
  EXPECT_EQ(RollA(4 | 8, "3DA2", {2, 5, 1}), "3DA2 = (2,5,1) = 2");
  EXPECT_EQ(RollA(4, "1DA5", {6}), "1DA5 = 6 = 1");
  // Counting dice are six-sided whatever the term says; lower case names the same set.
  EXPECT_EQ(RollA(4, "2da20", {6, 6}), "2da20 = (6,6) = 0");
}

TEST(DiceOptionSets, SingleDieRerolls) {
  EXPECT_EQ(RollA(2, "2DA6", {6, 3, 6, 2}), "2DA6 = (6+3+6+2) = 17");
  EXPECT_EQ(RollA(16, "2DA6", {1, 1}), "2DA6 = (1+1) = 2");  // rerolls off
  EXPECT_EQ(RollA(2 | 16, "2DA6", {1, 4, 2}), "2DA6 = (1+4+2) = 7");
  EXPECT_EQ(RollA(2 | 512, "2DA6", {6, 2, 6, 1}), "2DA6 = (6+2-6-1) = 1");
  EXPECT_EQ(RollA(2 | 32 | 1024, "2DA6", {1, 2, 4}), "2DA6 = (1+2-4) = -1");
  EXPECT_EQ(RollA(2 | 32 | 1024, "2DA6", {6, 1, 4, 3}), "2DA6 = (6+1+4-3) = 8");
  EXPECT_EQ(RollA(2 | 32 | 1536, "2DA6", {6, 2, 4}), "2DA6 = (6+2-4) = 4");
  EXPECT_EQ(RollA(2 | 32 | 1536, "2DA6", {1, 2, 4}), "2DA6 = (1+2+4) = 7");
  // Once: only the term's own dice may trigger.
  EXPECT_EQ(RollA(2 | 64, "1DA6", {6, 6, 6}), "1DA6 = (6+6) = 12");
  // One set: as many dice as the term's count.
  EXPECT_EQ(RollA(2 | 128, "3DA6", {6, 1, 1, 2, 2, 2}), "3DA6 = (6+1+1+2+2+2) = 14");
  // Pairs the window never makes follow the same rules.
  EXPECT_EQ(RollA(2 | 1024, "1DA6", {6, 3}), "1DA6 = (6+3) = 9");
  EXPECT_EQ(RollA(2 | 16 | 1024, "1DA6", {1, 3}), "1DA6 = (1-3) = -2");
}

TEST(DiceOptionSets, WholeExpressionRerolls) {
  EXPECT_EQ(RollA(2 | 256, "1DA6+1", {6, 3}), "1DA6+1 = 6+1+(3+1) = 11");
  EXPECT_EQ(RollA(2 | 256, "1DA6+1", {6, 6, 2}), "1DA6+1 = 6+1+(6+1)+(2+1) = 17");
  EXPECT_EQ(RollA(2 | 64 | 256, "1DA6+1", {6, 6}), "1DA6+1 = 6+1+(6+1) = 14");
  EXPECT_EQ(RollA(2 | 256 | 512, "1DA6+1", {6, 3}), "1DA6+1 = 6+1-(3+1) = 3");
  EXPECT_EQ(RollA(2 | 2048 | 256, "2DA6", {6, 6, 1, 2}), "2DA6 = (6+6)+((1+2)) = 15");
  // A copy made while an inner term rolls still waits for its outer term's stage.
  EXPECT_EQ(RollA(2 | 256, "(1DA6)D6", {6, 1, 2, 3, 4, 6, 1, 2, 3}),
            "(1DA6)D6 = (6)D6+((1)D6) = 6D6+(1D6) = (2+3+4+6+1+2)+(3) = 21");
}

TEST(DiceOptionSets, ExplodeInPlace) {
  EXPECT_EQ(RollA(4096 | 4, "3DA5", {6, 6, 3, 2, 4}), "3DA5 = (15:6+6+3,2,4) = 1");
  EXPECT_EQ(RollA(4096 | 4 | 64, "3DA5", {6, 6, 2, 4}), "3DA5 = (12:6+6,2,4) = 1");
  EXPECT_EQ(RollA(4096 | 4 | 16, "3DA5", {1, 1, 5, 3, 4}), "3DA5 = (7:1+1+5,3,4) = 1");
  EXPECT_EQ(RollA(4096, "2DA6", {6, 2, 3}), "2DA6 = (8:6+2+3) = 11");
  // Explode wins over the reroll result bits and never rerolls a whole die.
  EXPECT_EQ(RollA(4096 | 2 | 512, "1DA6", {6, 1}), "1DA6 = (7:6+1) = 7");
  EXPECT_EQ(RollA(4096 | 2 | 2048, "2DA6", {6, 6}), "2DA6 = (6+6) = 12");
}

TEST(DiceOptionSets, AllDiceConditions) {
  EXPECT_EQ(RollA(2 | 2048, "2DA6", {6, 6, 3}), "2DA6 = (6+6+3) = 15");
  EXPECT_EQ(RollA(2 | 2048, "2DA6", {6, 6, 6, 2}), "2DA6 = (6+6+6+2) = 20");
  EXPECT_EQ(RollA(2 | 2048 | 64, "2DA6", {6, 6, 6, 6}), "2DA6 = (6+6+6) = 18");
  EXPECT_EQ(RollA(2 | 2048 | 128, "2DA6", {6, 6, 1, 2}), "2DA6 = (6+6+1+2) = 15");
  EXPECT_EQ(RollA(2 | 2048 | 512, "2DA6", {6, 6, 5}), "2DA6 = (6+6-5) = 7");
  EXPECT_EQ(RollA(2 | 2064, "2DA6", {1, 1, 4}), "2DA6 = (1+1+4) = 6");
  EXPECT_EQ(RollA(2 | 2064, "2DA6", {1, 2}), "2DA6 = (1+2) = 3");
  EXPECT_EQ(RollA(2 | 2080 | 1024, "2DA6", {1, 1, 4}), "2DA6 = (1+1-4) = -2");
  EXPECT_EQ(RollA(2 | 2080 | 1024, "2DA6", {6, 6, 4}), "2DA6 = (6+6+4) = 16");
  EXPECT_EQ(RollA(2 | 2080 | 1536, "2DA6", {1, 1, 4}), "2DA6 = (1+1+4) = 6");
  // No dice, nothing to test.
  EXPECT_EQ(RollA(2 | 2048, "0DA6", {6}), "0DA6 =  = 0");
}

TEST(DiceOptionSets, SetsWhoseEveryRollRerollsEndWithTheErrorText) {
  EXPECT_EQ(RollSeeded(2, "1DA1"), Failed("1DA1"));
  EXPECT_EQ(RollSeeded(1 | 2 | 16, "1DA1"), Failed("1DA1"));
  EXPECT_EQ(RollSeeded(2 | 16, "1DA0"), Failed("1DA0"));
  EXPECT_EQ(RollSeeded(2 | 32 | 1024, "1DA1"), Failed("1DA1"));
  EXPECT_EQ(RollSeeded(2 | 128, "5DA1"), Failed("5DA1"));
  EXPECT_EQ(RollSeeded(2 | 2080 | 1024, "3DA1"), Failed("3DA1"));
  EXPECT_EQ(RollSeeded(2 | 256, "1DA1"), Failed("1DA1"));
  EXPECT_EQ(RollSeeded(2 | 2048 | 256, "2DA1+1D1"), Failed("2DA1+1D1"));
  // Once keeps them finite.
  EXPECT_EQ(RollSeeded(1 | 2 | 16 | 64, "1DA1"), "1DA1 = (0+0) = 0");
  EXPECT_EQ(RollSeeded(2 | 64 | 256, "1DA1"), "1DA1 = 1+(1) = 2");
  // A scripted generator that explodes forever is cut off too.
  EXPECT_EQ(RollA(4096 | 4, "1DA5", {6}), Failed("1DA5"));
}
