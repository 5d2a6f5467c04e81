#pragma once

#include <QMainWindow>
#include <QMap>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace quillora {

class Counters;
class Dialogs;
class Instance;

// frmCount: the counters of the session (left column) and of this screen only (right column).
// Each counter is a caption (click to rename), a value box and four step buttons; the window
// turns clicks into calls on the counters model and follows its changes.
class CounterWindow : public QMainWindow {
  Q_OBJECT

 public:
  CounterWindow(Instance& instance, Counters& counters, Dialogs& dialogs,
                QWidget* parent = nullptr);

  // The mode menu's "汎用カウンター": shows the counters and, on the server, opens the counter
  // window of every client. Does nothing once the mode is on.
  void ChooseGeneralMode();
  bool GeneralMode() const;
  // "途中参加・修復".
  void Repair();

  // Controls of the counter of `element` (nullptr when it has none).
  QLabel* CaptionLabel(int element) const;
  QLineEdit* ValueBox(int element) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Row {
    QLabel* caption = nullptr;
    QLineEdit* value = nullptr;
  };

  void BuildMenus();
  void BuildArea();
  void AddRow(int element);
  void ShowCounter(int element);
  void FollowTraffic();
  void AddClicked(int kind);
  void StepClicked(int button);
  void CaptionClicked(int element);
  // Takes what the user typed into a value box. False (and the box keeps the focus) when it
  // is not a number; `leaving` when the focus is on its way out of the box.
  bool CommitValue(int element, bool leaving);
  void Refuse(QLineEdit* box, bool later);
  void GrowToFit();
  int Twips(int twips) const;

  Instance& instance_;
  Counters& counters_;
  Dialogs& dialogs_;
  QMap<int, Row> rows_;
  QWidget* area_ = nullptr;
  QLabel* hint_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QVBoxLayout* shared_column_ = nullptr;
  QVBoxLayout* personal_column_ = nullptr;
  QAction* general_ = nullptr;
  QAction* topmost_ = nullptr;
  QAction* repair_ = nullptr;
  bool refusing_ = false;  // a "not a number" message is up
};

}  // namespace quillora
