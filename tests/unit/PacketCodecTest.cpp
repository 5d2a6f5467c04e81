#include <gtest/gtest.h>

#include <random>

#include "net/PacketCodec.h"
#include "unit/NetFakes.h"

using namespace quillora;
using quillora::test::Hex;

namespace {

// The encoded bytes of one item, cut out of a packet that carries only that item.
QByteArray ItemBytes(const ItemValue& v) {
  Packet p;
  p.Add(v);
  const QByteArray bytes = EncodePacket(p);
  return bytes.mid(14, bytes.size() - 16);
}

// One item: length word, type word, payload.
QByteArray Item(int type, const QByteArray& payload) {
  QByteArray b;
  PatchWord(b.fill('\0', 4), 0, static_cast<int>(payload.size()));
  PatchWord(b, 2, type);
  return b + payload;
}

// A framed packet around hand-made items, with a correct length word.
QByteArray Frame(int count, const QByteArray& items) {
  QByteArray b =
      Hex("01 00 00 00 00 00 00 00 01 00 00 00") + QByteArray(2, '\0') + items + Hex("02 00");
  PatchWord(b, 12, count);
  PatchWord(b, 2, static_cast<int>(b.size()));
  return b;
}

int ErrorNumber(const std::function<void()>& run) {
  try {
    run();
  } catch (const ProtocolError& e) {
    return e.number;
  }
  return 0;
}

}  // namespace

TEST(PacketCodec, EncodesHeaderAndEmptyPacket) {
  Packet p(301, 1, 2, 3);
  const QByteArray bytes = EncodePacket(p);
  EXPECT_EQ(bytes, Hex("01 00 10 00 02 00 03 00 2D 01 01 00 00 00 02 00"));

  // -1 as sender goes out as 0 (a client that has no index yet).
  p.SenderIndex = -1;
  EXPECT_EQ(EncodePacket(p).mid(4, 2), Hex("00 00"));

  const Packet back = DecodePacket(bytes);
  EXPECT_EQ(back.Length, 16);
  EXPECT_EQ(back.SenderIndex, 2);
  EXPECT_EQ(back.DestIndex, 3);
  EXPECT_EQ(back.MessageCode, 301);
  EXPECT_EQ(back.SubCode, 1);
  EXPECT_EQ(back.ItemCount, 0);
  EXPECT_EQ(back.Items.size(), 1);  // slot 0 only
  EXPECT_EQ(back.BinLength, 0);
}

TEST(PacketCodec, IntegersAreSignAndMagnitude) {
  EXPECT_EQ(ItemBytes(int32_t{5}), Hex("04 00 04 00 05 00 00 00"));
  EXPECT_EQ(ItemBytes(int32_t{-5}), Hex("04 00 04 00 05 00 00 80"));
  EXPECT_EQ(ItemBytes(int32_t{0}), Hex("04 00 04 00 00 00 00 00"));
  EXPECT_EQ(ItemBytes(int32_t{255}), Hex("04 00 04 00 FF 00 00 00"));
  EXPECT_EQ(ItemBytes(int32_t{65536}), Hex("04 00 04 00 00 00 01 00"));
  EXPECT_EQ(ItemBytes(int32_t{2147483647}), Hex("04 00 04 00 FF FF FF 7F"));
  EXPECT_EQ(ItemBytes(int32_t{-1}), Hex("04 00 04 00 01 00 00 80"));
  EXPECT_EQ(ItemBytes(int16_t{-300}), Hex("04 00 04 00 2C 01 00 80"));
  EXPECT_EQ(ItemBytes(uint8_t{200}), Hex("04 00 04 00 C8 00 00 00"));

  // Narrow integers arrive as 32-bit ones, signs intact.
  Packet p;
  p.Add(int16_t{-300}).Add(uint8_t{200}).Add(int32_t{-2147483647});
  const Packet back = DecodePacket(EncodePacket(p));
  ASSERT_EQ(back.ItemCount, 3);
  EXPECT_EQ(back.Items[1], ItemValue(int32_t{-300}));
  EXPECT_EQ(back.Items[2], ItemValue(int32_t{200}));
  EXPECT_EQ(back.Items[3], ItemValue(int32_t{-2147483647}));

  // Sign and magnitude cannot carry the lowest 32-bit value.
  Packet low;
  low.Add(std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ErrorNumber([&] { EncodePacket(low); }), 6);
}

