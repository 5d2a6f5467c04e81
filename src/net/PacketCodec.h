#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "net/Packet.h"

namespace quillora {

// Size limits of the wire format.
inline constexpr int kPacketHeaderSize = 14;  // markers, length and the five header words
inline constexpr int kEmptyPacketSize = 16;   // header plus end marker, no items
inline constexpr int kMaxPacketSize = 32767;  // the length word must stay below 0x8000

// Item type tags on the wire.
enum ItemType : int16_t {
  kItemBytes = 1,
  kItemText = 2,
  kItemInteger = 4,
  kItemNumberText = 8,
  kItemBoolean = 16,
};

// Encodes one packet. Throws ProtocolError 6 "オーバーフローしました。" when a header word is
// outside 0..32767 (SenderIndex -1 goes out as 0), an integer is -2147483648, a number is not
// finite, or the packet would exceed kMaxPacketSize bytes.
QByteArray EncodePacket(const Packet& p);

// Decodes the bytes of exactly one framed packet. Throws ProtocolError on any bad input: a
// wrong size or marker, a header word of 0x8000 or more, a read past the end, an unknown item
// type, a malformed payload or bytes left over between the items and the end marker.
Packet DecodePacket(QByteArrayView one_packet);

// Little helpers over the raw header, used by stream cutting and the relay.
// The 16-bit word at `offset` as the wire has it (0..65535); the caller checks the size.
inline int RawWord(QByteArrayView bytes, qsizetype offset) {
  return static_cast<uint8_t>(bytes[offset]) | (static_cast<uint8_t>(bytes[offset + 1]) << 8);
}
inline void PatchWord(QByteArray& bytes, qsizetype offset, int value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

}  // namespace quillora
