#include "table/TableWindow.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyleOptionHeader>
#include <QTableWidget>
#include <QVBoxLayout>
#include <functional>

#include "core/Instance.h"
#include "table/SharedTable.h"
#include "ui/Dialogs.h"
#include "ui/ToolMenus.h"

namespace quillora {

namespace {

constexpr int kNewColumnTwips = 700;
constexpr int kEditorMinTwips = 285;
const QString kFilter = QStringLiteral("テーブル定義ファイル(*.tb0) (*.tb0)");
const QString kCornerHint = QStringLiteral("左クリックで行を、右クリックで列を追加します");

// Header texts that are wider than their column are shown whole in a tool tip.
QTableWidgetItem* HeaderItem(const QString& text, Qt::Alignment alignment) {
  auto* item = new QTableWidgetItem(text);
  item->setTextAlignment(alignment);
  item->setToolTip(text);
  return item;
}

// Header sections take cell clicks; a press that moved is a drag of a column edge.
constexpr int kDragDistance = 4;

// The cell editor: Enter closes it, losing the focus to anything in the program commits it.
class CellEditor : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  std::function<void()> on_close;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      event->accept();  // swallowed, no beep and no default button
      if (on_close) on_close();
      return;
    }
    QLineEdit::keyPressEvent(event);
  }
  void focusOutEvent(QFocusEvent* event) override {
    QLineEdit::focusOutEvent(event);
    // Switching to another program or opening a menu leaves the edit open, as it was.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) {
      return;
    }
    if (on_close) on_close();
  }
};

}  // namespace

TableWindow::TableWindow(Instance& instance, SharedTable& table, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), instance_(instance), table_(table), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmTable"));
  setWindowTitle(QStringLiteral("テーブル機能"));

  fgdMain_ = new QTableWidget;
  fgdMain_->setObjectName(QStringLiteral("fgdMain"));
  // Row 0 and column 0 hold the column headers and the row names. They are shown by the view's
  // own headers, which stay in place while the cells scroll; the corner button is the corner
  // cell. The header row's edges can be dragged to widen a column on this screen only.
  fgdMain_->setRowHidden(0, true);
  fgdMain_->setColumnHidden(0, true);
  QHeaderView* columns = fgdMain_->horizontalHeader();
  columns->setSectionsClickable(false);
  columns->setSectionResizeMode(QHeaderView::Interactive);
  columns->setHighlightSections(false);
  QHeaderView* rows = fgdMain_->verticalHeader();
  rows->setSectionsClickable(false);
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  rows->setHighlightSections(false);
  fgdMain_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  fgdMain_->setSelectionMode(QAbstractItemView::SingleSelection);
  fgdMain_->setWordWrap(false);
  for (QWidget* w : {fgdMain_->viewport(), columns->viewport(), rows->viewport()}) {
    w->installEventFilter(this);
  }
  corner_ = fgdMain_->findChild<QAbstractButton*>();
  if (corner_) {
    corner_->setObjectName(QStringLiteral("fgdMainCorner"));
    corner_->setToolTip(kCornerHint);
    corner_->setStatusTip(kCornerHint);
    corner_->installEventFilter(this);
  }
  statusBar()->setObjectName(QStringLiteral("stbTable"));

  auto* editor = new CellEditor(fgdMain_);
  editor->setObjectName(QStringLiteral("txtInput"));
  editor->on_close = [this] {
    const bool had_focus = txtInput_->hasFocus();
    CloseEditor();
    if (had_focus) fgdMain_->setFocus();
  };
  editor->hide();
  txtInput_ = editor;
  connect(txtInput_, &QLineEdit::textChanged, this, &TableWindow::WidenEditor);
  connect(fgdMain_->horizontalScrollBar(), &QScrollBar::valueChanged, this,
          &TableWindow::PlaceEditor);
  connect(fgdMain_->verticalScrollBar(), &QScrollBar::valueChanged, this,
          &TableWindow::PlaceEditor);
  connect(columns, &QHeaderView::sectionResized, this, &TableWindow::PlaceEditor);
  // The header row stays as tall as a row when there are no columns to size it.
  columns->setMinimumHeight(rows->defaultSectionSize());

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(fgdMain_);
  setCentralWidget(central);

  BuildMenus();

  connect(&table_, &SharedTable::tableChanged, this, &TableWindow::Sync);
  connect(&table_, &SharedTable::aboutToRemove, this, &TableWindow::CloseEditor);
  connect(&table_, &SharedTable::loadFailed, this, &TableWindow::ShowLoadFailed);

  Sync();
  rows->setMinimumWidth(
      std::max(TwipsToPixels(1200), fontMetrics().horizontalAdvance(SharedTable::CornerText()) +
                                        fontMetrics().averageCharWidth() * 2));
  setMinimumSize(TwipsToPixels(3000), TwipsToPixels(1600));
  resize(480, 300);
}

void TableWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル"));
  file->setObjectName(QStringLiteral("mnuFile"));
  QAction* open = file->addAction(QStringLiteral("開く"), this, &TableWindow::OpenFromDialog);
  open->setObjectName(QStringLiteral("mnuFileSub_0"));

  AddSingleModeMenu(menuBar(), QStringLiteral("汎用モード"));

  QMenu* lock = menuBar()->addMenu(QStringLiteral("ロック"));
  lock->setObjectName(QStringLiteral("mnuLockTable"));
  auto* locks = new QActionGroup(this);
  const QString lock_names[] = {QStringLiteral("ロックしない"), QStringLiteral("両方向をロック"),
                                QStringLiteral("行方向をロック"), QStringLiteral("列方向をロック")};
  for (int n = 0; n < 4; ++n) {
    QAction* entry = lock->addAction(lock_names[n]);
    entry->setObjectName(QStringLiteral("mnuLockTableSub_%1").arg(n));
    entry->setCheckable(true);
    entry->setChecked(n == 0);
    locks->addAction(entry);
    connect(entry, &QAction::triggered, this,
            [this, n] { table_.SetLock(static_cast<TableLock>(n)); });
  }

  QMenu* options = menuBar()->addMenu(QStringLiteral("オプション"));
  options->setObjectName(QStringLiteral("mnuOpt"));
  topmost_ = AddTopmostAction(options, this, QStringLiteral("常に手前に表示"),
                              QStringLiteral("mnuOptSub_0"));
  QAction* repair =
      options->addAction(QStringLiteral("途中参加/修復"), this, &TableWindow::RepairFromMenu);
  repair->setObjectName(QStringLiteral("mnuOptSub_1"));
}

int TableWindow::TwipsToPixels(int twips) const { return (twips * logicalDpiX() + 720) / 1440; }

void TableWindow::Sync() {
  const int old_columns = fgdMain_->columnCount();
  const int rows = table_.RowCount();
  const int columns = table_.ColumnCount();
  fgdMain_->setRowCount(rows);
  fgdMain_->setColumnCount(columns);
  // Widths stay with the positions; columns new at the right get the standard width.
  for (int c = std::max(old_columns, 1); c < columns; ++c) {
    fgdMain_->setColumnWidth(c, TwipsToPixels(kNewColumnTwips));
  }
  const QBrush fixed = palette().button();
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      QTableWidgetItem* item = fgdMain_->item(r, c);
      if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (r == 0 || c == 0) item->setBackground(fixed);
        const bool centred = c > 0 || r == 0;
        item->setTextAlignment(centred ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter));
        fgdMain_->setItem(r, c, item);
      }
      const QString text = table_.Text(r, c);
      if (item->text() != text) item->setText(text);
    }
  }
  // The headers show row 0 and column 0.
  for (int c = 1; c < columns; ++c) {
    const QTableWidgetItem* header = fgdMain_->horizontalHeaderItem(c);
    if (!header || header->text() != table_.Text(0, c)) {
      fgdMain_->setHorizontalHeaderItem(c, HeaderItem(table_.Text(0, c), Qt::AlignCenter));
    }
  }
  for (int r = 1; r < rows; ++r) {
    const QTableWidgetItem* header = fgdMain_->verticalHeaderItem(r);
    if (!header || header->text() != table_.Text(r, 0)) {
      fgdMain_->setVerticalHeaderItem(
          r, HeaderItem(table_.Text(r, 0), Qt::AlignLeft | Qt::AlignVCenter));
    }
  }
  fgdMain_->setRowHidden(0, true);
  fgdMain_->setColumnHidden(0, true);
  if (corner_) corner_->update();
}

void TableWindow::PaintCorner() {
  QStyleOptionHeader option;
  option.initFrom(corner_);
  option.state |= QStyle::State_Enabled;
  option.rect = corner_->rect();
  option.position = QStyleOptionHeader::OnlyOneSection;
  option.text = table_.Text(0, 0);
  option.textAlignment = Qt::AlignCenter;
  QPainter painter(corner_);
  corner_->style()->drawControl(QStyle::CE_Header, &option, &painter, corner_);
}

QPoint TableWindow::CellAt(QObject* surface, const QPoint& position) const {
  if (surface == corner_) return {0, 0};
  if (surface == fgdMain_->horizontalHeader()->viewport()) {
    const int c = fgdMain_->horizontalHeader()->logicalIndexAt(position);
    return c > 0 ? QPoint(0, c) : QPoint(-1, -1);
  }
  if (surface == fgdMain_->verticalHeader()->viewport()) {
    const int r = fgdMain_->verticalHeader()->logicalIndexAt(position);
    return r > 0 ? QPoint(r, 0) : QPoint(-1, -1);
  }
  const QModelIndex index = fgdMain_->indexAt(position);
  return index.isValid() ? QPoint(index.row(), index.column()) : QPoint(-1, -1);
}

void TableWindow::ShowLoadFailed() {
  dialogs_.Message(this, QStringLiteral("ファイル読み込みエラー"),
                   QStringLiteral("テーブル定義ファイルを読み込めません"), Dialogs::Icon::Warning);
}

