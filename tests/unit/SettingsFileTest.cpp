#include <gtest/gtest.h>

#include <QDir>
#include <functional>
#include <random>

#include "app/SettingsFile.h"
#include "common/TestSupport.h"
#include "core/Palettes.h"
#include "text/Cp932.h"
#include "text/IniFile.h"

using namespace quillora;

namespace {

QString N(const char* name, int i) { return QLatin1String(name) + QString::number(i); }

// A record in which every field differs from both the blank record and the first-run defaults.
Settings FullRecord() {
  Settings s;
  s.PSetNameNum = 7;
  s.TextSaveDir = "C:\\logs\\text\\";
  s.RtfSaveDir = "D:\\rtf\\";
  s.ReDirListBox = false;
  s.SendToListBox = false;
  s.AllowMulitMes = true;
  s.frmMain_WindowMode = 2;
  s.frmMain_Width = 9.75f;
  s.frmMain_Height = 12000.5f;
  s.ReDirListReset = true;
  s.SendToListRset = true;
  s.PreFixStr = QStringLiteral("様");
  for (int i = 0; i < kPresetCount; ++i) {
    s.PsetMes[i] = QStringLiteral("定型文 ") + QString::number(i);
    s.PsetName[i] = QStringLiteral("名前") + QString::number(i);
  }
  for (int i = 0; i < kColorSlots; ++i) s.Color[i] = Rgb(i * 10, 255 - i, i * 3 + 1);
  s.SndAtt = 1;
  s.AutoSaveText = true;
  s.AutoSaveRTF = true;
  s.NoCngDate = true;
  for (int i = 0; i < kFontSlots; ++i) {
    s.Font[i] =
        FontSetting{QStringLiteral("書体") + QString::number(i), 8.5f + i, i % 2 == 0, i % 3 == 0};
  }
  s.AccessCard4Nova2nd = "cards\\a.txt";
  s.Tarot4Nova2nd = "cards\\t.txt";
  s.Trump4Nova2nd = "cards\\p.txt";
  s.AccessSC4Nova2nd = 30;
  s.ShuffleCount = 500;
  s.Tarot4NovaRev = "cards\\t2.txt";
  s.Trump4NovaRev = "cards\\p2.txt";
  s.UnivDiceStr = QStringList{"2D6", "1D100", "xD6 : x=3"};
  s.DiceInputText = "2D6";
  s.DiceOpt['A' - 'A'] = DiceOptSetting{5, QStringLiteral("振り直し")};
  s.DiceOpt['B' - 'A'] = DiceOptSetting{0, QStringLiteral("コメントだけ")};
  s.DiceOpt['Z' - 'A'] = DiceOptSetting{-1, QString()};
  s.UnivImiMin = -10;
  s.UnivImiMax = 12;
  for (int i = 0; i < kHexSwatches; ++i) s.HexColor[i] = 1000u * i + 7;
  for (int i = 0; i < kDrawSwatches; ++i) s.DrawColor[i] = 5000u * i + 1;
  s.ExecuteLevel = 4;
  s.FileSendRate = 4;
  s.ReceiveQuotaMB = 300;
  s.PortMapping = false;
  return s;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  QString Path() const { return home_.File("app.ini"); }
  Settings Defaults() const { return DefaultSettings(home_.path(), "host-pc"); }

  // Loads into a blank record, as start-up does.
  Settings Load() const {
    Settings out;
    EXPECT_TRUE(LoadSettings(Path(), out, Defaults()));
    return out;
  }
  IniFile Saved() const {
    IniFile ini;
    EXPECT_TRUE(ini.Load(Path()));
    return ini;
  }
  void Edit(const std::function<void(IniFile&)>& change) const {
    IniFile ini = Saved();
    change(ini);
    ASSERT_TRUE(ini.Save(Path()));
  }

  test::TempHome home_;
};

}  // namespace

