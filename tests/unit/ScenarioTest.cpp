#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "core/Instance.h"
#include "dice/DiceLanguage.h"
#include "net/PacketCodec.h"
#include "scenario/Scenario.h"
#include "scenario/ScenarioPlayer.h"
#include "text/Cp932.h"
#include "unit/NetFakes.h"

using namespace quillora;

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// A dice roller that records what it was asked and answers with a fixed text.
struct FakeRoll {
  QStringList asked;
  QString answer = Q("2D6 = [3,4] = 7");
  DiceRoller Evaluator() {
    return [this](const QString& expression) {
      asked.append(expression);
      return answer;
    };
  }
};

LineAction Interpret(const QStringList& lines, int index, FakeRoll* roll = nullptr) {
  return InterpretLine(lines, index, Q("GM"), roll ? roll->Evaluator() : DiceRoller());
}

}  // namespace

TEST(ScenarioPrepare, NormalisesMarkerLinesAndCollectsLabels) {
  const ScenarioText s =
      PrepareScenario(Q("#label：Start\r\n"
                        "＃ＪＵＭＰ：Start\r\n"
                        "＃ｌａｂｅｌ:酒場の場面\r\n"
                        "#jump\r\n"
                        "#bgm：森の音\r\n"
                        "#LABEL:\r\n"
                        "#label:\r\n"
                        "*コメント: そのまま\r\n"
                        "ゴブリン：ｇｏ！\r\n"));
  EXPECT_EQ(s.lines, QStringList({Q("#LABEL:Start"), Q("#JUMP:Start"), Q("#LABEL:酒場の場面"),
                                  Q("#JUMP"), Q("#BGM:森の音"), Q("#LABEL:"), Q("#label:"),
                                  Q("*コメント: そのまま"), Q("ゴブリン：ｇｏ！")}));
  // Empty label names are neither listed nor rewritten.
  EXPECT_EQ(s.labels, QStringList({Q("Start"), Q("酒場の場面")}));
}

TEST(ScenarioPrepare, KeepsColonsInsideMarkerArguments) {
  // The marker's own colon ends the keyword; a later colon of either kind belongs to the name
  // and keeps its form, so label and jump still agree.
  const ScenarioText s = PrepareScenario(Q("#label:場面1：導入\n#jump：場面1：導入\n#jump:a：b"));
  EXPECT_EQ(s.lines,
            QStringList({Q("#LABEL:場面1：導入"), Q("#JUMP:場面1：導入"), Q("#JUMP:a：b")}));
  EXPECT_EQ(s.labels, QStringList({Q("場面1：導入")}));
  const LineAction jump = Interpret(s.lines, 1);
  EXPECT_EQ(jump.kind, LineAction::kJump);
  EXPECT_EQ(FindLabelLine(s.lines, jump.label), 0);
}

TEST(ScenarioPrepare, SplitsAnyLineBreakWithoutInventingALastLine) {
  EXPECT_EQ(PrepareScenario(Q("a\r\nb\nc\rd")).lines, QStringList({"a", "b", "c", "d"}));
  EXPECT_EQ(PrepareScenario(Q("a\r\n\r\nb\r\n")).lines, QStringList({"a", "", "b"}));
  EXPECT_TRUE(PrepareScenario(QString()).lines.isEmpty());
}