bool TableWindow::eventFilter(QObject* watched, QEvent* event) {
  const bool surface = watched == fgdMain_->viewport() || watched == corner_ ||
                       watched == fgdMain_->horizontalHeader()->viewport() ||
                       watched == fgdMain_->verticalHeader()->viewport();
  if (!surface) return QMainWindow::eventFilter(watched, event);
  if (watched == corner_) {
    switch (event->type()) {
      case QEvent::Paint:
        PaintCorner();
        return true;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        return true;  // the corner adds rows and columns; it never selects the whole grid
      case QEvent::MouseButtonRelease:
        OnMouseUp(watched, static_cast<QMouseEvent*>(event));
        return true;
      default:
        return false;
    }
  }
  if (event->type() == QEvent::MouseButtonPress) {
    press_position_ = static_cast<QMouseEvent*>(event)->position().toPoint();
  } else if (event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const bool dragged =
        watched != fgdMain_->viewport() && press_position_ &&
        (mouse->position().toPoint() - *press_position_).manhattanLength() > kDragDistance;
    press_position_.reset();
    if (!dragged) OnMouseUp(watched, mouse);
  }
  return QMainWindow::eventFilter(watched, event);
}

void TableWindow::OnMouseUp(QObject* surface, QMouseEvent* event) {
  CloseEditor();
  const QPoint cell = CellAt(surface, event->position().toPoint());
  if (cell.x() < 0) return;
  const int row = cell.x();
  const int column = cell.y();
  if (table_.Click(row, column, event->button(), event->modifiers()) ==
      SharedTable::ClickResult::kOpenEditor) {
    OpenEditor(row, column);
  }
}

void TableWindow::OpenEditor(int row, int column) {
  edit_row_ = row;
  edit_column_ = column;
  editing_ = true;
  txtInput_->setText(table_.Text(row, column));
  PlaceEditor();
  txtInput_->show();
  txtInput_->end(false);
  txtInput_->setFocus(Qt::MouseFocusReason);
}

QRect TableWindow::CellRect(int row, int column) const {
  // In the grid's own coordinates, where the editor lives.
  if (row == 0 && column == 0) return corner_ ? corner_->geometry() : QRect();
  if (row == 0) {
    const QHeaderView* header = fgdMain_->horizontalHeader();
    return QRect(header->x() + header->sectionViewportPosition(column), header->y(),
                 header->sectionSize(column), header->height());
  }
  if (column == 0) {
    const QHeaderView* header = fgdMain_->verticalHeader();
    return QRect(header->x(), header->y() + header->sectionViewportPosition(row), header->width(),
                 header->sectionSize(row));
  }
  return fgdMain_->visualRect(fgdMain_->model()->index(row, column))
      .translated(fgdMain_->viewport()->pos());
}

void TableWindow::PlaceEditor() {
  if (!editing_) return;
  const QRect cell = CellRect(edit_row_, edit_column_);
  QRect place(cell.left(), cell.top(), cell.width() - 1, cell.height() - 1);
  // A row lower than a text box keeps the box's height, reaching up over the row above.
  const int least = TwipsToPixels(kEditorMinTwips);
  if (cell.height() < least) {
    place.setTop(cell.bottom() - least + 1);
    place.setHeight(least - 1);
  }
  txtInput_->setGeometry(place);
  txtInput_->raise();
  WidenEditor();
}

void TableWindow::WidenEditor() {
  if (!editing_) return;
  const QFontMetrics metrics = txtInput_->fontMetrics();
  const QString text = txtInput_->text();
  if (metrics.horizontalAdvance(QStringLiteral("　") + text) <= txtInput_->width()) return;
  txtInput_->resize(metrics.horizontalAdvance(QStringLiteral("　 ") + text), txtInput_->height());
  // Home and back, so the whole text scrolls into view.
  const int caret = txtInput_->cursorPosition();
  txtInput_->setCursorPosition(0);
  txtInput_->setCursorPosition(caret);
}

void TableWindow::CloseEditor() {
  if (!editing_) return;
  editing_ = false;  // first: hiding the focused editor reports a focus loss
  const QString text = txtInput_->text();
  txtInput_->hide();
  txtInput_->clear();
  table_.CommitCell(edit_row_, edit_column_, text);
  edit_row_ = -1;
  edit_column_ = -1;
}

QPoint TableWindow::EditedCell() const {
  return editing_ ? QPoint(edit_row_, edit_column_) : QPoint(-1, -1);
}

void TableWindow::OpenFromDialog() {
  dialogs_.OpenFile(this, QStringLiteral("開く"), instance_.ProgramFolder(), kFilter,
                    [this](QString path) {
                      if (path.isEmpty()) return;
                      // A name typed without its extension means the table file.
                      if (!QFileInfo::exists(path) && QFileInfo::exists(path + ".tb0")) {
                        path += QStringLiteral(".tb0");
                      }
                      table_.LoadDefinitionFile(path);
                    });
}

void TableWindow::RepairFromMenu() {
  if (instance_.SessionMode == ModeServer) {
    dialogs_.Message(this, QStringLiteral("機能エラー"),
                     QStringLiteral("サーバーモードではこの機能は利用できません"),
                     Dialogs::Icon::Warning);
    return;
  }
  CloseEditor();
  table_.Repair();
}

}  // namespace quillora
