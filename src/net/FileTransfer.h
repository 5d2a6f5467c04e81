#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

#include "net/Packet.h"

namespace quillora {

class Instance;
class Session;

// Sends files to the other participants in paced pieces of 2048 bytes and stores the pieces
// that arrive in file_Rcv, opening a finished file or not as the receiving policy says.
//
// Pacing: pieces go as fast as the line takes them (they wait behind any chat in the
// connection's queue, so a transfer never holds a chat line back), or no faster than a ceiling
// chosen for thin lines (settings FileSendRate, KB per second per transfer).
class FileTransfer : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPieceSize = 2048;
  static constexpr int kLineSpeed = 1 << 20;  // KB per second: no ceiling
  static constexpr int kDefaultRate = kLineSpeed;
  static constexpr int kThinLineRate = 4;
  static constexpr qint64 kLargeFile = 16383;         // bigger files are confirmed first
  static constexpr qint64 kMaxReceived = 64LL << 20;  // pieces beyond this are refused
  static constexpr int kMaxNameBytes = 255;
  static constexpr qint64 kDiskFloor = 256LL << 20;  // free space never used for received files

  // The receiving policy: the checked entry of "転送実行許可フラグ" (settings ExecuteLevel).
  enum Policy {
    kReceiveOpen = 0,
    kReceiveOnly = 1,
    kReceiveAskOpen = 2,
    kAskReceiveOpen = 3,
    kAskReceiveOnly = 4,
    kAskReceiveAskOpen = 5,
    kRefuse = 6,
  };

  FileTransfer(Instance& instance, Session& session, QObject* parent = nullptr);

  // What the window layer provides: a yes/no question and the desktop's "open" action.
  std::function<void(const QString& title, const QString& text, std::function<void(bool)>)> confirm;
  std::function<void(const QString& path)> open_file;

  // Queues every piece of the file for sending (SubCode 1 when the receivers may open it);
  // false when the file cannot be read. Pieces leave paced as above, in order, after those
  // already queued. `sent`, when given, runs once the file's last piece has been handed to the
  // socket (callers announce the file only then, so receivers have it whole).
  bool SendFile(const QString& path, bool open_after, std::function<void()> sent = {});
  bool Sending() const { return !queue_.empty(); }
  int QueuedPieces() const { return static_cast<int>(queue_.size()); }
  // Stops the file being sent: its remaining pieces are dropped and its `sent` never runs. The
  // receivers keep what has arrived; files queued after it go on.
  void CancelSending();
  // For tests: a fixed pause between pieces instead of the rate ceiling (negative: the ceiling).
  void SetPace(int ms) { pace_ms_ = ms; }

  // Pieces as receivers get them (code 111), for the server's answers that go to one
  // participant alone: how many a file of `size` bytes takes, and piece `number` (1-based).
  static int PieceCount(qint64 size);
  static Packet PiecePacket(const QString& name, const QByteArray& data, int number,
                            int16_t sub_code, int16_t sender);

  // The handler of code 111.
  void OnPiece(const Packet& p);

 signals:
  // Piece k of n of `name` has gone out (sending) or been stored (receiving).
  void progress(bool sending, const QString& name, int k, int n);
  // Sending stopped: the last queued piece went out or the transfer was cancelled.
  void sendingEnded();

 public:
  // A received name reduced to a bare, harmless file name (received.bin when nothing is left),
  // at most kMaxNameBytes in the file system's encoding.
  static QString SafeFileName(const QString& name);
  // The same, but empty when nothing is left.
  static QString CleanFileName(const QString& name);
  // Cut to max_bytes in the file system's encoding, by whole characters, keeping the extension.
  static QString ShortenName(const QString& name, int max_bytes);
  // Forgets the session's quotas, names, questions and answers (a new session starts).
  void ResetSession();
  // What one sender may have stored in file_Rcv during one session, in MB (the setting
  // ReceiveQuotaMB, read as each file starts).
  int ReceiveQuotaMB() const;
  // The free disk space received files leave untouched (kDiskFloor unless a test sets it).
  void SetDiskFloorForTesting(qint64 bytes) { disk_floor_ = bytes; }
  // True for files that would run code when opened; those are stored but never opened here.
  static bool RunsCode(const QString& file_name, const QByteArray& head);
  QString ReceiveFolder() const;

 private:
  struct Piece {
    QString name;
    int32_t count;
    int32_t number;
    int32_t size;
    int32_t position;
    int16_t sub_code;
    QByteArray bytes;
    std::function<void()> sent;  // on the last piece only
    int transfer = 0;            // which SendFile call the piece belongs to
  };
  // A file coming in from one sender, from its first piece on.
  struct Incoming {
    QString name;          // the name it is stored under
    QString path;          // where its pieces go now (in the holding folder while asking)
    int16_t sub_code = 2;  // 1: may be opened
    int32_t count = 1;
    bool waiting = false;  // for the answer to "receive?"
    bool refused = false;
    bool complete = false;
  };
  enum AskKind { kAskReceive = 0, kAskOpen = 1 };
  // One question waiting its turn; subject is the file's key (receive) or path (open).
  struct Question {
    int kind;
    QString title;
    QString text;
    QString subject;
  };

  void SendNext();
  // When the piece at the front of the queue may go, in ms from now.
  qint64 DelayForNext() const;
  bool Write(const QString& path, const Piece& piece);
  void Finish(const QString& key);
  void Answered(const QString& key, bool yes);
  // Counts a new file against its sender's quota and the free disk; false when it may not come.
  bool Admit(int sender, const QString& name, qint64 size);
  QString DistinctName(const QString& base, const QString& extension) const;
  QString HoldingFolder() const;
  void Ask(int kind, const QString& title, const QString& text, const QString& subject);
  void AskNext();
  void Settle(const Question& q, bool yes);
  static Piece FromPacket(const Packet& p);

  Instance& instance_;
  Session& session_;
  QTimer pacer_;
  std::deque<Piece> queue_;
  int pace_ms_ = -1;
  int transfers_ = 0;
  // The transfer at the front of the queue: which one, when its first piece left, bytes sent.
  int current_ = 0;
  QElapsedTimer current_clock_;
  qint64 current_bytes_ = 0;
  // Receiving, for the session: files by "sender/name as sent", bytes admitted per sender,
  // senders told they passed a bound, the questions one after another and the answers given
  // for the rest of the session.
  QHash<QString, Incoming> incoming_;
  QHash<int, qint64> received_;
  QSet<int> over_quota_;
  std::deque<Question> questions_;
  bool asking_ = false;
  std::optional<bool> always_[2];
  int generation_ = 0;
  int holding_count_ = 0;
  qint64 disk_floor_ = kDiskFloor;
};

}  // namespace quillora