TEST(ScenarioFileIo, ReadsCp932AndUtf8AndWritesBackTheSameWay) {
  test::TempHome home;
  const QString text = Q("#LABEL:導入\r\nGM：ようこそ\r\n");

  home.Write("sjis.txt", Cp932::Encode(text));
  ScenarioFile sjis;
  ASSERT_TRUE(LoadScenarioFile(home.File("sjis.txt"), &sjis, nullptr));
  EXPECT_EQ(sjis.encoding, ScenarioEncoding::kCp932);
  EXPECT_EQ(sjis.text.lines, QStringList({Q("#LABEL:導入"), Q("GM：ようこそ")}));
  ScenarioEncoding used{};
  QStringList with_end = sjis.text.lines;
  with_end.append(QString());  // the text box ends with an empty paragraph
  ASSERT_TRUE(SaveScenarioFile(home.File("sjis2.txt"), with_end, sjis.encoding, &used, nullptr));
  EXPECT_EQ(used, ScenarioEncoding::kCp932);
  EXPECT_EQ(home.Read("sjis2.txt"), Cp932::Encode(text));

  home.Write("utf8.txt", text.toUtf8());
  ScenarioFile utf8;
  ASSERT_TRUE(LoadScenarioFile(home.File("utf8.txt"), &utf8, nullptr));
  EXPECT_EQ(utf8.encoding, ScenarioEncoding::kUtf8);
  ASSERT_TRUE(SaveScenarioFile(home.File("utf8b.txt"), with_end, utf8.encoding, &used, nullptr));
  EXPECT_EQ(home.Read("utf8b.txt"), text.toUtf8());

  home.Write("bom.txt", "\xEF\xBB\xBF" + text.toUtf8());
  ScenarioFile bom;
  ASSERT_TRUE(LoadScenarioFile(home.File("bom.txt"), &bom, nullptr));
  EXPECT_EQ(bom.encoding, ScenarioEncoding::kUtf8Bom);
  EXPECT_EQ(bom.text.lines, sjis.text.lines);
  ASSERT_TRUE(SaveScenarioFile(home.File("bom2.txt"), with_end, bom.encoding, &used, nullptr));
  EXPECT_EQ(home.Read("bom2.txt"), "\xEF\xBB\xBF" + text.toUtf8());
}

TEST(ScenarioFileIo, NeverWritesCharactersCp932CannotHoldAsGarbage) {
  test::TempHome home;
  const QStringList lines = {Q("GM：ダイス🎲"), QString()};
  ScenarioEncoding used{};
  ASSERT_TRUE(
      SaveScenarioFile(home.File("emoji.txt"), lines, ScenarioEncoding::kCp932, &used, nullptr));
  EXPECT_EQ(used, ScenarioEncoding::kUtf8Bom);
  ScenarioFile back;
  ASSERT_TRUE(LoadScenarioFile(home.File("emoji.txt"), &back, nullptr));
  EXPECT_EQ(back.text.lines, QStringList({Q("GM：ダイス🎲")}));
}

TEST(ScenarioFileIo, FailsCleanlyForMissingFilesAndFolders) {
  test::TempHome home;
  ScenarioFile file;
  file.text.lines = {"kept"};
  QString error;
  EXPECT_FALSE(LoadScenarioFile(home.File("nope.txt"), &file, &error));
  EXPECT_FALSE(LoadScenarioFile(home.path(), &file, &error));
  EXPECT_EQ(file.text.lines, QStringList({"kept"}));
  EXPECT_FALSE(SaveScenarioFile(home.File("no/such/dir/x.txt"), {"a"}, ScenarioEncoding::kCp932,
                                nullptr, &error));
  EXPECT_FALSE(error.isEmpty());
}

TEST(ScenarioLabels, FindsTheFirstOccurrenceIncludingLongerNames) {
  const QStringList lines = {Q("GM：前置き"), Q("#LABEL:Start2"), Q("#LABEL:Start"),
                             Q("#LABEL:終わり")};
  EXPECT_EQ(FindLabelLine(lines, Q("Start")), 1);
  EXPECT_EQ(FindLabelLine(lines, Q("終わり")), 3);
  EXPECT_EQ(FindLabelLine(lines, Q("start")), -1);
  EXPECT_EQ(FindLabelLine(lines, Q("Missing")), -1);
}

TEST(ScenarioLines, IgnoresEmptyCommentAndCommandLines) {
  FakeRoll roll;
  const QStringList lines = {QString(),    Q("*メモ"),     Q("＊メモ"),      Q("#LABEL:x"),
                             Q("#BGM:森"), Q("#DICE:2D6"), Q("#JUMPX:Start")};
  for (int i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(Interpret(lines, i, &roll).kind, LineAction::kNone) << i;
  }
  EXPECT_EQ(Interpret(lines, -1).kind, LineAction::kNone);
  EXPECT_EQ(Interpret(lines, lines.size()).kind, LineAction::kNone);
  EXPECT_TRUE(roll.asked.isEmpty());  // a dice marker at the start of a line rolls nothing
}

TEST(ScenarioLines, RecognisesJumpsInAnyWidthAndCase) {
  const QStringList lines = {Q("#JUMP:Start"), Q("＃ｊｕｍｐ：酒場"), Q("#JUMP")};
  LineAction a = Interpret(lines, 0);
  EXPECT_EQ(a.kind, LineAction::kJump);
  EXPECT_EQ(a.label, Q("Start"));
  a = Interpret(lines, 1);
  EXPECT_EQ(a.kind, LineAction::kJump);
  EXPECT_EQ(a.label, Q("酒場"));
  a = Interpret(lines, 2);
  EXPECT_EQ(a.kind, LineAction::kJump);
  EXPECT_EQ(a.label, QString());
}

