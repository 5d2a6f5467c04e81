#include "dice/DiceNumber.h"

#include <charconv>
#include <cmath>

namespace quillora {

namespace {

// Integers below this print exactly in 15 significant digits.
constexpr double kExactLimit = 1e15;

bool IsPlainInteger(double value) {
  return std::fabs(value) < kExactLimit && value == std::trunc(value);
}

// Writes the general form into buf; returns the length.
int FormatInto(char* buf, int size, double value) {
  if (value == 0) value = 0;  // no "-0"
  if (IsPlainInteger(value)) {
    auto res = std::to_chars(buf, buf + size, static_cast<int64_t>(value));
    return static_cast<int>(res.ptr - buf);
  }
  auto res = std::to_chars(buf, buf + size, value, std::chars_format::general, 15);
  const int length = static_cast<int>(res.ptr - buf);
  for (int i = 0; i < length; ++i) {
    if (buf[i] == 'e') buf[i] = 'E';
  }
  return length;
}

}  // namespace

void AppendDiceNumber(QString& out, double value) {
  char buf[40];
  const int length = FormatInto(buf, sizeof buf, value);
  out.append(QLatin1String(buf, length));
}

QString FormatDiceNumber(double value) {
  QString out;
  AppendDiceNumber(out, value);
  return out;
}

double RoundDiceNumber(double value) {
  if (IsPlainInteger(value) || !std::isfinite(value)) return value;
  char buf[40];
  const int length = FormatInto(buf, sizeof buf, value);
  double back = value;
  std::from_chars(buf, buf + length, back);
  return back;
}

std::optional<int32_t> ToDiceLong(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double rounded = std::nearbyint(value);  // the default rounding mode is half to even
  if (rounded < -2147483648.0 || rounded > 2147483647.0) return std::nullopt;
  return static_cast<int32_t>(rounded);
}

std::optional<double> ParseDiceNumber(QStringView text) {
  text = text.trimmed();
  if (text.isEmpty() || text.size() > 64) return std::nullopt;
  char buf[72];
  int n = 0;
  int i = 0;
  const int size = static_cast<int>(text.size());
  auto at = [&](int k) { return k < size ? text[k].unicode() : char16_t{0}; };
  auto is_digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  if (at(i) == u'+' || at(i) == u'-') {
    if (at(i) == u'-') buf[n++] = '-';
    ++i;
  }
  int digits = 0;
  while (is_digit(at(i))) buf[n++] = static_cast<char>(text[i++].unicode()), ++digits;
  if (at(i) == u'.') {
    buf[n++] = '.';
    ++i;
    while (is_digit(at(i))) buf[n++] = static_cast<char>(text[i++].unicode()), ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (at(i) == u'e' || at(i) == u'E') {
    buf[n++] = 'e';
    ++i;
    if (at(i) == u'+' || at(i) == u'-') buf[n++] = static_cast<char>(text[i++].unicode());
    if (!is_digit(at(i))) return std::nullopt;
    while (is_digit(at(i))) buf[n++] = static_cast<char>(text[i++].unicode());
  }
  if (i != size) return std::nullopt;
  double value = 0;
  const auto res = std::from_chars(buf, buf + n, value);
  if (res.ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace quillora