TEST_F(SettingsFileTest, FirstRunDefaults) {
  const Settings s = Defaults();
  EXPECT_EQ(s.PsetName[0], "host-pc");
  EXPECT_TRUE(s.PsetName[1].isEmpty());
  EXPECT_EQ(s.PreFixStr, QStringLiteral("さん"));
  EXPECT_TRUE(s.TextSaveDir.startsWith(QDir::toNativeSeparators(home_.path())));
  EXPECT_TRUE(s.TextSaveDir.endsWith(QDir::separator()));
  EXPECT_EQ(s.Color[kColorOwnHandle], 0u);
  EXPECT_EQ(s.Color[kColorSystem], 255u);
  EXPECT_NE(s.Color[kColorChatText], s.Color[kColorChatBack]);  // text is readable
  EXPECT_FALSE(s.Font[kFontChat].name.isEmpty());
  EXPECT_GT(s.Font[kFontChat].size, 0);
  for (int slot : {kFontOwnSpeaker, kFontOtherSpeaker, kFontSystem}) {
    EXPECT_EQ(s.Font[slot].name, s.Font[kFontChat].name);
    EXPECT_TRUE(s.Font[slot].bold);
  }
  EXPECT_TRUE(s.Font[7].name.isEmpty());
  EXPECT_EQ(s.AccessCard4Nova2nd, "data\\access.txt");
  EXPECT_EQ(s.Trump4NovaRev, "data\\n_trump.txt");
  EXPECT_EQ(s.UnivDiceStr, QStringList({"3D6+3", "xD6+3 : x=5", "(1D10+2)*2D6"}));
  EXPECT_EQ(s.HexColor[5], kHexDesignColors[5]);
  EXPECT_EQ(s.DrawColor[31], kDrawDesignColors[31]);
}

TEST_F(SettingsFileTest, FullRecordSurvivesSaveAndLoad) {
  const Settings full = FullRecord();
  ASSERT_TRUE(SaveSettings(Path(), full));
  EXPECT_EQ(Load(), full);

  // And the defaults, written at first run, come back as they were.
  const Settings defaults = Defaults();
  ASSERT_TRUE(SaveSettings(Path(), defaults));
  Settings loaded = Load();
  EXPECT_EQ(loaded, defaults);
}

TEST_F(SettingsFileTest, KeysAreWrittenInTheirFixedOrder) {
  ASSERT_TRUE(SaveSettings(Path(), FullRecord()));
  const IniFile ini = Saved();
  EXPECT_EQ(ini.Sections(), QStringList({"Global", "Cur", "AppSet", "Font", "CardSet", "DiceSet",
                                         "UnivHex", "UnivDraw", "SpExt"}));
  EXPECT_EQ(ini.Keys("Global"), QStringList({"DataVer"}));
  EXPECT_EQ(ini.Value("Global", "DataVer"), "2.1");
  EXPECT_EQ(ini.Keys("Cur"),
            QStringList({"PSetNameNum", "TextSaveDir ", "RtfSaveDir", "ReDirListBox",
                         "SendToListBox", "AllowMulitMes", "frmMain_WindowMode", "frmMain_Width",
                         "frmMain_Height", "ReDirListReset", "SendToListRset"}));
  QStringList app_set{"PreFixStr"};
  for (int i = 0; i < 10; ++i) app_set << N("PsetMes", i) << N("PsetName", i);
  QStringList font;
  for (int i = 0; i < 21; ++i) {
    app_set << N("Color", i);
    font << N("Name", i) << N("Size", i) << N("Italic", i) << N("Bold", i);
  }
  app_set << "SndAtt"
          << "AutoSaveText"
          << "AutoSaveRTF"
          << "NoCngDate";
  EXPECT_EQ(ini.Keys("AppSet"), app_set);
  EXPECT_EQ(ini.Keys("Font"), font);
  EXPECT_EQ(ini.Keys("CardSet"),
            QStringList({"AccessCard4Nova2nd", "Tarot4Nova2nd", "Trump4Nova2nd", "AccessSC4Nova2nd",
                         "ShuffleCount", "Tarot4NovaRev", "Trump4NovaRev"}));
  EXPECT_EQ(ini.Keys("DiceSet"),
            QStringList({"UnivDiceStr0", "UnivDiceStr1", "UnivDiceStr2", "DiceOptValue65",
                         "DiceOptComment65", "DiceOptValue66", "DiceOptComment66", "DiceOptValue90",
                         "DiceOptComment90", "UnivImiMin", "UnivImiMax"}));
  QStringList hex, draw;
  for (int i = 0; i < 17; ++i) hex << N("HexColor", i);
  for (int i = 0; i < 32; ++i) draw << N("DrawColor", i);
  EXPECT_EQ(ini.Keys("UnivHex"), hex);
  EXPECT_EQ(ini.Keys("UnivDraw"), draw);
  EXPECT_EQ(ini.Keys("SpExt"),
            QStringList({"ExecuteLevel", "FileSendRate", "ReceiveQuotaMB", "PortMapping"}));

  // Values in the file's own notation.
  const QByteArray bytes = home_.Read("app.ini");
  EXPECT_TRUE(bytes.startsWith("[Global]\r\nDataVer=2.1\r\n[Cur]\r\nPSetNameNum=7\r\n"));
  EXPECT_TRUE(bytes.contains("\r\nTextSaveDir =C:\\logs\\text\\\r\n"));
  EXPECT_TRUE(bytes.contains("\r\nfrmMain_Width=9.75\r\nfrmMain_Height=12000.5\r\n"));
  EXPECT_TRUE(bytes.contains("\r\nAllowMulitMes=True\r\n"));
  EXPECT_TRUE(bytes.contains(QByteArray("\r\nPreFixStr=") + Cp932::Encode(QStringLiteral("様"))));
  EXPECT_TRUE(bytes.contains("\r\nDiceOptValue90=-1\r\nDiceOptComment90=\r\n"));
  ASSERT_TRUE(SaveSettings(Path(), Defaults()));
  EXPECT_TRUE(home_.Read("app.ini").contains("\r\nfrmMain_Width=8520\r\n"));
}

