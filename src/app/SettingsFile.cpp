#include "app/SettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/Palettes.h"

namespace quillora {

namespace {

// Section names.
const QString kGlobal = QStringLiteral("Global");
const QString kCur = QStringLiteral("Cur");
const QString kAppSet = QStringLiteral("AppSet");
const QString kFont = QStringLiteral("Font");
const QString kCardSet = QStringLiteral("CardSet");
const QString kDiceSet = QStringLiteral("DiceSet");
const QString kUnivHex = QStringLiteral("UnivHex");
const QString kUnivDraw = QStringLiteral("UnivDraw");
const QString kSpExt = QStringLiteral("SpExt");

// The key of the text-log folder has always ended in a blank; files in the field have it so.
const QString kTextSaveDirKey = QStringLiteral("TextSaveDir ");

const QString kDefaultTarot = QStringLiteral("data\\tarot.txt");
const QString kDefaultTrump = QStringLiteral("data\\n_trump.txt");
const QString kFirstDice = QStringLiteral("3D6+3");

// Dice option sets are named by the letters A..Z; "D" is the dice operator and never names one.
constexpr int kFirstOptionCode = 65;
constexpr int kLastOptionCode = 90;
constexpr int kDiceOperatorCode = 68;

// Upper bounds of counts a hand-edited file could make absurd (a shuffle of two billion swaps
// would freeze the server).
constexpr int64_t kMaxShuffle = 100000;
constexpr float kMaxFontSize = 1000;

QString Numbered(const char* name, int i) { return QLatin1String(name) + QString::number(i); }

QString DefaultFontName() {
#if defined(Q_OS_WIN)
  return QStringLiteral("MS UI Gothic");
#elif defined(Q_OS_MACOS)
  return QStringLiteral("Hiragino Sans");
#else
  return QStringLiteral("VL PGothic");
#endif
}

// Reads keys with their fallbacks: a missing key, an empty value where a number or flag is
// expected, or a value that does not convert, gives the first-run default of that key.
class Reader {
 public:
  explicit Reader(const IniFile& ini) : ini_(ini) {}

  // Text keys: an empty value is a value; only a missing key falls back.
  QString Text(const QString& section, const QString& key, const QString& fallback) const {
    return ini_.Value(section, key, fallback);
  }

  // `read_default` is what the program has always asked the file for when the key is missing
  // or empty; `fallback` is used when nothing usable is there.
  bool Bool(const QString& section, const QString& key, bool fallback,
            const QString& read_default = QString()) const {
    const QString text = ReadIniString(ini_, section, key, read_default);
    return ParseBool(text).value_or(fallback);
  }

  int64_t Int(const QString& section, const QString& key, int64_t low, int64_t high,
              int64_t fallback, const QString& read_default = QString()) const {
    const std::optional<double> number =
        ParseNumber(ReadIniString(ini_, section, key, read_default));
    if (!number) return fallback;
    // Whole numbers round half to even, as the conversion always did.
    const double rounded = std::nearbyint(*number);
    if (rounded < static_cast<double>(low) || rounded > static_cast<double>(high)) return fallback;
    return static_cast<int64_t>(rounded);
  }

  float Single(const QString& section, const QString& key, float low, float high,
               float fallback) const {
    const std::optional<double> number = ParseNumber(ReadIniString(ini_, section, key, {}));
    if (!number || *number < low || *number > high) return fallback;
    return static_cast<float>(*number);
  }

  // Colours are 32-bit values; files written on Windows may hold negative ones (system colours),
  // which are turned into plain colours here.
  uint32_t Colour(const QString& section, const QString& key, uint32_t fallback,
                  const QString& read_default = QString()) const {
    const auto stored =
        static_cast<uint32_t>(Int(section, key, std::numeric_limits<int32_t>::min(),
                                  std::numeric_limits<uint32_t>::max(), fallback, read_default));
    return ResolveWindowsColor(stored, fallback);
  }

