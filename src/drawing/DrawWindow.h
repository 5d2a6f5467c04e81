#pragma once

#include <QMainWindow>
#include <QPointF>
#include <array>
#include <cstdint>

#include "drawing/DrawBoard.h"

class QAction;
class QLabel;
class QLineEdit;
class QToolButton;
class QPushButton;

namespace quillora {

class Dialogs;
class DrawView;
class Instance;

// frmDraw: the drawing board's window. Twelve tools, a palette of 32 swatches, page controls and
// the page view; every stroke goes to the board model, which draws it and sends it on.
class DrawWindow : public QMainWindow {
  Q_OBJECT

 public:
  enum Tool {
    kNoTool = 0,
    kPointer,
    kText,
    kFreehand,
    kLine,
    kPolyline,
    kBox,
    kFilledBox,
    kEllipse,
    kFilledEllipse,
    kEraser,
    kErasePage,
    kToolCount
  };
  static constexpr int kSwatches = 32;

  DrawWindow(Instance& instance, DrawBoard& board, Dialogs& dialogs, QWidget* parent = nullptr);

  void SelectTool(int tool);
  int CurrentTool() const { return tool_; }
  // A click on swatch `index`; `pick` is the double-click that opens the colour dialog.
  void ChooseSwatch(int index, bool pick);
  uint32_t CurrentColour() const { return colour_; }
  int EraserSize() const { return eraser_size_; }
  const DrawFont& PageFont() const { return font_; }
  DrawView* view() const { return view_; }

  // The file and option menus.
  void OpenImage();
  void Save();
  void SaveAs();
  void Repair();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenus();
  void BuildControls();
  QWidget* BuildTools();
  QWidget* BuildPalette();
  QWidget* BuildPageBar();

  void OnPressed(QPointF pos, Qt::MouseButton button);
  void OnMoved(QPointF pos, Qt::MouseButtons buttons);
  void OnReleased(QPointF pos, Qt::MouseButton button);
  void EndPolyline();
  void ShowPreview(QPointF to);

  void CommitText();
  void PlaceTextBox();
  void FitTextBox();
  void PickFont();

  void PageButton(int index);
  void PageBoxEntered(Qt::KeyboardModifiers modifiers);
  void ShowPageNumber();

  void OpenChosen(const QString& path);
  void SaveTo(const QString& path);
  void RefreshPalette();
  void ShowColour();

  Instance& instance_;
  DrawBoard& board_;
  Dialogs& dialogs_;

  DrawView* view_ = nullptr;
  QLineEdit* text_ = nullptr;  // txtInputChr
  QPointF text_pos_;           // its top-left in page units
  std::array<QToolButton*, kToolCount> tools_{};
  std::array<QLabel*, kSwatches> swatches_{};
  QLabel* selected_ = nullptr;
  std::array<QPushButton*, 3> page_buttons_{};
  QLineEdit* page_box_ = nullptr;
  QLabel* xy_ = nullptr;
  QAction* topmost_ = nullptr;

  int tool_ = kNoTool;
  uint32_t colour_ = 0;
  DrawFont font_;
  int eraser_size_ = 8;
  QPointF anchor_;
  bool dragging_ = false;
  bool polyline_ = false;
  bool moving_pointer_ = false;
  QPointF pointer_from_;  // where the pointer was placed by the click
  Qt::KeyboardModifiers click_modifiers_;
  QString image_folder_;
  QString image_name_;
};

}  // namespace quillora