TEST(ScenarioLines, WorksOutTheSpeaker) {
  const QStringList lines = {Q("村長：よく来た"),    Q("ただの地の文"),     Q("/Goblin：Run!"),
                             Q("／ゴブリン:逃げろ"), Q("時刻 12:00：集合"), Q("a:b:c")};
  struct Case {
    QString speaker, text;
  } expected[] = {{Q("村長"), Q("よく来た")},   {Q("GM"), Q("ただの地の文")},
                  {Q("GM/Goblin"), Q("Run!")},  {Q("GM/ゴブリン"), Q("逃げろ")},
                  {Q("時刻 12:00"), Q("集合")}, {Q("a"), Q("b:c")}};
  for (int i = 0; i < lines.size(); ++i) {
    const LineAction a = Interpret(lines, i);
    EXPECT_EQ(a.kind, LineAction::kSpeech) << i;
    EXPECT_EQ(a.speaker, expected[i].speaker) << i;
    EXPECT_EQ(a.text, expected[i].text) << i;
  }
}

TEST(ScenarioLines, JoinsContinuationLinesAsTheyStand) {
  const QStringList lines = {Q("GM：一行目&"), Q("二行目_"), Q("三行目"), Q("四行目")};
  LineAction a = Interpret(lines, 0);
  EXPECT_EQ(a.speaker, Q("GM"));
  EXPECT_EQ(a.text, Q("一行目\r\n二行目三行目"));

  // Full-width markers; the next line is not split at its colon nor rolled.
  FakeRoll roll;
  const QStringList more = {Q("語り＆"), Q("村長：#DICE:1D6＿"), Q("終わり")};
  a = Interpret(more, 0, &roll);
  EXPECT_EQ(a.speaker, Q("GM"));
  EXPECT_EQ(a.text, Q("語り\r\n村長：#DICE:1D6終わり"));
  EXPECT_TRUE(roll.asked.isEmpty());

  // At the end of the text the marker is dropped and nothing more is joined.
  a = Interpret({Q("最後_")}, 0);
  EXPECT_EQ(a.text, Q("最後"));
  a = Interpret({Q("最後&"), QString()}, 0);
  EXPECT_EQ(a.text, Q("最後\r\n"));
}

TEST(ScenarioLines, RollsDiceLinksBeforeLookingForTheSpeaker) {
  FakeRoll roll;
  LineAction a = Interpret({Q("戦士：攻撃 #DICE:2D6+3")}, 0, &roll);
  EXPECT_EQ(roll.asked, QStringList({Q("2D6+3")}));
  EXPECT_EQ(a.speaker, Q("戦士"));
  EXPECT_EQ(a.text, Q("攻撃 2D6 = [3,4] = 7"));

  // The marker in full-width lower case counts; the expression is passed as written.
  roll.asked.clear();
  a = Interpret({Q("命中＃ｄｉｃｅ：２Ｄ６")}, 0, &roll);
  EXPECT_EQ(roll.asked, QStringList({Q("２Ｄ６")}));
  EXPECT_EQ(a.speaker, Q("GM"));
  EXPECT_EQ(a.text, Q("命中2D6 = [3,4] = 7"));

  // A colon in the result becomes the speaker separator when the line had none.
  roll.answer = Q("結果：5");
  a = Interpret({Q("判定 #DICE:1D6")}, 0, &roll);
  EXPECT_EQ(a.speaker, Q("判定 結果"));
  EXPECT_EQ(a.text, Q("5"));

  // A continuation marker at the end of the result still joins the next line.
  roll.answer = Q("7_");
  a = Interpret({Q("GM：#DICE:2D6"), Q("点")}, 0, &roll);
  EXPECT_EQ(a.text, Q("7点"));
}

namespace {

// A participant (index 3, handle GM) whose client link records what it sends.
struct PlayerRig {
  PlayerRig() : instance(home.path(), 7), router(instance), link(0, &writes) {
    SetSessionMode(instance, ModeClient);
    SetOwnIndex(instance, 3);
    instance.OwnHandle = Q("GM");
    router.SetClientLink(&link);
    QObject::connect(&instance, &Instance::panelChanged,
                     [this](const QString&, const QString& text) { reports << text; });
  }
  QVector<Packet> Sent() const {
    QVector<Packet> packets;
    for (const auto& w : writes) packets.push_back(DecodePacket(w.bytes));
    return packets;
  }

