#include "net/Packet.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <limits>

namespace quillora {

ProtocolError InvalidCallError() {
  return {kErrInvalidCall, QStringLiteral("プロシージャの呼び出し、または引数が不正です。")};
}
ProtocolError OverflowError() { return {kErrOverflow, QStringLiteral("オーバーフローしました。")}; }
ProtocolError SubscriptError() {
  return {kErrSubscript, QStringLiteral("インデックスが有効範囲にありません。")};
}
ProtocolError TypeMismatchError() {
  return {kErrTypeMismatch, QStringLiteral("型が一致しません。")};
}

namespace {

template <typename T>
QString ShortestText(T v) {
  if (!std::isfinite(v)) throw OverflowError();
  if (v == 0) return QStringLiteral("0");  // also -0
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, v);
  QString text = QString::fromLatin1(buf, result.ptr - buf);
  text.replace(QLatin1Char('e'), QLatin1Char('E'));
  return text;
}

// Rounds half to even into a 32-bit integer, as the classic integer conversion does.
int32_t RoundToInt(double v) {
  if (!std::isfinite(v)) throw OverflowError();
  const double r = std::nearbyint(v);  // default rounding mode: half to even
  if (r < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
      r > static_cast<double>(std::numeric_limits<int32_t>::max())) {
    throw OverflowError();
  }
  return static_cast<int32_t>(r);
}

double TextToNumber(const QString& text) {
  double v = 0;
  if (!ParseNumberText(text, &v)) throw TypeMismatchError();
  return v;
}

}  // namespace

QString NumberText(float v) { return ShortestText(v); }
QString NumberText(double v) { return ShortestText(v); }

bool ParseNumberText(const QString& text, double* out) {
  QString t = text.trimmed();
  if (t.isEmpty()) return false;
  // A decimal comma comes from senders whose regional format uses one.
  if (!t.contains(QLatin1Char('.')) && t.count(QLatin1Char(',')) == 1) {
    t.replace(QLatin1Char(','), QLatin1Char('.'));
  }
  bool ok = false;
  const double v = QLocale::c().toDouble(t, &ok);
  if (!ok || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

Packet& Packet::Add(ItemValue v) {
  Items.push_back(std::move(v));
  ItemCount = static_cast<int16_t>(Count());
  return *this;
}

Packet& Packet::SetBin(QByteArray bytes) {
  BinData = std::move(bytes);
  BinLength = static_cast<int32_t>(BinData.size());
  return *this;
}

const ItemValue& Packet::Item(int i) const {
  if (!Has(i)) throw SubscriptError();
  return Items[i];
}

int32_t Packet::Int(int i) const {
  // Integers as they are; everything else through its number, rounded as the runtime rounds.
  const ItemValue& item = Item(i);
  if (const auto* v = std::get_if<int32_t>(&item)) return *v;
  if (const auto* v = std::get_if<int16_t>(&item)) return *v;
  if (const auto* v = std::get_if<uint8_t>(&item)) return *v;
  return RoundToInt(Number(i));
}

QString Packet::Text(int i) const {
  return std::visit(
      [](const auto& v) -> QString {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return QString();
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? QStringLiteral("True") : QStringLiteral("False");
        } else if constexpr (std::is_same_v<T, QString>) {
          return v;
        } else if constexpr (std::is_floating_point_v<T>) {
          return NumberText(v);
        } else {
          return QString::number(v);
        }
      },
      Item(i));
}

bool Packet::Bool(int i) const {
  return std::visit(
      [](const auto& v) -> bool {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return false;
        } else if constexpr (std::is_same_v<T, bool>) {
          return v;
        } else if constexpr (std::is_same_v<T, QString>) {
          const QString t = v.trimmed();
          if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
          if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
          return TextToNumber(t) != 0;
        } else {
          return v != 0;
        }
      },
      Item(i));
}

double Packet::Number(int i) const {
  return std::visit(
      [](const auto& v) -> double {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return 0;
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? -1 : 0;
        } else if constexpr (std::is_same_v<T, QString>) {
          return TextToNumber(v);
        } else {
          return static_cast<double>(v);
        }
      },
      Item(i));
}

}  // namespace quillora
