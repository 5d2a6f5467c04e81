#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "net/Packet.h"

namespace quillora {

// The reassembly buffer of one connection. Arrivals are appended; whole packets are cut from
// the front. A partial packet waits for its rest. A bad start marker, bad end marker or a bad
// length word drops everything buffered: the stream has lost its framing.
class StreamBuffer {
 public:
  enum class Cut {
    kWait,    // no whole packet buffered yet
    kPacket,  // *packet holds the next packet
    kBroken,  // framing lost; buffer dropped; *error says why
  };

  void Append(QByteArrayView bytes);
  // Cuts the next packet. On kBroken, *report tells whether this is the first failure since
  // the stream last delivered a packet (later failures are the debris of the same fault and are
  // dropped quietly).
  Cut Next(QByteArray* packet, ProtocolError* error, bool* report);

  qsizetype Size() const { return data_.size() - start_; }
  // Forgets everything, as for a new connection.
  void Clear();

 private:
  void Drop();

  QByteArray data_;
  qsizetype start_ = 0;    // bytes before start_ are already cut
  bool desynced_ = false;  // a framing error was reported and no packet was cut since
};

}  // namespace quillora
