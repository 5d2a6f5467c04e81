#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace quillora {

// One font slot of the settings file.
struct FontSetting {
  QString name;
  float size = 0;
  bool italic = false;
  bool bold = false;
  bool operator==(const FontSetting&) const = default;
};

// One lettered dice option set as stored in the settings file. A set "exists" when its flags
// word is not 0 or its comment is not empty.
struct DiceOptSetting {
  int32_t flags = 0;
  QString comment;
  bool Exists() const { return flags != 0 || !comment.isEmpty(); }
  bool operator==(const DiceOptSetting&) const = default;
};

// Colour slot numbers that several windows use.
enum ColorSlot : int {
  kColorChatText = 0,
  kColorInputText = 1,
  kColorReDirText = 2,
  kColorSendText = 3,
  kColorChatBack = 4,
  kColorInputBack = 5,
  kColorReDirBack = 6,
  kColorSendBack = 7,
  kColorMainBack = 8,
  kColorOwnHandle = 9,
  kColorSystem = 10,
};

// Font slot numbers.
enum FontSlot : int {
  kFontChat = 0,
  kFontInput = 1,
  kFontReDir = 2,
  kFontSend = 3,
  kFontOwnSpeaker = 4,
  kFontOtherSpeaker = 5,
  kFontSystem = 6,
};

constexpr int kColorSlots = 21;
constexpr int kFontSlots = 21;
constexpr int kPresetCount = 10;
constexpr int kHexSwatches = 17;
constexpr int kDrawSwatches = 32;
constexpr int kMaxDiceList = 100;

// The live settings record: every key of app.ini. Colours are 0x00BBGGRR.
struct Settings {
  QString DataVer = QStringLiteral("2.1");

  // [Cur]
  int PSetNameNum = 0;
  QString TextSaveDir;  // stored under the key "TextSaveDir " (with the blank)
  QString RtfSaveDir;
  bool ReDirListBox = true;
  bool SendToListBox = true;
  bool AllowMulitMes = false;
  int frmMain_WindowMode = 0;  // 0 normal, 1 minimized, 2 maximized
  float frmMain_Width = 8520;  // twips
  float frmMain_Height = 6105;
  bool ReDirListReset = false;
  bool SendToListRset = false;

  // [AppSet]
  QString PreFixStr;
  std::array<QString, kPresetCount> PsetMes;
  std::array<QString, kPresetCount> PsetName;
  std::array<uint32_t, kColorSlots> Color{};
  int SndAtt = 0;
  bool AutoSaveText = false;
  bool AutoSaveRTF = false;
  bool NoCngDate = false;

  // [Font]
  std::array<FontSetting, kFontSlots> Font;

  // [CardSet]
  QString AccessCard4Nova2nd;
  QString Tarot4Nova2nd;
  QString Trump4Nova2nd;
  int AccessSC4Nova2nd = 15;
  int ShuffleCount = 200;
  QString Tarot4NovaRev;
  QString Trump4NovaRev;

  // [DiceSet]
  QStringList UnivDiceStr;  // registered dice expressions, in list order
  QString DiceInputText;    // what the dice window's expression box shows after loading
  std::array<DiceOptSetting, 26> DiceOpt;  // index = letter - 'A'; 'D' is never used
  int UnivImiMin = -6;
  int UnivImiMax = 6;

  // [UnivHex], [UnivDraw]
  std::array<uint32_t, kHexSwatches> HexColor{};
  std::array<uint32_t, kDrawSwatches> DrawColor{};

  // [SpExt]
  int ExecuteLevel = 0;
  // Ceiling of one file transfer's sending rate, in KB per second (1 << 20: none, the line's
  // own speed; 4 for thin lines).
  int FileSendRate = 1 << 20;
  // What one sender may store in file_Rcv during one session, in MB.
  int ReceiveQuotaMB = 1024;
  // Ask the router to forward the listening port while serving (UPnP / NAT-PMP).
  bool PortMapping = true;

  bool operator==(const Settings&) const = default;
};

}  // namespace quillora
