#include "net/PacketCodec.h"

#include <cstdlib>
#include <limits>

namespace quillora {

namespace {

// --- encoding ------------------------------------------------------------------------------

void PutWord(QByteArray& out, int value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>((value >> 8) & 0xFF));
}

void PutHeaderWord(QByteArray& out, int value) {
  if (value < 0 || value > 0x7FFF) throw OverflowError();
  PutWord(out, value);
}

void PutItemHead(QByteArray& out, qsizetype payload, ItemType type) {
  // The packet-size check at the end catches anything too big; keep the word itself sane.
  if (payload > kMaxPacketSize) throw OverflowError();
  PutWord(out, static_cast<int>(payload));
  PutWord(out, type);
}

void PutText(QByteArray& out, const QString& text) {
  PutItemHead(out, text.size() * 2, kItemText);
  for (const QChar c : text) PutWord(out, c.unicode());
}

void PutInteger(QByteArray& out, int64_t v) {
  // Sign and magnitude: the magnitude must fit in 31 bits.
  const bool negative = v < 0;
  const int64_t magnitude = negative ? -v : v;
  if (magnitude > std::numeric_limits<int32_t>::max()) throw OverflowError();
  PutItemHead(out, 4, kItemInteger);
  out.append(static_cast<char>(magnitude & 0xFF));
  out.append(static_cast<char>((magnitude >> 8) & 0xFF));
  out.append(static_cast<char>((magnitude >> 16) & 0xFF));
  out.append(static_cast<char>(((magnitude >> 24) & 0x7F) | (negative ? 0x80 : 0)));
}

void PutBoolean(QByteArray& out, bool v) {
  PutItemHead(out, 2, kItemBoolean);
  PutWord(out, v ? 1 : 0);
}

void PutItem(QByteArray& out, const ItemValue& value) {
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          PutText(out, QString());
        } else if constexpr (std::is_same_v<T, bool>) {
          PutBoolean(out, v);
        } else if constexpr (std::is_same_v<T, QString>) {
          PutText(out, v);
        } else if constexpr (std::is_floating_point_v<T>) {
          PutText(out, NumberText(v));
        } else {
          PutInteger(out, static_cast<int64_t>(v));
        }
      },
      value);
}

// --- decoding ------------------------------------------------------------------------------

// Bounds-checked reading over one packet's bytes.
class Reader {
 public:
  Reader(QByteArrayView bytes, qsizetype end) : bytes_(bytes), end_(end) {}

  qsizetype Pos() const { return pos_; }
  void Seek(qsizetype pos) { pos_ = pos; }

  int Word() {
    Need(2);
    const int w = RawWord(bytes_, pos_);
    pos_ += 2;
    return w;
  }
  int SignedWord() {
    const int w = Word();
    if (w >= 0x8000) throw OverflowError();
    return w;
  }
  QByteArrayView Take(qsizetype n) {
    Need(n);
    const QByteArrayView part = bytes_.sliced(pos_, n);
    pos_ += n;
    return part;
  }

 private:
  void Need(qsizetype n) const {
    if (n < 0 || pos_ + n > end_) throw SubscriptError();
  }
  QByteArrayView bytes_;
  qsizetype end_;
  qsizetype pos_ = 0;
};

QString DecodeText(QByteArrayView payload) {
  if (payload.size() % 2 != 0) throw InvalidCallError();
  QString text(payload.size() / 2, Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i) {
    text[i] = QChar(static_cast<char16_t>(RawWord(payload, i * 2)));
  }
  return text;
}

int32_t DecodeInteger(QByteArrayView payload) {
  if (payload.size() != 4) throw InvalidCallError();
  const auto b = [&payload](int i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(payload[i]));
  };
  const uint32_t magnitude = b(0) | (b(1) << 8) | (b(2) << 16) | ((b(3) & 0x7F) << 24);
  const int32_t value = static_cast<int32_t>(magnitude);
  return (b(3) & 0x80) ? -value : value;
}

}  // namespace

QByteArray EncodePacket(const Packet& p) {
  const bool has_block = p.BinLength > 0 || !p.BinData.isEmpty();
  const int count = p.Count() + (has_block ? 1 : 0);

  QByteArray out;
  out.reserve(kEmptyPacketSize + p.BinData.size());
  out.append('\x01').append('\x00');
  PutWord(out, 0);  // length, filled in at the end
  PutHeaderWord(out, p.SenderIndex == -1 ? 0 : p.SenderIndex);
  PutHeaderWord(out, p.DestIndex);
  PutHeaderWord(out, p.MessageCode);
  PutHeaderWord(out, p.SubCode);
  PutHeaderWord(out, count);
  for (int i = 1; i <= p.Count(); ++i) {
    PutItem(out, p.Items[i]);
    if (out.size() > kMaxPacketSize) throw OverflowError();
  }
  if (has_block) {
    PutItemHead(out, p.BinData.size(), kItemBytes);
    out.append(p.BinData);
  }
  out.append('\x02').append('\x00');
  if (out.size() > kMaxPacketSize) throw OverflowError();
  PatchWord(out, 2, static_cast<int>(out.size()));
  return out;
}

Packet DecodePacket(QByteArrayView bytes) {
  const qsizetype size = bytes.size();
  if (size < kEmptyPacketSize) throw SubscriptError();
  if (bytes[0] != '\x01' || bytes[1] != '\x00' || bytes[size - 2] != '\x02' ||
      bytes[size - 1] != '\x00') {
    throw InvalidCallError();
  }
  // Items may not run into the end marker.
  Reader in(bytes, size - 2);
  in.Seek(2);

  Packet p;
  p.Length = static_cast<int16_t>(in.SignedWord());
  if (p.Length != size) throw InvalidCallError();
  p.SenderIndex = static_cast<int16_t>(in.SignedWord());
  p.DestIndex = static_cast<int16_t>(in.SignedWord());
  p.MessageCode = static_cast<int16_t>(in.SignedWord());
  p.SubCode = static_cast<int16_t>(in.SignedWord());
  const int count = in.SignedWord();

  bool has_block = false;
  for (int n = 0; n < count; ++n) {
    if (has_block) throw InvalidCallError();  // the byte block is always the last item
    const int length = in.Word();
    const int type = in.Word();
    const QByteArrayView payload = in.Take(length);
    switch (type) {
      case kItemBytes:
        p.BinData = payload.toByteArray();
        p.BinLength = static_cast<int32_t>(payload.size());
        has_block = true;
        break;
      case kItemText:
        p.Items.push_back(DecodeText(payload));
        break;
      case kItemInteger:
        p.Items.push_back(DecodeInteger(payload));
        break;
      case kItemNumberText: {
        double v = 0;
        if (!ParseNumberText(DecodeText(payload), &v)) throw TypeMismatchError();
        p.Items.push_back(v);
        break;
      }
      case kItemBoolean:
        if (payload.size() != 2) throw InvalidCallError();
        p.Items.push_back(RawWord(payload, 0) != 0);
        break;
      default:
        throw InvalidCallError();
    }
  }
  if (in.Pos() != size - 2) throw InvalidCallError();  // bytes the item count does not cover
  p.ItemCount = static_cast<int16_t>(p.Count());
  return p;
}

}  // namespace quillora