TEST_F(SettingsFileTest, SavingUpdatesAnExistingFileAndPrunesDiceKeys) {
  Settings s = FullRecord();
  for (int i = 0; i < 10; ++i) s.UnivDiceStr << QString::number(i) + "D6";
  s.DiceOpt['C' - 'A'] = DiceOptSetting{3, "c"};
  s.DiceOpt['D' - 'A'] = DiceOptSetting{9, "never"};  // "D" is the dice operator
  ASSERT_TRUE(SaveSettings(Path(), s));
  Edit([](IniFile& ini) {
    ini.SetValue("Other", "Kept", "yes");
    ini.SetValue("DiceSet", "UnivDiceStr100", "beyond the list");
  });
  EXPECT_TRUE(Saved().Contains("DiceSet", "UnivDiceStr12"));
  EXPECT_FALSE(Saved().Contains("DiceSet", "DiceOptValue68"));

  s.UnivDiceStr = QStringList{"1D6", " ", "2D6", "3D6"};  // the blank entry is left out
  s.DiceOpt['A' - 'A'] = DiceOptSetting{};
  s.DiceOpt['C' - 'A'] = DiceOptSetting{0, QString()};
  ASSERT_TRUE(SaveSettings(Path(), s));
  const IniFile ini = Saved();
  EXPECT_EQ(ini.Value("DiceSet", "UnivDiceStr2"), "3D6");
  for (int i = 3; i < 100; ++i) EXPECT_FALSE(ini.Contains("DiceSet", N("UnivDiceStr", i))) << i;
  EXPECT_TRUE(ini.Contains("DiceSet", "UnivDiceStr100"));  // never ours to delete
  for (int code : {65, 67}) {
    EXPECT_FALSE(ini.Contains("DiceSet", N("DiceOptValue", code)));
    EXPECT_FALSE(ini.Contains("DiceSet", N("DiceOptComment", code)));
  }
  EXPECT_EQ(ini.Value("DiceSet", "DiceOptComment66"), QStringLiteral("コメントだけ"));
  EXPECT_EQ(ini.Value("Other", "Kept"), "yes");
  EXPECT_EQ(Load().UnivDiceStr, QStringList({"1D6", "2D6", "3D6"}));
}

