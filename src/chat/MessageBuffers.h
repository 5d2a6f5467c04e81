#pragma once

#include <QObject>
#include <QString>
#include <array>

#include "core/Settings.h"

namespace quillora {

// Ten buffers of unsent text. The input box always shows the current buffer; a buffer's text is
// stored when the user switches away from it. The buffers own the current buffer number.
class MessageBuffers : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  static constexpr int kCount = 10;

  int Current() const { return current_; }
  const QString& Text(int n) const { return buffers_[Clamp(n)]; }

  // Stores `input_text` in the current buffer, makes `n` current and returns the text the input
  // box shows now: preset message n when buffer n is empty and the preset is not, else buffer n.
  QString SwitchTo(int n, const QString& input_text,
                   const std::array<QString, kPresetCount>& presets);
  QString Previous(const QString& input_text, const std::array<QString, kPresetCount>& presets) {
    return SwitchTo((current_ + kCount - 1) % kCount, input_text, presets);
  }
  QString Next(const QString& input_text, const std::array<QString, kPresetCount>& presets) {
    return SwitchTo((current_ + 1) % kCount, input_text, presets);
  }

  // After a send: the current buffer is cleared and buffer 0 becomes current; returns buffer 0's
  // text for the input box.
  QString AfterSend();

 signals:
  // A switch or a send made buffer `n` current (also when it already was).
  void currentChanged(int n);

 private:
  static int Clamp(int n) { return n < 0 ? 0 : (n >= kCount ? kCount - 1 : n); }
  std::array<QString, kCount> buffers_;
  int current_ = 0;
};

}  // namespace quillora
