#include <gtest/gtest.h>

#include "dice/RankJudge.h"
#include "unit/DiceTestSupport.h"

using namespace quillora;
using quillora::test::D6;
using quillora::test::Failed;

namespace {

QString Judge(const QString& text, std::initializer_list<int> faces, int modifier = 0) {
  Random rng = D6(faces);
  return JudgeRank(text, modifier, rng);
}

}  // namespace

TEST(RankJudge, KeepsThreeDiceAndFollowsUp) {
  EXPECT_EQ(Judge("SG:12:3:2:2D+1", {5, 1, 6, 2, 3, 4, 1, 6, 3}, 1),
            "SG:12:3:2:2D+1=([1,2,3] 5,6)=評価:A/2D+1+2D=(4,1,6,3)+1+1=16");
  // Rolling order without a modifier.
  EXPECT_EQ(Judge("SG:10:0:0", {1, 2, 2}), "SG:10:0:0=(1,2,2)=評価:S");
  // Modifier 1 and below sort the highest first.
  EXPECT_EQ(Judge("SG:12:3:1", {1, 6, 3, 2}), "SG:12:3:1=([6,3,2] 1)=評価:C");
  EXPECT_EQ(Judge("SG:12:3:-2", {1, 2, 3, 6, 5}), "SG:12:3:-2=([6,5,3] 2,1)=評価:D");
}

TEST(RankJudge, RanksFromTheTable) {
  // Three dice of 2 or less are S whatever the target; three of 5 or more are E.
  EXPECT_EQ(Judge("SG:10:0:0", {2, 1, 2}), "SG:10:0:0=(2,1,2)=評価:S");
  EXPECT_EQ(Judge("SG:15:6:0", {5, 6, 5}), "SG:15:6:0=(5,6,5)=評価:E");
  EXPECT_EQ(Judge("SG:15:6:0:1D+1", {5, 6, 5}), "SG:15:6:0:1D+1=(5,6,5)=評価:E/判定失敗");
  // Margins beyond the table's ends are clamped to -3 and 7.
  EXPECT_EQ(Judge("SG:15:0:0", {1, 1, 3}), "SG:15:0:0=(1,1,3)=評価:B");
  EXPECT_EQ(Judge("SG:10:6:0", {4, 6, 6}), "SG:10:6:0=(4,6,6)=評価:E");
  EXPECT_EQ(Judge("SG:10:2:0", {4, 3, 3}), "SG:10:2:0=(4,3,3)=評価:C");
  // A target of 20 counts as 15, a modifier of 5 as 3 (six dice).
  EXPECT_EQ(Judge("SG:20:0:5", {4, 6, 4, 6, 4, 6}), "SG:20:0:5=([4,4,4] 6,6,6)=評価:D");
  EXPECT_EQ(Judge("SG:3:3:0", {4, 3, 3}), "SG:3:3:0=(4,3,3)=評価:C");
}

TEST(RankJudge, FollowUpForms) {
  // Rank C with no dice of its own: the brackets stay empty.
  EXPECT_EQ(Judge("SG:12:3:0:0", {3, 4, 5}, -2), "SG:12:3:0:0=(3,4,5)=評価:C/+0D=()-2=-2");
  EXPECT_EQ(Judge("SG:12:3:0:+2", {2, 3, 4, 5}), "SG:12:3:0:+2=(2,3,4)=評価:B/+2+1D=(5)+2=7");
  EXPECT_EQ(Judge("SG:12:3:0:", {2, 3, 4, 5}), "SG:12:3:0:=(2,3,4)=評価:B/+1D=(5)=5");
  EXPECT_EQ(Judge("SG:12:3:0:1D+0", {2, 3, 4, 5, 6}),
            "SG:12:3:0:1D+0=(2,3,4)=評価:B/1D+0+1D=(5,6)=11");
  // The number after D keeps its sign and every digit.
  EXPECT_EQ(Judge("SG:10:3:0:2d-10", {3, 4, 5, 6}),
            "SG:10:3:0:2d-10=(3,4,5)=評価:D/2D-10-1D=(6)-10=-4");
  EXPECT_EQ(Judge("SG:12:3:0:12D+1", {1, 2, 4}).section('/', 1, 1).left(8), "12D+1+1D");
}

TEST(RankJudge, MalformedTextGivesTheErrorText) {
  EXPECT_EQ(Judge("SG:12:3", {}), Failed("SG:12:3"));
  EXPECT_EQ(Judge("SG:12:7:0", {}), Failed("SG:12:7:0"));
  EXPECT_EQ(Judge("SG:12:-1:0", {}), Failed("SG:12:-1:0"));
  EXPECT_EQ(Judge("SG:x:1:0", {}), Failed("SG:x:1:0"));
  EXPECT_EQ(Judge("SG:12:1:", {}), Failed("SG:12:1:"));
  EXPECT_EQ(Judge("SG:99999:1:0", {}), Failed("SG:99999:1:0"));
  EXPECT_EQ(Judge("SG:12:3:0:XD+1", {}), Failed("SG:12:3:0:XD+1"));
  EXPECT_EQ(Judge("SG:12:3:0:D+1", {}), Failed("SG:12:3:0:D+1"));
  EXPECT_EQ(Judge("SG:12:3:0:2D+x", {}), Failed("SG:12:3:0:2D+x"));
  EXPECT_EQ(Judge("SG:12:3:0:99999D+1", {}), Failed("SG:12:3:0:99999D+1"));
  // The comment goes and the text is trimmed before anything else.
  EXPECT_EQ(Judge("  SG:12:3:0 'note: 1  ", {3, 4, 5}), "SG:12:3:0=(3,4,5)=評価:C");
  EXPECT_EQ(Judge("SG:12 'x", {}), Failed("SG:12"));
}
