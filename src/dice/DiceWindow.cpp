#include "dice/DiceWindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "core/ChatSink.h"
#include "core/Instance.h"
#include "dice/DiceBroadcast.h"
#include "dice/DiceOptions.h"
#include "dice/DiceRoll.h"
#include "ui/Dialogs.h"
#include "ui/ToolMenus.h"

namespace quillora {

namespace {

struct OptionDef {
  const char* caption;
  int32_t value;
  const char* tooltip;
};

struct FrameDef {
  const char* control;
  const char* caption;
  QVector<OptionDef> options;
};

// The option frames; each button's value is its share of the set's flags word.
const QVector<FrameDef>& Frames() {
  static const QVector<FrameDef> frames = {
      {"optDiceBase",
       "最小値",
       {{"最小値１", 0, "ダイスの最小値を１にする"}, {"最小値０", 1, "ダイスの最小値を０にする"}}},
      {"optDiceType",
       "ダイスの種類",
       {{"ノーマル", 0, "普通のダイス"},
        {"個数(以上)", 4, "６面体を振り、指定した数以上のダイスの個数を数える"},
        {"個数(以下)", 8, "６面体を振り、指定した数以下のダイスの個数を数える"}}},
      {"optIsReDice",
       "振り足し/引き",
       {{"なし", 0, "振り足し/引きをしない"}, {"あり", 2, "振り足し/引きをする"}}},
      {"optReDiceCond",
       "振り足し/引き条件",
       {{"単体最大", 0, "一つのダイスで最大値が出たときに振り足し/引きする"},
        {"単体最小", 16, "一つのダイスで最小値が出たときに振り足し/引きする"},
        {"単体両方", 32, "一つのダイスで最大値か最小値が出たときに振り足し/引きする"},
        {"全体最大", 2048, "全てのダイスが最大値のとき(ゾロ目)に振り足し/引きする"},
        {"全体最小", 2064, "全てのダイスが最小値のとき(ゾロ目)に振り足し/引きする"},
        {"全体両方", 2080, "全てのダイスが最大値または最小値のとき(ゾロ目)に振り足し/引きする"}}},
      {"optReDiceExec",
       "振り足し/引きする回数",
       {{"条件に合う間", 0, "条件に合う間何度も振り足し/引きする"},
        {"１回だけ", 64, "振り足し/引きするのは一度だけ"}}},
      {"optReDiceType",
       "振り足し/引きするダイスの種類",
       {{"ダイス一つ", 0, "条件に合う毎にダイス一つを振り足し/引きする"},
        {"ダイス１セット", 128, "条件に合う毎にそのダイス全てを振り足し/引きする"},
        {"全体", 256, "条件に合う毎に、ダイスセット全体を振り足し/引きする"}}},
      {"optReDiceResult",
       "振り足し/引き方法",
       {{"振り足す", 0, "条件が整ったときに振り足す"},
        {"振り引く", 512, "条件が整ったときに振り引く"},
        {"両方-/+", 1024, "最大値が出たときに振り足し、最小値が出たときに振り引く"},
        {"両方+/-", 1536, "最大値が出たときに振り引き、最小値が出たときに振り足す"},
        {"加算", 4096, "条件が整ったダイスを振り直し、その目をそのダイスに加える"}}},
  };
  return frames;
}

// Index of `value` in a frame's list of values (0 when absent).
int IndexOfValue(DiceWindow::Frame frame, int32_t value) {
  const auto& options = Frames()[frame].options;
  for (int i = 0; i < options.size(); ++i) {
    if (options[i].value == value) return i;
  }
  return 0;
}

bool In(int value, std::initializer_list<int> set) {
  return std::find(set.begin(), set.end(), value) != set.end();
}

// Window sizes with and without the option panel.
constexpr int kWideWidth = 7200, kWideHeight = 7170;
constexpr int kNarrowWidth = 4425, kNarrowHeight = 4170;

}  // namespace

DiceWindow::DiceWindow(Instance& instance, DiceBroadcast& dice, DiceOptions& options,
                       Dialogs& dialogs, MainChatHooks hooks, QWidget* parent)
    : QMainWindow(parent),
      instance_(instance),
      dice_(dice),
      options_(options),
      dialogs_(dialogs),
      hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("frmDice"));
  setWindowTitle(QStringLiteral("ダイス機能"));
  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(6, 6, 6, 6);
  QWidget* main_panel = BuildMainPanel();
  // The options open beside the dice, never at their expense: the modifier bar keeps the room
  // it has in the narrow window.
  main_panel->setMinimumWidth(Twips(kNarrowWidth) - row->contentsMargins().left() -
                              row->contentsMargins().right());
  row->addWidget(main_panel, 1);
  row->addWidget(BuildOptionPanel());
  setCentralWidget(central);
  BuildMenus();

  for (QChar letter = u'A'; letter <= u'Z'; letter = QChar(letter.unicode() + 1)) {
    if (letter != u'D') cmbVarName_->addItem(QString(letter));
  }
  connect(cmbVarName_, &QComboBox::currentTextChanged, this, &DiceWindow::ShowSet);
  cmbVarName_->setCurrentIndex(0);
  ShowSet(cmbVarName_->currentText());
  ShowOptionPanel(false);
}

