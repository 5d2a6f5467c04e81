#pragma once

#include <QByteArray>
#include <QString>

namespace quillora {

// The Windows Japanese code page, as files shared with Windows players use it.
class Cp932 {
 public:
  // Maps the few characters whose Unicode form differs between Windows and other systems
  // (〜 − ‖ — ¢ £ ¬) to the forms CP932 holds.
  static QString Normalize(const QString& text);

  // True when every character of `text` (after Normalize) has a CP932 form.
  static bool CanEncode(const QString& text);

  // Encodes `text`; characters without a CP932 form become "?". Check CanEncode first where
  // losing a character matters.
  static QByteArray Encode(const QString& text);

  // Decodes CP932 bytes; invalid sequences become U+FFFD, never a crash.
  static QString Decode(const QByteArray& bytes);

  // Reads a text file's bytes: UTF-8 when it has a BOM or is valid UTF-8 with non-ASCII
  // content, otherwise CP932.
  static QString DecodeFile(const QByteArray& bytes);

  // True when `bytes` is well-formed UTF-8.
  static bool IsValidUtf8(const QByteArray& bytes);
};

}  // namespace quillora
