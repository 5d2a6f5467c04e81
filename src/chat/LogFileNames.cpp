#include "chat/LogFileNames.h"

#include <QDir>

namespace quillora {

void SplitLogPath(const QString& path, QString* folder, QString* name) {
  const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
  if (folder) *folder = path.left(cut + 1);
  if (name) *name = path.mid(cut + 1);
}

QString CompleteLogPath(const QString& folder, const QString& name, LogFileKind kind) {
  const QString extension =
      kind == LogFileKind::kRtf ? QStringLiteral(".rtf") : QStringLiteral(".txt");
  QString file = name;
  if (!file.endsWith(extension, Qt::CaseSensitive)) file += extension;
  QString dir = NativeFolder(folder);
  if (!dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QDir::separator())) dir += QLatin1Char('/');
  return QDir::toNativeSeparators(dir + file);
}

QString NativeFolder(const QString& folder) {
  QString out = folder;
#ifndef Q_OS_WIN
  out.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
  return out;
}

}  // namespace quillora