 private:
  const IniFile& ini_;
};

QString ColourText(uint32_t colour) {
  // Written as the signed 32-bit number the file has always held.
  return QString::number(static_cast<int32_t>(colour));
}

void SetNovaRevDefaults(Settings& s) {
  s.Tarot4NovaRev = kDefaultTarot;
  s.Trump4NovaRev = kDefaultTrump;
}

void ReadBlock12(const Reader& r, Settings& s, const Settings& d) {
  s.TextSaveDir = r.Text(kCur, kTextSaveDirKey, d.TextSaveDir);
  s.RtfSaveDir = r.Text(kCur, QStringLiteral("RtfSaveDir"), d.RtfSaveDir);
  s.PreFixStr = r.Text(kAppSet, QStringLiteral("PreFixStr"), d.PreFixStr);
  for (int i = 0; i < kPresetCount; ++i) {
    s.PsetMes[i] = r.Text(kAppSet, Numbered("PsetMes", i), d.PsetMes[i]);
    s.PsetName[i] = r.Text(kAppSet, Numbered("PsetName", i), d.PsetName[i]);
  }
  const QString no = BoolText(false);
  for (int i = 0; i < kColorSlots; ++i) {
    s.Color[i] = r.Colour(kAppSet, Numbered("Color", i), d.Color[i]);
  }
  for (int i = 0; i < kFontSlots; ++i) {
    FontSetting& font = s.Font[i];
    const FontSetting& design = d.Font[i];
    font.name = r.Text(kFont, Numbered("Name", i), design.name);
    font.size = r.Single(kFont, Numbered("Size", i), 0, kMaxFontSize, design.size);
    font.italic = r.Bool(kFont, Numbered("Italic", i), design.italic, no);
    font.bold = r.Bool(kFont, Numbered("Bold", i), design.bold, no);
  }
  s.AccessCard4Nova2nd =
      r.Text(kCardSet, QStringLiteral("AccessCard4Nova2nd"), d.AccessCard4Nova2nd);
  s.Tarot4Nova2nd = r.Text(kCardSet, QStringLiteral("Tarot4Nova2nd"), d.Tarot4Nova2nd);
  s.Trump4Nova2nd = r.Text(kCardSet, QStringLiteral("Trump4Nova2nd"), d.Trump4Nova2nd);
  s.AccessSC4Nova2nd = static_cast<int>(
      r.Int(kCardSet, QStringLiteral("AccessSC4Nova2nd"), 0, kMaxShuffle, d.AccessSC4Nova2nd));
  s.ShuffleCount = static_cast<int>(
      r.Int(kCardSet, QStringLiteral("ShuffleCount"), 0, kMaxShuffle, d.ShuffleCount));

  s.PSetNameNum = 0;
  s.UnivDiceStr = QStringList{kFirstDice, QStringLiteral("(D10+2)*2D")};
  s.DiceInputText = kFirstDice;
  SetNovaRevDefaults(s);
}

void ReadBlock13(const IniFile& ini, const Reader& r, Settings& s) {
  // A number outside the ten presets would index past them; the first preset is the safe one.
  s.PSetNameNum =
      static_cast<int>(r.Int(kCur, QStringLiteral("PSetNameNum"), 0, kPresetCount - 1, 0));
  s.UnivDiceStr.clear();
  for (int i = 0; i < kMaxDiceList; ++i) {
    const QString entry = ReadIniString(ini, kDiceSet, Numbered("UnivDiceStr", i), {});
    if (entry.isEmpty()) break;
    s.UnivDiceStr << entry;
  }
  if (s.UnivDiceStr.isEmpty()) s.UnivDiceStr << kFirstDice;
  s.DiceInputText = s.UnivDiceStr.first();
  SetNovaRevDefaults(s);
}

void ReadBlock15(const Reader& r, Settings& s, const Settings& d) {
  s.ReDirListBox = r.Bool(kCur, QStringLiteral("ReDirListBox"), d.ReDirListBox);
  s.SendToListBox = r.Bool(kCur, QStringLiteral("SendToListBox"), d.SendToListBox);
  s.AllowMulitMes = r.Bool(kCur, QStringLiteral("AllowMulitMes"), d.AllowMulitMes);
  s.frmMain_WindowMode = static_cast<int>(
      r.Int(kCur, QStringLiteral("frmMain_WindowMode"), 0, 2, d.frmMain_WindowMode));
  // A window needs a size; zero, negative or endless sizes are taken as missing.
  constexpr float kMaxTwips = 1e7f;
  s.frmMain_Width = r.Single(kCur, QStringLiteral("frmMain_Width"), 1, kMaxTwips, d.frmMain_Width);
  s.frmMain_Height =
      r.Single(kCur, QStringLiteral("frmMain_Height"), 1, kMaxTwips, d.frmMain_Height);
}

void ReadBlock16(const IniFile& ini, const Reader& r, Settings& s, const Settings& d) {
  for (int code = kFirstOptionCode; code <= kLastOptionCode; ++code) {
    if (code == kDiceOperatorCode) continue;
    const QString value_key = Numbered("DiceOptValue", code);
    if (ReadIniString(ini, kDiceSet, value_key, {}).isEmpty()) continue;
    const std::optional<double> flags = ParseNumber(ini.Value(kDiceSet, value_key));
    // A flags word that is not a 32-bit number registers nothing, as if the set were absent.
    if (!flags || std::nearbyint(*flags) < std::numeric_limits<int32_t>::min() ||
        std::nearbyint(*flags) > std::numeric_limits<int32_t>::max()) {
      continue;
    }
    DiceOptSetting& set = s.DiceOpt[code - kFirstOptionCode];
    set.flags = static_cast<int32_t>(std::nearbyint(*flags));
    set.comment = ini.Value(kDiceSet, Numbered("DiceOptComment", code));
  }
  s.UnivImiMin = static_cast<int>(r.Int(kDiceSet, QStringLiteral("UnivImiMin"), -32768, 32767,
                                        d.UnivImiMin, QStringLiteral("-6")));
  s.UnivImiMax = static_cast<int>(r.Int(kDiceSet, QStringLiteral("UnivImiMax"), -32768, 32767,
                                        d.UnivImiMax, QStringLiteral("6")));
}

void ReadBlock18(const Reader& r, Settings& s, const Settings& d) {
  // A missing swatch keeps the colour it has; one that does not convert gets the design colour.
  for (int i = 0; i < kHexSwatches; ++i) {
    s.HexColor[i] = r.Colour(kUnivHex, Numbered("HexColor", i), d.HexColor[i],
                             QString::number(static_cast<int32_t>(s.HexColor[i])));
  }
  for (int i = 0; i < kDrawSwatches; ++i) {
    s.DrawColor[i] = r.Colour(kUnivDraw, Numbered("DrawColor", i), d.DrawColor[i],
                              QString::number(static_cast<int32_t>(s.DrawColor[i])));
  }
}

}  // namespace

QString BoolText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

QString SingleText(float value) {
  if (!std::isfinite(value)) return QStringLiteral("0");
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (result.ec != std::errc()) return QString::number(static_cast<double>(value), 'g', 9);
  return QString::fromLatin1(buffer, result.ptr - buffer);
}

std::optional<double> ParseNumber(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return std::nullopt;
  if (trimmed.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
    QString digits = trimmed.mid(2);
    if (digits.endsWith(QLatin1Char('&'))) digits.chop(1);
    bool ok = false;
    const qulonglong value = digits.size() <= 8 ? digits.toULongLong(&ok, 16) : 0;
    if (!ok) return std::nullopt;
    return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(value)));
  }
  bool ok = false;
  const double value = QLocale::c().toDouble(trimmed, &ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<bool> ParseBool(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
  if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
  const std::optional<double> number = ParseNumber(trimmed);
  if (!number) return std::nullopt;
  return *number != 0;
}

double LeadingNumber(const QString& text) {
  const QString trimmed = text.trimmed();
  qsizetype end = 0;
  if (end < trimmed.size() && (trimmed[end] == u'+' || trimmed[end] == u'-')) ++end;
  const qsizetype digits_start = end;
  while (end < trimmed.size() && trimmed[end].isDigit() && trimmed[end].unicode() < 128) ++end;
  if (end < trimmed.size() && trimmed[end] == u'.') {
    ++end;
    while (end < trimmed.size() && trimmed[end].isDigit() && trimmed[end].unicode() < 128) ++end;
  }
  if (end == digits_start) return 0;
  bool ok = false;
  const double value = QLocale::c().toDouble(trimmed.left(end), &ok);
  return ok && std::isfinite(value) ? value : 0;
}

QString ReadIniString(const IniFile& ini, const QString& section, const QString& key,
                      const QString& default_value) {
  const QString value = ini.Value(section, key);
  if (value.isEmpty() && !default_value.isEmpty()) return default_value;
  return value;
}

Settings DefaultSettings(const QString& program_folder, const QString& host_name) {
  Settings s;
  s.DataVer = QString::fromLatin1(kSettingsDataVer);

  QString folder = QDir::toNativeSeparators(program_folder);
  if (!folder.endsWith(QDir::separator())) folder += QDir::separator();
  s.PSetNameNum = 0;
  s.TextSaveDir = folder;
  s.RtfSaveDir = folder;
  s.ReDirListBox = true;
  s.SendToListBox = true;
  s.AllowMulitMes = false;
  s.frmMain_WindowMode = 0;
  s.frmMain_Width = 8520;
  s.frmMain_Height = 6105;
  s.ReDirListReset = false;
  s.SendToListRset = false;

  s.PreFixStr = QStringLiteral("さん");
  s.PsetMes.fill(QString());
  s.PsetName.fill(QString());
  s.PsetName[0] = host_name;

  s.Color.fill(0);
  for (int slot : {kColorChatText, kColorInputText, kColorReDirText, kColorSendText}) {
    s.Color[slot] = kDesignTextColor;
  }
  for (int slot : {kColorChatBack, kColorInputBack, kColorReDirBack, kColorSendBack}) {
    s.Color[slot] = kDesignBoxColor;
  }
  s.Color[kColorMainBack] = kDesignWindowColor;
  s.Color[kColorOwnHandle] = 0;
  s.Color[kColorSystem] = 255;
  s.SndAtt = 0;
  s.AutoSaveText = false;
  s.AutoSaveRTF = false;
  s.NoCngDate = false;

  const FontSetting box{DefaultFontName(), 10, false, false};
  s.Font.fill(FontSetting{});
  for (int slot : {kFontChat, kFontInput, kFontReDir, kFontSend}) s.Font[slot] = box;
  for (int slot : {kFontOwnSpeaker, kFontOtherSpeaker, kFontSystem}) {
    s.Font[slot] = box;
    s.Font[slot].bold = true;
  }

  s.AccessCard4Nova2nd = QStringLiteral("data\\access.txt");
  s.Tarot4Nova2nd = kDefaultTarot;
  s.Trump4Nova2nd = kDefaultTrump;
  s.AccessSC4Nova2nd = 15;
  s.ShuffleCount = 200;
  s.Tarot4NovaRev = kDefaultTarot;
  s.Trump4NovaRev = kDefaultTrump;

  s.UnivDiceStr =
      QStringList{kFirstDice, QStringLiteral("xD6+3 : x=5"), QStringLiteral("(1D10+2)*2D6")};
  s.DiceInputText = kFirstDice;
  s.DiceOpt.fill(DiceOptSetting{});
  s.UnivImiMin = -6;
  s.UnivImiMax = 6;

  std::copy(kHexDesignColors.begin(), kHexDesignColors.end(), s.HexColor.begin());
  std::copy(kDrawDesignColors.begin(), kDrawDesignColors.end(), s.DrawColor.begin());
  s.ExecuteLevel = 0;
  s.FileSendRate = 1 << 20;  // no ceiling
  s.ReceiveQuotaMB = 1024;
  s.PortMapping = true;
  return s;
}

void ReadSettings(const IniFile& ini, Settings& s, const Settings& d) {
  const std::optional<QString> version = ini.Find(kGlobal, QStringLiteral("DataVer"));
  if (!version) return;  // a file without a version has none of its keys read
  const double v = LeadingNumber(*version);
  // Versions are decimal texts; compare with a little room for binary fractions.
  const auto from = [v](double block) { return v >= block - 1e-9; };
  s.DataVer = *version;

  const Reader r(ini);
  if (from(1.2)) ReadBlock12(r, s, d);
  if (from(1.3)) ReadBlock13(ini, r, s);
  if (from(1.4)) {
    s.Tarot4NovaRev = r.Text(kCardSet, QStringLiteral("Tarot4NovaRev"), d.Tarot4NovaRev);
    s.Trump4NovaRev = r.Text(kCardSet, QStringLiteral("Trump4NovaRev"), d.Trump4NovaRev);
  }
  if (from(1.5)) ReadBlock15(r, s, d);
  if (from(1.6)) ReadBlock16(ini, r, s, d);
  if (from(1.7)) {
    s.SndAtt = static_cast<int>(r.Int(kAppSet, QStringLiteral("SndAtt"),
                                      std::numeric_limits<int32_t>::min(),
                                      std::numeric_limits<int32_t>::max(), d.SndAtt));
  }
  if (from(1.8)) ReadBlock18(r, s, d);
  if (from(1.9)) {
    s.AutoSaveText = r.Bool(kAppSet, QStringLiteral("AutoSaveText"), d.AutoSaveText);
    s.AutoSaveRTF = r.Bool(kAppSet, QStringLiteral("AutoSaveRTF"), d.AutoSaveRTF);
    // Read back as stored, so that the option survives a restart.
    s.NoCngDate = r.Bool(kAppSet, QStringLiteral("NoCngDate"), d.NoCngDate);
  }
  // There never was a 2.0 block.
  if (from(2.1)) {
    s.ExecuteLevel = static_cast<int>(
        r.Int(kSpExt, QStringLiteral("ExecuteLevel"), 0, 6, d.ExecuteLevel, QStringLiteral("0")));
    s.FileSendRate =
        static_cast<int>(r.Int(kSpExt, QStringLiteral("FileSendRate"), 1, 1 << 20, d.FileSendRate));
    s.ReceiveQuotaMB = static_cast<int>(
        r.Int(kSpExt, QStringLiteral("ReceiveQuotaMB"), 0, 1 << 24, d.ReceiveQuotaMB));
    s.PortMapping = r.Bool(kSpExt, QStringLiteral("PortMapping"), d.PortMapping);
    s.ReDirListReset = r.Bool(kCur, QStringLiteral("ReDirListReset"), d.ReDirListReset);
    s.SendToListRset = r.Bool(kCur, QStringLiteral("SendToListRset"), d.SendToListRset);
  }
}

bool LoadSettings(const QString& ini_path, Settings& out, const Settings& defaults) {
  IniFile ini;
  if (!ini.Load(ini_path)) return false;
  ReadSettings(ini, out, defaults);
  return true;
}

bool LoadSettings(const QString& ini_path, Settings& out) {
  const Settings defaults =
      DefaultSettings(QFileInfo(ini_path).absolutePath(), QHostInfo::localHostName());
  return LoadSettings(ini_path, out, defaults);
}

void WriteSettings(IniFile& ini, const Settings& s) {
  ini.SetValue(kGlobal, QStringLiteral("DataVer"), QString::fromLatin1(kSettingsDataVer));

  ini.SetValue(kCur, QStringLiteral("PSetNameNum"), QString::number(s.PSetNameNum));
  ini.SetValue(kCur, kTextSaveDirKey, s.TextSaveDir);
  ini.SetValue(kCur, QStringLiteral("RtfSaveDir"), s.RtfSaveDir);
  ini.SetValue(kCur, QStringLiteral("ReDirListBox"), BoolText(s.ReDirListBox));
  ini.SetValue(kCur, QStringLiteral("SendToListBox"), BoolText(s.SendToListBox));
  ini.SetValue(kCur, QStringLiteral("AllowMulitMes"), BoolText(s.AllowMulitMes));
  ini.SetValue(kCur, QStringLiteral("frmMain_WindowMode"), QString::number(s.frmMain_WindowMode));
  ini.SetValue(kCur, QStringLiteral("frmMain_Width"), SingleText(s.frmMain_Width));
  ini.SetValue(kCur, QStringLiteral("frmMain_Height"), SingleText(s.frmMain_Height));

  ini.SetValue(kAppSet, QStringLiteral("PreFixStr"), s.PreFixStr);
  for (int i = 0; i < kPresetCount; ++i) {
    ini.SetValue(kAppSet, Numbered("PsetMes", i), s.PsetMes[i]);
    ini.SetValue(kAppSet, Numbered("PsetName", i), s.PsetName[i]);
  }
  for (int i = 0; i < kColorSlots; ++i) {
    ini.SetValue(kAppSet, Numbered("Color", i), ColourText(s.Color[i]));
    const FontSetting& font = s.Font[i];
    ini.SetValue(kFont, Numbered("Name", i), font.name);
    ini.SetValue(kFont, Numbered("Size", i), SingleText(font.size));
    ini.SetValue(kFont, Numbered("Italic", i), BoolText(font.italic));
    ini.SetValue(kFont, Numbered("Bold", i), BoolText(font.bold));
  }

  ini.SetValue(kCardSet, QStringLiteral("AccessCard4Nova2nd"), s.AccessCard4Nova2nd);
  ini.SetValue(kCardSet, QStringLiteral("Tarot4Nova2nd"), s.Tarot4Nova2nd);
  ini.SetValue(kCardSet, QStringLiteral("Trump4Nova2nd"), s.Trump4Nova2nd);
  ini.SetValue(kCardSet, QStringLiteral("AccessSC4Nova2nd"), QString::number(s.AccessSC4Nova2nd));
  ini.SetValue(kCardSet, QStringLiteral("ShuffleCount"), QString::number(s.ShuffleCount));
  ini.SetValue(kCardSet, QStringLiteral("Tarot4NovaRev"), s.Tarot4NovaRev);
  ini.SetValue(kCardSet, QStringLiteral("Trump4NovaRev"), s.Trump4NovaRev);

  // The list is read back up to its first empty entry, so blank entries are left out rather
  // than cutting off everything after them.
  int written = 0;
  for (const QString& entry : s.UnivDiceStr) {
    if (written == kMaxDiceList) break;
    if (entry.trimmed().isEmpty()) continue;
    ini.SetValue(kDiceSet, Numbered("UnivDiceStr", written++), entry);
  }
  for (int i = written; i < kMaxDiceList; ++i) ini.Remove(kDiceSet, Numbered("UnivDiceStr", i));

  for (int code = kFirstOptionCode; code <= kLastOptionCode; ++code) {
    if (code == kDiceOperatorCode) continue;
    const DiceOptSetting& set = s.DiceOpt[code - kFirstOptionCode];
    const QString value_key = Numbered("DiceOptValue", code);
    const QString comment_key = Numbered("DiceOptComment", code);
    if (set.Exists()) {
      ini.SetValue(kDiceSet, value_key, QString::number(set.flags));
      ini.SetValue(kDiceSet, comment_key, set.comment);
    } else {
      ini.Remove(kDiceSet, value_key);
      ini.Remove(kDiceSet, comment_key);
    }
  }
  ini.SetValue(kDiceSet, QStringLiteral("UnivImiMin"), QString::number(s.UnivImiMin));
  ini.SetValue(kDiceSet, QStringLiteral("UnivImiMax"), QString::number(s.UnivImiMax));

  ini.SetValue(kAppSet, QStringLiteral("SndAtt"), QString::number(s.SndAtt));
  ini.SetValue(kAppSet, QStringLiteral("AutoSaveText"), BoolText(s.AutoSaveText));
  ini.SetValue(kAppSet, QStringLiteral("AutoSaveRTF"), BoolText(s.AutoSaveRTF));
  ini.SetValue(kAppSet, QStringLiteral("NoCngDate"), BoolText(s.NoCngDate));

  for (int i = 0; i < kHexSwatches; ++i) {
    ini.SetValue(kUnivHex, Numbered("HexColor", i), ColourText(s.HexColor[i]));
  }
  for (int i = 0; i < kDrawSwatches; ++i) {
    ini.SetValue(kUnivDraw, Numbered("DrawColor", i), ColourText(s.DrawColor[i]));
  }
  ini.SetValue(kSpExt, QStringLiteral("ExecuteLevel"), QString::number(s.ExecuteLevel));
  ini.SetValue(kSpExt, QStringLiteral("FileSendRate"), QString::number(s.FileSendRate));
  ini.SetValue(kSpExt, QStringLiteral("ReceiveQuotaMB"), QString::number(s.ReceiveQuotaMB));
  ini.SetValue(kSpExt, QStringLiteral("PortMapping"), BoolText(s.PortMapping));

  ini.SetValue(kCur, QStringLiteral("ReDirListReset"), BoolText(s.ReDirListReset));
  ini.SetValue(kCur, QStringLiteral("SendToListRset"), BoolText(s.SendToListRset));
}

bool SaveSettings(const QString& ini_path, const Settings& s) {
  IniFile ini;
  // Keep whatever else the file holds (comments, keys of other programs); a file that cannot
  // be read is replaced.
  if (QFileInfo::exists(ini_path)) ini.Load(ini_path);
  WriteSettings(ini, s);
  return ini.Save(ini_path);
}

}  // namespace quillora
