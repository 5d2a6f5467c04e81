#include "net/StreamBuffer.h"

#include "net/PacketCodec.h"

namespace quillora {

namespace {
// Fewer bytes than this never hold a packet worth looking at.
constexpr qsizetype kMinInspect = 12;
}  // namespace

void StreamBuffer::Append(QByteArrayView bytes) {
  if (bytes.isEmpty()) return;
  if (start_ > 0) {
    data_.remove(0, start_);
    start_ = 0;
  }
  data_.append(bytes);
}

void StreamBuffer::Drop() {
  data_ = QByteArray();
  start_ = 0;
}

void StreamBuffer::Clear() {
  Drop();
  desynced_ = false;
}

StreamBuffer::Cut StreamBuffer::Next(QByteArray* packet, ProtocolError* error, bool* report) {
  const qsizetype available = Size();
  if (available < kMinInspect) return Cut::kWait;
  const QByteArrayView view = QByteArrayView(data_).sliced(start_);

  const auto broken = [&](ProtocolError e) {
    *error = std::move(e);
    *report = !desynced_;
    desynced_ = true;
    Drop();
    return Cut::kBroken;
  };
  if (view[0] != '\x01' || view[1] != '\x00') return broken(InvalidCallError());
  const int length = RawWord(view, 2);
  if (length >= 0x8000) return broken(OverflowError());
  if (length < kEmptyPacketSize) return broken(InvalidCallError());
  if (length > available) return Cut::kWait;
  if (view[length - 2] != '\x02' || view[length - 1] != '\x00') {
    return broken(InvalidCallError());
  }
  *packet = view.first(length).toByteArray();
  start_ += length;
  if (start_ == data_.size()) Drop();
  desynced_ = false;
  return Cut::kPacket;
}

}  // namespace quillora
