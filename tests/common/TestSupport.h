#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "core/Sound.h"

namespace quillora::test {

// A fresh program folder that disappears with the test.
class TempHome {
 public:
  TempHome();
  const QString& path() const { return path_; }
  QString File(const QString& relative) const;
  // Writes bytes to a file below the folder, creating folders as needed.
  void Write(const QString& relative, const QByteArray& bytes) const;
  QByteArray Read(const QString& relative) const;

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  QString path_;
};

// Records what would have been played.
class FakeSound : public SoundPlayer {
 public:
  void Play(const QString& wav_path) override { played.push_back(wav_path); }
  QStringList played;
};

// A free TCP port on the loopback interface.
int FreePort();

}  // namespace quillora::test
