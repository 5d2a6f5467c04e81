#pragma once

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QScrollBar;
class QToolButton;

namespace quillora {

class Dialogs;
class HexMap;
class HexMapView;
class HexRenderer;
class HexSetupDialog;
class HexSprites;
class Instance;

// frmHex: the shared hex map. Tool buttons choose what a click on the map does (add, delete,
// move or turn a piece, colour cells), the palette the colour, the page controls which page
// is shown; the window turns mouse actions into calls on the hex map model and redraws what
// the model reports.
class HexWindow : public QMainWindow {
  Q_OBJECT

 public:
  enum ToolMode { kAdd = 1, kDelete = 2, kMove = 3, kColour = 4 };

  HexWindow(Instance& instance, HexMap& map, Dialogs& dialogs, QWidget* parent = nullptr);
  ~HexWindow() override;

  // The mode menu's "汎用モード": shows the map; on the server it asks for a new page and, once
  // the set-up is closed, opens the hex map of every client. Each choice does it again.
  void ChooseGeneralMode();
  bool GeneralMode() const;
  // The set-up dialog, shown modally without waiting; `closed` runs when it is hidden.
  void OpenSetup(std::function<void()> closed = {});
  // "途中参加/修復", "開く", "保存".
  void Repair();
  void OpenFile();
  void SaveFile();

  HexMapView* view() const { return view_; }
  HexSetupDialog* setup() const { return setup_; }
  int Mode() const { return mode_; }
  void SetMode(int mode);
  uint32_t ChosenColour() const { return chosen_; }
  void ChooseColour(int entry);
  void EditColour(int entry);
  bool StackTimerRunning() const { return stack_timer_.isActive(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildArea();
  QWidget* BuildPalette();
  void UpdateEnabled();
  void ShowModeHint();
  void ShowPalette();
  void OnPageChanged(int page);
  void SetUpScrollBars();
  void OnScrolled();
  void OnStacksChanged(int page);
  void OnStackOption(bool on);
  void CycleStacks();
  void GoToTypedPage();
  void OnPressed(QPoint cell, Qt::MouseButton button);
  void OnMoved(QPoint cell, Qt::MouseButtons buttons);
  void OnReleased(QPoint cell, Qt::MouseButton button);
  void SetHint(const QString& text);

  Instance& instance_;
  HexMap& map_;
  Dialogs& dialogs_;
  std::unique_ptr<HexSprites> sprites_;
  std::unique_ptr<HexRenderer> renderer_;

  HexMapView* view_ = nullptr;
  HexSetupDialog* setup_ = nullptr;
  QWidget* area_ = nullptr;
  QLabel* hint_ = nullptr;
  QScrollBar* hscroll_ = nullptr;
  QScrollBar* vscroll_ = nullptr;
  std::array<QToolButton*, 4> modes_{};
  std::array<QToolButton*, 2> options_{};
  std::array<QToolButton*, 3> page_buttons_{};
  QLineEdit* page_box_ = nullptr;
  std::array<QLabel*, 17> swatches_{};
  QLabel* chosen_label_ = nullptr;
  QLabel* xy_panel_ = nullptr;
  QLabel* sys_panel_ = nullptr;
  QAction* general_ = nullptr;
  QAction* repair_ = nullptr;
  QAction* open_ = nullptr;
  QAction* save_ = nullptr;
  QTimer stack_timer_;

  int mode_ = kColour;
  uint32_t chosen_ = 0;
  Qt::MouseButton stroke_button_ = Qt::NoButton;
  bool scrolling_ = false;  // scroll bars being set up, not moved by the user
};

}  // namespace quillora
