#include "cards/CardWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "cards/CardTableView.h"
#include "cards/Cards.h"
#include "core/Instance.h"
#include "ui/Dialogs.h"
#include "ui/ToolMenus.h"

namespace quillora {

namespace {

const char* const kModeCaptions[4] = {"Nova", "Nova Revolution", "Nova(グラフィックモード)",
                                      "CLAMP学園TRPG"};
const char* const kNovaCaptions[9] = {"手から出す", "引いて出す", "裏で出す", "表にする",
                                      "Get",        "裏に",       "戻す",     "ちょっと待ったぁ",
                                      "＋１"};
const char* const kRevCaptions[11] = {"手から出す", "引いて出す", "裏で出す", "表にする",
                                      "Ｐから出す", "プロット",   "縦横変化", "確定/補充",
                                      "区切る",     "手札補充",   "捨てる"};
const char* const kGmCaptions[9] = {
    "ジョーカーなし",           "ジョーカー１枚",           "ジョーカー２枚",
    "トランプをシャッフルする", "タロットをシャッフルする", "トランプ１セット",
    "トランプ２セット",         "トランプ３セット",         "マイナスカードの使用"};
const char* const kMinusCaptions[4] = {"－０１ ヒルコ(Sugam Eht)", "－０７ アラシ(Toirahc Eht)",
                                       "－０９ カゲムシャ(Timreh Eht)",
                                       "－１８ アヤカシ(Noom Eht)"};

// Refills a list, keeping the selected rows that still exist.
void FillList(QListWidget* list, const QStringList& lines, const QVector<int>& data = {}) {
  QVector<int> selected;
  for (const QListWidgetItem* item : list->selectedItems()) selected << list->row(item);
  const int current = list->currentRow();
  list->clear();
  for (int i = 0; i < lines.size(); ++i) {
    auto* item = new QListWidgetItem(lines[i], list);
    if (i < data.size()) item->setData(Qt::UserRole, data[i]);
  }
  if (current >= 0 && current < list->count()) {
    list->setCurrentRow(current, QItemSelectionModel::NoUpdate);
  }
  for (int row : selected) {
    if (row < list->count()) list->item(row)->setSelected(true);
  }
}

QPushButton* Button(const char* caption, const QString& name) {
  auto* b = new QPushButton(QString::fromUtf8(caption));
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QLabel* BoxLabel(const QString& name) {
  auto* l = new QLabel;
  l->setObjectName(name);
  l->setFrameShape(QFrame::StyledPanel);
  l->setFrameShadow(QFrame::Sunken);
  l->setMinimumHeight(l->fontMetrics().height() + 8);
  l->setTextInteractionFlags(Qt::NoTextInteraction);
  return l;
}

}  // namespace

CardWindow::CardWindow(Instance& instance, Cards& cards, Dialogs& dialogs,
                       std::function<int()> plus_one_target, QWidget* parent)
    : QMainWindow(parent),
      instance_(instance),
      cards_(cards),
      dialogs_(dialogs),
      plus_one_target_(std::move(plus_one_target)) {
  setObjectName(QStringLiteral("frmCard"));
  setWindowTitle(QStringLiteral("カード機能"));
  BuildMenus();

  auto* central = new QWidget;
  auto* stack = new QVBoxLayout(central);
  stack->setContentsMargins(6, 6, 6, 6);
  containers_[Cards::kNova] = BuildNova();
  containers_[Cards::kNovaRev] = BuildRev();
  containers_[Cards::kGraphic] = BuildGraphic();
  containers_[Cards::kClamp] = BuildClamp();
  for (QWidget* c : containers_) stack->addWidget(c, 1);
  setCentralWidget(central);

  connect(&cards_, &Cards::modeChanged, this, &CardWindow::ShowMode);
  connect(&cards_, &Cards::novaChanged, this, &CardWindow::ShowNova);
  connect(&cards_, &Cards::revChanged, this, &CardWindow::ShowRev);
  connect(&cards_, &Cards::cardFileProblem, this, [this](const QString& text) {
    dialogs_.Message(this, QStringLiteral("カード読み込みエラー"), text, Dialogs::Icon::Warning);
  });
  ShowNova();
  ShowRev();
  ShowMode(cards_.mode());
}

// --- menus ------------------------------------------------------------------------------------

void CardWindow::BuildMenus() {
  QMenu* mode = menuBar()->addMenu(QStringLiteral("モード"));
  mode->setObjectName(QStringLiteral("mnuCardMode"));
  for (int m = 0; m < 4; ++m) {
    mode_items_[m] = mode->addAction(QString::fromUtf8(kModeCaptions[m]));
    mode_items_[m]->setObjectName(QStringLiteral("mnuCardModeSub_%1").arg(m));
    mode_items_[m]->setCheckable(true);
    connect(mode_items_[m], &QAction::triggered, this, [this, m] { cards_.ChooseMode(m); });
  }

  gm_menu_ = menuBar()->addMenu(QStringLiteral("ＧＭコマンド"));
  gm_menu_->setObjectName(QStringLiteral("mnuGM"));
  for (int i = 0; i <= 20; ++i) {
    if (i == 10) {
      gm_items_[i] = gm_menu_->addSeparator();
    } else if (i == 20) {
      minus_menu_ = gm_menu_->addMenu(QString::fromUtf8(kGmCaptions[8]));
      minus_menu_->setObjectName(QStringLiteral("mnuGMSub_20_menu"));
      gm_items_[i] = minus_menu_->menuAction();
      for (int k = 0; k < 4; ++k) {
        minus_items_[k] = minus_menu_->addAction(QString::fromUtf8(kMinusCaptions[k]));
        minus_items_[k]->setObjectName(QStringLiteral("mnuGMSubSub_%1").arg(k));
        minus_items_[k]->setCheckable(true);
        connect(minus_items_[k], &QAction::triggered, this, [this, k] {
          cards_.options().minus[k] = !cards_.options().minus[k];
          ShowOptions();
        });
      }
    } else {
      gm_items_[i] = gm_menu_->addAction(QString());
      connect(gm_items_[i], &QAction::triggered, this, [this, i] { GmClicked(i); });
    }
    gm_items_[i]->setObjectName(QStringLiteral("mnuGMSub_%1").arg(i));
  }

  QMenu* options = menuBar()->addMenu(QStringLiteral("オプション"));
  options->setObjectName(QStringLiteral("mnuCardOpt"));
  topmost_ = AddTopmostAction(options, this, QStringLiteral("常に手前に表示"),
                              QStringLiteral("mnuCardOptSub_0"));
  repair_ = options->addAction(QStringLiteral("カード修復/途中参加"), this, &CardWindow::Repair);
  repair_->setObjectName(QStringLiteral("mnuCardOptSub_1"));
}

void CardWindow::SetUpGmMenu() {
  for (int i = 0; i <= 20; ++i) {
    QAction* item = gm_items_[i];
    if (i != 10 && i != 20) {
      item->setText(QString());
      item->setCheckable(i >= 11 && i <= 18);
      item->setChecked(false);
    }
    item->setEnabled(true);
    item->setVisible(false);
  }
  for (QAction* minus : minus_items_) minus->setChecked(false);

  const bool server = cards_.IsServer();
  gm_menu_->menuAction()->setVisible(server);
  gm_menu_->setEnabled(server);
  if (!server || cards_.mode() == Cards::kClamp) return;
  gm_items_[0]->setText(QStringLiteral("すべて初期化"));
  gm_items_[0]->setVisible(true);
  if (cards_.mode() != Cards::kGraphic) {
    gm_items_[1]->setText(QStringLiteral("全員修復"));
    gm_items_[1]->setVisible(true);
    gm_items_[1]->setEnabled(false);
  }
  gm_items_[10]->setVisible(true);
  for (int i = 11; i <= 18; ++i) {
    gm_items_[i]->setText(QString::fromUtf8(kGmCaptions[i - 11]));
    gm_items_[i]->setVisible(true);
  }
  gm_items_[20]->setVisible(true);
  ShowOptions();
}

void CardWindow::GmClicked(int item) {
  DeckOptions& o = cards_.options();
  if (item == 0) {
    cards_.StartDecks();
  } else if (item >= 11 && item <= 13) {
    o.jokers = item - 11;
  } else if (item == 14) {
    o.shuffle_trump = !o.shuffle_trump;
  } else if (item == 15) {
    o.shuffle_tarot = !o.shuffle_tarot;
  } else if (item >= 16 && item <= 18) {
    o.sets = item - 15;
  }
  ShowOptions();
}

void CardWindow::ShowOptions() {
  const DeckOptions& o = cards_.options();
  for (int i = 11; i <= 13; ++i) gm_items_[i]->setChecked(o.jokers == i - 11);
  gm_items_[14]->setChecked(o.shuffle_trump);
  gm_items_[15]->setChecked(o.shuffle_tarot);
  for (int i = 16; i <= 18; ++i) gm_items_[i]->setChecked(o.sets == i - 15);
  for (int k = 0; k < 4; ++k) minus_items_[k]->setChecked(o.minus[k]);
}

void CardWindow::Repair() {
  if (instance_.SessionMode == ModeServer) {
    dialogs_.Message(this, QStringLiteral("機能エラー"),
                     QStringLiteral("サーバーモードではこの機能は利用できません"),
                     Dialogs::Icon::Warning);
    return;
  }
  cards_.Repair();
}

void CardWindow::ShowMode(int mode) {
  for (int m = 0; m < 4; ++m) {
    mode_items_[m]->setChecked(m == mode);
    containers_[m]->setVisible(m == mode);
  }
  SetUpGmMenu();
  ShowNova();
  // The window takes the size of the mode's container.
  QSize size = containers_[mode]->sizeHint() + QSize(12, 12);
  size.setHeight(size.height() + menuBar()->sizeHint().height());
  if (const QScreen* s = screen()) {
    const QSize room = s->availableGeometry().size() * 9 / 10;
    size = size.boundedTo(room);
  }
  resize(size);
}

void CardWindow::showEvent(QShowEvent* event) {
  // The session mode may have changed since the menu was last set up: the server's user gets
  // the game-master menu of the mode shown.
  if (cards_.IsServer() && !gm_menu_->isEnabled()) SetUpGmMenu();
  gm_menu_->menuAction()->setVisible(cards_.IsServer());
  nova_buttons_[8]->setVisible(cards_.IsServer() && cards_.nova().dealt);
  QMainWindow::showEvent(event);
}

// --- Nova -------------------------------------------------------------------------------------

QWidget* CardWindow::BuildNova() {
  auto* box = new QWidget;
  box->setObjectName(QStringLiteral("cntNova2nd"));
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  nova_tarot_ = BoxLabel(QStringLiteral("lblTrotCard"));
  nova_tarot_->setToolTip(QStringLiteral("ＧＭはダブルクリックで次のタロットカードへ"));
  nova_tarot_->installEventFilter(this);
  grid->addWidget(nova_tarot_, 0, 0, 1, 2);

  auto* hand_box = new QGroupBox(QStringLiteral("手札"));
  auto* hand_layout = new QVBoxLayout(hand_box);
  nova_hand_ = new QListWidget;
  nova_hand_->setObjectName(QStringLiteral("lstTrump"));
  hand_layout->addWidget(nova_hand_);
  auto* hand_buttons = new QGridLayout;
  for (int i = 0; i < 9; ++i) {
    nova_buttons_[i] = Button(kNovaCaptions[i], QStringLiteral("cmdNova2nd_%1").arg(i));
    connect(nova_buttons_[i], &QPushButton::clicked, this, [this, i] { NovaClicked(i); });
  }
  for (int i = 0; i < 4; ++i) hand_buttons->addWidget(nova_buttons_[i], i / 2, i % 2);
  hand_buttons->addWidget(nova_buttons_[7], 2, 0);
  hand_buttons->addWidget(nova_buttons_[8], 2, 1);
  hand_layout->addLayout(hand_buttons);
  grid->addWidget(hand_box, 1, 0);

  auto* access_box = new QGroupBox(QStringLiteral("アクセスカード"));
  auto* access_layout = new QVBoxLayout(access_box);
  nova_access_ = BoxLabel(QStringLiteral("lblAccessCard"));
  access_layout->addWidget(nova_access_);
  auto* access_buttons = new QHBoxLayout;
  for (int i = 4; i <= 6; ++i) access_buttons->addWidget(nova_buttons_[i]);
  access_layout->addLayout(access_buttons);
  nova_access_list_ = new QListWidget;
  nova_access_list_->setObjectName(QStringLiteral("lstAccessCard"));
  nova_access_list_->viewport()->installEventFilter(this);
  access_layout->addWidget(nova_access_list_);
  grid->addWidget(access_box, 1, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  box->setMinimumWidth(nova_tarot_->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 40);
  return box;
}

void CardWindow::ShowNova() {
  const Cards::NovaState& n = cards_.nova();
  nova_tarot_->setText(n.tarot);
  FillList(nova_hand_, n.hand);
  nova_access_->setText(n.access_label);
  QStringList lines;
  QVector<int> players;
  for (const PlayerLine& line : n.access_list) {
    lines << line.text;
    players << line.player;
  }
  FillList(nova_access_list_, lines, players);
  for (int i = 0; i < 8; ++i) nova_buttons_[i]->setEnabled(n.dealt);
  nova_buttons_[3]->setToolTip(n.face_down.isEmpty() ? QString()
                                                     : QStringLiteral("裏：") + n.face_down);
  // The game master's "＋１" comes with the first hand.
  nova_buttons_[8]->setVisible(cards_.IsServer() && n.dealt);
}

void CardWindow::NovaClicked(int i) {
  const int row = nova_hand_->selectedItems().isEmpty() ? -1 : nova_hand_->currentRow();
  switch (i) {
    case 0:
      cards_.NovaPlayFromHand(row);
      break;
    case 1:
      cards_.NovaDrawAndPlay();
      break;
    case 2:
      cards_.NovaPlayFaceDown(row);
      break;
    case 3:
      cards_.NovaReveal();
      break;
    case 4:
      cards_.AccessGet();
      break;
    case 5:
      cards_.AccessTurn();
      break;
    case 6:
      cards_.AccessReturn();
      break;
    case 7:
      cards_.NovaWait();
      break;
    case 8:
      cards_.NovaPlusOne(plus_one_target_ ? plus_one_target_() : 1);
      break;
    default:
      break;
  }
  nova_hand_->clearSelection();
}

// --- Nova Revolution --------------------------------------------------------------------------

QWidget* CardWindow::BuildRev() {
  auto* box = new QWidget;
  box->setObjectName(QStringLiteral("cntNovaRev"));
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  rev_tarot_ = BoxLabel(QStringLiteral("lblTrotCardNovaRev"));
  rev_tarot_->setToolTip(QStringLiteral("ＧＭはダブルクリックで次のタロットカードへ"));
  rev_tarot_->installEventFilter(this);
  grid->addWidget(rev_tarot_, 0, 0, 1, 2);

  rev_lines_ = new QListWidget;
  rev_lines_->setObjectName(QStringLiteral("lstTrumpNovaRev"));
  rev_lines_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  grid->addWidget(rev_lines_, 1, 0);
  rev_plots_ = new QListWidget;
  rev_plots_->setObjectName(QStringLiteral("lstProt"));
  rev_plots_->viewport()->installEventFilter(this);
  grid->addWidget(rev_plots_, 1, 1);

  auto* buttons = new QGridLayout;
  for (int i = 0; i < 11; ++i) {
    rev_buttons_[i] = Button(kRevCaptions[i], QStringLiteral("cmdNovaRev_%1").arg(i));
    connect(rev_buttons_[i], &QPushButton::clicked, this, [this, i] { RevClicked(i); });
    buttons->addWidget(rev_buttons_[i], i / 4, i % 4);
  }
  grid->addLayout(buttons, 2, 0, 1, 2);
  grid->setColumnStretch(0, 3);
  grid->setColumnStretch(1, 2);
  return box;
}

void CardWindow::ShowRev() {
  const Cards::RevState& r = cards_.rev();
  rev_tarot_->setText(r.tarot);
  FillList(rev_lines_, r.lines);
  QStringList lines;
  QVector<int> players;
  for (const PlayerLine& line : r.plots) {
    lines << line.text;
    players << line.player;
  }
  FillList(rev_plots_, lines, players);
  for (QPushButton* b : rev_buttons_) b->setEnabled(r.dealt);
  rev_buttons_[8]->setText(cards_.DivideCaption());
  rev_buttons_[3]->setToolTip(r.face_down.isEmpty() ? QString()
                                                    : QStringLiteral("裏：") + r.face_down);
}

QVector<int> CardWindow::SelectedRevRows() const {
  QVector<int> rows;
  for (const QListWidgetItem* item : rev_lines_->selectedItems()) rows << rev_lines_->row(item);
  std::sort(rows.begin(), rows.end());
  return rows;
}

void CardWindow::RevClicked(int i) {
  const QVector<int> rows = SelectedRevRows();
  int row = rows.isEmpty() ? -1 : rows.front();
  if (rows.contains(rev_lines_->currentRow())) row = rev_lines_->currentRow();
  switch (i) {
    case 0:
      cards_.RevPlayFromHand(row);
      break;
    case 1:
      cards_.RevDrawAndPlay();
      break;
    case 2:
      cards_.RevPlayFaceDown(row);
      break;
    case 3:
      cards_.RevReveal();
      break;
    case 4:
      cards_.RevPlayFromPlot(row);
      break;
    case 5:
      cards_.RevPlot(rows);
      break;
    case 6:
      cards_.RevTurn(row);
      break;
    case 7:
      cards_.RevConfirm();
      break;
    case 8:
      cards_.RevDivide();
      break;
    case 9:
      cards_.RevRefill();
      break;
    case 10:
      cards_.RevDiscard();
      break;
    default:
      break;
  }
  rev_lines_->clearSelection();
}

// --- graphic table and CLAMP ------------------------------------------------------------------

QWidget* CardWindow::BuildGraphic() {
  auto* box = new QWidget;
  box->setObjectName(QStringLiteral("cntNovaRevGrp"));
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  table_ = new CardTableView(instance_, cards_);
  layout->addWidget(table_, 1);
  return box;
}

QWidget* CardWindow::BuildClamp() {
  auto* box = new QWidget;
  box->setObjectName(QStringLiteral("cntClampTRPG"));
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  secret_ = new QCheckBox(QStringLiteral("結果の非公開"));
  secret_->setObjectName(QStringLiteral("chkSecret"));
  layout->addWidget(secret_);
  for (int i = 0; i < 2; ++i) {
    QPushButton* b =
        Button(i == 0 ? "１枚引く" : "３枚引く", QStringLiteral("cmdDrawCard_%1").arg(i));
    connect(b, &QPushButton::clicked, this,
            [this, i] { cards_.ClampDraw(i == 1, secret_->isChecked()); });
    layout->addWidget(b);
  }
  return box;
}

bool CardWindow::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  if (type == QEvent::MouseButtonDblClick) {
    if (watched == nova_tarot_) cards_.AdvanceNovaTarot();
    if (watched == rev_tarot_) cards_.AdvanceRevTarot();
  }
  if (type == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const bool shift_ctrl = (mouse->modifiers() & Qt::ShiftModifier) &&
                            (mouse->modifiers() & Qt::ControlModifier) &&
                            mouse->button() == Qt::LeftButton;
    if (shift_ctrl && watched == nova_access_list_->viewport()) {
      cards_.ResetAccessCards();
      return true;
    }
    if (shift_ctrl && watched == rev_plots_->viewport()) {
      if (QListWidgetItem* item = rev_plots_->itemAt(mouse->position().toPoint())) {
        cards_.ForgetPlot(item->data(Qt::UserRole).toInt());
      }
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace quillora
