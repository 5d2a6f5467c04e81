#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <random>

#include "common/TestSupport.h"
#include "text/Rtf.h"

using namespace quillora;

namespace quillora {
void PrintTo(const RtfParagraph& p, std::ostream* os) {
  *os << "{li " << p.left_indent << " fi " << p.first_indent;
  for (const RtfRun& r : p.runs) {
    *os << " [" << r.text.toStdString() << " | " << r.format.font.toStdString() << " "
        << r.format.size << (r.format.bold ? " b" : "") << (r.format.italic ? " i" : "") << " #"
        << std::hex << r.format.color << std::dec << "]";
  }
  *os << "}";
}
}  // namespace quillora

namespace {

RtfFormat Format(const QString& font, double size, bool bold, bool italic, QRgb color) {
  RtfFormat f;
  f.font = font;
  f.size = size;
  f.bold = bold;
  f.italic = italic;
  f.color = color;
  return f;
}

RtfDocument SampleDocument() {
  const RtfFormat speaker =
      Format(QStringLiteral("ＭＳ ゴシック"), 10.5, true, false, qRgb(0, 0, 255));
  const RtfFormat message = Format(QStringLiteral("DejaVu Sans"), 9, false, true, qRgb(12, 34, 56));
  RtfDocument doc;
  doc.paragraphs.push_back(
      {0,
       -735,
       {{QStringLiteral("太郎："), speaker},
        {QStringLiteral("こんにちは 😀 {braces} and \\back\\slash"), message}}});
  doc.paragraphs.push_back(
      {735,
       0,
       {{QStringLiteral("tab\there ～ end"), message},
        {QStringLiteral(" 한국어"),  // a face name Shift-JIS lacks
         Format(QStringLiteral("맑은 고딕"), 9, false, false, qRgb(0, 0, 0))}}});
  doc.paragraphs.push_back({0, 0, {}});  // an empty line
  doc.paragraphs.push_back({120,
                            -120,
                            {{QStringLiteral("big"),
                              Format(QStringLiteral("Arial"), 20, true, true, qRgb(255, 0, 0))}}});
  return doc;
}

}  // namespace

TEST(Rtf, RoundTripsTextFormatsAndIndents) {
  const RtfDocument doc = SampleDocument();
  const QByteArray bytes = RtfWriter::Write(doc);
  // A clean 7-bit file: everything beyond ASCII is escaped.
  for (const char c : bytes) ASSERT_LT(static_cast<unsigned char>(c), 0x80);
  EXPECT_TRUE(bytes.startsWith("{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl"));
  EXPECT_TRUE(bytes.endsWith('}'));
  EXPECT_TRUE(bytes.contains("\\fcharset128 \\'82\\'6c\\'82\\'72 \\'83\\'53"));  // ＭＳ ゴシック
  EXPECT_TRUE(bytes.contains("\\u-10179?\\u-8704?"));                            // 😀 as a pair
  EXPECT_TRUE(bytes.contains("\\{braces\\} and \\\\back\\\\slash"));
  EXPECT_TRUE(bytes.contains("\\li735"));
  EXPECT_TRUE(bytes.contains("\\fi-735"));
  EXPECT_TRUE(bytes.contains("\\fs21"));

  const RtfDocument back = ReadRtf(bytes);
  ASSERT_EQ(back.paragraphs.size(), doc.paragraphs.size());
  for (int i = 0; i < doc.paragraphs.size(); ++i) {
    EXPECT_EQ(back.paragraphs[i].Text(), doc.paragraphs[i].Text()) << i;
    EXPECT_EQ(back.paragraphs[i].left_indent, doc.paragraphs[i].left_indent) << i;
    EXPECT_EQ(back.paragraphs[i].first_indent, doc.paragraphs[i].first_indent) << i;
    EXPECT_EQ(back.paragraphs[i].runs, doc.paragraphs[i].runs) << i;
  }
}

TEST(Rtf, RoundTripsThroughTextDocuments) {
  QTextDocument original;
  QTextCursor cursor(&original);
  InsertRtf(cursor, SampleDocument(), 15.0);
  const QByteArray bytes = RtfWriter::Write(DocumentFromText(original, 15.0));

  QTextDocument loaded;
  QTextCursor load_cursor(&loaded);
  InsertRtf(load_cursor, ReadRtf(bytes), 15.0);
  EXPECT_EQ(loaded.toPlainText(), original.toPlainText());
  EXPECT_EQ(loaded.blockCount(), 4);
  const QTextBlock first = loaded.begin();
  EXPECT_DOUBLE_EQ(first.blockFormat().textIndent(), -49.0);
  const QTextCharFormat speaker = first.begin().fragment().charFormat();
  EXPECT_EQ(speaker.fontFamilies().toStringList().value(0), QStringLiteral("ＭＳ ゴシック"));
  EXPECT_EQ(speaker.fontWeight(), QFont::Bold);
  EXPECT_EQ(speaker.foreground().color(), QColor(0, 0, 255));
  EXPECT_DOUBLE_EQ(speaker.fontPointSize(), 10.5);
  EXPECT_EQ(DocumentFromText(loaded, 15.0).paragraphs, DocumentFromText(original, 15.0).paragraphs);
}

