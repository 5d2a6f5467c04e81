#pragma once

#include <QObject>
#include <QSoundEffect>

#include "core/Sound.h"

namespace quillora {

// The message sound through Qt Multimedia. Never blocks; a missing file or device stays silent.
class QtSound : public QObject, public SoundPlayer {
  Q_OBJECT
 public:
  explicit QtSound(QObject* parent = nullptr);
  void Play(const QString& wav_path) override;

 private:
  QSoundEffect effect_;
  QString loaded_;
};

}  // namespace quillora
