#include "table/SharedTable.h"

#include <limits>
#include <memory>

#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/MessageCodes.h"
#include "net/Reported.h"
#include "net/Router.h"
#include "table/TableFile.h"

namespace quillora {

namespace {

const QString kTagMouse = QStringLiteral("UTbl_MUP");
const QString kTagCommit = QStringLiteral("UTbl_LFC");
const QString kTagClient = QStringLiteral("UTbl_Clnt");
const QString kTagServer = QStringLiteral("UTbl_Serv");
const QString kTagRepair = QStringLiteral("UTbl_Rep");
constexpr int kLoadGroup = 0;

}  // namespace

SharedTable::SharedTable(Instance& instance, Router& router, Dispatcher& dispatcher,
                         QObject* parent)
    : QObject(parent),
      instance_(instance),
      router_(router),
      cells_{QStringList{CornerText()}},
      loads_(kPauseMs),
      answers_(router, kTagServer) {
  dispatcher.RegisterClientHandler(msg::kTableCell, msg::kTableDeleted,
                                   [this](const Packet& p) { OnClientPacket(p); });
  dispatcher.RegisterServerHandler(msg::kTableRequest, msg::kTableRequest,
                                   [this](int, const Packet& p) { OnTableRequest(p); });
}

QString SharedTable::CornerText() { return QStringLiteral("左行 右列"); }

// --- the grid --------------------------------------------------------------------------------

QString SharedTable::Text(int row, int column) const {
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return {};
  return cells_[row][column];
}

int32_t SharedTable::RowId(int row) const {
  return row >= 0 && row < RowCount() ? row_ids_[row] : 0;
}

int32_t SharedTable::ColumnId(int column) const {
  return column >= 0 && column < ColumnCount() ? column_ids_[column] : 0;
}

int SharedTable::FindRow(int32_t id) const {
  for (int r = 1; r < RowCount(); ++r) {
    if (row_ids_[r] == id) return r;
  }
  return -1;
}

int SharedTable::FindColumn(int32_t id) const {
  for (int c = 1; c < ColumnCount(); ++c) {
    if (column_ids_[c] == id) return c;
  }
  return -1;
}

bool SharedTable::CanEdit(int row) const {
  if (row < 0 || row >= RowCount()) return false;
  return row == 0 || instance_.SessionMode == ModeServer ||
         OwnerOf(row_ids_[row]) == instance_.OwnIndex;
}

void SharedTable::AppendColumn(int32_t id, const QString& header) {
  column_ids_.append(id);
  for (QStringList& row : cells_) row.append(QString());
  cells_[0].last() = header;
}

void SharedTable::AppendRow(int32_t id, const QString& name) {
  row_ids_.append(id);
  QStringList row(ColumnCount());
  row[0] = name;
  cells_.append(row);
}

void SharedTable::RemoveColumn(int column) {
  // Everything to the right moves one place left.
  column_ids_.removeAt(column);
  for (QStringList& row : cells_) row.removeAt(column);
}

void SharedTable::RemoveRow(int row) {
  row_ids_.removeAt(row);
  cells_.removeAt(row);
}

void SharedTable::ApplyColumn(int32_t id, const QString& header) {
  const int column = FindColumn(id);
  if (column < 0) {
    AppendColumn(id, header);
  } else {
    cells_[0][column] = header;
  }
}

void SharedTable::ApplyRow(int32_t id, const QString& name) {
  const int row = FindRow(id);
  if (row < 0) {
    AppendRow(id, name);
  } else {
    cells_[row][0] = name;
  }
}

void SharedTable::Clear() {
  const QString corner = cells_[0][0];
  row_ids_ = {0};
  column_ids_ = {0};
  cells_ = {QStringList{corner}};
}

// --- sending ---------------------------------------------------------------------------------

bool SharedTable::Live() const { return instance_.session_state().Chatting(); }

int32_t SharedTable::NewId(int32_t* counter) const {
  ++*counter;
  const int64_t id = int64_t{instance_.OwnIndex} * kIdBase + *counter;
  if (id > std::numeric_limits<int32_t>::max() || id < std::numeric_limits<int32_t>::min()) {
    throw OverflowError();
  }
  return static_cast<int32_t>(id);
}

Packet SharedTable::Make(int16_t code, int16_t kind) const {
  return Packet(code, kind, instance_.OwnIndex, 0);
}

void SharedTable::SendToServer(const Packet& p) {
  if (Live()) router_.SendPacket(RouteServer, p);
}

// --- the user's operations -------------------------------------------------------------------

SharedTable::ClickResult SharedTable::Click(int row, int column, Qt::MouseButton button,
                                            Qt::KeyboardModifiers mods) {
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) {
    return ClickResult::kNothing;
  }
  if (row == 0 && column == 0) {
    bool changed = false;
    if (button == Qt::RightButton) changed = AddColumn();
    if (button == Qt::LeftButton) changed = AddRow();
    return changed ? ClickResult::kChanged : ClickResult::kNothing;
  }
  if (button != Qt::LeftButton || !CanEdit(row)) return ClickResult::kNothing;
  mods &= Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
  if (!(mods & Qt::ControlModifier)) return ClickResult::kOpenEditor;
  bool changed = false;
  if (column == 0 && mods == Qt::ControlModifier) {
    changed = DeleteRow(row);
  } else if (row == 0) {
    changed = DeleteColumn(column);
  }
  return changed ? ClickResult::kChanged : ClickResult::kNothing;
}

