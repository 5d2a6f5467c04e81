#include "app/TableWriter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace quillora {

void TableBatch::WriteTo(TableStore& out) const {
  for (const Op& op : ops_) {
    switch (op.kind) {
      case Op::kClear:
        out.Clear(op.table);
        break;
      case Op::kPut:
        out.Put(op.table, op.values);
        break;
      case Op::kRemove:
        out.Remove(op.table, op.values);
        break;
    }
  }
  for (const TableChatLine& line : chat_) out.AppendChatLine(line);
}

TableWriter::OpenResult TableWriter::Open(const QString& path, const QVector<StateTable>& tables,
                                          bool fresh) {
  OpenResult result;
  result.path = QFileInfo(path).absoluteFilePath();
  if (store_ && store_->Path() == result.path) Close();
  if (fresh) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
      QFile::remove(result.path + QLatin1String(suffix));
    }
  }
  auto store = std::make_unique<TableStore>();
  result.opened = store->Open(result.path, tables);
  using O = TableStore::Outcome;
  if (result.opened.outcome == O::kRefused || result.opened.outcome == O::kFailed) return result;
  if (result.opened.outcome != O::kCreated) {
    result.snapshot = store->Snapshot(kChatLinesRestored);
    result.restored = true;
  }
  store_ = std::move(store);
  return result;
}

TableWriter::WriteResult TableWriter::Write(const TableBatch& batch) {
  WriteResult result;
  if (!store_) return {false, QStringLiteral("no table is open"), 0};
  QElapsedTimer clock;
  clock.start();
  result.ok = store_->Begin();
  if (result.ok) {
    batch.WriteTo(*store_);
    result.ok = store_->Commit();
  }
  result.error = store_->TakeError();
  if (!result.error.isEmpty()) result.ok = false;
  result.ns = clock.nsecsElapsed();
  return result;
}

bool TableWriter::SaveAs(const QString& path, const QVector<StateTable>& tables) {
  if (!store_) return false;
  const QString target = QFileInfo(path).absoluteFilePath();
  if (target == store_->Path()) return true;
  if (!store_->CopyTo(target)) return false;
  auto store = std::make_unique<TableStore>();
  store->Open(target, tables);
  if (!store->IsOpen()) return false;
  store_ = std::move(store);
  return true;
}

void TableWriter::Close() { store_.reset(); }

}  // namespace quillora
