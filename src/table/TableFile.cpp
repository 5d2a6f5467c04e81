#include "table/TableFile.h"

#include <QFile>

#include "text/Cp932.h"

namespace quillora {

namespace {

bool OnlySpaces(const QString& line) {
  return std::all_of(line.begin(), line.end(), [](QChar c) { return c == u' '; });
}

}  // namespace

std::optional<QStringList> ParseTableDefinition(const QString& text) {
  QStringList lines = text.split(u'\n');
  // CR-LF is the file's line end; a bare LF from other editors is accepted as well.
  for (QString& line : lines) {
    if (line.endsWith(u'\r')) line.chop(1);
  }
  if (lines.isEmpty() || lines.first().toLower() != QLatin1String(kTableFileHeader)) {
    return std::nullopt;
  }
  QStringList headers;
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QString& line = lines[i];
    if (line.startsWith(u'#') || OnlySpaces(line) || line.contains(u',')) continue;
    headers.append(line);
  }
  return headers;
}

std::optional<QStringList> ReadTableDefinitionFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  return ParseTableDefinition(Cp932::DecodeFile(bytes));
}

}  // namespace quillora
