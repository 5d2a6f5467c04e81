#include "instant/InstMesWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/ChatSink.h"
#include "core/Instance.h"
#include "instant/InstantMessages.h"
#include "ui/Dialogs.h"
#include "ui/ToolMenus.h"

namespace quillora {

namespace {
constexpr int kRowHeight = InstMesWindow::kRowPitch - 2;
constexpr int kHandleWidth = 96;
}  // namespace

InstMesWindow::InstMesWindow(Instance& instance, InstantMessages& messages,
                             const DiceWindowState* dice, MainChatHooks hooks, QWidget* parent)
    : QMainWindow(parent),
      instance_(instance),
      messages_(messages),
      dice_(dice),
      hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("frmInstMes"));
  setWindowTitle(QStringLiteral("簡易発言機能"));
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(4);

  auto* ops = new QHBoxLayout;
  const char* captions[] = {"設定同期", "＋", "－"};
  QVector<QPushButton*> op_buttons;
  for (int i = 0; i < 3; ++i) {
    auto* b = new QPushButton(QString::fromUtf8(captions[i]), central);
    b->setObjectName(QStringLiteral("cmdOp_%1").arg(i));
    b->setAutoDefault(false);
    if (i > 0) b->setFixedWidth(32);
    ops->addWidget(b);
    op_buttons.push_back(b);
  }
  ops->addStretch(1);
  connect(op_buttons[0], &QPushButton::clicked, this, &InstMesWindow::SyncNames);
  connect(op_buttons[1], &QPushButton::clicked, this, &InstMesWindow::AddRow);
  connect(op_buttons[2], &QPushButton::clicked, this, &InstMesWindow::RemoveLastRow);
  column->addLayout(ops);

  grid_ = new QGridLayout;
  grid_->setVerticalSpacing(kRowPitch - kRowHeight);
  grid_->setHorizontalSpacing(4);
  const char* headings[] = {"/N", "ハンドル", "発言"};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(QString::fromUtf8(headings[i]), central);
    grid_->addWidget(label, 0, i);
  }
  grid_->setColumnStretch(2, 1);
  column->addLayout(grid_);
  column->addStretch(1);
  setCentralWidget(central);
  BuildMenus();
  AddRow();
  setMinimumWidth(5000 / 15);
  // Start as tall as the rows need; the rows' buttons grow it from there.
  layout()->activate();
  resize(8000 / 15, sizeHint().height());
}

void InstMesWindow::BuildMenus() {
  AddSingleModeMenu(menuBar(), QStringLiteral("汎用モード"));
  QMenu* option = menuBar()->addMenu(QStringLiteral("オプション"));
  topmost_ = AddTopmostAction(option, this, QStringLiteral("常に手前に表示する"),
                              QStringLiteral("mnuOptSub_0"));
}

void InstMesWindow::AddRow() {
  const int n = rows_.size();
  QWidget* parent = centralWidget();
  Row row;
  row.prefix = new QCheckBox(parent);
  row.prefix->setObjectName(QStringLiteral("chkPreName_%1").arg(n));
  row.handle = new QLineEdit(parent);
  row.handle->setObjectName(QStringLiteral("txtHandle_%1").arg(n));
  row.handle->setFixedWidth(kHandleWidth);
  row.message = new QLineEdit(parent);
  row.message->setObjectName(QStringLiteral("txtMes_%1").arg(n));
  row.message->setMinimumWidth(60);
  row.message->installEventFilter(this);
  row.send = new QPushButton(QStringLiteral("発言"), parent);
  row.send->setObjectName(QStringLiteral("cmdSendMes_%1").arg(n));
  row.dice = new QPushButton(QStringLiteral("ダイス"), parent);
  row.dice->setObjectName(QStringLiteral("cmdSendMesWithDice_%1").arg(n));
  QWidget* widgets[] = {row.prefix, row.handle, row.message, row.send, row.dice};
  for (int c = 0; c < 5; ++c) {
    widgets[c]->setFixedHeight(kRowHeight);
    grid_->addWidget(widgets[c], n + 1, c);
    widgets[c]->show();  // children added to a shown window are not shown by themselves
  }
  for (QPushButton* b : {row.send, row.dice}) {
    b->setAutoDefault(false);
    b->setFixedWidth(std::max(48, b->sizeHint().width()));
  }
  connect(row.send, &QPushButton::clicked, this, [this, n] { Send(n); });
  connect(row.dice, &QPushButton::clicked, this, [this, n] { SendWithDice(n); });
  connect(row.message, &QLineEdit::returnPressed, this, [this, n] { Send(n); });
  connect(row.message, &QLineEdit::textChanged, this,
          [this, n](const QString& text) { messages_.RowTextChanged(n, text, DisplayName(n)); });
  rows_.push_back(row);

  // Grow when the new row does not fit.
  centralWidget()->layout()->activate();
  const int needed = sizeHint().height();
  if (isVisible() && height() < needed) resize(width(), needed);
}

