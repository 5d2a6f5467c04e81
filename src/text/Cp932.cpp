#include "text/Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace quillora {

namespace {
constexpr auto kName = "CP932";
}

QString Cp932::Normalize(const QString& text) {
  QString out = text;
  for (QChar& c : out) {
    switch (c.unicode()) {
      case 0x301C:
        c = QChar(char16_t{0xFF5E});
        break;  // 〜 -> ～
      case 0x2212:
        c = QChar(char16_t{0xFF0D});
        break;  // − -> －
      case 0x2016:
        c = QChar(char16_t{0x2225});
        break;  // ‖ -> ∥
      case 0x2014:
        c = QChar(char16_t{0x2015});
        break;  // — -> ―
      case 0x00A2:
        c = QChar(char16_t{0xFFE0});
        break;  // ¢ -> ￠
      case 0x00A3:
        c = QChar(char16_t{0xFFE1});
        break;  // £ -> ￡
      case 0x00AC:
        c = QChar(char16_t{0xFFE2});
        break;  // ¬ -> ￢
      default:
        break;
    }
  }
  return out;
}

bool Cp932::CanEncode(const QString& text) {
  const QString normalized = Normalize(text);
  QStringEncoder encoder(kName, QStringConverter::Flag::Stateless);
  if (!encoder.isValid()) return false;
  // Encode one character (or surrogate pair) at a time so that a replacement "?" can be told
  // apart from a real question mark.
  for (qsizetype i = 0; i < normalized.size(); ++i) {
    qsizetype len = 1;
    if (normalized[i].isHighSurrogate() && i + 1 < normalized.size()) len = 2;
    const QStringView piece = QStringView(normalized).mid(i, len);
    const QByteArray bytes = encoder.encode(piece);
    if (encoder.hasError()) return false;
    if (bytes == "?" && piece != QLatin1String("?")) return false;
    i += len - 1;
  }
  return true;
}

QByteArray Cp932::Encode(const QString& text) {
  QStringEncoder encoder(kName, QStringConverter::Flag::Stateless);
  if (!encoder.isValid()) return text.toLocal8Bit();
  return encoder.encode(Normalize(text));
}

QString Cp932::Decode(const QByteArray& bytes) {
  QStringDecoder decoder(kName, QStringConverter::Flag::Stateless);
  if (!decoder.isValid()) return QString::fromLocal8Bit(bytes);
  return decoder.decode(bytes);
}

bool Cp932::IsValidUtf8(const QByteArray& bytes) {
  QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString decoded = decoder.decode(bytes);  // decoding is lazy until converted
  (void)decoded;
  return !decoder.hasError();
}

QString Cp932::DecodeFile(const QByteArray& bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
  bool ascii = true;
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (!ascii && IsValidUtf8(bytes)) return QString::fromUtf8(bytes);
  return Decode(bytes);
}

}  // namespace quillora
