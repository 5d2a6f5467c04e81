#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <memory>
#include <string_view>

#include "chat/ChatHtml.h"
#include "chat/ChatLog.h"
#include "chat/DayLog.h"
#include "common/TestSupport.h"
#include "core/Instance.h"
#include "text/Cp932.h"
#include "text/Rtf.h"

using namespace quillora;

namespace {

const QString kDejaVu = QStringLiteral("DejaVu Sans");
const QString kSerif = QStringLiteral("DejaVu Serif");

class ChatLogTest : public ::testing::Test {
 protected:
  ChatLogTest() : instance_(home_.path(), 7) {
    Settings& s = instance_.settings;
    s.Font[kFontChat] = {.name = kDejaVu, .size = 9};
    s.Font[kFontOwnSpeaker] = {.name = kSerif, .size = 10, .bold = true};
    s.Font[kFontOtherSpeaker] = {.name = kDejaVu, .size = 11, .italic = true, .bold = true};
    s.Font[kFontSystem] = {.name = kSerif, .size = 12, .italic = true};
    s.Color[kColorChatText] = 0x00332211;   // rgb(0x11, 0x22, 0x33)
    s.Color[kColorOwnHandle] = 0x00FF0000;  // blue
    s.Color[kColorSystem] = 0x000000FF;     // red
    instance_.LogDate = QDate(2024, 3, 5);
    QDir().mkpath(instance_.LogFolder());
    Restart();
  }

  // A new program run on the same folder.
  void Restart() {
    log_.reset();
    log_ = std::make_unique<ChatLog>(instance_, sound_, [this] { return in_front_; });
  }

  QString RtfPath() const { return home_.File(QStringLiteral("log/20240305.rtf")); }
  QString TextPath() const { return home_.File(QStringLiteral("log/20240305.txt")); }
  static QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  double Width(int font_slot, const QString& text) const {
    const FontSetting& f = instance_.settings.Font[font_slot];
    QFont font(f.name);
    font.setPointSizeF(f.size);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    return QFontMetricsF(font).horizontalAdvance(text);
  }
  double Tolerance() const { return 0.5 / log_->TwipsPerPixel() + 1e-9; }

  // Both day files hold exactly what the day log holds.
  void ExpectFilesMatchLog() {
    const QByteArray rtf = ReadFile(RtfPath());
    ASSERT_TRUE(rtf.endsWith('}'));
    const RtfDocument from_file = ReadRtf(rtf);
    const RtfDocument from_box = log_->LogDocument();
    ASSERT_EQ(from_file.paragraphs.size(), from_box.paragraphs.size());
    for (int i = 0; i < from_box.paragraphs.size(); ++i) {
      ASSERT_EQ(from_file.paragraphs[i].Text(), from_box.paragraphs[i].Text()) << i;
      if (i + 1 == from_box.paragraphs.size()) break;  // the empty last block has no mark
      ASSERT_EQ(from_file.paragraphs[i], from_box.paragraphs[i]) << i;
    }
    EXPECT_EQ(Cp932::DecodeFile(ReadFile(TextPath())), log_->LogFileText());
  }

  // The day log in a text box, for the checks the visible box gets too.
  QTextDocument* LogBox() {
    log_box_ = std::make_unique<QTextDocument>();
    QTextCursor cursor(log_box_.get());
    InsertRtf(cursor, log_->LogDocument(), log_->TwipsPerPixel());
    return log_box_.get();
  }

  test::TempHome home_;
  Instance instance_;
  test::FakeSound sound_;
  bool in_front_ = true;
  std::unique_ptr<ChatLog> log_;
  std::unique_ptr<QTextDocument> log_box_;
};

QTextBlock BlockAt(QTextDocument* doc, int number) { return doc->findBlockByNumber(number); }

QTextCharFormat FormatOfFragment(const QTextBlock& block, int fragment) {
  auto it = block.begin();
  for (int i = 0; i < fragment; ++i) ++it;
  return it.fragment().charFormat();
}

}  // namespace

