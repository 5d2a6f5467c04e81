#pragma once

#include <QHash>
#include <QString>
#include <QVector>

#include "core/ToolState.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quillora {

// One chat line as the table file keeps it.
struct TableChatLine {
  qint64 msecs = 0;  // since the epoch
  QString speaker;
  int kind = 0;
  uint32_t colour = 0;
  QString text;
  QString indent_reference;
};

// Every row of a table file's state tables, read at once so the tools can take it back away
// from the file.
class TableSnapshot : public StateReader {
 public:
  QVector<QVariantList> Rows(const QString& table) const override { return rows_.value(table); }
  void Set(const QString& table, QVector<QVariantList> rows) {
    rows_.insert(table, std::move(rows));
  }
  // The file's last chat lines, oldest first.
  QVector<TableChatLine> chat;

 private:
  QHash<QString, QVector<QVariantList>> rows_;
};

// The table file: one SQLite database (WAL, a schema version in PRAGMA user_version) with one
// plain table per part of each shared tool's state, a table of chat lines and a table of
// facts about the file. Changes are written between Begin() and Commit(), one transaction
// for everything collected since the last one.
class TableStore : public StateWriter, public StateReader {
 public:
  static constexpr int kSchemaVersion = 1;
  static constexpr int kBackupsKept = 10;

  enum class Outcome { kOpened, kCreated, kFromBackup, kRefused, kFailed };
  struct Opened {
    Outcome outcome = Outcome::kFailed;
    // A line for the chat when something was out of the ordinary (empty otherwise).
    QString message;
  };

  TableStore() = default;
  ~TableStore() override;
  TableStore(const TableStore&) = delete;
  TableStore& operator=(const TableStore&) = delete;

  // Opens (or creates) the file with these tables. An existing file is first checked and
  // copied into the `backups` folder beside it; a damaged file is set aside and the newest
  // good backup opened in its place; a file of a newer schema is refused.
  Opened Open(const QString& path, const QVector<StateTable>& tables);
  void Close();
  bool IsOpen() const { return db_ != nullptr; }
  QString Path() const { return path_; }

  bool Begin();
  bool Commit();
  void Rollback();

  // StateWriter (inside a transaction) and StateReader. A picture (QImage) in a row is stored
  // as PNG.
  void Clear(const QString& table) override;
  void Put(const QString& table, const QVariantList& row) override;
  void Remove(const QString& table, const QVariantList& key) override;
  QVector<QVariantList> Rows(const QString& table) const override;

  // A chat line, numbered after the file's last.
  void AppendChatLine(const TableChatLine& line);
  qint64 LastChatSeq() const;
  // The state tables and the newest `chat_lines` chat lines.
  TableSnapshot Snapshot(int chat_lines) const;

  // A consistent copy of the whole file at `dest` (SQLite's online backup). False on failure.
  bool CopyTo(const QString& dest) const;

  // The backups folder beside a table file, and its backups newest first.
  static QString BackupFolder(const QString& path);
  static QStringList Backups(const QString& path);
  // True when the file is an SQLite database that passes its integrity check; `version` gets
  // its schema version.
  static bool Healthy(const QString& path, int* version);

  // Something went wrong since the last call (a failed write); the text says what.
  QString TakeError();

 private:
  bool Exec(const char* sql);
  sqlite3_stmt* Statement(const QString& sql);
  // The prepared insert for `table`, made once per table.
  sqlite3_stmt* InsertStatement(const QString& table, const StateTable& t);
  bool CreateTables(const QVector<StateTable>& tables);
  // Columns a table of an older file lacks are added (empty in the rows it has).
  bool AddMissingColumns(const StateTable& table);
  void MakeBackup();
  void Fail(const QString& what);

  sqlite3* db_ = nullptr;
  QString path_;
  QHash<QString, StateTable> tables_;
  QHash<QString, sqlite3_stmt*> statements_;
  // By table: its insert, which every row of the table shares (a flood of chat lines would
  // otherwise spell out and look up the same statement for every line).
  QHash<QString, QString> insert_sql_;
  QString error_;
  qint64 chat_seq_ = 0;
  // The local time of the last chat line, written out: a flood of lines shares a few seconds,
  // and converting to local time asks the system about the time zone every time.
  qint64 chat_second_ = -1;
  QString chat_time_;
};

}  // namespace quillora
