#include "ui/QtSound.h"

#include <QFileInfo>
#include <QUrl>

namespace quillora {

QtSound::QtSound(QObject* parent) : QObject(parent) {}

void QtSound::Play(const QString& wav_path) {
  if (!QFileInfo::exists(wav_path)) return;  // no fallback to a system sound
  if (effect_.isPlaying()) return;           // never queue behind another sound
  if (loaded_ != wav_path) {
    effect_.setSource(QUrl::fromLocalFile(wav_path));
    loaded_ = wav_path;
  }
  effect_.play();
}

}  // namespace quillora