TEST_F(ChatLogTest, FormatsSpeakerAndMessageByKind) {
  log_->AppendChatLine(QStringLiteral("me："), kSpeakerOwn, QStringLiteral("own"), {}, 0);
  log_->AppendChatLine(QStringLiteral("you："), kSpeakerOther, QStringLiteral("other"), {},
                       0x0000FF00);
  log_->SystemLine(QStringLiteral("notice"));

  struct Expected {
    QString family;
    bool bold;
    bool italic;
    double size;
    QColor color;
  };
  const Expected speakers[] = {{kSerif, true, false, 10, QColor(0, 0, 255)},
                               {kDejaVu, true, true, 11, QColor(0, 255, 0)},
                               {kSerif, false, true, 12, QColor(255, 0, 0)}};
  for (QTextDocument* doc : {log_->Main(), LogBox()}) {
    ASSERT_EQ(doc->toPlainText(), QStringLiteral("me：own\nyou：other\nSystemMessage：notice\n"));
    for (int line = 0; line < 3; ++line) {
      const QTextCharFormat speaker = FormatOfFragment(BlockAt(doc, line), 0);
      EXPECT_EQ(speaker.fontFamilies().toStringList().value(0), speakers[line].family) << line;
      EXPECT_EQ(speaker.fontWeight() == QFont::Bold, speakers[line].bold) << line;
      EXPECT_EQ(speaker.fontItalic(), speakers[line].italic) << line;
      EXPECT_DOUBLE_EQ(speaker.fontPointSize(), speakers[line].size) << line;
      EXPECT_EQ(speaker.foreground().color(), speakers[line].color) << line;
      const QTextCharFormat message = FormatOfFragment(BlockAt(doc, line), 1);
      EXPECT_EQ(message.fontFamilies().toStringList().value(0), kDejaVu);
      EXPECT_EQ(message.fontWeight(), QFont::Normal);
      EXPECT_FALSE(message.fontItalic());
      EXPECT_EQ(message.foreground().color(), QColor(0x11, 0x22, 0x33));
    }
  }
}

TEST_F(ChatLogTest, IndentsContinuationLinesUnderTheMessage) {
  log_->AppendChatLine(QStringLiteral("Alice："), kSpeakerOwn,
                       QStringLiteral("one\r\ntwo\r\nthree\r\n"), {}, 0);
  // A whisper indents by the bare sender name, not by the whole speaker part.
  log_->AppendChatLine(QStringLiteral("Bob(秘密通達)："), kSpeakerSystem,
                       QStringLiteral("psst\r\nmore"), QStringLiteral("Bob"), 0);
  QTextDocument* doc = log_->Main();
  ASSERT_EQ(doc->toPlainText(),
            QStringLiteral("Alice：one\ntwo\nthree\nBob(秘密通達)：psst\nmore\n"));

  const double alice = Width(kFontOwnSpeaker, QStringLiteral("Alice："));
  ASSERT_GT(alice, 10);
  const QTextBlockFormat first = BlockAt(doc, 0).blockFormat();
  EXPECT_NEAR(first.leftMargin(), alice, Tolerance());
  EXPECT_NEAR(first.textIndent(), -alice, Tolerance());  // first line starts at the left edge
  for (int line : {1, 2}) {
    EXPECT_NEAR(BlockAt(doc, line).blockFormat().leftMargin(), alice, Tolerance());
    EXPECT_EQ(BlockAt(doc, line).blockFormat().textIndent(), 0);
  }
  const double bob = Width(kFontSystem, QStringLiteral("Bob"));
  EXPECT_LT(bob, Width(kFontSystem, QStringLiteral("Bob(秘密通達)：")));
  EXPECT_NEAR(BlockAt(doc, 3).blockFormat().textIndent(), -bob, Tolerance());
  EXPECT_NEAR(BlockAt(doc, 4).blockFormat().leftMargin(), bob, Tolerance());
  EXPECT_EQ(BlockAt(doc, 4).blockFormat().textIndent(), 0);
}

