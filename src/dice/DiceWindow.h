#pragma once

#include <QMainWindow>
#include <QVector>
#include <functional>

#include "ui/WindowHooks.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QWidget;

namespace quillora {

class DiceBroadcast;
class DiceOptions;
class Dialogs;
class Instance;

// The dice window: type or pick an expression, choose a modifier and the lettered option sets,
// and roll publicly or secretly. Closing it only hides it.
class DiceWindow : public QMainWindow, public DiceWindowState {
  Q_OBJECT

 public:
  // Frames of the option panel, in order.
  enum Frame { kBase, kType, kReroll, kCondition, kTimes, kAdded, kResult, kFrameCount };

  DiceWindow(Instance& instance, DiceBroadcast& dice, DiceOptions& options, Dialogs& dialogs,
             MainChatHooks hooks, QWidget* parent = nullptr);

  // Fills the list, the letters, the option sets and the modifier range from the live
  // settings, and writes them back (before the settings file is saved).
  void LoadFromSettings();
  void StoreToSettings() const;

  // Brings the window forward with the caret at the end of the expression box.
  void FocusExpressionAtEnd();

  QString ExpressionText() const override;
  QString ModifierLabel() const override;
  bool IsSecret() const override;
  bool IsShown() const override { return isVisible(); }

  // The selected option button of a frame.
  int SelectedOption(Frame frame) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildMainPanel();
  QWidget* BuildOptionPanel();
  void BuildMenus();

  void Roll(bool with_chat);
  void Register();
  void DeleteSelected();
  void StepSelection(int delta);
  void ShowOptionPanel(bool show);

  void ShowSet(const QString& letter);
  void OptionClicked(Frame frame, int index);
  void ApplyRules(Frame frame, int index);
  void Select(Frame frame, int index);
  void StoreSet();

  int Twips(int twips) const;

  Instance& instance_;
  DiceBroadcast& dice_;
  DiceOptions& options_;
  Dialogs& dialogs_;
  MainChatHooks hooks_;

  QLineEdit* txtUnivDice_ = nullptr;
  QVector<QPushButton*> cmdUnivDice_;
  QListWidget* lstRegUnivDice_ = nullptr;
  QCheckBox* chkIsCloseDice_ = nullptr;
  QScrollBar* hscImiPlus_ = nullptr;
  QLabel* lblImiPlus_ = nullptr;
  QPushButton* chkDiceOpt_ = nullptr;
  QWidget* cntDiceOpt_ = nullptr;
  QComboBox* cmbVarName_ = nullptr;
  QLineEdit* txtComment_ = nullptr;
  QVector<QVector<QRadioButton*>> options_buttons_;  // [frame][index]
  QAction* topmost_ = nullptr;
  bool showing_set_ = false;  // filling the editor from a set: nothing is stored
};

}  // namespace quillora
