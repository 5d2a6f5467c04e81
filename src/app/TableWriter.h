#pragma once

#include <QString>
#include <QVariantList>
#include <QVector>
#include <memory>
#include <vector>

#include "app/TableStore.h"
#include "core/ToolState.h"

namespace quillora {

// What the tools said about their changes, recorded so that it can be written elsewhere (on
// the table file's thread) after the tools have gone on.
class TableBatch : public StateWriter {
 public:
  void Clear(const QString& table) override { ops_.push_back({Op::kClear, table, {}}); }
  void Put(const QString& table, const QVariantList& row) override {
    ops_.push_back({Op::kPut, table, row});
  }
  void Remove(const QString& table, const QVariantList& key) override {
    ops_.push_back({Op::kRemove, table, key});
  }
  void AddChat(TableChatLine line) { chat_.push_back(std::move(line)); }
  bool IsEmpty() const { return ops_.empty() && chat_.empty(); }
  size_t ChatLines() const { return chat_.size(); }
  // Replays everything into `out`.
  void WriteTo(TableStore& out) const;

 private:
  struct Op {
    enum Kind { kClear, kPut, kRemove } kind;
    QString table;
    QVariantList values;
  };
  std::vector<Op> ops_;
  std::vector<TableChatLine> chat_;
};

// The table file's side of the keeper: lives on its own thread and does everything that
// touches the file, one request after the other in the order they were made.
class TableWriter {
 public:
  static constexpr int kChatLinesRestored = 10000;

  struct OpenResult {
    TableStore::Opened opened;
    QString path;           // absolute
    bool restored = false;  // an existing file's state is in `snapshot`
    TableSnapshot snapshot;
  };
  struct WriteResult {
    bool ok = true;
    QString error;
    qint64 ns = 0;  // statements and commit
  };

  // Opens `path` (a file there is first removed when `fresh`). The table open so far stays
  // open when the new one is refused or fails.
  OpenResult Open(const QString& path, const QVector<StateTable>& tables, bool fresh);
  WriteResult Write(const TableBatch& batch);
  // Copies the open table to `path` and goes on with the copy. False (still on the old one)
  // when the copy failed.
  bool SaveAs(const QString& path, const QVector<StateTable>& tables);
  void Close();

 private:
  std::unique_ptr<TableStore> store_;
};

}  // namespace quillora
