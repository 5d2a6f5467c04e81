#include <gtest/gtest.h>

#include <QFile>
#include <random>

#include "common/TestSupport.h"
#include "text/Cp932.h"
#include "text/IniFile.h"

using namespace quillora;

namespace {

IniFile Parsed(const QByteArray& bytes) {
  IniFile ini;
  EXPECT_TRUE(ini.Parse(bytes));
  return ini;
}

}  // namespace

TEST(IniFile, NamesCompareWithoutCaseAndKeysKeepTheirBlank) {
  IniFile ini = Parsed(
      "[Cur]\r\n"
      "TextSaveDir =C:\\logs\\\r\n"
      "  RtfSaveDir = D:\\rtf\\  \r\n"
      "[ AppSet ]\r\n"
      "PreFixStr=\r\n");
  EXPECT_EQ(ini.Value("cur", "TEXTSAVEDIR "), "C:\\logs\\");
  EXPECT_EQ(ini.Value("CUR", "textsavedir"), "C:\\logs\\");
  EXPECT_EQ(ini.Value("Cur", "RtfSaveDir"), "D:\\rtf\\");
  EXPECT_EQ(ini.Keys("Cur"), QStringList({"TextSaveDir ", "RtfSaveDir "}));
  EXPECT_EQ(ini.Sections(), QStringList({"Cur", "AppSet"}));
  // Present but empty is not missing.
  ASSERT_TRUE(ini.Find("appset", "prefixstr").has_value());
  EXPECT_EQ(*ini.Find("appset", "prefixstr"), "");
  EXPECT_FALSE(ini.Find("AppSet", "Missing").has_value());
  EXPECT_FALSE(ini.Find("Nowhere", "PreFixStr").has_value());
  EXPECT_EQ(ini.Value("Nowhere", "x", "fallback"), "fallback");

  // An update keeps the key exactly as the file spells it.
  ini.SetValue("CUR", "textsavedir", "E:\\");
  EXPECT_TRUE(ini.ToBytes().contains("\r\nTextSaveDir =E:\\\r\n"));
}

TEST(IniFile, EditsInPlaceAppendsAndKeepsCommentsAndBlankLines) {
  IniFile ini = Parsed(
      "; settings of the chat tool\r\n"
      "[A]\r\n"
      "one=1\r\n"
      "; about two\r\n"
      "two=2\r\n"
      "\r\n"
      "[B]\r\n"
      "three=3\r\n");
  ini.SetValue("a", "TWO", "22");
  ini.SetValue("A", "four", "4");
  ini.SetValue("B", "five", "5");
  ini.SetValue("New", "six", "6");
  ini.Remove("A", "one");
  ini.Remove("A", "absent");
  ini.Remove("Absent", "one");
  EXPECT_EQ(ini.ToBytes(), QByteArray("; settings of the chat tool\r\n"
                                      "[A]\r\n"
                                      "; about two\r\n"
                                      "two=22\r\n"
                                      "four=4\r\n"
                                      "\r\n"
                                      "[B]\r\n"
                                      "three=3\r\n"
                                      "five=5\r\n"
                                      "[New]\r\n"
                                      "six=6\r\n"));
  EXPECT_EQ(ini.Keys("A"), QStringList({"two", "four"}));
}

TEST(IniFile, NewKeyGoesAfterTrailingCommentButBeforeSeparatingBlankLines) {
  IniFile ini = Parsed("[A]\nx=1\n;note\n\n  \n[B]\n");
  ini.SetValue("A", "y", "2");
  ini.SetValue("A", "z", "3");
  EXPECT_EQ(ini.ToBytes(), QByteArray("[A]\r\nx=1\r\n;note\r\ny=2\r\nz=3\r\n\r\n  \r\n[B]\r\n"));
  EXPECT_EQ(ini.Value("A", "z"), "3");
}

TEST(IniFile, FirstOfDuplicateNamesCountsAndRemovalRevealsTheNext) {
  IniFile ini = Parsed("[S]\nk=first\nK=second\n[s]\nk=third\nother=4\n");
  EXPECT_EQ(ini.Value("S", "k"), "first");
  EXPECT_FALSE(ini.Contains("S", "other"));  // only the first [S] is looked at
  ini.Remove("S", "k");
  EXPECT_EQ(ini.Value("S", "k"), "second");
  ini.SetValue("S", "k", "changed");
  EXPECT_TRUE(ini.ToBytes().startsWith("[S]\r\nK=changed\r\n[s]\r\nk=third\r\n"));
}

TEST(IniFile, KeysBeforeAnyHeaderAndMalformedLinesAreKeptButNotKeys) {
  const QByteArray text =
      "loose=1\r\n"
      "[Broken\r\n"
      "[Good]\r\n"
      "no equals sign here\r\n"
      ";hidden=1\r\n"
      "[open=bracket\r\n"
      "k=v\r\n";
  IniFile ini = Parsed(text);
  EXPECT_EQ(ini.Sections(), QStringList({"Good"}));
  EXPECT_FALSE(ini.Contains("Good", ";hidden"));
  EXPECT_EQ(ini.Value("Good", "[open"), "bracket");
  EXPECT_EQ(ini.Value("Good", "k"), "v");
  EXPECT_EQ(ini.ToBytes(), text);  // untouched lines come back byte for byte
}

