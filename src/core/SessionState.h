#pragma once

#include <QObject>
#include <QString>
#include <QVector>
#include <cstdint>

namespace quillora {

enum Mode : int16_t { ModeNone = 0, ModeServer = 1, ModeClient = 2, ModeConnecting = 3 };

// One row of the participant table; Index equals the row number.
struct Participant {
  QString Handle;
  int16_t Index = 0;
  bool Present = false;
  uint32_t Color = 0;
};

// The session's state as every layer reads it: the mode, the own participant index, the
// number of connections handed out and the participant table. Only the session changes it
// (net/Session); models and windows read it and follow the signals.
class SessionState : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  int16_t Mode() const { return mode_; }
  int16_t OwnIndex() const { return own_index_; }
  int16_t SocketCount() const { return socket_count_; }
  const QVector<Participant>& ParticipantTable() const { return participants_; }
  // The participant row for `index`, or nullptr when it is outside the table.
  const Participant* ParticipantAt(int index) const;
  // Serving, or joined as a client.
  bool Chatting() const { return mode_ == ModeServer || mode_ == ModeClient; }

 signals:
  void modeChanged(int mode);
  void ownIndexChanged(int index);
  // The participant table grew to `socket_count` rows (per-participant places must exist).
  void participantRowsGrown(int socket_count);
  // A participant row changed (joined, renamed, left).
  void participantChanged(int index);

 private:
  friend class Session;
  friend class Instance;                // names the fields read-only
  friend class SessionStateTestAccess;  // tests set a mode up without a session

  void SetMode(int16_t mode);
  void SetOwnIndex(int16_t index);
  void SetSocketCount(int16_t count);
  // Row `index`, growing the table so that it exists (existing rows are kept).
  Participant& Row(int index);

  int16_t mode_ = ModeNone;
  int16_t own_index_ = -1;
  int16_t socket_count_ = 0;
  QVector<Participant> participants_{Participant{}};
};

}  // namespace quillora