bool SharedTable::AddColumn() {
  if (lock_ == TableLock::kBoth || lock_ == TableLock::kColumns) return false;
  return RunReported(instance_, kTagMouse, [&] {
    const int32_t id = NewId(&column_counter_);
    const QString header = QStringLiteral("列") + QString::number(ColumnCount());
    AppendColumn(id, header);
    emit tableChanged();
    SendToServer(Make(msg::kTableAdd, msg::kTableColumn).Add(id).Add(header));
  });
}

bool SharedTable::AddRow() {
  if (lock_ == TableLock::kBoth || lock_ == TableLock::kRows) return false;
  return RunReported(instance_, kTagMouse, [&] {
    const int32_t id = NewId(&row_counter_);
    const QString name = instance_.OwnHandle + QString::number(row_counter_);
    AppendRow(id, name);
    emit tableChanged();
    SendToServer(Make(msg::kTableAdd, msg::kTableRow).Add(id).Add(name));
  });
}

bool SharedTable::DeleteRow(int row) {
  // At least one data row always stays.
  if (row < 1 || row >= RowCount() || RowCount() <= 2 || !CanEdit(row)) return false;
  const int32_t id = row_ids_[row];
  RemoveRow(row);
  emit tableChanged();
  RunReported(instance_, kTagMouse,
              [&] { SendToServer(Make(msg::kTableDelete, msg::kTableRow).Add(id)); });
  return true;
}

bool SharedTable::DeleteColumn(int column) {
  if (column < 1 || column >= ColumnCount()) return false;
  const int32_t id = column_ids_[column];
  RemoveColumn(column);
  emit tableChanged();
  RunReported(instance_, kTagMouse,
              [&] { SendToServer(Make(msg::kTableDelete, msg::kTableColumn).Add(id)); });
  return true;
}

void SharedTable::CommitCell(int row, int column, const QString& text) {
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return;
  cells_[row][column] = text;
  emit tableChanged();
  RunReported(instance_, kTagCommit, [&] {
    SendToServer(Make(msg::kTableSetCell, 1).Add(row_ids_[row]).Add(column_ids_[column]).Add(text));
  });
}

bool SharedTable::Repair() {
  if (instance_.SessionMode == ModeServer) return false;
  Clear();
  emit tableChanged();
  RunReported(instance_, kTagRepair, [&] { SendToServer(Make(msg::kTableRequest, 1)); });
  return true;
}

// --- table-definition files ------------------------------------------------------------------

bool SharedTable::LoadDefinitionFile(const QString& path) {
  const std::optional<QStringList> headers = ReadTableDefinitionFile(path);
  if (!headers) {
    emit loadFailed();
    return false;
  }
  for (const QString& header : *headers) QueueLoadStep(header);
  return true;
}

