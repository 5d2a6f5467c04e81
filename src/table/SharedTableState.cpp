#include "table/SharedTableState.h"

#include <QMap>

#include "net/MessageCodes.h"
#include "table/SharedTable.h"

namespace quillora {

namespace {
const QString kCells = QStringLiteral("table_cells");
const QString kInfo = QStringLiteral("table_info");
}  // namespace

SharedTableState::SharedTableState(SharedTable& table) : table_(table) {
  QObject::connect(&table_, &SharedTable::tableChanged, &table_, [this] { MarkChanged(); });
}

QVector<StateTable> SharedTableState::Tables() const {
  return {{kCells, {"row", "col", "row_id", "col_id", "text"}, 2}, {kInfo, {"name", "value"}, 1}};
}

void SharedTableState::DescribeAll(StateWriter& out) const {
  out.Clear(kCells);
  for (int r = 0; r < table_.RowCount(); ++r) {
    for (int c = 0; c < table_.ColumnCount(); ++c) {
      out.Put(kCells, {r, c, table_.RowId(r), table_.ColumnId(c), table_.Text(r, c)});
    }
  }
  out.Put(kInfo, {QStringLiteral("row_counter"), table_.row_counter_});
  out.Put(kInfo, {QStringLiteral("column_counter"), table_.column_counter_});
}

void SharedTableState::Restore(const StateReader& in) {
  // Rows and columns come back in their order; a gap in the numbers is closed up.
  QMap<int, int32_t> row_ids;
  QMap<int, int32_t> column_ids;
  QMap<QPair<int, int>, QString> texts;
  for (const QVariantList& row : in.Rows(kCells)) {
    if (row.size() < 5) continue;
    const int r = row[0].toInt();
    const int c = row[1].toInt();
    if (r < 0 || c < 0) continue;
    row_ids[r] = row[2].toInt();
    column_ids[c] = row[3].toInt();
    texts[{r, c}] = row[4].toString();
  }
  if (row_ids.isEmpty() || !row_ids.contains(0) || !column_ids.contains(0)) return;
  gone_rows_.clear();
  gone_columns_.clear();
  for (int32_t id : table_.row_ids_.mid(1)) {
    if (!row_ids.values().contains(id)) gone_rows_ << id;
  }
  for (int32_t id : table_.column_ids_.mid(1)) {
    if (!column_ids.values().contains(id)) gone_columns_ << id;
  }
  table_.row_ids_ = QVector<int32_t>(row_ids.begin(), row_ids.end());
  table_.column_ids_ = QVector<int32_t>(column_ids.begin(), column_ids.end());
  table_.row_ids_[0] = 0;
  table_.column_ids_[0] = 0;
  table_.cells_.clear();
  for (int r : row_ids.keys()) {
    QStringList line;
    for (int c : column_ids.keys()) line.append(texts.value({r, c}));
    table_.cells_.append(line);
  }
  for (const QVariantList& row : in.Rows(kInfo)) {
    if (row.size() < 2) continue;
    if (row[0].toString() == QLatin1String("row_counter")) table_.row_counter_ = row[1].toInt();
    if (row[0].toString() == QLatin1String("column_counter")) {
      table_.column_counter_ = row[1].toInt();
    }
  }
  emit table_.tableChanged();
  MarkDescribed();
}

void SharedTableState::HandOut(const QVector<int>& participants) {
  // Deletions go out through the server like the user's own; then each gets the whole table.
  for (int32_t id : std::as_const(gone_rows_)) {
    table_.SendToServer(table_.Make(msg::kTableDelete, msg::kTableRow).Add(id));
  }
  for (int32_t id : std::as_const(gone_columns_)) {
    table_.SendToServer(table_.Make(msg::kTableDelete, msg::kTableColumn).Add(id));
  }
  gone_rows_.clear();
  gone_columns_.clear();
  for (int p : participants) table_.QueueAnswer(p);
}

}  // namespace quillora
