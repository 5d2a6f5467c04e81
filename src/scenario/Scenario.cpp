#include "scenario/Scenario.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include "text/Cp932.h"
#include "text/Width.h"

namespace quillora {

namespace {

constexpr char16_t kFullColon = u'：';
const QByteArray kUtf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

bool IsContinueDirect(QChar c) { return c == u'_' || c == u'＿'; }
bool IsContinueBreak(QChar c) { return c == u'&' || c == u'＆'; }

bool HasNonAscii(const QByteArray& bytes) {
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// A speech line: the dice link rolled, then the speaker split off.
LineAction Speech(QString line, const QString& own_handle, const DiceRoller& roll) {
  const qsizetype dice = NormalizeMarker(line).indexOf(kDiceMarker);
  if (dice >= 0 && roll) {
    line = line.left(dice) + roll(line.mid(dice + kDiceMarker.size()));
  }
  LineAction action;
  action.kind = LineAction::kSpeech;
  const qsizetype colon = SpeechColon(line);
  if (colon < 0) {
    action.speaker = own_handle;
    action.text = line;
    return action;
  }
  const QString name = line.left(colon);
  action.text = line.mid(colon + 1);
  if (name.startsWith(u'/') || name.startsWith(u'／')) {
    action.speaker = own_handle + u'/' + name.mid(1);
  } else {
    action.speaker = name;
  }
  return action;
}

}  // namespace

QString NormalizeMarker(const QString& text) {
  QString out = ToHalfWidth(text);
  for (QChar& c : out) c = c.toUpper();
  return out;
}

qsizetype SpeechColon(const QString& line) {
  const qsizetype full = line.indexOf(kFullColon);
  return full >= 0 ? full : line.indexOf(u':');
}

qsizetype CommandColon(const QString& line) {
  const qsizetype full = line.indexOf(kFullColon);
  const qsizetype half = line.indexOf(u':');
  if (full < 0) return half;
  if (half < 0) return full;
  return std::min(full, half);
}

ScenarioText PrepareScenario(const QString& file_text) {
  static const QRegularExpression kLineBreak(QStringLiteral("\r\n|\n|\r"));
  QStringList lines = file_text.split(kLineBreak);
  // A final line break ends the last line; it does not start another one.
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();

  ScenarioText out;
  for (QString& line : lines) {
    const QString normalized = NormalizeMarker(line);
    if (normalized.startsWith(kLabelMarker)) {
      // The name starts right after the marker's own colon; any later colon is part of it.
      const QString name = line.mid(kLabelMarker.size());
      if (!name.isEmpty()) {
        out.labels.append(name);
        line = kLabelMarker + name;
      }
    } else if (normalized.startsWith(u'#')) {
      const qsizetype colon = CommandColon(line);
      line = colon < 0 ? normalized : normalized.left(colon + 1) + line.mid(colon + 1);
    }
  }
  out.lines = std::move(lines);
  return out;
}

bool LoadScenarioFile(const QString& path, ScenarioFile* out, QString* error) {
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
    if (error) *error = file.errorString();
    return false;
  }
  const QByteArray bytes = file.readAll();
  if (bytes.startsWith(kUtf8Bom)) {
    out->encoding = ScenarioEncoding::kUtf8Bom;
  } else if (HasNonAscii(bytes) && Cp932::IsValidUtf8(bytes)) {
    out->encoding = ScenarioEncoding::kUtf8;
  } else {
    out->encoding = ScenarioEncoding::kCp932;
  }
  out->text = PrepareScenario(Cp932::DecodeFile(bytes));
  return true;
}

bool SaveScenarioFile(const QString& path, const QStringList& lines, ScenarioEncoding encoding,
                      ScenarioEncoding* used, QString* error) {
  const QString text = lines.join(QStringLiteral("\r\n"));
  if (encoding == ScenarioEncoding::kCp932 && !Cp932::CanEncode(text)) {
    encoding = ScenarioEncoding::kUtf8Bom;
  }
  QByteArray bytes;
  switch (encoding) {
    case ScenarioEncoding::kCp932:
      bytes = Cp932::Encode(text);
      break;
    case ScenarioEncoding::kUtf8:
      bytes = text.toUtf8();
      break;
    case ScenarioEncoding::kUtf8Bom:
      bytes = kUtf8Bom + text.toUtf8();
      break;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  if (used) *used = encoding;
  return true;
}

int FindLabelLine(const QStringList& lines, const QString& name) {
  const QString target = kLabelMarker + name;
  for (int i = 0; i < lines.size(); ++i) {
    if (lines[i].contains(target)) return i;
  }
  return -1;
}

LineAction InterpretLine(const QStringList& lines, int index, const QString& own_handle,
                         const DiceRoller& roll) {
  if (index < 0 || index >= lines.size()) return {};
  const QString& line = lines[index];
  if (line.isEmpty()) return {};
  const QChar first = ToHalfWidth(line.left(1)).front();
  if (first == u'*') return {};
  if (first == u'#') {
    const QString normalized = NormalizeMarker(line);
    const qsizetype colon = CommandColon(line);
    const QString keyword = colon < 0 ? normalized : normalized.left(colon);
    if (keyword != kJumpKeyword) return {};
    LineAction jump;
    jump.kind = LineAction::kJump;
    jump.label = colon < 0 ? QString() : line.mid(colon + 1);
    return jump;
  }

  LineAction action = Speech(line, own_handle, roll);
  // Continuation markers pull in the following lines as they stand.
  int next = index + 1;
  while (!action.text.isEmpty()) {
    const QChar last = action.text.back();
    const bool direct = IsContinueDirect(last);
    if (!direct && !IsContinueBreak(last)) break;
    action.text.chop(1);
    if (next >= lines.size()) break;
    if (!direct) action.text += QStringLiteral("\r\n");
    action.text += lines[next++];
  }
  return action;
}

}  // namespace quillora