void SharedTable::QueueLoadStep(const QString& header) {
  // Each column goes out first and shows here one pause later, the next one a pause after that.
  auto id = std::make_shared<int32_t>(0);
  loads_.Push(kLoadGroup, [this, id, header] {
    try {
      *id = NewId(&column_counter_);
      SendToServer(Make(msg::kTableAdd, msg::kTableColumn).Add(*id).Add(header));
    } catch (const ProtocolError&) {
      FailLoad();
      return false;
    }
    return true;
  });
  loads_.Push(kLoadGroup, [this, id, header] {
    ApplyColumn(*id, header);
    emit tableChanged();
    return true;
  });
}

void SharedTable::FailLoad() {
  loads_.Drop(kLoadGroup);
  emit loadFailed();
}

bool SharedTable::LoadPending() const { return !loads_.Idle(); }

// --- message handlers ------------------------------------------------------------------------

void SharedTable::OnClientPacket(const Packet& p) {
  RunReported(instance_, kTagClient, [&] {
    switch (p.MessageCode) {
      case msg::kTableCell: {
        const int32_t row_id = p.Int(1);
        const int32_t column_id = p.Int(2);
        const QString text = p.Text(3);
        const int row = row_id == 0 ? 0 : FindRow(row_id);
        const int column = column_id == 0 ? 0 : FindColumn(column_id);
        if (row < 0 || column < 0) return;
        cells_[row][column] = text;
        emit tableChanged();
        return;
      }
      case msg::kTableAdded: {
        if (p.SubCode != msg::kTableColumn && p.SubCode != msg::kTableRow) return;
        const int32_t id = p.Int(1);
        const QString text = p.Text(2);
        // ID 0 names the header row or the name column; it never creates anything.
        if (id == 0) return;
        if (p.SubCode == msg::kTableColumn) {
          ApplyColumn(id, text);
        } else {
          ApplyRow(id, text);
        }
        emit tableChanged();
        return;
      }
      case msg::kTableDeleted: {
        emit aboutToRemove();
        const int32_t id = p.Int(1);
        if (p.SubCode == msg::kTableColumn) {
          const int column = FindColumn(id);
          if (column < 0) return;
          RemoveColumn(column);
        } else if (p.SubCode == msg::kTableRow) {
          const int row = FindRow(id);
          if (row < 0) return;
          RemoveRow(row);
        } else {
          return;
        }
        emit tableChanged();
        return;
      }
      default:
        return;
    }
  });
}

void SharedTable::OnTableRequest(const Packet& p) {
  RunReported(instance_, kTagServer, [&] { QueueAnswer(p.SenderIndex); });
}

void SharedTable::QueueAnswer(int dest) {
  // A participant who asks again has emptied its table again: the rest of an earlier answer is
  // of no use, the whole table goes out anew.
  answers_.Drop(dest);
  // Which columns, rows and cells go out is fixed now; their texts are read when each packet
  // goes, so changes made meanwhile are not undone by an older text. Whatever was deleted
  // meanwhile is skipped.
  const QVector<int32_t> columns = column_ids_.mid(1);
  const QVector<int32_t> rows = row_ids_.mid(1);
  for (const int32_t id : columns) {
    answers_.Push(dest, [this, id]() -> std::optional<Packet> {
      const int column = FindColumn(id);
      if (column < 0) return std::nullopt;
      return Make(msg::kTableAdded, msg::kTableColumn).Add(id).Add(cells_[0][column]);
    });
  }
  for (const int32_t id : rows) {
    answers_.Push(dest, [this, id]() -> std::optional<Packet> {
      const int row = FindRow(id);
      if (row < 0) return std::nullopt;
      return Make(msg::kTableAdded, msg::kTableRow).Add(id).Add(cells_[row][0]);
    });
  }
  for (const int32_t row_id : rows) {
    for (const int32_t column_id : columns) {
      answers_.Push(dest, [this, row_id, column_id]() -> std::optional<Packet> {
        const int row = FindRow(row_id);
        const int column = FindColumn(column_id);
        if (row < 0 || column < 0) return std::nullopt;
        return Make(msg::kTableCell, 1).Add(row_id).Add(column_id).Add(cells_[row][column]);
      });
    }
  }
}

bool SharedTable::AnswerPending(int participant) const { return answers_.HasPending(participant); }

void SharedTable::SetPauseForTesting(int ms) {
  loads_.SetPause(ms);  // answers follow the asker's socket
}

}  // namespace quillora
