#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>
#include <memory>

#include "app/TableStore.h"
#include "core/ToolState.h"

namespace quillora {

class ChatLog;
class Instance;

// Keeps the session's shared state in a table file while the program hosts: the tools' states
// and the chat lines. Changes are collected and written in one transaction a second, so a
// crash loses at most the last second; opening a file gives its state to the tools.
class TableKeeper : public QObject {
  Q_OBJECT

 public:
  static constexpr int kCommitMs = 1000;
  // The file's suffix, and the setting that remembers the last table.
  static inline const QString kSuffix = QStringLiteral("qtable");
  static inline const QString kSection = QStringLiteral("Table");
  static inline const QString kLastKey = QStringLiteral("LastFile");

  TableKeeper(Instance& instance, ChatLog& chat, QVector<ToolState*> tools,
              QObject* parent = nullptr);
  ~TableKeeper() override;

  // Opens the file (created when missing; the tools' current state goes into a new file, an
  // existing file's state goes into the tools). What the opening had to say goes to the chat.
  // False when the file was refused or could not be opened (the previous table stays).
  bool Open(const QString& path);
  // A new table at `path` (an old file there is replaced) holding the tools' current state.
  bool Create(const QString& path);
  // Writes what is waiting and closes the file.
  void Close();
  // Writes everything collected now. False when no table is open or the write failed.
  bool Save();
  // Writes the whole table to `path` and goes on with that file.
  bool SaveAs(const QString& path);
  // The table the host uses when none was chosen: the last one, else a new one in the
  // program folder.
  QString DefaultPath() const;
  bool IsOpen() const { return store_.IsOpen(); }
  QString Path() const { return store_.Path(); }
  // For the benchmark and tests: the time the last write took.
  qint64 LastWriteNs() const { return last_write_ns_; }

 signals:
  // A table was opened: the tools hold its state.
  void opened(const QString& path);

 private:
  void Schedule();
  bool Write(bool everything);
  void RememberLast(const QString& path);
  void OnChatLine(const QString& speaker, int kind, const QString& text, uint32_t colour);

  struct ChatLine {
    qint64 msecs;
    QString speaker;
    int kind;
    uint32_t colour;
    QString text;
  };

  Instance& instance_;
  ChatLog& chat_;
  QVector<ToolState*> tools_;
  TableStore store_;
  QTimer timer_;
  QVector<ChatLine> chat_lines_;
  qint64 chat_seq_ = 0;
  bool restoring_ = false;
  qint64 last_write_ns_ = 0;
};

}  // namespace quillora
