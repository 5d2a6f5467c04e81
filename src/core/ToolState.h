#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>

namespace quillora {

// One plain table of a shared tool's state: its name and columns; the first `key_columns`
// columns identify a row.
struct StateTable {
  QString name;
  QStringList columns;
  int key_columns = 1;
};

// Where a tool writes its state. Values are integers, texts or byte arrays (pictures).
class StateWriter {
 public:
  virtual ~StateWriter() = default;
  // Drops every row of the table.
  virtual void Clear(const QString& table) = 0;
  // Inserts the row, replacing the row with the same key.
  virtual void Put(const QString& table, const QVariantList& row) = 0;
  // Drops the row with this key.
  virtual void Remove(const QString& table, const QVariantList& key) = 0;
};

// Where a tool reads its state back from.
class StateReader {
 public:
  virtual ~StateReader() = default;
  // Every row of the table in key order (none when the table is missing or empty).
  virtual QVector<QVariantList> Rows(const QString& table) const = 0;
};

// A shared tool that can describe its state and take it back. The tool knows nothing of the
// file; whoever keeps it asks for the changes when it decides to write.
class ToolState {
 public:
  virtual ~ToolState() = default;

  virtual QVector<StateTable> Tables() const = 0;
  // The whole state: every table cleared and filled.
  virtual void DescribeAll(StateWriter& out) const = 0;
  // What changed since the last description (the whole state unless the tool knows better).
  virtual void DescribeChanges(StateWriter& out) {
    DescribeAll(out);
    changed_ = false;
  }
  // Replaces the tool's state with what the reader holds.
  virtual void Restore(const StateReader& in) = 0;
  // On the server after a restore: the participants get the restored state the way a late
  // joiner gets it.
  virtual void HandOut(const QVector<int>& participants) = 0;

  // The keeper learns that something changed.
  void SetChangeListener(std::function<void()> listener) { listener_ = std::move(listener); }
  bool HasChanges() const { return changed_; }

 protected:
  void MarkChanged() {
    changed_ = true;
    if (listener_) listener_();
  }
  void MarkDescribed() { changed_ = false; }

 private:
  std::function<void()> listener_;
  bool changed_ = false;
};

}  // namespace quillora
