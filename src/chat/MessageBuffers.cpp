#include "chat/MessageBuffers.h"

namespace quillora {

QString MessageBuffers::SwitchTo(int n, const QString& input_text,
                                 const std::array<QString, kPresetCount>& presets) {
  buffers_[current_] = input_text;
  current_ = Clamp(n);
  emit currentChanged(current_);
  const QString& stored = buffers_[current_];
  if (stored.isEmpty() && !presets[current_].isEmpty()) return presets[current_];
  return stored;
}

QString MessageBuffers::AfterSend() {
  buffers_[current_].clear();
  current_ = 0;
  emit currentChanged(current_);
  return buffers_[0];
}

}  // namespace quillora