TEST_F(ChatLogTest, TreatsLfAndBareCrLikeCrLf) {
  // The input box breaks lines with LF; a peer may send a bare CR.
  log_->AppendChatLine(QStringLiteral("Alice："), kSpeakerOwn, QStringLiteral("one\ntwo\rthree\n"),
                       {}, 0);
  for (QTextDocument* doc : {log_->Main(), LogBox()}) {
    ASSERT_EQ(doc->toPlainText(), QStringLiteral("Alice：one\ntwo\nthree\n"));
    const double alice = Width(kFontOwnSpeaker, QStringLiteral("Alice："));
    for (int line : {1, 2}) {
      EXPECT_NEAR(BlockAt(doc, line).blockFormat().leftMargin(), alice, Tolerance());
      EXPECT_EQ(BlockAt(doc, line).blockFormat().textIndent(), 0);
    }
  }
}

TEST_F(ChatLogTest, EndsEveryLineWithExactlyOneLineBreak) {
  log_->SystemLine(QStringLiteral("with\r\n"));
  log_->SystemLine(QStringLiteral("without"));
  log_->SystemLine(QString());
  log_->SystemLine(QStringLiteral("gap\r\n\r\n"));
  log_->SystemLine(QStringLiteral("\r\nlead"));
  EXPECT_EQ(log_->LogText(),
            QStringLiteral("SystemMessage：with\nSystemMessage：without\nSystemMessage：\n"
                           "SystemMessage：gap\n\nSystemMessage：\nlead\n"));
  EXPECT_EQ(log_->Main()->toPlainText(), log_->LogText());
}

TEST_F(ChatLogTest, TheDayLogHoldsExactlyWhatTheChatBoxShows) {
  // The day log keeps lines in a form of its own; the day files, the manual saves and the next
  // run's reload are written from it, so it must give the paragraphs the chat box holds, for
  // every shape a line can come in.
  instance_.settings.AutoSaveRTF = true;
  instance_.settings.AutoSaveText = true;
  const auto lines = [this] {
    log_->AppendChatLine(QStringLiteral("Alice："), kSpeakerOwn,
                         QStringLiteral("一\r\n\r\n三\rfour\u2029five\u2028six\u00A0\t{}\\"), {},
                         0);
    log_->AppendChatLine(QString(), kSpeakerOther, QStringLiteral("no speaker"), {}, 0x00ABCDEF);
    log_->AppendChatLine(QStringLiteral("Bob："), kSpeakerOther, QString(), {}, 0x00123456);
    log_->AppendChatLine(QStringLiteral("Bob："), kSpeakerOther, QStringLiteral("\n\n"), {},
                         0x00123456);
    log_->AppendChatLine(QStringLiteral("悪い\r\n名前\n："), kSpeakerOther, QStringLiteral("x"), {},
                         0x00FF00FF);
    log_->AppendChatLine(QStringLiteral("Bob(秘密通達)："), kSpeakerSystem,
                         QStringLiteral("🎲\nmore"), QStringLiteral("Bob"), 0);
    log_->SystemLine(QStringLiteral("frame\uFDD0marks\uFDD1end"));
  };
  lines();
  // A look that changes mid-evening gives later lines the new look, and earlier ones keep theirs;
  // where the speaker and the message look alike, their runs are one.
  instance_.settings.Font[kFontSystem] = instance_.settings.Font[kFontChat];
  instance_.settings.Color[kColorSystem] = instance_.settings.Color[kColorChatText];
  lines();

  const RtfDocument shown = DocumentFromText(*log_->Main(), log_->TwipsPerPixel());
  const RtfDocument kept = log_->LogDocument();
  ASSERT_EQ(kept.paragraphs.size(), shown.paragraphs.size());
  for (int i = 0; i + 1 < shown.paragraphs.size(); ++i) {
    EXPECT_EQ(kept.paragraphs[i], shown.paragraphs[i]) << i;
  }
  EXPECT_EQ(log_->LogText(), log_->Main()->toPlainText());
  EXPECT_EQ(kept.paragraphs.back().Text(), QString());
  EXPECT_TRUE(log_->LogText().contains(QStringLiteral("悪い 名前 ：x")));
  const auto merged =
      std::count_if(kept.paragraphs.begin(), kept.paragraphs.end(), [](const RtfParagraph& p) {
        return p.runs.size() == 1 && p.Text().startsWith(kSystemSpeaker + "frame");
      });
  EXPECT_EQ(merged, 1);
  ExpectFilesMatchLog();

  // A full rewrite (the next run's first line) and the manual save give the same paragraphs.
  Restart();
  log_->LoadDayLog();
  EXPECT_EQ(log_->LogDocument().PlainText(), kept.PlainText());
  log_->SystemLine(QStringLiteral("next run"));
  ExpectFilesMatchLog();
  const RtfDocument reloaded = log_->LogDocument();
  for (int i = 0; i + 1 < shown.paragraphs.size(); ++i) {
    EXPECT_EQ(reloaded.paragraphs[i], shown.paragraphs[i]) << i;
  }
  const QString saved = home_.File(QStringLiteral("saved.html"));
  ASSERT_TRUE(log_->SaveMainAsHtml(saved, {}));
  const QString html = QString::fromUtf8(ReadFile(saved));
  EXPECT_TRUE(html.contains(QStringLiteral("next run")));
  EXPECT_FALSE(html.contains(QStringLiteral("no speaker")));  // only this run's chat
}