TEST(PacketCodec, BooleansTextsAndNumbers) {
  EXPECT_EQ(ItemBytes(true), Hex("02 00 10 00 01 00"));
  EXPECT_EQ(ItemBytes(false), Hex("02 00 10 00 00 00"));
  EXPECT_EQ(ItemBytes(QStringLiteral("A")), Hex("02 00 02 00 41 00"));
  EXPECT_EQ(ItemBytes(QString()), Hex("00 00 02 00"));
  EXPECT_EQ(ItemBytes(ItemValue{}), Hex("00 00 02 00"));  // unassigned slot
  EXPECT_EQ(ItemBytes(QStringLiteral("あ")), Hex("02 00 02 00 42 30"));
  // Beyond the first plane: two UTF-16 code units.
  EXPECT_EQ(ItemBytes(QStringLiteral("😀")), Hex("04 00 02 00 3D D8 00 DE"));

  // Singles and doubles travel as their shortest text.
  EXPECT_EQ(ItemBytes(1.5f), ItemBytes(QStringLiteral("1.5")));
  EXPECT_EQ(ItemBytes(0.1f), ItemBytes(QStringLiteral("0.1")));
  EXPECT_EQ(ItemBytes(0.1), ItemBytes(QStringLiteral("0.1")));
  EXPECT_EQ(ItemBytes(-2.0), ItemBytes(QStringLiteral("-2")));
  EXPECT_EQ(ItemBytes(-0.0), ItemBytes(QStringLiteral("0")));
  EXPECT_EQ(ItemBytes(1e20), ItemBytes(QStringLiteral("1E+20")));
  EXPECT_EQ(ItemBytes(1.5e-7), ItemBytes(QStringLiteral("1.5E-07")));

  Packet p;
  p.Add(1.5f).Add(true).Add(QStringLiteral("😀 x"));
  const Packet back = DecodePacket(EncodePacket(p));
  EXPECT_EQ(back.Items[1], ItemValue(QStringLiteral("1.5")));
  EXPECT_EQ(back.Items[2], ItemValue(true));
  EXPECT_EQ(back.Items[3], ItemValue(QStringLiteral("😀 x")));

  Packet inf;
  inf.Add(std::numeric_limits<double>::infinity());
  EXPECT_EQ(ErrorNumber([&] { EncodePacket(inf); }), 6);
}

TEST(PacketCodec, ByteBlockIsTheLastCountedItem) {
  Packet p(311, 0, 2, 0);
  p.Add(QStringLiteral("a.txt")).Add(int32_t{7}).SetBin(QByteArray("\x00\x01\xFF", 3));
  const QByteArray bytes = EncodePacket(p);
  EXPECT_EQ(bytes.mid(12, 2), Hex("03 00"));
  EXPECT_EQ(bytes.right(9), Hex("03 00 01 00 00 01 FF 02 00"));
  EXPECT_EQ(RawWord(bytes, 2), bytes.size());

  const Packet back = DecodePacket(bytes);
  EXPECT_EQ(back.ItemCount, 2);
  EXPECT_EQ(back.Items.size(), 3);
  EXPECT_EQ(back.BinLength, 3);
  EXPECT_EQ(back.BinData, QByteArray("\x00\x01\xFF", 3));
  EXPECT_EQ(back.Text(1), QStringLiteral("a.txt"));
  EXPECT_EQ(back.Int(2), 7);
}