QWidget* DiceWindow::BuildMainPanel() {
  auto* panel = new QWidget(this);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);

  txtUnivDice_ = new QLineEdit(panel);
  txtUnivDice_->setObjectName(QStringLiteral("txtUnivDice"));
  txtUnivDice_->installEventFilter(this);
  connect(txtUnivDice_, &QLineEdit::returnPressed, this, [this] { Roll(false); });
  column->addWidget(txtUnivDice_);

  auto* buttons = new QHBoxLayout;
  const char* captions[] = {"振る", "登録", "削除", "発言"};
  for (int i = 0; i < 4; ++i) {
    auto* b = new QPushButton(QString::fromUtf8(captions[i]), panel);
    b->setObjectName(QStringLiteral("cmdUnivDice_%1").arg(i));
    b->setAutoDefault(false);
    b->setMinimumWidth(40);
    buttons->addWidget(b);
    cmdUnivDice_.push_back(b);
  }
  connect(cmdUnivDice_[0], &QPushButton::clicked, this, [this] { Roll(false); });
  connect(cmdUnivDice_[1], &QPushButton::clicked, this, &DiceWindow::Register);
  connect(cmdUnivDice_[2], &QPushButton::clicked, this, &DiceWindow::DeleteSelected);
  connect(cmdUnivDice_[3], &QPushButton::clicked, this, [this] { Roll(true); });
  column->addLayout(buttons);

  lstRegUnivDice_ = new QListWidget(panel);
  lstRegUnivDice_->setObjectName(QStringLiteral("lstRegUnivDice"));
  lstRegUnivDice_->setMinimumHeight(60);
  connect(lstRegUnivDice_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) txtUnivDice_->setText(lstRegUnivDice_->item(row)->text());
  });
  connect(lstRegUnivDice_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { txtUnivDice_->setText(item->text()); });
  connect(lstRegUnivDice_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    txtUnivDice_->setText(item->text());
    Roll(false);
  });
  column->addWidget(lstRegUnivDice_, 1);

  auto* bottom = new QHBoxLayout;
  chkIsCloseDice_ = new QCheckBox(QStringLiteral("非公開"), panel);
  chkIsCloseDice_->setObjectName(QStringLiteral("chkIsCloseDice"));
  bottom->addWidget(chkIsCloseDice_);
  hscImiPlus_ = new QScrollBar(Qt::Horizontal, panel);
  hscImiPlus_->setObjectName(QStringLiteral("hscImiPlus"));
  hscImiPlus_->setPageStep(1);
  hscImiPlus_->setMinimumWidth(64);
  bottom->addWidget(hscImiPlus_, 1);
  lblImiPlus_ = new QLabel(DiceModifierLabel(0), panel);
  lblImiPlus_->setObjectName(QStringLiteral("lblImiPlus"));
  lblImiPlus_->setAlignment(Qt::AlignCenter);
  // Room for a three-digit modifier such as "－１０".
  lblImiPlus_->setMinimumWidth(
      lblImiPlus_->fontMetrics().horizontalAdvance(QStringLiteral("－１０")) + 4);
  connect(hscImiPlus_, &QScrollBar::valueChanged, this,
          [this](int value) { lblImiPlus_->setText(DiceModifierLabel(value)); });
  bottom->addWidget(lblImiPlus_);
  chkDiceOpt_ = new QPushButton(QStringLiteral(">>>"), panel);
  chkDiceOpt_->setObjectName(QStringLiteral("chkDiceOpt"));
  chkDiceOpt_->setCheckable(true);
  chkDiceOpt_->setAutoDefault(false);
  chkDiceOpt_->setMaximumWidth(44);
  connect(chkDiceOpt_, &QPushButton::toggled, this, &DiceWindow::ShowOptionPanel);
  bottom->addWidget(chkDiceOpt_);
  column->addLayout(bottom);
  hscImiPlus_->setRange(-6, 6);
  hscImiPlus_->setValue(0);
  return panel;
}