void InstMesWindow::RemoveLastRow() {
  if (rows_.size() <= 1) return;
  const int n = rows_.size() - 1;
  messages_.RowStopped(n);
  Row row = rows_.takeLast();
  for (QWidget* w : {static_cast<QWidget*>(row.prefix), static_cast<QWidget*>(row.handle),
                     static_cast<QWidget*>(row.message), static_cast<QWidget*>(row.send),
                     static_cast<QWidget*>(row.dice)}) {
    grid_->removeWidget(w);
    w->hide();
    w->deleteLater();
  }
  centralWidget()->layout()->activate();
  if (isVisible()) resize(width(), std::max(height() - kRowPitch, minimumSizeHint().height()));
}

void InstMesWindow::SyncNames() {
  const auto& presets = instance_.settings.PsetName;
  const int last = std::min<int>(rows_.size(), static_cast<int>(presets.size()));
  for (int n = 0; n < last; ++n) {
    if (!presets[n].isEmpty()) rows_[n].handle->setText(presets[n]);
  }
}

QString InstMesWindow::DisplayName(int row) const {
  return messages_.DisplayName(rows_[row].prefix->isChecked(), rows_[row].handle->text());
}

int InstMesWindow::RowOf(QObject* message_box) const {
  for (int n = 0; n < rows_.size(); ++n) {
    if (rows_[n].message == message_box) return n;
  }
  return -1;
}

void InstMesWindow::Send(int row) {
  if (row >= rows_.size()) return;
  QLineEdit* box = rows_[row].message;
  QString text = box->text();
  if (text.isEmpty()) return;
  const QString addressee = hooks_.addressee ? hooks_.addressee() : QString();
  if (!addressee.isEmpty()) {
    text += AddresseeSuffix(addressee);
    if (hooks_.addressee_used) hooks_.addressee_used();
  }
  messages_.Say(text, DisplayName(row));
  box->clear();
  box->setFocus(Qt::OtherFocusReason);
}

void InstMesWindow::SendWithDice(int row) {
  if (row >= rows_.size() || dice_ == nullptr || !dice_->IsShown()) return;
  const QString expression = dice_->ExpressionText();
  if (expression.isEmpty()) return;
  QLineEdit* box = rows_[row].message;
  QString text = box->text();
  if (!text.isEmpty() && hooks_.addressee) text += AddresseeSuffix(hooks_.addressee());
  messages_.SayWithRoll(text, expression, dice_->ModifierLabel(), dice_->IsSecret(),
                        DisplayName(row));
  box->clear();
  box->setFocus(Qt::OtherFocusReason);
}

bool InstMesWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
    const int row = RowOf(watched);
    if (row >= 0) {
      if (event->type() == QEvent::FocusIn) {
        messages_.RowFocusIn(row, rows_[row].message->text(), DisplayName(row));
      } else {
        messages_.RowStopped(row);
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void InstMesWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

}  // namespace quillora