TEST_F(ChatLogTest, PlaysTheSoundOnlyWhenAskedAndInTheBackground) {
  for (int snd_att : {0, 2, -1}) {
    instance_.settings.SndAtt = snd_att;
    in_front_ = false;
    log_->SystemLine(QStringLiteral("x"));
  }
  instance_.settings.SndAtt = 1;
  in_front_ = true;
  log_->SystemLine(QStringLiteral("x"));
  EXPECT_TRUE(sound_.played.isEmpty());

  in_front_ = false;
  log_->AppendChatLine(QStringLiteral("me："), kSpeakerOwn, QStringLiteral("own lines count"), {},
                       0);
  log_->SystemLine(QStringLiteral("so do system lines"));
  ASSERT_EQ(sound_.played.size(), 2);
  EXPECT_EQ(sound_.played[0], QDir::cleanPath(home_.path() + QStringLiteral("/data/sysMes.wav")));
}

TEST_F(ChatLogTest, KeepsBothDayFilesCompleteAfterEveryLine) {
  instance_.settings.AutoSaveRTF = true;
  instance_.settings.AutoSaveText = true;
  QSignalSpy written(log_.get(), &ChatLog::dayLogWritten);
  log_->SystemLine(QStringLiteral("接続しました"));
  ASSERT_EQ(written.size(), 2);
  EXPECT_EQ(written[0][0].toString(), RtfPath());  // rich text first, then plain text
  EXPECT_EQ(written[1][0].toString(), TextPath());
  ExpectFilesMatchLog();

  // Later lines are appended to the same files, not written as new ones: a second name for
  // each file sees them.
  ASSERT_EQ(
      ::link(RtfPath().toLocal8Bit().constData(), (RtfPath() + "2").toLocal8Bit().constData()), 0);
  ASSERT_EQ(
      ::link(TextPath().toLocal8Bit().constData(), (TextPath() + "2").toLocal8Bit().constData()),
      0);
  for (int i = 0; i < 130; ++i) {
    // New participants bring new colours: the header grows in place, and then past its reserve.
    const uint32_t color = i < 20 ? 0x00FF00FFu * (i % 2) : 0x00010203u * static_cast<uint32_t>(i);
    log_->AppendChatLine(QStringLiteral("参加者%1：").arg(i % 7), i % 3 == 0 ? 0 : 2,
                         QStringLiteral("{台詞} \\%1\r\n二行目").arg(i), {}, color);
    if (i % 10 == 0) ExpectFilesMatchLog();
    if (i == 25) {
      EXPECT_EQ(ReadFile(RtfPath() + "2"), ReadFile(RtfPath()));
      EXPECT_EQ(ReadFile(TextPath() + "2"), ReadFile(TextPath()));
    }
  }
  ExpectFilesMatchLog();
  EXPECT_EQ(written.size(), 262);
  // The text file is Shift-JIS, byte for byte what a full save writes.
  EXPECT_EQ(ReadFile(TextPath()), Cp932::Encode(log_->LogFileText()));
}