QWidget* DiceWindow::BuildOptionPanel() {
  cntDiceOpt_ = new QWidget(this);
  cntDiceOpt_->setObjectName(QStringLiteral("cntDiceOpt"));
  auto* panel = new QVBoxLayout(cntDiceOpt_);
  panel->setContentsMargins(0, 0, 0, 0);

  auto* top = new QHBoxLayout;
  cmbVarName_ = new QComboBox(cntDiceOpt_);
  cmbVarName_->setObjectName(QStringLiteral("cmbVarName"));
  top->addWidget(cmbVarName_);
  txtComment_ = new QLineEdit(cntDiceOpt_);
  txtComment_->setObjectName(QStringLiteral("txtComment"));
  txtComment_->setToolTip(QStringLiteral("このオプションのコメント"));
  connect(txtComment_, &QLineEdit::textEdited, this, [this] { StoreSet(); });
  top->addWidget(txtComment_, 1);
  panel->addLayout(top);

  // Two columns: the short frames on the left, the reroll details on the right.
  auto* columns = new QHBoxLayout;
  QVBoxLayout* column[2] = {new QVBoxLayout, new QVBoxLayout};
  const int column_of[kFrameCount] = {0, 0, 0, 1, 0, 1, 1};
  const auto& frames = Frames();
  for (int f = 0; f < kFrameCount; ++f) {
    auto* box = new QGroupBox(QString::fromUtf8(frames[f].caption), cntDiceOpt_);
    box->setObjectName(QStringLiteral("fraDiceOpt_%1").arg(f));
    auto* list = new QVBoxLayout(box);
    list->setSpacing(0);
    list->setContentsMargins(6, 2, 6, 2);
    auto* group = new QButtonGroup(box);
    QVector<QRadioButton*> buttons;
    for (int i = 0; i < frames[f].options.size(); ++i) {
      const OptionDef& o = frames[f].options[i];
      auto* b = new QRadioButton(QString::fromUtf8(o.caption), box);
      b->setObjectName(QStringLiteral("%1_%2").arg(QString::fromUtf8(frames[f].control)).arg(i));
      b->setToolTip(QString::fromUtf8(o.tooltip));
      b->setProperty("flagValue", o.value);
      group->addButton(b, i);
      list->addWidget(b);
      buttons.push_back(b);
      connect(b, &QRadioButton::clicked, this,
              [this, f, i] { OptionClicked(static_cast<Frame>(f), i); });
    }
    options_buttons_.push_back(buttons);
    column[column_of[f]]->addWidget(box);
  }
  for (QVBoxLayout* c : column) {
    c->addStretch(1);
    columns->addLayout(c);
  }
  panel->addLayout(columns, 1);
  return cntDiceOpt_;
}

void DiceWindow::BuildMenus() {
  QMenu* mode = menuBar()->addMenu(QStringLiteral("モード"));
  QAction* general = mode->addAction(QStringLiteral("汎用ダイス"));
  general->setObjectName(QStringLiteral("mnuDiceModeSub"));
  QMenu* option = menuBar()->addMenu(QStringLiteral("オプション"));
  topmost_ = AddTopmostAction(option, this, QStringLiteral("常に手前に表示する"),
                              QStringLiteral("mnuDiceOptSub_0"));
}

