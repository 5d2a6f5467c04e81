#include "app/ProgramFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace quillora {

namespace {

bool IsWritableFolder(const QString& folder) {
  const QFileInfo info(folder);
  return info.isDir() && info.isWritable();
}

// Copies the files of `from` that `to` does not have yet.
void SeedData(const QString& from, const QString& to) {
  if (!QFileInfo(from).isDir()) return;
  QDir().mkpath(to);
  QDirIterator it(from, QDir::Files);
  while (it.hasNext()) {
    const QString source = it.next();
    const QString target = to + QLatin1Char('/') + QFileInfo(source).fileName();
    if (!QFileInfo::exists(target)) QFile::copy(source, target);
  }
}

}  // namespace

QString ResolveProgramFolder(const QString& home, const QString& executable_folder) {
  if (!home.isEmpty()) {
    QDir().mkpath(home);
    const QString folder = QFileInfo(home).absoluteFilePath();
    if (!QFileInfo::exists(folder + QStringLiteral("/data"))) {
      SeedData(executable_folder + QStringLiteral("/data"), folder + QStringLiteral("/data"));
    }
    return IsWritableFolder(folder) ? folder : QString();
  }
  if (IsWritableFolder(executable_folder)) return executable_folder;
  const QString fallback = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/Quillora");
  QDir().mkpath(fallback);
  SeedData(executable_folder + QStringLiteral("/data"), fallback + QStringLiteral("/data"));
  return IsWritableFolder(fallback) ? fallback : QString();
}

}  // namespace quillora