TEST_F(ChatLogTest, ShowsABurstInBatchesAndKeepsTheDayFilesComplete) {
  instance_.settings.AutoSaveRTF = true;
  instance_.settings.AutoSaveText = true;
  instance_.settings.SndAtt = 1;
  in_front_ = false;
  log_->SetFrameBatching(true);
  QSignalSpy written(log_.get(), &ChatLog::dayLogWritten);
  const QString padding(400, QChar(u'字'));
  constexpr int kLines = 3000;
  for (int i = 0; i < kLines; ++i) {
    log_->AppendChatLine(QStringLiteral("参加者%1：").arg(i % 5), kSpeakerOther,
                         QStringLiteral("行%1").arg(i) + padding, {}, 0x00102030u * (i % 5));
  }
  // Nothing is written in the middle of the burst; it waits for the next frame.
  EXPECT_EQ(log_->Backlog(), kLines);
  EXPECT_TRUE(written.isEmpty());
  EXPECT_TRUE(sound_.played.isEmpty());

  // Frame by frame: more than one batch for a burst this big, both files complete after each.
  while (log_->Backlog() > 0) {
    const qsizetype before = log_->Backlog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return log_->Backlog() < before; }, 5000));
    ASSERT_EQ(written.size() % 2, 0);
    ASSERT_EQ(Cp932::DecodeFile(ReadFile(TextPath())).count(padding), kLines - log_->Backlog());
  }
  const auto batches = written.size() / 2;
  EXPECT_GT(batches, 1);
  EXPECT_EQ(sound_.played.size(), batches);  // one sound per batch, not per line
  ExpectFilesMatchLog();
  const QString shown = log_->Main()->toPlainText();
  EXPECT_EQ(shown.count(padding), kLines);
  EXPECT_LT(shown.indexOf(QStringLiteral("行2999")), shown.size());
  EXPECT_LT(shown.indexOf(QStringLiteral("行0字")), shown.indexOf(QStringLiteral("行2999")));

  // Whoever reads the boxes sees every line, also between frames.
  log_->SystemLine(QStringLiteral("最後の行"));
  EXPECT_TRUE(log_->LogText().contains(QStringLiteral("最後の行")));
  EXPECT_EQ(log_->Backlog(), 0);
}

TEST_F(ChatLogTest, TheVisibleBoxKeepsTheNewestLinesAndTheDayLogKeepsEveryLine) {
  instance_.settings.AutoSaveText = true;
  // An earlier run of the day left a line; it is in the day log but not in this run's chat.
  log_->AppendChatLine(QStringLiteral("前回："), kSpeakerOther, QStringLiteral("朝の行"), {}, 0);
  Restart();
  log_->LoadDayLog();
  log_->SetMainLimitForTesting(100);
  for (int i = 0; i < 1000; ++i) {
    log_->AppendChatLine(QStringLiteral("参加者："), kSpeakerOther, QStringLiteral("行%1。").arg(i),
                         {}, 0x00102030u);
    // Never more than the ceiling, while lines keep coming.
    ASSERT_LE(log_->Main()->blockCount(), 100 * ChatLog::kMainCeilingFactor + 1) << i;
  }
  EXPECT_GT(log_->Main()->blockCount(), 101);
  // Once the chat is quiet, the box comes down to its limit.
  ASSERT_TRUE(QTest::qWaitFor([&] { return log_->Main()->blockCount() == 100; }, 5000));
  const QString shown = log_->Main()->toPlainText();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("参加者：行901。")));  // whole lines were taken out
  EXPECT_TRUE(shown.endsWith(QStringLiteral("行999。\n")));
  const QString all = log_->LogText();
  const QString file = Cp932::DecodeFile(ReadFile(TextPath()));
  // Saving the chat by hand still writes every line of this run, and only those.
  const QString saved_path = home_.File(QStringLiteral("saved.txt"));
  ASSERT_TRUE(log_->SaveMainAsText(saved_path));
  const QString saved = Cp932::DecodeFile(ReadFile(saved_path));
  EXPECT_TRUE(saved.startsWith(QStringLiteral("参加者：行0。\r\n参加者：行1。\r\n")));
  EXPECT_FALSE(saved.contains(QStringLiteral("朝の行")));
  for (const QString& text : {all, file, saved}) {
    EXPECT_EQ(text.count(QStringLiteral("参加者：")), 1000);
    EXPECT_TRUE(text.contains(QStringLiteral("行0。")));
    EXPECT_TRUE(text.contains(QStringLiteral("行999。")));
  }
  EXPECT_TRUE(file.startsWith(QStringLiteral("前回：朝の行")));
}