int DiceWindow::Twips(int twips) const { return twips * logicalDpiX() / 1440; }

// --- settings ----------------------------------------------------------------------------------

void DiceWindow::LoadFromSettings() {
  const Settings& s = instance_.settings;
  lstRegUnivDice_->clear();
  lstRegUnivDice_->addItems(s.UnivDiceStr);
  if (lstRegUnivDice_->count() > 0) lstRegUnivDice_->setCurrentRow(0);
  if (!s.DiceInputText.isEmpty()) txtUnivDice_->setText(s.DiceInputText);

  options_ = DiceOptions::FromSettings(s.DiceOpt);
  cmbVarName_->setCurrentIndex(0);
  ShowSet(cmbVarName_->currentText());

  constexpr int kLow = std::numeric_limits<int16_t>::min();
  constexpr int kHigh = std::numeric_limits<int16_t>::max();
  const int low = std::clamp(s.UnivImiMin, kLow, kHigh);
  const int high = std::clamp(s.UnivImiMax, kLow, kHigh);
  hscImiPlus_->setRange(std::min(low, high), std::max(low, high));
  hscImiPlus_->setValue(std::clamp(0, hscImiPlus_->minimum(), hscImiPlus_->maximum()));
  lblImiPlus_->setText(DiceModifierLabel(hscImiPlus_->value()));
}

void DiceWindow::StoreToSettings() const {
  Settings& s = instance_.settings;
  s.UnivDiceStr.clear();
  for (int i = 0; i < lstRegUnivDice_->count() && i < kMaxDiceList; ++i) {
    s.UnivDiceStr.push_back(lstRegUnivDice_->item(i)->text());
  }
  s.DiceInputText = txtUnivDice_->text();
  options_.ToSettings(s.DiceOpt);
  s.UnivImiMin = hscImiPlus_->minimum();
  s.UnivImiMax = hscImiPlus_->maximum();
}

// --- state read by other windows -----------------------------------------------------------------

QString DiceWindow::ExpressionText() const { return txtUnivDice_->text(); }
QString DiceWindow::ModifierLabel() const { return lblImiPlus_->text(); }
bool DiceWindow::IsSecret() const { return chkIsCloseDice_->isChecked(); }

void DiceWindow::FocusExpressionAtEnd() {
  activateWindow();
  raise();
  txtUnivDice_->setFocus(Qt::ShortcutFocusReason);
  txtUnivDice_->end(false);
}

// --- rolling and the list ------------------------------------------------------------------------

void DiceWindow::Roll(bool with_chat) {
  const QString expression = txtUnivDice_->text();
  if (expression.isEmpty()) return;
  QString chat_text;
  if (with_chat) {
    if (hooks_.chat_text) chat_text = hooks_.chat_text();
    if (!chat_text.isEmpty() && hooks_.addressee) chat_text += AddresseeSuffix(hooks_.addressee());
    if (hooks_.set_chat_text) hooks_.set_chat_text(QString());
  }
  dice_.Roll(expression, hscImiPlus_->value(), chkIsCloseDice_->isChecked(), chat_text);
  if (with_chat && hooks_.focus_chat) hooks_.focus_chat();
}

void DiceWindow::Register() {
  const QString text = txtUnivDice_->text();
  if (text.isEmpty()) return;
  if (lstRegUnivDice_->count() >= kMaxDiceList) {
    dialogs_.Message(this, QStringLiteral("機能エラー"),
                     QStringLiteral("登録できるダイスは%1個までです").arg(kMaxDiceList),
                     Dialogs::Icon::Warning);
    return;
  }
  lstRegUnivDice_->addItem(text);
}

void DiceWindow::DeleteSelected() {
  const int row = lstRegUnivDice_->currentRow();
  if (row < 0) return;
  // Removing must not pick a neighbour and overwrite the expression box.
  const QSignalBlocker block(lstRegUnivDice_);
  delete lstRegUnivDice_->takeItem(row);
  lstRegUnivDice_->setCurrentRow(-1);
}

