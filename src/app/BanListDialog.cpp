#include "app/BanListDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "net/Session.h"

namespace quillora {

BanListDialog::BanListDialog(Session& session, QWidget* parent)
    : QDialog(parent), session_(session) {
  setObjectName(QStringLiteral("frmBans"));
  setWindowTitle(QStringLiteral("締め出し一覧"));
  setMinimumSize(380, 240);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("接続を断っているアドレス"), this));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("lstBans"));
  layout->addWidget(list_, 1);
  auto* row = new QHBoxLayout();
  lift_ = new QPushButton(QStringLiteral("解除"), this);
  lift_->setObjectName(QStringLiteral("cmdLift"));
  auto* close = new QPushButton(QStringLiteral("閉じる"), this);
  close->setObjectName(QStringLiteral("cmdClose"));
  row->addStretch(1);
  row->addWidget(lift_);
  row->addWidget(close);
  layout->addLayout(row);
  connect(lift_, &QPushButton::clicked, this, &BanListDialog::LiftSelected);
  connect(close, &QPushButton::clicked, this, &QDialog::hide);
  connect(list_, &QListWidget::currentRowChanged, this,
          [this](int r) { lift_->setEnabled(r >= 0); });
  // Kicks run out by themselves; the list follows.
  auto* timer = new QTimer(this);
  timer->setInterval(30000);
  connect(timer, &QTimer::timeout, this, [this] {
    if (isVisible()) Refresh();
  });
  timer->start();
  Refresh();
}

void BanListDialog::Refresh() {
  list_->clear();
  for (const Gatekeeper::Ban& ban : session_.Bans()) {
    const QString who = ban.handle.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(ban.handle);
    const QString how =
        ban.remaining_ms < 0
            ? QStringLiteral("締め出し中")
            : QStringLiteral("退室 残り%1分").arg((ban.remaining_ms + 59999) / 60000);
    auto* item = new QListWidgetItem(ban.address + who + QStringLiteral("  ") + how, list_);
    item->setData(Qt::UserRole, ban.address);
  }
  lift_->setEnabled(list_->currentRow() >= 0);
}

void BanListDialog::LiftSelected() {
  const QListWidgetItem* item = list_->currentItem();
  if (!item) return;
  session_.LiftBan(item->data(Qt::UserRole).toString());
  Refresh();
}

}  // namespace quillora