TEST_F(ChatLogTest, ContinuesTheDayFileOfAnEarlierRun) {
  instance_.settings.AutoSaveRTF = true;
  log_->AppendChatLine(QStringLiteral("me："), kSpeakerOwn, QStringLiteral("first run"), {}, 0);
  log_->SystemLine(QStringLiteral("a\r\nb"));
  const QString earlier = log_->LogText();

  Restart();
  log_->LoadDayLog();
  EXPECT_EQ(log_->LogText(), earlier);
  EXPECT_TRUE(log_->Main()->isEmpty());
  // Colours and fonts survive the reload.
  const QTextCharFormat speaker = FormatOfFragment(BlockAt(LogBox(), 0), 0);
  EXPECT_EQ(speaker.foreground().color(), QColor(0, 0, 255));
  EXPECT_EQ(speaker.fontFamilies().toStringList().value(0), kSerif);

  instance_.settings.AutoSaveText = true;
  log_->SystemLine(QStringLiteral("second run"));
  EXPECT_TRUE(log_->LogText().startsWith(earlier));
  ExpectFilesMatchLog();
  EXPECT_EQ(ReadRtf(ReadFile(RtfPath())).paragraphs[0].Text(), QStringLiteral("me：first run"));
}

TEST_F(ChatLogTest, ChoosesWhichDayFileToLoad) {
  home_.Write(QStringLiteral("log/20240305.rtf"),
              RtfWriter::Write({{{0, 0, {{QStringLiteral("from rtf"), RtfFormat{}}}}, {}}}));
  home_.Write(QStringLiteral("log/20240305.txt"), Cp932::Encode(QStringLiteral("テキスト\r\n")));
  home_.Write(QStringLiteral("log/20240304.txt"), "yesterday\r\n");

  const auto loaded = [this](bool rtf, bool text) {
    instance_.settings.AutoSaveRTF = rtf;
    instance_.settings.AutoSaveText = text;
    Restart();
    log_->LoadDayLog();
    return log_->LogText();
  };
  EXPECT_EQ(loaded(true, true), QStringLiteral("from rtf\n"));
  EXPECT_EQ(loaded(true, false), QStringLiteral("from rtf\n"));
  EXPECT_EQ(loaded(false, true), QStringLiteral("テキスト\n"));
  EXPECT_EQ(loaded(false, false), QString());
  QFile::remove(RtfPath());
  EXPECT_EQ(loaded(true, true), QStringLiteral("テキスト\n"));
  QFile::remove(TextPath());
  EXPECT_EQ(loaded(true, true), QString());
}

TEST_F(ChatLogTest, RepairsADayFileTornByACrash) {
  instance_.settings.AutoSaveRTF = true;
  instance_.settings.AutoSaveText = true;
  for (int i = 0; i < 5; ++i) log_->SystemLine(QStringLiteral("line %1").arg(i));
  QByteArray rtf = ReadFile(RtfPath());
  rtf.chop(1);  // the closing brace never reached the disk
  home_.Write(QStringLiteral("log/20240305.rtf"), rtf);
  QByteArray text = ReadFile(TextPath());
  text.chop(2);
  home_.Write(QStringLiteral("log/20240305.txt"), text);

  Restart();
  log_->LoadDayLog();
  EXPECT_EQ(log_->LogDocument().paragraphs.size(), 6);
  log_->SystemLine(QStringLiteral("after the crash"));
  ExpectFilesMatchLog();
  EXPECT_TRUE(Cp932::DecodeFile(ReadFile(TextPath()))
                  .endsWith(QStringLiteral("line 4\r\nSystemMessage：after the crash\r\n")));
}

