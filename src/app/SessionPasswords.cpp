#include "app/SessionPasswords.h"

#include <QFileInfo>

#include "text/IniFile.h"

namespace quillora {

namespace {
const QString kSession = QStringLiteral("Session");
const QString kPasswords = QStringLiteral("Passwords");
const QString kHostKey = QStringLiteral("Password");
}  // namespace

QString SessionPasswords::Read(const QString& section, const QString& key) const {
  IniFile ini;
  if (!QFileInfo::exists(ini_path_) || !ini.Load(ini_path_)) return {};
  return ini.Find(section, key).value_or(QString());
}

void SessionPasswords::Write(const QString& section, const QString& key, const QString& value) {
  IniFile ini;
  if (QFileInfo::exists(ini_path_)) ini.Load(ini_path_);
  if (value.isEmpty()) {
    ini.Remove(section, key);
  } else {
    ini.SetValue(section, key, value);
  }
  ini.Save(ini_path_);
}

QString SessionPasswords::HostWord() const { return Read(kSession, kHostKey); }

void SessionPasswords::SetHostWord(const QString& word) { Write(kSession, kHostKey, word); }

QString SessionPasswords::WordFor(const QString& host) const {
  return host.isEmpty() ? QString() : Read(kPasswords, host.trimmed());
}

void SessionPasswords::Remember(const QString& host, const QString& word) {
  if (host.trimmed().isEmpty()) return;
  Write(kPasswords, host.trimmed(), word);
}

}  // namespace quillora
