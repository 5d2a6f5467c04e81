#pragma once

#include <QMainWindow>
#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

namespace quillora {

class CardTableView;
class Cards;
class Dialogs;
class Instance;

// frmCard: the card window with its four modes (Nova, Nova Revolution, the graphic table and
// CLAMP), the server's game-master menu and the option menu. Buttons call the card model;
// the window shows the model's state.
class CardWindow : public QMainWindow {
  Q_OBJECT

 public:
  // `plus_one_target`: the client socket the game master's "＋１" goes to.
  CardWindow(Instance& instance, Cards& cards, Dialogs& dialogs,
             std::function<int()> plus_one_target = {}, QWidget* parent = nullptr);

  // The buttons of each mode by index, as the window's users click them.
  QPushButton* NovaButton(int i) const { return nova_buttons_[i]; }
  QPushButton* RevButton(int i) const { return rev_buttons_[i]; }
  CardTableView* table() const { return table_; }
  QAction* GmItem(int i) const { return gm_items_[i]; }
  QAction* MinusItem(int i) const { return minus_items_[i]; }
  // "カード修復/途中参加".
  void Repair();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenus();
  QWidget* BuildNova();
  QWidget* BuildRev();
  QWidget* BuildGraphic();
  QWidget* BuildClamp();
  void ShowMode(int mode);
  void SetUpGmMenu();
  void GmClicked(int item);
  void ShowOptions();
  void ShowNova();
  void ShowRev();
  void NovaClicked(int i);
  void RevClicked(int i);
  QVector<int> SelectedRevRows() const;

  Instance& instance_;
  Cards& cards_;
  Dialogs& dialogs_;
  std::function<int()> plus_one_target_;

  QWidget* containers_[4] = {};
  QAction* mode_items_[4] = {};
  QMenu* gm_menu_ = nullptr;
  QMenu* minus_menu_ = nullptr;
  QAction* gm_items_[21] = {};
  QAction* minus_items_[4] = {};
  QAction* topmost_ = nullptr;
  QAction* repair_ = nullptr;

  QLabel* nova_tarot_ = nullptr;
  QListWidget* nova_hand_ = nullptr;
  QLabel* nova_access_ = nullptr;
  QListWidget* nova_access_list_ = nullptr;
  QPushButton* nova_buttons_[9] = {};

  QLabel* rev_tarot_ = nullptr;
  QListWidget* rev_lines_ = nullptr;
  QListWidget* rev_plots_ = nullptr;
  QPushButton* rev_buttons_[11] = {};

  CardTableView* table_ = nullptr;
  QCheckBox* secret_ = nullptr;
};

}  // namespace quillora
