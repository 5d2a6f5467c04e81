#pragma once

#include <QString>

namespace quillora {

// The session passwords kept in app.ini beside the settings: the word this program asks for
// when it hosts ([Session] Password) and the words the user chose to remember for the hosts it
// joins ([Passwords], one key per address). Every call reads or writes the file itself, so the
// settings writer, which keeps keys it does not know, never loses them.
class SessionPasswords {
 public:
  explicit SessionPasswords(QString ini_path) : ini_path_(std::move(ini_path)) {}

  QString HostWord() const;
  void SetHostWord(const QString& word);
  QString WordFor(const QString& host) const;
  // An empty word forgets the host's.
  void Remember(const QString& host, const QString& word);

 private:
  QString Read(const QString& section, const QString& key) const;
  void Write(const QString& section, const QString& key, const QString& value);

  QString ini_path_;
};

}  // namespace quillora
