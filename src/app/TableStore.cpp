#include "app/TableStore.h"

#include <sqlite3.h>

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

namespace quillora {

namespace {

const QString kChat = QStringLiteral("chat_lines");
const QString kFileInfo = QStringLiteral("file_info");
// Light compression: a page is written often, and the file is not sent anywhere.
constexpr int kPngQuality = 90;

QString Quoted(const QString& name) {
  QString q = name;
  q.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + q + QLatin1Char('"');
}

QString Stamp() {
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
}

void Bind(sqlite3_stmt* st, int i, const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
    case QMetaType::Short:
    case QMetaType::UShort:
      sqlite3_bind_int64(st, i, v.toLongLong());
      break;
    case QMetaType::QByteArray: {
      const QByteArray b = v.toByteArray();
      sqlite3_bind_blob64(st, i, b.constData(), static_cast<sqlite3_uint64>(b.size()),
                          SQLITE_TRANSIENT);
      break;
    }
    case QMetaType::QImage: {
      // Encoded here, on the writer's thread, not where the picture was drawn.
      QByteArray png;
      QBuffer buffer(&png);
      buffer.open(QIODevice::WriteOnly);
      v.value<QImage>().save(&buffer, "PNG", kPngQuality);
      sqlite3_bind_blob64(st, i, png.constData(), static_cast<sqlite3_uint64>(png.size()),
                          SQLITE_TRANSIENT);
      break;
    }
    case QMetaType::UnknownType:
      sqlite3_bind_null(st, i);
      break;
    default: {
      const QByteArray utf8 = v.toString().toUtf8();
      sqlite3_bind_text64(st, i, utf8.constData(), static_cast<sqlite3_uint64>(utf8.size()),
                          SQLITE_TRANSIENT, SQLITE_UTF8);
    }
  }
}

QVariant Column(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
      return QVariant(static_cast<qint64>(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT:
      return QVariant(sqlite3_column_double(st, i));
    case SQLITE_BLOB: {
      const auto* data = static_cast<const char*>(sqlite3_column_blob(st, i));
      return QVariant(QByteArray(data, sqlite3_column_bytes(st, i)));
    }
    case SQLITE_NULL:
      return QVariant();
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(st, i)));
    }
  }
}

// Opens an existing file for reading and writing (a crashed writer's journal is rolled in).
sqlite3* OpenExisting(const QString& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 200);
  return db;
}

bool CopyDatabase(sqlite3* from, const QString& dest) {
  QFile::remove(dest);
  sqlite3* to = nullptr;
  if (sqlite3_open(QFile::encodeName(dest).constData(), &to) != SQLITE_OK) {
    sqlite3_close(to);
    return false;
  }
  sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
  bool ok = backup != nullptr;
  if (backup) {
    ok = sqlite3_backup_step(backup, -1) == SQLITE_DONE;
    sqlite3_backup_finish(backup);
  }
  ok = ok && sqlite3_errcode(to) == SQLITE_OK;
  sqlite3_close(to);
  if (!ok) QFile::remove(dest);
  return ok;
}

// Moves a file and its journal files aside.
void SetAside(const QString& path, const QString& dest) {
  QFile::rename(path, dest);
  for (const char* suffix : {"-wal", "-shm"}) {
    const QString journal = path + QLatin1String(suffix);
    if (QFile::exists(journal)) QFile::rename(journal, dest + QLatin1String(suffix));
  }
}

}  // namespace

TableStore::~TableStore() { Close(); }

void TableStore::Close() {
  for (sqlite3_stmt* st : std::as_const(statements_)) sqlite3_finalize(st);
  statements_.clear();
  insert_sql_.clear();
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
  tables_.clear();
}

QString TableStore::BackupFolder(const QString& path) {
  return QFileInfo(path).absolutePath() + QStringLiteral("/backups");
}

QStringList TableStore::Backups(const QString& path) {
  const QFileInfo info(path);
  QDir folder(BackupFolder(path));
  const QStringList names =
      folder.entryList({info.completeBaseName() + QStringLiteral("_*.") + info.suffix()},
                       QDir::Files, QDir::Name | QDir::Reversed);
  QStringList paths;
  for (const QString& name : names) paths << folder.filePath(name);
  return paths;
}