TEST_F(SettingsFileTest, VersionLadder) {
  const Settings full = FullRecord();
  ASSERT_TRUE(SaveSettings(Path(), full));

  // No version: not a single key is read.
  Edit([](IniFile& ini) { ini.Remove("Global", "DataVer"); });
  Settings untouched;
  untouched.PreFixStr = "as passed in";
  Settings out = untouched;
  ASSERT_TRUE(LoadSettings(Path(), out, Defaults()));
  EXPECT_EQ(out, untouched);

  // 1.2: the early keys, a fixed dice list, the first preset and the default NovaRev files.
  Edit([](IniFile& ini) { ini.SetValue("Global", "DataVer", "1.2"); });
  out = Load();
  EXPECT_EQ(out.PreFixStr, full.PreFixStr);
  EXPECT_EQ(out.Font[3], full.Font[3]);
  EXPECT_EQ(out.Color[20], full.Color[20]);
  EXPECT_EQ(out.ShuffleCount, 500);
  EXPECT_EQ(out.PSetNameNum, 0);
  EXPECT_EQ(out.UnivDiceStr, QStringList({"3D6+3", "(D10+2)*2D"}));
  EXPECT_EQ(out.DiceInputText, "3D6+3");
  EXPECT_EQ(out.Tarot4NovaRev, "data\\tarot.txt");
  EXPECT_TRUE(out.ReDirListBox);  // a 1.5 key: left as passed in

  // 1.3: the stored dice list and preset number; NovaRev files still the defaults even though
  // the file holds others, since only 1.4 files know them.
  Edit([](IniFile& ini) { ini.SetValue("Global", "DataVer", "1.3"); });
  out = Load();
  EXPECT_EQ(out.PSetNameNum, 7);
  EXPECT_EQ(out.UnivDiceStr, full.UnivDiceStr);
  EXPECT_EQ(out.DiceInputText, "2D6");
  EXPECT_EQ(out.Tarot4NovaRev, "data\\tarot.txt");
  EXPECT_EQ(out.Trump4NovaRev, "data\\n_trump.txt");
  EXPECT_EQ(out.frmMain_WindowMode, 0);
  Edit([](IniFile& ini) { ini.Remove("DiceSet", "UnivDiceStr0"); });
  out = Load();
  EXPECT_EQ(out.UnivDiceStr, QStringList({"3D6+3"}));
  EXPECT_EQ(out.DiceInputText, "3D6+3");

  // 2.0 (there is no 2.0 block): everything up to 1.9, but not the 2.1 keys.
  Edit([](IniFile& ini) { ini.SetValue("Global", "DataVer", "2.0"); });
  out = Load();
  EXPECT_EQ(out.Tarot4NovaRev, full.Tarot4NovaRev);
  EXPECT_EQ(out.frmMain_Height, full.frmMain_Height);
  EXPECT_EQ(out.DiceOpt, full.DiceOpt);
  EXPECT_EQ(out.SndAtt, 1);
  EXPECT_EQ(out.HexColor, full.HexColor);
  EXPECT_TRUE(out.NoCngDate);
  EXPECT_EQ(out.ExecuteLevel, 0);
  EXPECT_FALSE(out.ReDirListReset);

  // A later version reads everything it knows.
  Edit([](IniFile& ini) { ini.SetValue("Global", "DataVer", "2.5"); });
  EXPECT_EQ(Load().ExecuteLevel, 4);
}

TEST_F(SettingsFileTest, TextSaveDirKeyKeepsItsBlankWhenRead) {
  home_.Write("app.ini",
              "[Global]\r\nDataVer=2.1\r\n[Cur]\r\nTextSaveDir =C:\\a\\\r\nRtfSaveDir=C:\\b\\\r\n");
  const Settings s = Load();
  EXPECT_EQ(s.TextSaveDir, "C:\\a\\");
  EXPECT_EQ(s.RtfSaveDir, "C:\\b\\");
}

