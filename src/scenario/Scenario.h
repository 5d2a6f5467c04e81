#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace quillora {

// A scenario is the game master's prepared text: one line per paragraph, with a few markers.
//   #LABEL:name        a place to jump to
//   #JUMP:name         jumps to the label on double-click
//   #anything          another command; does nothing
//   *comment           does nothing (also full-width)
//   name:text          spoken by name ("：" wins over ":" when both are present)
//   /name:text         spoken by the user's own handle + "/" + name
//   text               spoken by the user's own handle
//   ...#DICE:expr      the marker and the expression become the roll's result
//   text_ / text&      the next line continues the text (directly / after a line break)
// Markers are recognised in their upper-case half-width form, so "＃ｌａｂｅｌ：" counts too.

// How a scenario file was stored; saving writes it back the same way.
enum class ScenarioEncoding { kCp932, kUtf8, kUtf8Bom };

inline const QString kLabelMarker = QStringLiteral("#LABEL:");
inline const QString kJumpKeyword = QStringLiteral("#JUMP");
inline const QString kDiceMarker = QStringLiteral("#DICE:");

// Full-width ASCII becomes half-width and letters become upper case. Keeps the length, so a
// position found in the normalised form is the same position in the original.
QString NormalizeMarker(const QString& text);

// The colon that separates a speaker from the text: the first "：" when the line has one, else
// the first ":". -1 when there is none.
qsizetype SpeechColon(const QString& line);

// The colon that ends a command keyword ("#JUMP：name"): the earliest ":" or "：", so that a
// colon of either kind inside the name stays part of the name. -1 when there is none.
qsizetype CommandColon(const QString& line);

// The scenario as loaded: its lines with the marker lines normalised, and its label names in
// file order.
struct ScenarioText {
  QStringList lines;
  QStringList labels;
};

// Splits file text into lines (CR-LF, LF or CR) and normalises the marker lines: a label line
// becomes "#LABEL:" + name (an empty name leaves the line as it was), other command lines get
// their keyword and colon in marker form. The rest of each line keeps its characters.
ScenarioText PrepareScenario(const QString& file_text);

// A scenario read from disk.
struct ScenarioFile {
  ScenarioText text;
  ScenarioEncoding encoding = ScenarioEncoding::kCp932;
};

// Reads a scenario file: UTF-8 when it has a byte-order mark or is valid UTF-8 with non-ASCII
// content, CP932 otherwise. False (and `error` set) when the file cannot be read.
bool LoadScenarioFile(const QString& path, ScenarioFile* out, QString* error);

// Writes the lines joined by CR-LF in `encoding`, replacing the file in one step. When CP932
// cannot hold a character of the text, the file is written as UTF-8 with a byte-order mark
// instead, so nothing is lost; `used` receives the encoding actually written. False (and
// `error` set) when the file cannot be written.
bool SaveScenarioFile(const QString& path, const QStringList& lines, ScenarioEncoding encoding,
                      ScenarioEncoding* used, QString* error);

// The line of the first occurrence of "#LABEL:" + name anywhere in the text (so a longer label
// that begins with the name also matches), or -1.
int FindLabelLine(const QStringList& lines, const QString& name);

// What a double-click on a scenario line asks for.
struct LineAction {
  enum Kind { kNone, kJump, kSpeech };
  Kind kind = kNone;
  QString label;    // kJump: the label name to go to
  QString speaker;  // kSpeech: the speaker name
  QString text;     // kSpeech: the text, continuation lines joined
};

// Rolls a dice expression and returns the result text as it goes into the chat.
using DiceRoller = std::function<QString(const QString& expression)>;

// Works out what line `index` of `lines` does: nothing (empty, comment, other command or out of
// range), a jump, or a speech with its speaker and text. Dice links are rolled with `roll`.
LineAction InterpretLine(const QStringList& lines, int index, const QString& own_handle,
                         const DiceRoller& roll);

}  // namespace quillora