bool TableStore::Healthy(const QString& path, int* version) {
  sqlite3* db = OpenExisting(path);
  if (!db) return false;
  bool ok = false;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW) {
    if (version) *version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      ok = text && qstrcmp(text, "ok") == 0;
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return ok;
}

TableStore::Opened TableStore::Open(const QString& path, const QVector<StateTable>& tables) {
  Close();
  path_ = QFileInfo(path).absoluteFilePath();
  Opened result;
  const QString name = QFileInfo(path_).fileName();
  bool checked_good = false;
  result.outcome = Outcome::kCreated;
  if (QFileInfo::exists(path_)) {
    int version = 0;
    if (Healthy(path_, &version)) {
      if (version > kSchemaVersion) {
        result.outcome = Outcome::kRefused;
        result.message = QStringLiteral(
                             "卓のファイル「%1」は新しい版のQuilloraで作られているため、"
                             "開けません。")
                             .arg(name);
        return result;
      }
      checked_good = true;
      result.outcome = Outcome::kOpened;
    } else {
      QString good;
      for (const QString& backup : Backups(path_)) {
        int v = 0;
        if (Healthy(backup, &v) && v <= kSchemaVersion) {
          good = backup;
          break;
        }
      }
      QDir().mkpath(BackupFolder(path_));
      const QString damaged =
          BackupFolder(path_) + QLatin1Char('/') + name + QStringLiteral(".damaged-") + Stamp();
      SetAside(path_, damaged);
      if (!good.isEmpty() && QFile::copy(good, path_)) {
        QFile(path_).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                    QFile::ReadOther);
        result.outcome = Outcome::kFromBackup;
        result.message = QStringLiteral(
                             "卓のファイル「%1」は壊れていたため、最新の正常なバックアップ「%2」を"
                             "開きました。壊れたファイルは「%3」に移しました。")
                             .arg(name, QFileInfo(good).fileName(), QFileInfo(damaged).fileName());
      } else {
        result.message = QStringLiteral(
                             "卓のファイル「%1」は壊れていて、使えるバックアップもないため、"
                             "新しい卓として開きました。壊れたファイルは「%2」に移しました。")
                             .arg(name, QFileInfo(damaged).fileName());
      }
    }
  }
  QDir().mkpath(QFileInfo(path_).absolutePath());
  // Only the file's own thread uses the connection: SQLite's own locks would be pure cost.
  if (sqlite3_open_v2(QFile::encodeName(path_).constData(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    result.outcome = Outcome::kFailed;
    result.message = QStringLiteral("卓のファイル「%1」を開けませんでした。").arg(name);
    sqlite3_close(db_);
    db_ = nullptr;
    return result;
  }
  sqlite3_busy_timeout(db_, 200);
  // WAL: a commit appends to the journal, readers never see a torn file; FULL syncs every
  // commit so a power cut loses at most the transaction under way.
  Exec("PRAGMA journal_mode=WAL");
  Exec("PRAGMA synchronous=FULL");
  if (checked_good) MakeBackup();
  if (!CreateTables(tables)) {
    result.outcome = Outcome::kFailed;
    result.message = QStringLiteral("卓のファイル「%1」を開けませんでした。").arg(name);
    Close();
  }
  return result;
}

bool TableStore::CreateTables(const QVector<StateTable>& tables) {
  QVector<StateTable> all = tables;
  all.append({kChat, {"seq", "time", "speaker", "kind", "colour", "text", "indent"}, 1});
  all.append({kFileInfo, {"name", "value"}, 1});
  if (!Exec("BEGIN")) return false;
  for (const StateTable& t : all) {
    QStringList columns;
    for (const QString& c : t.columns) columns << Quoted(c);
    const QString sql = QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2, PRIMARY KEY (%3))")
                            .arg(Quoted(t.name), columns.join(QLatin1String(", ")),
                                 columns.mid(0, t.key_columns).join(QLatin1String(", ")));
    if (!Exec(sql.toUtf8().constData()) || !AddMissingColumns(t)) {
      Rollback();
      return false;
    }
    tables_.insert(t.name, t);
  }
  Put(kFileInfo, {QStringLiteral("program"), QStringLiteral("Quillora")});
  Exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion).toUtf8().constData());
  if (!Commit()) return false;
  chat_seq_ = LastChatSeq();
  return true;
}

