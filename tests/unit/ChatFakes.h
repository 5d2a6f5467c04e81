#pragma once

#include <QString>
#include <QVector>
#include <cstdint>

#include "core/ChatSink.h"
#include "net/PacketCodec.h"
#include "unit/NetFakes.h"

namespace quillora::test {

// One line as AppendChatLine received it.
struct RecordedLine {
  QString speaker;
  int kind;
  QString text;
  QString indent;
  uint32_t color;
};

class RecordingChat : public ChatSink {
 public:
  void AppendChatLine(const QString& speaker, int kind, const QString& text,
                      const QString& indent_reference, uint32_t color) override {
    lines.push_back({speaker, kind, text, indent_reference, color});
  }
  QVector<RecordedLine> lines;
};

// The packets written to the client link (id 0), decoded.
inline QVector<Packet> SentToServer(const NetRig& rig) {
  QVector<Packet> packets;
  for (const Sent& s : rig.writes) {
    if (s.link == 0) packets.push_back(DecodePacket(s.bytes));
  }
  return packets;
}

}  // namespace quillora::test
