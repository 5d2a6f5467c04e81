#pragma once

#include <QString>

namespace quillora {

// Plays the message sound. Implementations never block and stay silent when the file or the
// audio device is missing; tests use a recording fake.
class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Starts playing `wav_path` unless a sound is already playing.
  virtual void Play(const QString& wav_path) = 0;
};

}  // namespace quillora
