#include "text/Width.h"

namespace quillora {

QString ToHalfWidth(const QString& text) {
  QString out = text;
  for (QChar& c : out) {
    const char16_t u = c.unicode();
    if (u >= 0xFF01 && u <= 0xFF5E) {
      c = QChar(static_cast<char16_t>(u - 0xFF01 + 0x21));
    } else if (u == 0x3000) {
      c = QLatin1Char(' ');
    } else if (u == 0xFFE5) {  // ￥
      c = QLatin1Char('\\');
    } else if (u == 0x2019) {  // ’ is what a Japanese keyboard gives for ' in full-width mode
      c = QLatin1Char('\'');
    } else if (u == 0x201D) {  // ” likewise for "
      c = QLatin1Char('"');
    }
  }
  return out;
}

QString ToFullWidth(const QString& text) {
  QString out = text;
  for (QChar& c : out) {
    const char16_t u = c.unicode();
    if (u >= 0x21 && u <= 0x7E) {
      c = QChar(static_cast<char16_t>(u - 0x21 + 0xFF01));
    } else if (u == 0x20) {
      c = QChar(char16_t{0x3000});
    }
  }
  return out;
}

}  // namespace quillora