TEST_F(SettingsFileTest, MissingOrBadKeysFallBackOneByOne) {
  ASSERT_TRUE(SaveSettings(Path(), FullRecord()));
  Edit([](IniFile& ini) {
    ini.SetValue("Cur", "PSetNameNum", "42");
    ini.SetValue("Cur", "frmMain_Width", "wide");
    ini.SetValue("Cur", "frmMain_Height", "-5");
    ini.SetValue("Cur", "frmMain_WindowMode", "7");
    ini.Remove("Cur", "ReDirListBox");
    ini.SetValue("Cur", "SendToListBox", "");
    ini.Remove("AppSet", "PreFixStr");
    ini.SetValue("AppSet", "Color3", "blue");
    ini.SetValue("AppSet", "Color4", "99999999999");
    ini.Remove("Font", "Name0");
    ini.Remove("Font", "Bold4");            // read default "False"
    ini.SetValue("Font", "Bold5", "bold");  // unreadable: the first-run default
    ini.SetValue("Font", "Size1", "nan");
    ini.SetValue("CardSet", "ShuffleCount", "2000000000");
    ini.Remove("UnivHex", "HexColor2");
    ini.SetValue("UnivDraw", "DrawColor2", "red");
    ini.SetValue("DiceSet", "DiceOptValue66", "lots");
    ini.SetValue("SpExt", "ExecuteLevel", "9");
  });
  Settings passed;
  passed.HexColor[2] = 0x123456;
  const Settings d = Defaults();
  ASSERT_TRUE(LoadSettings(Path(), passed, d));
  const Settings& s = passed;
  const Settings full = FullRecord();
  EXPECT_EQ(s.PSetNameNum, 0);
  EXPECT_EQ(s.frmMain_Width, 8520);
  EXPECT_EQ(s.frmMain_Height, 6105);
  EXPECT_EQ(s.frmMain_WindowMode, 0);
  EXPECT_TRUE(s.ReDirListBox);
  EXPECT_TRUE(s.SendToListBox);
  EXPECT_EQ(s.PreFixStr, QStringLiteral("さん"));
  EXPECT_EQ(s.Color[3], d.Color[3]);
  EXPECT_EQ(s.Color[4], d.Color[4]);
  EXPECT_EQ(s.Font[0].name, d.Font[0].name);
  EXPECT_FALSE(s.Font[4].bold);
  EXPECT_EQ(s.Font[5].bold, d.Font[5].bold);
  EXPECT_EQ(s.Font[1].size, d.Font[1].size);
  EXPECT_EQ(s.ShuffleCount, 200);
  EXPECT_EQ(s.HexColor[2], 0x123456u);  // a missing swatch keeps its colour
  EXPECT_EQ(s.DrawColor[2], kDrawDesignColors[2]);
  EXPECT_FALSE(s.DiceOpt['B' - 'A'].Exists());
  EXPECT_EQ(s.ExecuteLevel, 0);
  // Everything else is still read.
  EXPECT_EQ(s.PsetName, full.PsetName);
  EXPECT_EQ(s.Color[5], full.Color[5]);
  EXPECT_EQ(s.Font[6], full.Font[6]);
  EXPECT_EQ(s.DiceOpt['A' - 'A'], full.DiceOpt['A' - 'A']);
  EXPECT_EQ(s.DrawColor[3], full.DrawColor[3]);
  EXPECT_TRUE(s.SendToListRset);
}

TEST_F(SettingsFileTest, ValueNotations) {
  const QStringList yes{"True", "true", "TRUE", " True ", "1", "-1", "2.5", "&HFF"};
  const QStringList no{"False", "false", "0", "0.0", "-0"};
  for (const QString& text : yes)
    EXPECT_EQ(ParseBool(text), std::optional<bool>(true)) << text.toStdString();
  for (const QString& text : no)
    EXPECT_EQ(ParseBool(text), std::optional<bool>(false)) << text.toStdString();
  for (const char* text : {"", "yes", "Truee", "1x", "inf"}) EXPECT_FALSE(ParseBool(text)) << text;

  EXPECT_EQ(SingleText(8520), "8520");
  EXPECT_EQ(SingleText(9.75f), "9.75");
  EXPECT_EQ(SingleText(0.1f), "0.1");
  EXPECT_EQ(SingleText(1e7f), "10000000");
  EXPECT_EQ(LeadingNumber("2.1"), 2.1);
  EXPECT_EQ(LeadingNumber(" 1.9beta"), 1.9);
  EXPECT_EQ(LeadingNumber("v2"), 0);

  // Whole numbers round half to even; Windows' system colours (negative numbers) become plain
  // colours, an unknown one the default.
  home_.Write("app.ini",
              "[Global]\nDataVer=2.1\n[Cur]\nPSetNameNum=2.5\n[DiceSet]\nUnivImiMin=-3.5\n"
              "[AppSet]\nColor0=-2147483633\nColor1=&HFF0000\nColor4=-2147483643\n"
              "Color5=-2147483548\nColor6=-2147483640\n[UnivHex]\nHexColor0=-2147483643\n");
  const Settings s = Load();
  EXPECT_EQ(s.PSetNameNum, 2);
  EXPECT_EQ(s.UnivImiMin, -4);
  EXPECT_EQ(s.Color[0], Rgb(212, 208, 200));  // button face
  EXPECT_EQ(s.Color[1], 0xFF0000u);
  EXPECT_EQ(s.Color[4], Rgb(255, 255, 255));  // window background
  EXPECT_EQ(s.Color[5], Defaults().Color[5]);
  EXPECT_EQ(s.Color[6], 0u);  // window text
  EXPECT_EQ(s.HexColor[0], Rgb(255, 255, 255));
}

