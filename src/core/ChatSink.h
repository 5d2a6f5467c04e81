#pragma once

#include <QString>
#include <cstdint>

namespace quillora {

// Speaker kinds of a chat line.
enum SpeakerKind : int { kSpeakerOwn = 0, kSpeakerOther = 2, kSpeakerSystem = -1 };

inline const QString kSystemSpeaker = QStringLiteral("SystemMessage：");

// The text of a selected addressee entry as it is appended to a message: an entry marked as
// typing ("***＞太郎さん***") loses its markers.
inline QString AddresseeSuffix(const QString& entry_text) {
  const QString marker = QStringLiteral("***");
  if (entry_text.size() >= 2 * marker.size() && entry_text.startsWith(marker) &&
      entry_text.endsWith(marker)) {
    return entry_text.mid(marker.size(), entry_text.size() - 2 * marker.size());
  }
  return entry_text;
}

// Where chat lines go. The chat log implements it; models that write lines take a reference,
// so tests can record lines without any window.
class ChatSink {
 public:
  virtual ~ChatSink() = default;
  // speaker: the speaker part with its trailing separator; kind: SpeakerKind; text: one or more
  // CR-LF separated lines; indent_reference: text whose width sets the hanging indent (empty:
  // the speaker part); color: 0x00BBGGRR, used only for kind 2.
  virtual void AppendChatLine(const QString& speaker, int kind, const QString& text,
                              const QString& indent_reference, uint32_t color) = 0;

  // Lines accepted but not shown yet (a sink that shows a batch per frame); the session reads
  // less while this is high.
  virtual qsizetype Backlog() const { return 0; }

  // A system line: speaker "SystemMessage：", kind -1.
  void SystemLine(const QString& text) {
    AppendChatLine(kSystemSpeaker, kSpeakerSystem, text, {}, 0);
  }
};

}  // namespace quillora
