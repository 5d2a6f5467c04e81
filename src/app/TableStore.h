#pragma once

#include <QHash>
#include <QString>
#include <QVector>

#include "core/ToolState.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quillora {

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

  // StateWriter (inside a transaction) and StateReader.
  void Clear(const QString& table) override;
  void Put(const QString& table, const QVariantList& row) override;
  void Remove(const QString& table, const QVariantList& key) override;
  QVector<QVariantList> Rows(const QString& table) const override;

  // A chat line; `seq` numbers them in the file.
  void AppendChatLine(qint64 seq, qint64 msecs_since_epoch, const QString& speaker, int kind,
                      uint32_t colour, const QString& text);
  qint64 LastChatSeq() const;

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
  bool CreateTables(const QVector<StateTable>& tables);
  void MakeBackup();
  void Fail(const QString& what);

  sqlite3* db_ = nullptr;
  QString path_;
  QHash<QString, StateTable> tables_;
  QHash<QString, sqlite3_stmt*> statements_;
  QString error_;
};

}  // namespace quillora