TEST(PacketCodec, RefusesWhatTheWireCannotCarry) {
  Packet p(101, 1);
  p.DestIndex = -2;
  EXPECT_EQ(ErrorNumber([&] { EncodePacket(p); }), 6);
  p.DestIndex = 0;
  p.SenderIndex = -5;
  EXPECT_EQ(ErrorNumber([&] { EncodePacket(p); }), 6);
  p.SenderIndex = 0;
  p.MessageCode = -101;
  EXPECT_EQ(ErrorNumber([&] { EncodePacket(p); }), 6);

  // The length word must stay below 0x8000: 32766 bytes fit, one more text unit does not.
  Packet big(311, 0);
  big.Add(QString(16373, QLatin1Char('x')));
  EXPECT_EQ(EncodePacket(big).size(), 32766);
  big.Items[1] = QString(16374, QLatin1Char('x'));
  EXPECT_EQ(ErrorNumber([&] { EncodePacket(big); }), 6);

  Packet block(311, 0);
  block.SetBin(QByteArray(32747, 'b'));
  EXPECT_EQ(EncodePacket(block).size(), 32767);
  block.SetBin(QByteArray(32748, 'b'));
  EXPECT_EQ(ErrorNumber([&] { EncodePacket(block); }), 6);
}

TEST(PacketCodec, DecodeRejectsMalformedBytesCleanly) {
  const QByteArray good = test::Encoded(301, 1, 2, 0, QStringLiteral("hi"));
  ASSERT_NO_THROW(DecodePacket(good));

  const auto with = [&good](int offset, const char* hex) {
    QByteArray b = good;
    const QByteArray patch = Hex(hex);
    b.replace(offset, patch.size(), patch);
    return b;
  };
  // Unknown item type.
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(with(16, "03 00")); }), 5);
  // An item longer than the packet: read past the end.
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(with(14, "40 00")); }), 9);
  // An odd text length.
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(Frame(1, Item(2, "abc"))); }), 5);
  // More items counted than present, and fewer (bytes left before the end marker).
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(with(12, "02 00")); }), 9);
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(with(12, "00 00")); }), 5);
  // Header words of 0x8000 or more.
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(with(8, "2D 81")); }), 6);
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(with(12, "01 80")); }), 6);
  // A length word that disagrees with the bytes, bad markers, too short.
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(with(2, "10 00")); }), 5);
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(with(0, "02")); }), 5);
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(with(good.size() - 2, "03")); }), 5);
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(good.left(12)); }), 9);
  // Integer and boolean payloads of the wrong size.
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(Frame(1, Item(4, Hex("05 00")))); }), 5);
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(Frame(1, Item(16, Hex("01")))); }), 5);
  EXPECT_EQ(DecodePacket(Frame(1, Item(16, Hex("00 01")))).Items[1], ItemValue(true));
  // A byte block followed by another item.
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(Frame(2, Item(1, "a") + Item(2, ""))); }), 5);
}

TEST(PacketCodec, DecodesNumberTextItems) {
  // Type 8 is never written but is read as a double from its text.
  const auto number_text = [](const QString& text) { return Item(8, ItemBytes(text).mid(4)); };
  const Packet back = DecodePacket(
      Frame(2, number_text(QStringLiteral("1.25")) + number_text(QStringLiteral("-2,5"))));
  ASSERT_EQ(back.ItemCount, 2);
  EXPECT_EQ(back.Items[1], ItemValue(1.25));
  EXPECT_EQ(back.Items[2], ItemValue(-2.5));
  EXPECT_EQ(ErrorNumber([&] { DecodePacket(Frame(1, number_text(QStringLiteral("abc")))); }), 13);
}

