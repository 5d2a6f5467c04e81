#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>

#include "net/Packet.h"

namespace quillora {

class Instance;
class Session;

// Sends files to the other participants in paced pieces of 2048 bytes and stores the pieces
// that arrive in file_Rcv, opening a finished file or not as the receiving policy says.
//
// Pacing: the next piece goes once the previous one has left for the server (so a transfer
// never piles up in front of the chat) and no sooner than the rate ceiling allows (settings
// FileSendRate, KB per second per transfer).
class FileTransfer : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPieceSize = 2048;
  static constexpr int kDefaultRate = 64;             // KB per second
  static constexpr qint64 kLargeFile = 16383;         // bigger files are confirmed first
  static constexpr qint64 kMaxReceived = 64LL << 20;  // pieces beyond this are refused

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

  // The handler of code 111.
  void OnPiece(const Packet& p);

 signals:
  // Piece k of n of `name` has gone out (sending) or been stored (receiving).
  void progress(bool sending, const QString& name, int k, int n);
  // Sending stopped: the last queued piece went out or the transfer was cancelled.
  void sendingEnded();

 public:
  // A received name reduced to a bare, harmless file name.
  static QString SafeFileName(const QString& name);
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
  void SendNext();
  // When the piece at the front of the queue may go, in ms from now.
  qint64 DelayForNext() const;
  void Store(const Piece& piece);
  void Finish(const Piece& piece);
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
  // Files waiting for the user's answer to "receive?": their pieces are held meanwhile.
  QHash<QString, std::vector<Piece>> pending_;
  QHash<QString, bool> refused_;
};

}  // namespace quillora
