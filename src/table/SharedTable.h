#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <Qt>
#include <cstdint>

#include "net/AnswerQueue.h"
#include "net/Packet.h"
#include "table/PacedQueue.h"

namespace quillora {

class Dispatcher;
class Instance;
class Router;

// Which directions the user has stopped themselves from growing the table in. Local only.
enum class TableLock { kNone = 0, kBoth = 1, kRows = 2, kColumns = 3 };

// The shared table: a grid of texts whose row 0 holds the column headers and whose column 0
// holds the row names. Every data row and column carries an ID made of its creator's
// participant index and a running count; the creator of a row owns it. Every instance holds a
// full copy that the stream of table messages keeps equal; the server also answers a
// newcomer's request for the whole table.
class SharedTable : public QObject {
  Q_OBJECT

 public:
  static constexpr int32_t kIdBase = 100000;
  static constexpr int kPauseMs = 300;  // between the packets of a bulk transfer

  // What a click on a cell asks the window to do.
  enum class ClickResult { kNothing, kChanged, kOpenEditor };

  // Registers the table handlers with the dispatcher.
  SharedTable(Instance& instance, Router& router, Dispatcher& dispatcher,
              QObject* parent = nullptr);

  static QString CornerText();

  // --- the grid ------------------------------------------------------------------------------
  int RowCount() const { return static_cast<int>(row_ids_.size()); }
  int ColumnCount() const { return static_cast<int>(column_ids_.size()); }
  QString Text(int row, int column) const;
  int32_t RowId(int row) const;
  int32_t ColumnId(int column) const;
  // The first data row / column with this ID, or -1.
  int FindRow(int32_t id) const;
  int FindColumn(int32_t id) const;
  // The participant a row or column ID belongs to.
  static int OwnerOf(int32_t id) { return id / kIdBase; }
  // True when the user may change the cells of `row`: their own rows, the header row, and
  // everything for the server's user.
  bool CanEdit(int row) const;

  TableLock Lock() const { return lock_; }
  void SetLock(TableLock lock) { lock_ = lock; }

  // --- the user's operations -----------------------------------------------------------------
  // A mouse button released over cell (row, column). Right on the corner adds a column, left on
  // the corner adds a row (unless locked); left on a cell the user may change opens the editor,
  // or with Ctrl deletes a row (on its name) or a column (on its header).
  ClickResult Click(int row, int column, Qt::MouseButton button, Qt::KeyboardModifiers mods);
  // Single operations; false when the lock or the rules forbid them.
  bool AddColumn();
  bool AddRow();
  bool DeleteRow(int row);
  bool DeleteColumn(int column);
  // The editor's text goes into the cell and to everyone (even when unchanged).
  void CommitCell(int row, int column, const QString& text);
  // Empties the table and asks the server for its copy. False in server mode (nothing done).
  bool Repair();
  // Adds the columns of a table-definition file, paced like every bulk transfer. False (and
  // loadFailed) when the file cannot be read or its header is wrong; a failure later in the load
  // emits loadFailed and keeps the columns added so far.
  bool LoadDefinitionFile(const QString& path);

  // --- message handlers ----------------------------------------------------------------------
  void OnClientPacket(const Packet& p);  // 811-813
  void OnTableRequest(const Packet& p);  // 809, on the server

  // --- bulk transfers ------------------------------------------------------------------------
  bool LoadPending() const;
  bool AnswerPending(int participant) const;
  bool Idle() const { return loads_.Idle() && answers_.Pending() == 0; }
  void SetPauseForTesting(int ms);

 signals:
  // Anything in the grid changed.
  void tableChanged();
  // A remote deletion is about to shift rows or columns: an open editor must close first.
  void aboutToRemove();
  // The table-definition file could not be loaded (or not completely).
  void loadFailed();

 private:
  friend class SharedTableState;  // describes and restores the grid for the table file

  bool Live() const;
  int32_t NewId(int32_t* counter) const;
  // Sends to the server when a session is up; throws ProtocolError when it cannot be encoded.
  void SendToServer(const Packet& p);
  Packet Make(int16_t code, int16_t kind) const;

  void AppendColumn(int32_t id, const QString& header);
  void AppendRow(int32_t id, const QString& name);
  void RemoveColumn(int column);
  void RemoveRow(int row);
  // 812 applied: the column or row with this ID, created when missing, gets its text.
  void ApplyColumn(int32_t id, const QString& header);
  void ApplyRow(int32_t id, const QString& name);
  void Clear();

  void QueueAnswer(int dest);
  void QueueLoadStep(const QString& header);
  void FailLoad();

  Instance& instance_;
  Router& router_;
  QVector<int32_t> row_ids_{0};
  QVector<int32_t> column_ids_{0};
  QVector<QStringList> cells_;  // [row][column]
  int32_t column_counter_ = 0;
  int32_t row_counter_ = 0;
  TableLock lock_ = TableLock::kNone;
  PacedQueue loads_;
  AnswerQueue answers_;  // late joiners' tables, at the pace of their sockets
};

}  // namespace quillora