TEST(PacketCodec, RandomPacketsRoundTrip) {
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<int> kind(0, 6), small(0, 40), word(0, 32767);
  std::uniform_int_distribution<int32_t> any_int(-2147483647, 2147483647);
  for (int round = 0; round < 300; ++round) {
    Packet p(static_cast<int16_t>(word(rng)), static_cast<int16_t>(word(rng)),
             static_cast<int16_t>(word(rng)), static_cast<int16_t>(word(rng)));
    const int n = small(rng);
    QVector<ItemValue> expected{ItemValue{}};
    for (int i = 0; i < n; ++i) {
      switch (kind(rng)) {
        case 0:
          p.Add(any_int(rng));
          expected.push_back(p.Items.back());
          break;
        case 1:
          p.Add(static_cast<int16_t>(any_int(rng) % 32768));
          expected.push_back(int32_t{std::get<int16_t>(p.Items.back())});
          break;
        case 2:
          p.Add(small(rng) % 2 == 0);
          expected.push_back(p.Items.back());
          break;
        case 3: {
          QString s;
          for (int c = small(rng); c > 0; --c)
            s.append(QChar(static_cast<char16_t>(any_int(rng) & 0xFFFF)));
          p.Add(s);
          expected.push_back(s);
          break;
        }
        case 4: {
          const double d = any_int(rng) / 1024.0;
          p.Add(d);
          double parsed = 0;
          ASSERT_TRUE(ParseNumberText(NumberText(d), &parsed));
          EXPECT_EQ(parsed, d);  // the shortest text still round-trips
          expected.push_back(NumberText(d));
          break;
        }
        default:
          p.Add(ItemValue{});
          expected.push_back(QString());
          break;
      }
    }
    if (small(rng) % 3 == 0) p.SetBin(QByteArray(small(rng) * 10, static_cast<char>(round)));
    const QByteArray bytes = EncodePacket(p);
    const Packet back = DecodePacket(bytes);
    EXPECT_EQ(back.Length, bytes.size());
    EXPECT_EQ(back.MessageCode, p.MessageCode);
    EXPECT_EQ(back.SubCode, p.SubCode);
    EXPECT_EQ(back.Items, expected);
    EXPECT_EQ(back.BinData, p.BinData);
    EXPECT_EQ(back.BinLength, p.BinData.size());
  }
}

TEST(PacketReaders, ConvertLikeTheClassicRuntime) {
  Packet p;
  p.Add(QStringLiteral(" 12 "))      // 1
      .Add(QStringLiteral("2.5"))    // 2
      .Add(QStringLiteral("3.5"))    // 3
      .Add(true)                     // 4
      .Add(QStringLiteral("1,5"))    // 5
      .Add(QStringLiteral("abc"))    // 6
      .Add(QStringLiteral("1e10"))   // 7
      .Add(int16_t{-7})              // 8
      .Add(QStringLiteral("false"))  // 9
      .Add(2.25f);                   // 10
  EXPECT_EQ(p.Int(1), 12);
  EXPECT_EQ(p.Int(2), 2);  // half to even
  EXPECT_EQ(p.Int(3), 4);
  EXPECT_EQ(p.Int(4), -1);
  EXPECT_EQ(p.Int(8), -7);
  EXPECT_DOUBLE_EQ(p.Number(5), 1.5);
  EXPECT_DOUBLE_EQ(p.Number(2), 2.5);
  EXPECT_DOUBLE_EQ(p.Number(4), -1);
  EXPECT_EQ(p.Text(8), QStringLiteral("-7"));
  EXPECT_EQ(p.Text(4), QStringLiteral("True"));
  EXPECT_EQ(p.Text(10), QStringLiteral("2.25"));
  EXPECT_TRUE(p.Bool(4));
  EXPECT_TRUE(p.Bool(8));
  EXPECT_FALSE(p.Bool(9));
  EXPECT_TRUE(p.Bool(1));

  EXPECT_EQ(ErrorNumber([&] { p.Int(6); }), 13);
  EXPECT_EQ(ErrorNumber([&] { p.Number(6); }), 13);
  EXPECT_EQ(ErrorNumber([&] { p.Bool(6); }), 13);
  EXPECT_EQ(ErrorNumber([&] { p.Int(7); }), 6);
  EXPECT_EQ(ErrorNumber([&] { p.Int(11); }), 9);
  EXPECT_EQ(ErrorNumber([&] { p.Text(0); }), 9);
  EXPECT_EQ(ErrorNumber([&] { p.Text(-1); }), 9);
  try {
    p.Text(11);
  } catch (const ProtocolError& e) {
    EXPECT_EQ(e.description, QStringLiteral("インデックスが有効範囲にありません。"));
  }
}
