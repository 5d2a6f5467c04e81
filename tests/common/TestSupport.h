#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "core/Instance.h"
#include "core/Sound.h"

namespace quillora {

// Only the session writes the session state; tests that run a model without one set it here.
class SessionStateTestAccess {
 public:
  static void SetMode(Instance& instance, int mode) {
    instance.session_state().SetMode(static_cast<int16_t>(mode));
  }
  static void SetOwnIndex(Instance& instance, int index) {
    instance.session_state().SetOwnIndex(static_cast<int16_t>(index));
  }
  static void SetSocketCount(Instance& instance, int count) {
    instance.session_state().SetSocketCount(static_cast<int16_t>(count));
  }
  static Participant& Row(Instance& instance, int index) {
    return instance.session_state().Row(index);
  }
};

inline void SetSessionMode(Instance& instance, int mode) {
  SessionStateTestAccess::SetMode(instance, mode);
}
inline void SetOwnIndex(Instance& instance, int index) {
  SessionStateTestAccess::SetOwnIndex(instance, index);
}
inline void SetSocketCount(Instance& instance, int count) {
  SessionStateTestAccess::SetSocketCount(instance, count);
}
inline Participant& ParticipantRow(Instance& instance, int index) {
  return SessionStateTestAccess::Row(instance, index);
}

}  // namespace quillora

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

// Small card files in `home`'s data folder (3 access cards, 5 tarot cards, 52 trumps and two
// jokers) and the settings that name them, for both Nova games.
void UseSmallCardDecks(const TempHome& home, Settings& settings);

// Records what would have been played.
class FakeSound : public SoundPlayer {
 public:
  void Play(const QString& wav_path) override { played.push_back(wav_path); }
  QStringList played;
};

// A free TCP port on the loopback interface.
int FreePort();

// Bytes the process holds allocated right now (the sanitizer's own count when it runs, which
// freed memory in its quarantine does not inflate; else the C library's), for checks that
// memory returns to where it was.
size_t LiveHeapBytes();

}  // namespace quillora::test
