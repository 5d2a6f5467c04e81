#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QVector>
#include <atomic>
#include <functional>

#include "app/TableWriter.h"
#include "core/ToolState.h"

namespace quillora {

class ChatLog;
class Instance;

// Keeps the session's shared state in a table file while the program hosts: the tools' states
// and the chat lines. Changes are collected once a second and handed to the file's own thread,
// which writes them in one transaction, so a crash loses at most the last second and the
// window never waits for the disk. Opening a file gives its state to the tools when the file
// has been read; the requests reach the file in the order they were made.
class TableKeeper : public QObject {
  Q_OBJECT

 public:
  static constexpr int kCommitMs = 1000;
  // Chat lines that go to the file's thread without waiting for the next commit when it has
  // nothing else to do: under a flood a second's lines would otherwise wait, twice over (being
  // collected and being written), in memory.
  static constexpr size_t kChatLinesPerWrite = 5000;
  // Writes waiting for the file's thread at which it stops giving way to every other thread.
  static constexpr int kBehindJobs = 3;
  // The file's suffix, and the setting that remembers the last table.
  static inline const QString kSuffix = QStringLiteral("qtable");
  static inline const QString kSection = QStringLiteral("Table");
  static inline const QString kLastKey = QStringLiteral("LastFile");

  TableKeeper(Instance& instance, ChatLog& chat, QVector<ToolState*> tools,
              QObject* parent = nullptr);
  // Everything collected is written and the file closed before the program goes.
  ~TableKeeper() override;

  // Opens the file (created when missing; the tools' current state goes into a new file, an
  // existing file's state goes into the tools). What the opening had to say goes to the chat;
  // `opened` or `openFailed` follows. When the file is refused, the previous table stays.
  void Open(const QString& path);
  // A new table at `path` (an old file there is replaced) holding the tools' current state.
  void Create(const QString& path);
  // Writes what is waiting and closes the file.
  void Close();
  // Writes everything collected now; a failure is signalled by `saveFailed`. False when no
  // table is open.
  bool Save();
  // Writes the whole table to `path` and goes on with that file (`savedAs` or `saveFailed`).
  bool SaveAs(const QString& path);
  // The table the host uses when none was chosen: the last one, else a new one in the program
  // folder.
  QString DefaultPath() const;
  // A table is open or being opened.
  bool IsOpen() const { return open_; }
  QString Path() const { return path_; }
  // For the benchmark and tests: what the last write cost this thread (the tools describing
  // their changes), and what its statements and commit took on the file's thread.
  qint64 LastCollectNs() const { return last_collect_ns_; }
  qint64 LastCommitNs() const { return last_commit_ns_; }
  int WritesDone() const { return writes_done_; }

 signals:
  // A table was opened: the tools hold its state.
  void opened(const QString& path);
  void openFailed(const QString& path);
  void savedAs(const QString& path);
  void saveFailed(const QString& path);
  // The file's thread has done everything asked of it so far (a close included).
  void idle();

 private:
  void Schedule();
  void Write(bool everything, bool asked = false);
  void RememberLast(const QString& path);
  void OnChatLine(const QString& speaker, int kind, const QString& text,
                  const QString& indent_reference, uint32_t colour);
  QVector<StateTable> AllTables() const;
  void StartOpen(const QString& path, bool fresh);
  void Opened(const TableWriter::OpenResult& result);
  void Written(const TableWriter::WriteResult& result, bool asked);
  // Runs `job` on the file's thread, and `done` back here afterwards.
  void OnFileThread(std::function<void(TableWriter&)> job);
  void Back(std::function<void()> done);

  Instance& instance_;
  ChatLog& chat_;
  QVector<ToolState*> tools_;
  QThread thread_;
  QObject* worker_ = nullptr;  // lives on thread_; runs the jobs
  TableWriter writer_;         // used on thread_ only
  QTimer timer_;
  TableBatch chat_lines_;
  bool open_ = false;
  bool opening_ = false;            // until the file's state is in the tools nothing is written
  int jobs_ = 0;                    // sent to the file's thread and not done yet
  std::atomic<bool> hurry_{false};  // set here, read by the file's thread before each job
  bool in_background_ = false;      // the file's thread's own: how it runs now
  int open_ticket_ = 0;             // the opening whose result is awaited
  QString path_;
  bool restoring_ = false;
  qint64 last_collect_ns_ = 0;
  qint64 last_commit_ns_ = 0;
  int writes_done_ = 0;
};

}  // namespace quillora