TEST(IniFile, LongValuesJapaneseTextAndEncodingsOnDisk) {
  test::TempHome home;
  const QString path = home.File("app.ini");
  const QString long_value = QString(2000, QChar(u'長'));

  IniFile ini;
  ini.SetValue("AppSet", "PreFixStr", QStringLiteral("様"));
  ini.SetValue("AppSet", "PsetMes1", long_value);
  ASSERT_TRUE(ini.Save(path));
  const QByteArray bytes = home.Read("app.ini");
  EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
  EXPECT_TRUE(bytes.contains(QByteArray("PreFixStr=") + Cp932::Encode(QStringLiteral("様"))));

  IniFile back;
  ASSERT_TRUE(back.Load(path));
  EXPECT_EQ(back.Value("AppSet", "PreFixStr"), QStringLiteral("様"));
  EXPECT_EQ(back.Value("AppSet", "PsetMes1"), long_value);  // no 254-byte cut

  // Text CP932 cannot hold is not turned into "?": the file is written as UTF-8 instead.
  back.SetValue("AppSet", "PsetName1", QStringLiteral("ダイス🎲"));
  ASSERT_TRUE(back.Save(path));
  EXPECT_TRUE(home.Read("app.ini").startsWith("\xEF\xBB\xBF"));
  IniFile again;
  ASSERT_TRUE(again.Load(path));
  EXPECT_EQ(again.Value("AppSet", "PsetName1"), QStringLiteral("ダイス🎲"));
  EXPECT_EQ(again.Value("AppSet", "PreFixStr"), QStringLiteral("様"));

  // UTF-8 without a BOM (a file edited on Linux) is read too.
  EXPECT_EQ(Parsed(QByteArray("[A]\nk=") + QStringLiteral("さん").toUtf8()).Value("A", "k"),
            QStringLiteral("さん"));
}

TEST(IniFile, ValuesCannotBreakTheLineStructure) {
  IniFile ini;
  ini.SetValue("AppSet", "PsetMes1", "hello\r\n[Evil]\r\nPreFixStr=x");
  ini.SetValue("AppSet", "PsetMes2", QString("cut") + QChar(u'\0') + "here");
  const IniFile back = Parsed(ini.ToBytes());
  EXPECT_EQ(back.Sections(), QStringList({"AppSet"}));
  EXPECT_EQ(back.Keys("AppSet"), QStringList({"PsetMes1", "PsetMes2"}));
  // What is in memory is what will be read back.
  EXPECT_EQ(back.Value("AppSet", "PsetMes1"), ini.Value("AppSet", "PsetMes1"));
  EXPECT_EQ(back.Value("AppSet", "PsetMes2"), "cut");
}

TEST(IniFile, SaveReplacesTheFileAndReportsFailure) {
  test::TempHome home;
  home.Write("app.ini", "[Old]\r\nk=1\r\n");
  IniFile ini;
  ASSERT_TRUE(ini.Load(home.File("app.ini")));
  ini.SetValue("Old", "k", "2");
  ASSERT_TRUE(ini.Save(home.File("app.ini")));
  EXPECT_EQ(home.Read("app.ini"), QByteArray("[Old]\r\nk=2\r\n"));

  EXPECT_FALSE(ini.Save(home.File("no/such/folder/app.ini")));
  EXPECT_FALSE(ini.Load(home.File("missing.ini")));
  EXPECT_TRUE(ini.Sections().isEmpty());
}

TEST(IniFile, HostileBytesNeverCrashOrHang) {
  std::mt19937 random(20240611);
  QByteArray junk;
  for (int i = 0; i < 256 * 1024; ++i) junk.append(static_cast<char>(random() & 0xFF));
  // Sprinkle in the characters the parser reacts to.
  for (int i = 0; i < 4000; ++i) junk[random() % junk.size()] = "[]=;\n\r"[random() % 6];

  const char nul_text[] = "[A]\r\nk=a\0b\r\n\0\0\0[B\0]\r\nz\0=1\r\n";
  const QByteArray cases[] = {
      junk,
      QByteArray("[A]\r\nk=") + QByteArray(10 * 1024 * 1024, 'x'),
      QByteArray(10 * 1024 * 1024, '['),
      QByteArray(nul_text, sizeof nul_text - 1),
      QByteArray("[A]\r\nk=\x82\xFF\x81\x81\xFC\r\n\x85=\x86\r\n"),
      QByteArray("\xEF\xBB\xBF[A]\r\nk=\xC3\x28\r\n"),
      QByteArray(100000, '\n'),
  };
  for (const QByteArray& bytes : cases) {
    IniFile ini;
    ASSERT_TRUE(ini.Parse(bytes));
    ini.SetValue("A", "k", "new");
    ini.Remove("B", "z");
    const IniFile back = Parsed(ini.ToBytes());
    EXPECT_EQ(back.Value("A", "k"), "new");
  }
  EXPECT_EQ(Parsed(cases[1]).Value("A", "k").size(), 10 * 1024 * 1024);
  EXPECT_EQ(Parsed(cases[3]).Value("A", "k"), "a");

  // Beyond the limits the file is refused, not swallowed.
  IniFile ini;
  EXPECT_FALSE(ini.Parse(QByteArray(IniFile::kMaxLines + 1, '\n')));
  EXPECT_FALSE(ini.Parse(QByteArray(IniFile::kMaxFileBytes + 1, 'x')));
  if (QFile::exists("/dev/zero")) {
    EXPECT_FALSE(ini.Load("/dev/zero"));  // endless, sizeless
  }
  EXPECT_TRUE(ini.Sections().isEmpty());
}
