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

QString ShippedDataFolder(const QString& executable_folder) {
  // Beside the executable in a build or an unpacked copy; PREFIX/share/quillora/data for the
  // installed program (PREFIX/bin/quillora), wherever the prefix is.
  const QStringList candidates = {
      executable_folder + QStringLiteral("/data"),
      executable_folder + QStringLiteral("/../share/quillora/data"),
      QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("quillora/data"),
                             QStandardPaths::LocateDirectory)};
  for (const QString& candidate : candidates) {
    if (!candidate.isEmpty() && QFileInfo(candidate).isDir()) {
      return QFileInfo(candidate).canonicalFilePath();
    }
  }
  return {};
}

QString ResolveProgramFolder(const QString& home, const QString& executable_folder) {
  const QString shipped = ShippedDataFolder(executable_folder);
  if (!home.isEmpty()) {
    QDir().mkpath(home);
    const QString folder = QFileInfo(home).absoluteFilePath();
    if (!QFileInfo::exists(folder + QStringLiteral("/data"))) {
      SeedData(shipped, folder + QStringLiteral("/data"));
    }
    return IsWritableFolder(folder) ? folder : QString();
  }
  // A folder that carries its own data/ is a program folder; an installed bin/ is not, even
  // where it happens to be writable.
  if (IsWritableFolder(executable_folder) &&
      QFileInfo(executable_folder + QStringLiteral("/data")).isDir()) {
    return executable_folder;
  }
  const QString fallback = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/Quillora");
  QDir().mkpath(fallback);
  SeedData(shipped, fallback + QStringLiteral("/data"));
  return IsWritableFolder(fallback) ? fallback : QString();
}

}  // namespace quillora