TEST(Rtf, ReadsOtherWritersShiftJisAndSkipsWhatItDoesNotKnow) {
  const QByteArray bytes =
      "{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1041"
      "{\\fonttbl{\\f0\\fnil\\fcharset128 \\'82\\'6c\\'82\\'72 \\'96\\'be\\'92\\'a9;}"
      "{\\f1\\fswiss\\fcharset0 Arial{\\*\\panose 020b0604020202020204};}}"
      "{\\colortbl ;\\red255\\green0\\blue0;}"
      "{\\*\\generator Other writer 1.0;}{\\info{\\title ignored title}}"
      "{\\stylesheet{\\s0 Normal;}}\\viewkind4\\uc1"
      "\\pard\\lang1041\\f0\\fs20 \\'82\\'b1\\'82\\'f1\\'82\\'c9\\'82\\'bf\\'82\\'cd\\par\r\n"
      "\\f1\\cf1\\b caf\\'e9\\b0  \\unknownword42 {\\*\\unknowndest hidden} ok\\par\r\n"
      "\\uc2\\u12354\\'82\\'a0\\uc0\\u12356 x\\par\r\n"
      "two\\line lines\\tab\\emdash\\par\r\n"
      "}\r\ntrailing junk\\par";
  const RtfDocument doc = ReadRtf(bytes);
  ASSERT_EQ(doc.paragraphs.size(), 5);
  EXPECT_EQ(doc.paragraphs[0].Text(), QStringLiteral("こんにちは"));
  EXPECT_EQ(doc.paragraphs[0].runs[0].format.font, QStringLiteral("ＭＳ 明朝"));
  EXPECT_DOUBLE_EQ(doc.paragraphs[0].runs[0].format.size, 10.0);
  EXPECT_EQ(doc.paragraphs[1].Text(), QStringLiteral("café  ok"));
  EXPECT_EQ(doc.paragraphs[1].runs[0].format.font, QStringLiteral("Arial"));
  EXPECT_TRUE(doc.paragraphs[1].runs[0].format.bold);
  EXPECT_EQ(doc.paragraphs[1].runs[0].format.color, qRgb(255, 0, 0));
  EXPECT_EQ(doc.paragraphs[2].Text(), QStringLiteral("あいx"));
  EXPECT_EQ(doc.paragraphs[3].Text(), QStringLiteral("two\u2028lines\t—"));
  EXPECT_EQ(doc.paragraphs[4].Text(), QString());
}

TEST(Rtf, ToleratesTornAndHostileInput) {
  const QByteArray good = RtfWriter::Write(SampleDocument());
  // Torn by a crash: the closing brace (or more) is missing; what was written is still read.
  const RtfDocument torn = ReadRtf(good.left(good.size() - 1));
  EXPECT_EQ(torn.PlainText(), SampleDocument().PlainText());
  for (qsizetype cut = 0; cut <= good.size(); ++cut) (void)ReadRtf(good.left(cut));

  // Deep nesting, unbalanced braces, huge numbers, \bin beyond the end, lone surrogates.
  (void)ReadRtf(QByteArray(200000, '{'));
  (void)ReadRtf(QByteArray(50000, '}') + "text");
  const RtfDocument odd = ReadRtf(
      "{\\rtf1\\fs99999999999999\\li-99999999999 a\\u-10179?\\u55357 b\\bin999999 \\uc99999");
  EXPECT_EQ(odd.paragraphs.size(), 1);
  EXPECT_EQ(odd.paragraphs[0].Text(), QStringLiteral("a\uFFFD\uFFFD"));  // pair broken twice
  EXPECT_EQ(odd.paragraphs[0].left_indent, -31680);

  // Random bytes and random mutations of a good file, with a fixed seed.
  std::mt19937 rng(20240611);
  for (int round = 0; round < 400; ++round) {
    QByteArray bytes;
    if (round % 2 == 0) {
      bytes.resize(rng() % 2000);
      for (char& c : bytes) c = static_cast<char>(rng() % 256);
    } else {
      bytes = good;
      const int edits = 1 + rng() % 20;
      for (int e = 0; e < edits; ++e) {
        bytes[rng() % bytes.size()] = "{}\\'u-0123456789 ;abcxyz\x82\xff"[rng() % 26];
      }
    }
    const RtfDocument doc = ReadRtf(bytes);
    ASSERT_GE(doc.paragraphs.size(), 1);
    QTextDocument text;
    QTextCursor cursor(&text);
    InsertRtf(cursor, doc, 15.0);  // whatever was read can be shown and written again
    (void)ReadRtf(RtfWriter::Write(DocumentFromText(text, 15.0)));
  }
}

// Optional check against an independent reader: LibreOffice, when it is installed.
TEST(Rtf, LibreOfficeReadsWhatWeWrite) {
  const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
  if (soffice.isEmpty()) GTEST_SKIP() << "soffice not installed";
  test::TempHome home;
  home.Write(QStringLiteral("sample.rtf"), RtfWriter::Write(SampleDocument()));
  QProcess process;
  process.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                          QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral("--outdir"),
                          home.path(), home.File(QStringLiteral("sample.rtf"))});
  ASSERT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 120000));
  const QString text = QString::fromUtf8(home.Read(QStringLiteral("sample.txt")));
  EXPECT_TRUE(text.contains(QStringLiteral("太郎：こんにちは 😀 {braces} and \\back\\slash")));
  EXPECT_TRUE(text.contains(QStringLiteral("～ end")));
}
