#include "core/SessionState.h"

namespace quillora {

const Participant* SessionState::ParticipantAt(int index) const {
  if (index < 0 || index >= participants_.size()) return nullptr;
  return &participants_[index];
}

void SessionState::SetMode(int16_t mode) {
  if (mode_ == mode) return;
  mode_ = mode;
  emit modeChanged(mode_);
}

void SessionState::SetOwnIndex(int16_t index) {
  if (own_index_ == index) return;
  own_index_ = index;
  emit ownIndexChanged(own_index_);
}

void SessionState::SetSocketCount(int16_t count) { socket_count_ = count; }

Participant& SessionState::Row(int index) {
  while (participants_.size() <= index) {
    Participant row;
    row.Index = static_cast<int16_t>(participants_.size());
    participants_.push_back(row);
  }
  return participants_[index];
}

}  // namespace quillora
