#pragma once

#include <QMainWindow>
#include <QVector>

#include "ui/WindowHooks.h"

class QAction;
class QCheckBox;
class QGridLayout;
class QLineEdit;
class QPushButton;

namespace quillora {

class Instance;
class InstantMessages;

// The instant-message window: rows of speaker name and message, each sent under its own name,
// alone or with a roll of the dice window's expression. Closing it only hides it.
class InstMesWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Pixels between two rows.
  static constexpr int kRowPitch = 26;

  // `dice` is read when a row rolls (nullptr: the dice buttons do nothing).
  InstMesWindow(Instance& instance, InstantMessages& messages, const DiceWindowState* dice,
                MainChatHooks hooks, QWidget* parent = nullptr);

  int RowCount() const { return rows_.size(); }
  void AddRow();
  void RemoveLastRow();
  // Copies the preset user names into the name boxes.
  void SyncNames();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Row {
    QCheckBox* prefix = nullptr;   // chkPreName: speak as "OwnHandle/name"
    QLineEdit* handle = nullptr;   // txtHandle
    QLineEdit* message = nullptr;  // txtMes
    QPushButton* send = nullptr;   // cmdSendMes
    QPushButton* dice = nullptr;   // cmdSendMesWithDice
  };

  void BuildMenus();
  QString DisplayName(int row) const;
  int RowOf(QObject* message_box) const;
  void Send(int row);
  void SendWithDice(int row);

  Instance& instance_;
  InstantMessages& messages_;
  const DiceWindowState* dice_;
  MainChatHooks hooks_;
  QGridLayout* grid_ = nullptr;
  QVector<Row> rows_;
  QAction* topmost_ = nullptr;
};

}  // namespace quillora