TEST_F(ChatLogTest, ReportsAFailedSaveOnceUntilSavingWorksAgain) {
  instance_.settings.AutoSaveRTF = true;
  instance_.settings.AutoSaveText = true;
  const QString folder = instance_.LogFolder();
  QDir(folder).removeRecursively();
  home_.Write(QStringLiteral("log"), "not a folder");  // unwritable, even for root

  log_->SystemLine(QStringLiteral("one"));
  EXPECT_EQ(instance_.Panel(kPanelSysReqMes), QStringLiteral("ログを保存できません"));
  instance_.SetPanel(kPanelSysReqMes, QString());
  log_->SystemLine(QStringLiteral("two"));
  EXPECT_EQ(instance_.Panel(kPanelSysReqMes), QString());  // said once, not on every line
  EXPECT_EQ(log_->LogDocument().paragraphs.size(), 3);     // the lines stay in the boxes

  QFile::remove(folder);
  log_->SystemLine(QStringLiteral("three"));  // the folder is back: everything is saved
  ExpectFilesMatchLog();
  EXPECT_TRUE(
      Cp932::DecodeFile(ReadFile(TextPath())).startsWith(QStringLiteral("SystemMessage：one")));

  QDir(folder).removeRecursively();
  home_.Write(QStringLiteral("log"), "not a folder");
  log_->SystemLine(QStringLiteral("four"));
  EXPECT_EQ(instance_.Panel(kPanelSysReqMes), QStringLiteral("ログを保存できません"));
}

TEST_F(ChatLogTest, SwitchesTheTextFileToUtf8ForCharactersShiftJisLacks) {
  instance_.settings.AutoSaveText = true;
  log_->SystemLine(QStringLiteral("日本語"));
  EXPECT_EQ(ReadFile(TextPath()), Cp932::Encode(QStringLiteral("SystemMessage：日本語\r\n")));
  log_->SystemLine(QStringLiteral("ダイス 🎲"));
  log_->SystemLine(QStringLiteral("また日本語"));
  const QByteArray bytes = ReadFile(TextPath());
  ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
  EXPECT_EQ(QString::fromUtf8(bytes.mid(3)), log_->LogFileText());
  EXPECT_TRUE(QString::fromUtf8(bytes).contains(QStringLiteral("🎲")));
}

TEST(ChatLogSavePath, FollowsTheManualSaveRules) {
  const SavePathParts windows = SplitSavePath(QStringLiteral("C:\\logs\\chat.TXT"));
  EXPECT_EQ(windows.folder, QStringLiteral("C:\\logs\\"));
  EXPECT_EQ(windows.file_name, QStringLiteral("chat.TXT"));
  EXPECT_EQ(ManualSavePath(windows.folder, windows.file_name, QStringLiteral(".txt")),
            QStringLiteral("C:\\logs\\chat.TXT.txt"));  // the test is case-sensitive
  EXPECT_EQ(ManualSavePath(QStringLiteral("C:\\logs"), QStringLiteral("chat.txt"),
                           QStringLiteral(".txt")),
            QStringLiteral("C:\\logs\\chat.txt"));
  const SavePathParts unix_path = SplitSavePath(QStringLiteral("/home/me/ログ/day.rtf"));
  EXPECT_EQ(unix_path.folder, QStringLiteral("/home/me/ログ/"));
  EXPECT_EQ(
      ManualSavePath(QStringLiteral("/home/me"), QStringLiteral("day"), QStringLiteral(".rtf")),
      QStringLiteral("/home/me/day.rtf"));
  EXPECT_EQ(SplitSavePath(QStringLiteral("C:\\logs\\")).file_name, QString());
  EXPECT_EQ(ManualSavePath(QStringLiteral("C:\\logs\\"), QString(), QStringLiteral(".txt")),
            QString());
  EXPECT_EQ(SplitSavePath(QStringLiteral("bare.txt")).folder, QString());
}