void DiceWindow::StepSelection(int delta) {
  const int count = lstRegUnivDice_->count();
  const int row = lstRegUnivDice_->currentRow();
  int next = row;
  if (delta < 0 && row > 0) next = row - 1;
  if (delta > 0 && row < count - 1) next = row < 0 ? 0 : row + 1;
  if (next != row) lstRegUnivDice_->setCurrentRow(next);
}

bool DiceWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtUnivDice_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
      StepSelection(key->key() == Qt::Key_Up ? -1 : 1);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void DiceWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

void DiceWindow::ShowOptionPanel(bool show) {
  chkDiceOpt_->setText(show ? QStringLiteral("<<<") : QStringLiteral(">>>"));
  cntDiceOpt_->setVisible(show);
  centralWidget()->layout()->invalidate();
  centralWidget()->layout()->activate();
  if (show) {
    resize(Twips(kWideWidth), Twips(kWideHeight));
  } else {
    setMinimumSize(0, 0);
    resize(Twips(kNarrowWidth), Twips(kNarrowHeight));
  }
}

// --- option sets
// -----------------------------------------------------------------------------------

int DiceWindow::SelectedOption(Frame frame) const {
  const auto& buttons = options_buttons_[frame];
  for (int i = 0; i < buttons.size(); ++i) {
    if (buttons[i]->isChecked()) return i;
  }
  return 0;
}

void DiceWindow::Select(Frame frame, int index) {
  options_buttons_[frame][index]->setChecked(true);
}

void DiceWindow::ShowSet(const QString& letter) {
  showing_set_ = true;
  const DiceOptionSet set = options_.FindDiceOptionSet(letter);
  const DiceFlags flags = DiceFlags::Decode(set.flags);
  for (int f = 0; f < kFrameCount; ++f) Select(static_cast<Frame>(f), 0);
  Select(kBase, flags.lowest_face == 0 ? 1 : 0);
  Select(kType, IndexOfValue(kType, flags.kind));
  Select(kReroll, flags.reroll ? 1 : 0);
  Select(kCondition, IndexOfValue(kCondition, flags.condition));
  Select(kTimes, flags.once ? 1 : 0);
  Select(kAdded, IndexOfValue(kAdded, flags.added));
  Select(kResult, IndexOfValue(kResult, flags.result));
  txtComment_->setText(set.comment);
  showing_set_ = false;
}

void DiceWindow::OptionClicked(Frame frame, int index) {
  ApplyRules(frame, index);
  StoreSet();
}

// Keeps the chosen reroll condition, result, dice kind and reroll type a combination that the
// dice roller understands.
void DiceWindow::ApplyRules(Frame frame, int index) {
  const int condition = SelectedOption(kCondition);
  const int result = SelectedOption(kResult);
  constexpr int kExplode = 4;
  if (frame == kCondition) {
    if (In(index, {2, 5}) && !In(result, {2, 3})) Select(kResult, 2);
    if (In(index, {0, 1}) && !In(result, {0, 1, 4})) Select(kResult, 0);
    if (In(index, {3, 4}) && !In(result, {0, 1})) Select(kResult, 0);
  } else if (frame == kResult) {
    if (In(index, {0, 1}) && In(condition, {2, 5})) Select(kCondition, 0);
    if (In(index, {2, 3}) && !In(condition, {2, 5})) Select(kCondition, 2);
    if (index == kExplode) {
      if (!In(condition, {0, 1})) Select(kCondition, 0);
      Select(kAdded, 0);
      if (SelectedOption(kType) == 0) Select(kType, 1);
    }
  } else if (frame == kType) {
    if (index == 0 && result == kExplode) Select(kResult, 0);
  } else if (frame == kAdded) {
    if (index != 0 && result == kExplode) Select(kResult, 0);
  }
}

void DiceWindow::StoreSet() {
  if (showing_set_) return;
  const QString letter = cmbVarName_->currentText();
  if (letter.isEmpty()) return;
  int32_t flags = 0;
  for (int f = 0; f < kFrameCount; ++f) {
    flags +=
        options_buttons_[f][SelectedOption(static_cast<Frame>(f))]->property("flagValue").toInt();
  }
  options_.RegisterDiceOptionSet(letter, flags, txtComment_->text());
}

}  // namespace quillora
