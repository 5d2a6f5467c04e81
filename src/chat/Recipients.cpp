#include "chat/Recipients.h"

namespace quillora {

namespace {
const QString kNobody = QStringLiteral("＞なし");
const QString kEveryone = QStringLiteral("全員");
const QString kMarker = QStringLiteral("***");
}  // namespace

Recipients::Recipients(QObject* parent) : QObject(parent) {}

QString Recipients::AddresseeText(const QString& handle, const QString& prefix) {
  return QStringLiteral("＞") + handle + prefix;
}

QString Recipients::TypingText(const QString& handle, const QString& prefix) {
  return kMarker + AddresseeText(handle, prefix) + kMarker;
}

const RecipientEntry* Recipients::SelectedReDir() const {
  return redir_row_ >= 0 && redir_row_ < redir_.size() ? &redir_[redir_row_] : nullptr;
}

const RecipientEntry* Recipients::SelectedSend() const {
  return send_row_ >= 0 && send_row_ < send_.size() ? &send_[send_row_] : nullptr;
}

void Recipients::SetRows(int redir_row, int send_row) {
  if (redir_row == redir_row_ && send_row == send_row_) return;
  redir_row_ = redir_row;
  send_row_ = send_row;
  emit selectionChanged(redir_row_, send_row_);
}

void Recipients::SelectReDir(int row) {
  if (row < -1 || row >= redir_.size()) return;
  SetRows(row, send_row_);
}

void Recipients::SelectSend(int row) {
  if (row < -1 || row >= send_.size()) return;
  SetRows(redir_row_, row);
}

int Recipients::RowOf(int index) const {
  for (int row = 0; row < redir_.size(); ++row) {
    if (redir_[row].data == index) return row;
  }
  return -1;
}

void Recipients::InsertTopEntries() {
  // A repeated confirmation of the own join must not stack a second pair of top entries.
  const bool present = !redir_.isEmpty() && redir_.front().data == -1;
  if (!present) {
    redir_.prepend({kNobody, -1});
    send_.prepend({kEveryone, -1});
    emit listsChanged();
  }
  SetRows(0, 0);
}

bool Recipients::AddParticipant(int index, const QString& handle, const QString& prefix) {
  if (index <= 0) return false;
  if (RowOf(index) >= 0) {
    Rename(index, handle, prefix);
    return false;
  }
  redir_.push_back({AddresseeText(handle, prefix), index});
  send_.push_back({handle, index});
  emit listsChanged();
  return true;
}

bool Recipients::RemoveParticipant(int index) {
  const int row = RowOf(index);
  if (row < 0) return false;
  redir_.removeAt(row);
  if (row < send_.size()) send_.removeAt(row);
  emit listsChanged();
  // Keep the selection on the same entries; a removed selection falls back to the top entry,
  // so a whisper never silently moves on to the next participant in the list.
  auto shift = [row](int selected, int size) {
    if (selected == row) return size > 0 ? 0 : -1;
    return selected > row ? selected - 1 : selected;
  };
  SetRows(shift(redir_row_, redir_.size()), shift(send_row_, send_.size()));
  return true;
}

bool Recipients::Rename(int index, const QString& handle, const QString& prefix) {
  return SetTyping(index, handle, prefix, false);
}

bool Recipients::SetTyping(int index, const QString& handle, const QString& prefix, bool typing) {
  const int row = RowOf(index);
  if (row < 0) return false;
  const QString text = typing ? TypingText(handle, prefix) : AddresseeText(handle, prefix);
  bool changed = false;
  if (redir_[row].text != text) {
    redir_[row].text = text;
    changed = true;
  }
  if (row < send_.size() && send_[row].text != handle) {
    send_[row].text = handle;
    changed = true;
  }
  if (changed) emit listsChanged();
  return true;
}

void Recipients::Clear() {
  const bool had_entries = !redir_.isEmpty() || !send_.isEmpty();
  redir_.clear();
  send_.clear();
  if (had_entries) emit listsChanged();
  SetRows(-1, -1);
}

}  // namespace quillora