  test::TempHome home;
  Instance instance;
  Router router;
  QVector<test::Sent> writes;
  test::FakeLink link;
  QStringList reports;
};

void ExpectSpeech(const Packet& p, const QString& text, const QString& speaker) {
  EXPECT_EQ(p.MessageCode, 301);
  EXPECT_EQ(p.SubCode, 5);
  EXPECT_EQ(p.SenderIndex, 3);
  EXPECT_EQ(p.DestIndex, 0);
  ASSERT_EQ(p.ItemCount, 2);
  EXPECT_EQ(p.Text(1), text);
  EXPECT_EQ(p.Text(2), speaker);
}

}  // namespace

TEST(ScenarioPlayer, SendsSpeechToTheServerUnderTheSpeakerName) {
  PlayerRig rig;
  FakeRoll roll;
  ScenarioPlayer player(rig.instance, rig.router, roll.Evaluator());
  const QStringList lines = {Q("/Goblin：Run!"), Q("#JUMP:Start"), Q("*メモ"), Q("地の文&"),
                             Q("続き")};
  EXPECT_EQ(player.Play(lines, 0).kind, LineAction::kSpeech);
  const LineAction jump = player.Play(lines, 1);
  EXPECT_EQ(jump.kind, LineAction::kJump);
  EXPECT_EQ(jump.label, Q("Start"));
  EXPECT_EQ(player.Play(lines, 2).kind, LineAction::kNone);
  SetSessionMode(rig.instance, ModeServer);  // the server's own user speaks through its client link
  player.Play(lines, 3);

  const QVector<Packet> sent = rig.Sent();
  ASSERT_EQ(sent.size(), 2);
  ExpectSpeech(sent[0], Q("Run!"), Q("GM/Goblin"));
  ExpectSpeech(sent[1], Q("地の文\r\n続き"), Q("GM"));
  EXPECT_TRUE(rig.reports.isEmpty());
}

TEST(ScenarioPlayer, SaysNothingAndRollsNothingWithoutASession) {
  PlayerRig rig;
  FakeRoll roll;
  ScenarioPlayer player(rig.instance, rig.router, roll.Evaluator());
  for (int16_t mode : {ModeNone, ModeConnecting}) {
    SetSessionMode(rig.instance, mode);
    EXPECT_EQ(player.Play({Q("GM：#DICE:2D6")}, 0).kind, LineAction::kNone);
    EXPECT_FALSE(player.Say(Q("GM"), Q("hello")));
    // Jumps work offline.
    EXPECT_EQ(player.Play({Q("#JUMP:x")}, 0).kind, LineAction::kJump);
  }
  EXPECT_TRUE(rig.writes.isEmpty());
  EXPECT_TRUE(roll.asked.isEmpty());
}

TEST(ScenarioPlayer, RollsDiceLinksWithTheDiceLanguage) {
  PlayerRig rig;
  DiceOptions options;
  rig.instance.Rng().Seed(42);
  ScenarioPlayer player(rig.instance, rig.router, RollWith(options, rig.instance.Rng()));
  player.Play({Q("戦士：攻撃 #DICE:2D6+3")}, 0);

  Random same(42);
  const QString result = EvaluateDiceText(Q("2D6+3"), options, same);
  ASSERT_TRUE(result.startsWith(Q("2D6+3")));
  ASSERT_NE(result, Q("2D6+3"));
  const QVector<Packet> sent = rig.Sent();
  ASSERT_EQ(sent.size(), 1);
  ExpectSpeech(sent[0], Q("攻撃 ") + result, Q("戦士"));
}

TEST(ScenarioPlayer, ReportsATextTooLongToSend) {
  PlayerRig rig;
  ScenarioPlayer player(rig.instance, rig.router, {});
  EXPECT_FALSE(player.Say(Q("GM"), QString(20000, u'あ')));
  EXPECT_TRUE(rig.writes.isEmpty());
  ASSERT_EQ(rig.reports.size(), 1);
  EXPECT_TRUE(rig.reports[0].startsWith(Q("Err 6 @ mdlScenario : ")))
      << rig.reports[0].toStdString();
}
