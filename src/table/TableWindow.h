#pragma once

#include <QMainWindow>
#include <optional>

class QAbstractButton;
class QAction;
class QLineEdit;
class QMouseEvent;
class QTableWidget;

namespace quillora {

class Dialogs;
class Instance;
class SharedTable;

// frmTable: shows the shared table in a grid and turns clicks into table operations. A click
// on a cell the user may change opens a one-line editor over it; the text goes out when the
// editor closes (Enter, or the focus moves elsewhere).
class TableWindow : public QMainWindow {
  Q_OBJECT

 public:
  TableWindow(Instance& instance, SharedTable& table, Dialogs& dialogs, QWidget* parent = nullptr);

  QTableWidget* grid() const { return fgdMain_; }
  QLineEdit* editor() const { return txtInput_; }
  bool Editing() const { return editing_; }
  // The cell the editor is open on (row, column), or (-1, -1).
  QPoint EditedCell() const;

  // Closes the editor and commits its text into the cell; nothing when it is not open.
  void CloseEditor();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void Sync();
  void OnMouseUp(QObject* surface, QMouseEvent* event);
  // The cell (row, column) under `position` of a surface: the cells, a header or the corner.
  QPoint CellAt(QObject* surface, const QPoint& position) const;
  QRect CellRect(int row, int column) const;
  void PaintCorner();
  void OpenEditor(int row, int column);
  void PlaceEditor();
  void WidenEditor();
  void OpenFromDialog();
  void RepairFromMenu();
  void ShowLoadFailed();
  int TwipsToPixels(int twips) const;

  Instance& instance_;
  SharedTable& table_;
  Dialogs& dialogs_;
  QTableWidget* fgdMain_ = nullptr;
  QLineEdit* txtInput_ = nullptr;
  QAbstractButton* corner_ = nullptr;  // the view's corner button: the corner cell
  std::optional<QPoint> press_position_;
  QAction* topmost_ = nullptr;
  bool editing_ = false;
  int edit_row_ = -1;
  int edit_column_ = -1;
};

}  // namespace quillora