TEST_F(ChatLogTest, SavesTheVisibleChatByHand) {
  instance_.settings.AutoSaveRTF = true;
  log_->LoadDayLog();
  log_->AppendChatLine(QStringLiteral("me："), kSpeakerOwn, QStringLiteral("hello\r\nworld"), {},
                       0);
  log_->SystemLine(QStringLiteral("絵文字 😀"));
  const QString text_path = home_.File(QStringLiteral("saved.txt"));
  const QString rtf_path = home_.File(QStringLiteral("saved.rtf"));
  ASSERT_TRUE(log_->SaveMainAsText(text_path));
  ASSERT_TRUE(log_->SaveMainAsRtf(rtf_path));
  EXPECT_EQ(Cp932::DecodeFile(ReadFile(text_path)),
            QStringLiteral("me：hello\r\nworld\r\nSystemMessage：絵文字 😀\r\n"));
  const RtfDocument saved = ReadRtf(ReadFile(rtf_path));
  const RtfDocument shown = DocumentFromText(*log_->Main(), log_->TwipsPerPixel());
  ASSERT_EQ(saved.paragraphs.size(), 4);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(saved.paragraphs[i], shown.paragraphs[i]) << i;
  EXPECT_FALSE(log_->SaveMainAsText(home_.File(QStringLiteral("no/such/../../saved.txt/x"))));
}

namespace {
// Open files of this process in `folder` (also those no longer in it).
int OpenFilesIn(const QString& folder) {
  const QByteArray prefix = QFile::encodeName(folder) + '/';
  int found = 0;
  const QString fds = QStringLiteral("/proc/self/fd/");
  for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System)) {
    char target[4096] = {};
    const ssize_t size =
        ::readlink(QFile::encodeName(fds + fd).constData(), target, sizeof target - 1);
    if (size > 0 && std::string_view(target, static_cast<size_t>(size))
                        .starts_with(std::string_view(prefix.constData(), prefix.size()))) {
      ++found;
    }
  }
  return found;
}
}  // namespace

TEST(DayLog, KeepsEveryTextWhetherItGoesToAFileOrStaysInMemory) {
  const QByteArray saved_tmpdir = qgetenv("TMPDIR");
  test::TempHome home;
  for (const bool writable : {true, false}) {
    // A temporary folder that cannot be written keeps the texts in memory.
    qputenv("TMPDIR",
            writable ? home.path().toUtf8() : home.File(QStringLiteral("no/such/folder")).toUtf8());
    DayLog log;
    const uint32_t alice = log.StyleIndex({QStringLiteral("Alice："), {}, {}, 300});
    const uint32_t bob = log.StyleIndex({QStringLiteral("Bob："), {}, {}, 200});
    EXPECT_EQ(log.StyleIndex({QStringLiteral("Alice："), {}, {}, 300}), alice);
    QString expected;
    QString from_line_2500;
    for (int i = 0; i < 4000; ++i) {
      // Some long lines, one longer than the whole buffer, and lines of several rows.
      const QString text = i == 1234
                               ? QString(700000, QChar(u'長'))
                               : QStringLiteral("行%1").arg(i) + QString(i % 97 * 7, QChar(u'字')) +
                                     (i % 5 == 0 ? QStringLiteral("\n二行目") : QString());
      log.Append(i % 2 ? bob : alice, text);
      QString file_text = (i % 2 ? QStringLiteral("Bob：") : QStringLiteral("Alice：")) + text;
      file_text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
      expected += file_text + QStringLiteral("\r\n");
      if (i >= 2500) from_line_2500 += file_text + QStringLiteral("\r\n");
    }
#ifdef Q_OS_LINUX
    EXPECT_EQ(OpenFilesIn(home.path()), writable ? 1 : 0);
    EXPECT_TRUE(QDir(home.path()).entryList(QDir::Files).isEmpty());  // no name left behind
#endif
    ASSERT_EQ(log.FileText(), expected) << writable;
    EXPECT_EQ(log.FileText(2500), from_line_2500) << writable;
    const RtfDocument document = log.Document(3999);
    ASSERT_EQ(document.paragraphs.size(), 2);
    EXPECT_EQ(document.paragraphs[0].left_indent, 200);
    EXPECT_EQ(document.paragraphs[0].first_indent, -200);
  }
#ifdef Q_OS_LINUX
  EXPECT_EQ(OpenFilesIn(home.path()), 0);  // gone with the log
#endif
  if (saved_tmpdir.isEmpty()) {
    qunsetenv("TMPDIR");
  } else {
    qputenv("TMPDIR", saved_tmpdir);
  }
}