TEST_F(SettingsFileTest, HostileFilesLoadWithoutHarm) {
  std::mt19937 random(7);
  QByteArray junk("[Global]\r\nDataVer=2.1\r\n");
  for (int i = 0; i < 64 * 1024; ++i) junk.append(static_cast<char>(random() & 0xFF));
  const QByteArray long_line = QByteArray("[Global]\r\nDataVer=2.1\r\n[AppSet]\r\nPreFixStr=") +
                               QByteArray(10 * 1024 * 1024, 'y');
  const char nul_text[] = "[Global]\r\nDataVer=2\0.1\r\n[Cur]\r\nPSetNameNum=\0\0\r\n\0[AppSet\0";
  const QByteArray cases[] = {junk, long_line, QByteArray(nul_text, sizeof nul_text - 1),
                              QByteArray("[Global]\r\nDataVer=99\r\n[Cur\r\n=\r\n[]\r\n")};
  for (const QByteArray& bytes : cases) {
    home_.Write("app.ini", bytes);
    Settings out;
    EXPECT_TRUE(LoadSettings(Path(), out, Defaults()));
    EXPECT_GE(out.PSetNameNum, 0);
    EXPECT_LT(out.PSetNameNum, kPresetCount);
    EXPECT_FALSE(out.UnivDiceStr.isEmpty());
    ASSERT_TRUE(SaveSettings(Path(), out));
    Settings again;
    EXPECT_TRUE(LoadSettings(Path(), again, Defaults()));
    EXPECT_EQ(again.PreFixStr, out.PreFixStr);
  }

  Settings out;
  EXPECT_FALSE(LoadSettings(home_.File("missing.ini"), out));
  EXPECT_FALSE(LoadSettings(home_.path(), out));  // a folder, not a file
  EXPECT_FALSE(SaveSettings(home_.path(), out));
  EXPECT_FALSE(SaveSettings(home_.File("no/folder/app.ini"), out));
}

TEST_F(SettingsFileTest, FirstRunDrawingPaletteIsTheClassicPaintBox) {
  ASSERT_TRUE(SaveSettings(Path(), Defaults()));
  IniFile ini;
  ASSERT_TRUE(ini.Load(Path()));
  // Stored as decimal 0x00BBGGRR: D88A07 is 0x00078AD8.
  EXPECT_EQ(ini.Value("UnivDraw", "DrawColor10"), "494296");
  EXPECT_EQ(ini.Value("UnivDraw", "DrawColor1"), QString::number(0x808080));
  EXPECT_EQ(ini.Value("UnivDraw", "DrawColor2"), QString::number(0x0000C0));
  EXPECT_EQ(ini.Value("UnivDraw", "DrawColor24"), QString::number(0x6161AF));
  EXPECT_EQ(ini.Value("UnivDraw", "DrawColor29"), QString::number(0xFFB7FC));
  for (int i : {0, 14, 15, 30, 31}) EXPECT_EQ(ini.Value("UnivDraw", N("DrawColor", i)), "0");
}