bool TableStore::AddMissingColumns(const StateTable& table) {
  QStringList have;
  sqlite3_stmt* st = nullptr;
  const QString sql = QStringLiteral("PRAGMA table_info(%1)").arg(Quoted(table.name));
  if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      have << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    }
  }
  sqlite3_finalize(st);
  for (const QString& c : table.columns) {
    if (have.contains(c)) continue;
    const QString add =
        QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(Quoted(table.name), Quoted(c));
    if (!Exec(add.toUtf8().constData())) return false;
  }
  return true;
}

void TableStore::MakeBackup() {
  const QFileInfo info(path_);
  const QString folder = BackupFolder(path_);
  if (!QDir().mkpath(folder)) return;
  const QString dest = folder + QLatin1Char('/') + info.completeBaseName() + QLatin1Char('_') +
                       Stamp() + QLatin1Char('.') + info.suffix();
  CopyDatabase(db_, dest);
  const QStringList backups = Backups(path_);
  for (int i = kBackupsKept; i < backups.size(); ++i) QFile::remove(backups[i]);
}

bool TableStore::CopyTo(const QString& dest) const {
  return db_ && CopyDatabase(db_, QFileInfo(dest).absoluteFilePath());
}

bool TableStore::Exec(const char* sql) {
  if (!db_) return false;
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    Fail(QString::fromUtf8(message ? message : "?"));
    sqlite3_free(message);
    return false;
  }
  return true;
}

void TableStore::Fail(const QString& what) {
  if (error_.isEmpty()) error_ = what;
}

QString TableStore::TakeError() {
  QString e;
  std::swap(e, error_);
  return e;
}

sqlite3_stmt* TableStore::Statement(const QString& sql) {
  if (!db_) return nullptr;
  auto it = statements_.find(sql);
  if (it != statements_.end()) {
    sqlite3_reset(*it);
    sqlite3_clear_bindings(*it);
    return *it;
  }
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v3(db_, sql.toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, &st,
                         nullptr) != SQLITE_OK) {
    Fail(QString::fromUtf8(sqlite3_errmsg(db_)));
    sqlite3_finalize(st);
    return nullptr;
  }
  statements_.insert(sql, st);
  return st;
}

bool TableStore::Begin() { return Exec("BEGIN IMMEDIATE"); }

bool TableStore::Commit() {
  if (Exec("COMMIT")) return true;
  Rollback();
  return false;
}

void TableStore::Rollback() {
  if (db_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void TableStore::Clear(const QString& table) {
  if (!tables_.contains(table)) return;
  if (sqlite3_stmt* st = Statement(QStringLiteral("DELETE FROM ") + Quoted(table))) {
    if (sqlite3_step(st) != SQLITE_DONE) Fail(QString::fromUtf8(sqlite3_errmsg(db_)));
  }
}

sqlite3_stmt* TableStore::InsertStatement(const QString& table, const StateTable& t) {
  auto sql = insert_sql_.constFind(table);
  if (sql == insert_sql_.cend()) {
    QStringList columns;
    QStringList marks;
    for (const QString& c : t.columns) {
      columns << Quoted(c);
      marks << QStringLiteral("?");
    }
    sql = insert_sql_.insert(table, QStringLiteral("INSERT OR REPLACE INTO %1 (%2) VALUES (%3)")
                                        .arg(Quoted(table), columns.join(QLatin1Char(',')),
                                             marks.join(QLatin1Char(','))));
  }
  return Statement(*sql);
}

void TableStore::Put(const QString& table, const QVariantList& row) {
  const auto t = tables_.constFind(table);
  if (t == tables_.cend() || row.size() != t->columns.size()) return;
  sqlite3_stmt* st = InsertStatement(table, *t);
  if (!st) return;
  for (int i = 0; i < row.size(); ++i) Bind(st, i + 1, row[i]);
  if (sqlite3_step(st) != SQLITE_DONE) Fail(QString::fromUtf8(sqlite3_errmsg(db_)));
}

void TableStore::Remove(const QString& table, const QVariantList& key) {
  const auto t = tables_.constFind(table);
  if (t == tables_.cend() || key.size() != t->key_columns) return;
  QStringList terms;
  for (int i = 0; i < t->key_columns; ++i) terms << Quoted(t->columns[i]) + QStringLiteral("=?");
  sqlite3_stmt* st = Statement(QStringLiteral("DELETE FROM %1 WHERE %2")
                                   .arg(Quoted(table), terms.join(QLatin1String(" AND "))));
  if (!st) return;
  for (int i = 0; i < key.size(); ++i) Bind(st, i + 1, key[i]);
  if (sqlite3_step(st) != SQLITE_DONE) Fail(QString::fromUtf8(sqlite3_errmsg(db_)));
}

QVector<QVariantList> TableStore::Rows(const QString& table) const {
  QVector<QVariantList> rows;
  const auto t = tables_.constFind(table);
  if (!db_ || t == tables_.cend()) return rows;
  QStringList columns;
  for (const QString& c : t->columns) columns << Quoted(c);
  const QString sql = QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                          .arg(columns.join(QLatin1Char(',')), Quoted(table),
                               columns.mid(0, t->key_columns).join(QLatin1Char(',')));
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      QVariantList row;
      for (int i = 0; i < columns.size(); ++i) row << Column(st, i);
      rows << row;
    }
  }
  sqlite3_finalize(st);
  return rows;
}

