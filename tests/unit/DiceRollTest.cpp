#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include "dice/DiceRoll.h"
#include "unit/DiceTestSupport.h"

using namespace quillora;
using quillora::test::D6;

TEST(DiceRoll, ModifierLabelIsFullWidthAndSigned) {
  EXPECT_EQ(DiceModifierLabel(0), "＋０");
  EXPECT_EQ(DiceModifierLabel(-3), "－３");
  EXPECT_EQ(DiceModifierLabel(12), "＋１２");
}

TEST(DiceRoll, InsertsTheModifierBeforeTheVariables) {
  EXPECT_EQ(InsertDiceModifier("xD6+3 : x=5", 2), "xD6+3 +2: x=5");
  EXPECT_EQ(InsertDiceModifier("3D6", -3), "3D6-3");
  EXPECT_EQ(InsertDiceModifier("3D6 : x=1 : y=2", 1), "3D6 +1: x=1 : y=2");
  EXPECT_EQ(InsertDiceModifier("xD6：x=5", 1), "xD6+1:x=5");  // a full-width colon counts
  EXPECT_EQ(InsertDiceModifier("3D6", 0), "3D6");
  // A modifier must not vanish into a comment.
  EXPECT_EQ(InsertDiceModifier("3D6 'fire: bolt", 2), "3D6 +2'fire: bolt");
  EXPECT_EQ(InsertDiceModifier("xD6 : x=2 'note", 2), "xD6 +2: x=2 'note");
}

TEST(DiceRoll, RollsLikeTheRollButton) {
  const DiceOptions none;
  Random rng = D6({1, 2, 3, 4, 5});
  EXPECT_EQ(RollDiceExpression("xD6+3 : x=5", 2, none, rng),
            "xD6+3 +2 = 5D6+3+2 = (1+2+3+4+5)+3+2 = 20");
  Random rng2 = D6({3, 4});
  EXPECT_EQ(RollDiceExpression("2D6", 0, none, rng2), "2D6 = (3+4) = 7");
  // Rank judgement texts keep the modifier for themselves, whatever their case or width.
  Random rng3 = D6({3, 4, 5});
  EXPECT_EQ(RollDiceExpression("sg:12:3:0:0", 2, none, rng3),
            "sg:12:3:0:0=(3,4,5)=評価:C/+0D=()+2=2");
  Random rng4 = D6({3, 4, 5});
  EXPECT_EQ(RollDiceExpression("ＳＧ：１２：３：０", 0, none, rng4), "SG:12:3:0=(3,4,5)=評価:C");
  EXPECT_TRUE(IsRankJudgeText("Sg:1"));
  EXPECT_FALSE(IsRankJudgeText("SG1:"));
  EXPECT_EQ(RollDiceExpression("", 3, none, rng4), "");
}

namespace {

QString DiceTool() {
  return QFileInfo(QCoreApplication::applicationDirPath() + "/../quillora-dice").absoluteFilePath();
}

struct ToolRun {
  int exit_code = -1;
  QString out;
  QString err;
};

ToolRun RunTool(const QStringList& args, const QByteArray& input = {}) {
  QProcess process;
  process.start(DiceTool(), args);
  EXPECT_TRUE(process.waitForStarted(10000));
  if (!input.isEmpty()) process.write(input);
  process.closeWriteChannel();
  EXPECT_TRUE(process.waitForFinished(30000));
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

TEST(DiceTool, RollsArgumentsAndStandardInputLikeTheWindow) {
  if (!QFileInfo::exists(DiceTool())) GTEST_SKIP() << "quillora-dice not built";
  DiceOptions options;
  options.RegisterDiceOptionSet("A", 4, "count");
  Random rng(7);
  QString expected;
  for (const char* e : {"2D6+3", "-2^2", "5DA5", "ＳＧ：１２：３：１：１Ｄ＋１"}) {
    expected += RollDiceExpression(QString::fromUtf8(e), -1, options, rng) + "\n";
  }
  const ToolRun run = RunTool({"--seed", "7", "--modifier=-1", "--set", "a=4,count", "2D6+3",
                               "-2^2", "5DA5", "ＳＧ：１２：３：１：１Ｄ＋１"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, expected);
  EXPECT_TRUE(run.out.contains("評価:")) << run.out.toStdString();

  Random rng2(11);
  QString expected2;
  for (const char* e : {"1D6", "", "xD6 : x=2"}) {
    expected2 += RollDiceExpression(QString::fromUtf8(e), 0, DiceOptions(), rng2) + "\n";
  }
  const ToolRun piped = RunTool({"--seed=11"}, "1D6\r\n\nxD6 : x=2\n");
  EXPECT_EQ(piped.exit_code, 0);
  EXPECT_EQ(piped.out, expected2);
}

TEST(DiceTool, RejectsBadOptionsWithUsage) {
  if (!QFileInfo::exists(DiceTool())) GTEST_SKIP() << "quillora-dice not built";
  for (const QStringList& args :
       {QStringList{"--bogus"}, QStringList{"--seed"}, QStringList{"--seed", "x", "1D6"},
        QStringList{"--modifier", "40000"}, QStringList{"--set", "D=2"},
        QStringList{"--set", "A=two"}}) {
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.exit_code, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(run.err.contains("Usage")) << args.join(' ').toStdString();
    EXPECT_TRUE(run.out.isEmpty());
  }
  const ToolRun help = RunTool({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_TRUE(help.out.startsWith("Usage: quillora-dice"));
  // "--" ends the options.
  const ToolRun dashed = RunTool({"--seed", "1", "--", "--5"});
  EXPECT_EQ(dashed.out, "--5 = 5\n");
}
