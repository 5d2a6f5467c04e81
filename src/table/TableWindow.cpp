#include "table/TableWindow.h"

#include <QActionGroup>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
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
const QString kFilter = QStringLiteral("テーブル定義ファイル(*.tb0)");

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
  // Row 0 and column 0 are ordinary cells drawn like headers; the view's own headers stay off.
  fgdMain_->horizontalHeader()->hide();
  fgdMain_->verticalHeader()->hide();
  fgdMain_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  fgdMain_->setSelectionMode(QAbstractItemView::SingleSelection);
  fgdMain_->setWordWrap(false);
  fgdMain_->viewport()->installEventFilter(this);

  auto* editor = new CellEditor(fgdMain_->viewport());
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
  fgdMain_->setColumnWidth(
      0, std::max(TwipsToPixels(1200), fontMetrics().horizontalAdvance(SharedTable::CornerText()) +
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
}

void TableWindow::ShowLoadFailed() {
  dialogs_.Message(this, QStringLiteral("ファイル読み込みエラー"),
                   QStringLiteral("テーブル定義ファイルを読み込めません"), Dialogs::Icon::Warning);
}

bool TableWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == fgdMain_->viewport() && event->type() == QEvent::MouseButtonRelease) {
    OnMouseUp(static_cast<QMouseEvent*>(event));
  }
  return QMainWindow::eventFilter(watched, event);
}

void TableWindow::OnMouseUp(QMouseEvent* event) {
  CloseEditor();
  const QModelIndex index = fgdMain_->indexAt(event->position().toPoint());
  if (!index.isValid()) return;
  const int row = index.row();
  const int column = index.column();
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

void TableWindow::PlaceEditor() {
  if (!editing_) return;
  const QRect cell = fgdMain_->visualRect(fgdMain_->model()->index(edit_row_, edit_column_));
  QRect place(cell.left(), cell.top(), cell.width() - 1, cell.height() - 1);
  // A row lower than a text box keeps the box's height, reaching up over the row above.
  const int least = TwipsToPixels(kEditorMinTwips);
  if (cell.height() < least) {
    place.setTop(cell.bottom() - least + 1);
    place.setHeight(least - 1);
  }
  txtInput_->setGeometry(place);
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