void TableStore::AppendChatLine(const TableChatLine& line) {
  const qint64 second = line.msecs / 1000;
  if (second != chat_second_) {
    chat_second_ = second;
    chat_time_ = QDateTime::fromMSecsSinceEpoch(second * 1000)
                     .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  }
  // The same row as Put() would write, bound without a QVariant for each column: under a
  // flood this runs a hundred thousand times a second.
  const auto t = tables_.constFind(kChat);
  if (t == tables_.cend()) return;
  sqlite3_stmt* st = InsertStatement(kChat, *t);
  if (!st) return;
  const auto text = [st](int i, const QString& s) {
    sqlite3_bind_text16(st, i, s.utf16(), static_cast<int>(s.size() * 2), SQLITE_STATIC);
  };
  sqlite3_bind_int64(st, 1, ++chat_seq_);
  text(2, chat_time_);
  text(3, line.speaker);
  sqlite3_bind_int64(st, 4, line.kind);
  sqlite3_bind_int64(st, 5, static_cast<qint64>(line.colour));
  text(6, line.text);
  text(7, line.indent_reference);
  if (sqlite3_step(st) != SQLITE_DONE) Fail(QString::fromUtf8(sqlite3_errmsg(db_)));
}

TableSnapshot TableStore::Snapshot(int chat_lines) const {
  TableSnapshot snapshot;
  for (const StateTable& t : tables_) {
    if (t.name != kChat && t.name != kFileInfo) snapshot.Set(t.name, Rows(t.name));
  }
  if (!db_) return snapshot;
  sqlite3_stmt* st = nullptr;
  const char* sql =
      "SELECT speaker, kind, colour, text, indent FROM "
      "(SELECT * FROM chat_lines ORDER BY seq DESC LIMIT ?) ORDER BY seq";
  if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_int(st, 1, chat_lines);
    while (sqlite3_step(st) == SQLITE_ROW) {
      TableChatLine line;
      line.speaker = Column(st, 0).toString();
      line.kind = Column(st, 1).toInt();
      line.colour = static_cast<uint32_t>(Column(st, 2).toLongLong());
      line.text = Column(st, 3).toString();
      line.indent_reference = Column(st, 4).toString();
      snapshot.chat.append(line);
    }
  }
  sqlite3_finalize(st);
  return snapshot;
}

qint64 TableStore::LastChatSeq() const {
  if (!db_) return 0;
  sqlite3_stmt* st = nullptr;
  qint64 seq = 0;
  if (sqlite3_prepare_v2(db_, "SELECT max(seq) FROM chat_lines", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW) {
    seq = sqlite3_column_int64(st, 0);
  }
  sqlite3_finalize(st);
  return seq;
}

}  // namespace quillora
