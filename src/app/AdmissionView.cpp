#include "app/AdmissionView.h"

#include <QListWidget>
#include <QMenu>

#include "app/AppCore.h"
#include "app/BanListDialog.h"
#include "app/SessionPasswords.h"
#include "net/Session.h"
#include "ui/Dialogs.h"

namespace quillora {

AdmissionView::AdmissionView(AppCore& core, Dialogs& dialogs, QWidget* window,
                             QMenu* connection_menu, QListWidget* redir, QListWidget* send)
    : QObject(window), core_(core), dialogs_(dialogs), window_(window) {
  connection_menu->addSeparator();
  QAction* word = connection_menu->addAction(QStringLiteral("合言葉を設定..."));
  word->setObjectName(QStringLiteral("mnuConPassword"));
  QAction* bans = connection_menu->addAction(QStringLiteral("締め出し一覧..."));
  bans->setObjectName(QStringLiteral("mnuConBans"));
  connect(word, &QAction::triggered, this, &AdmissionView::SetHostPassword);
  connect(bans, &QAction::triggered, this, &AdmissionView::ShowBans);
  for (QListWidget* list : {redir, send}) {
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QListWidget::customContextMenuRequested, this,
            [this, list](const QPoint& pos) { OfferRemoval(list, pos); });
  }
  connect(&core_.session(), &Session::passwordWanted, this, &AdmissionView::AskPassword);
}

void AdmissionView::OfferRemoval(QListWidget* list, const QPoint& pos) {
  const QListWidgetItem* item = list->itemAt(pos);
  if (!item || core_.instance().SessionMode != ModeServer) return;
  const int k = item->data(Qt::UserRole).toInt();
  if (k <= 1) return;  // "なし", "全員" and the host itself
  // A popup answered through its actions: no nested loop.
  auto* popup = new QMenu(list);
  popup->setAttribute(Qt::WA_DeleteOnClose);
  popup->setObjectName(QStringLiteral("mnuParticipant"));
  QAction* kick = popup->addAction(QStringLiteral("退室させる"));
  kick->setObjectName(QStringLiteral("mnuKick"));
  QAction* ban = popup->addAction(QStringLiteral("締め出す"));
  ban->setObjectName(QStringLiteral("mnuBan"));
  connect(kick, &QAction::triggered, this, [this, k] { Remove(k, false); });
  connect(ban, &QAction::triggered, this, [this, k] { Remove(k, true); });
  popup->popup(list->viewport()->mapToGlobal(pos));
}

void AdmissionView::Remove(int index, bool ban) {
  const Participant* row = core_.instance().ParticipantAt(index);
  const QString handle = row ? row->Handle : QString::number(index);
  const QString question =
      handle +
      (ban ? QStringLiteral(
                 "さんを締め出しますか？\nこのサーバの間、同じアドレスからは参加できません。")
           : QStringLiteral("さんを退室させますか？\n10分間、同じアドレスからは参加できません。"));
  dialogs_.Confirm(window_, QStringLiteral("確認メッセージ"), question,
                   [this, index, ban](bool yes) {
                     if (!yes) return;
                     if (ban) {
                       core_.session().Ban(index);
                     } else {
                       core_.session().Kick(index);
                     }
                     if (bans_) bans_->Refresh();
                   });
}

void AdmissionView::AskPassword(const QString& host, const QString& reason) {
  dialogs_.Password(
      window_, QStringLiteral("合言葉"),
      reason + QStringLiteral("\n") + host + QStringLiteral(" の合言葉を入力して下さい"),
      QStringLiteral("この接続先の合言葉を記憶する"),
      [this, host](std::optional<QString> word, bool remember) {
        if (!word || word->isEmpty() || core_.session().Active()) return;
        if (remember) SessionPasswords(core_.instance().IniPath()).Remember(host, *word);
        core_.session().SetJoinPassword(host, *word);
        core_.session().Connect(host);
      });
}

void AdmissionView::SetHostPassword() {
  dialogs_.Password(window_, QStringLiteral("合言葉を設定"),
                    QStringLiteral("サーバになったとき参加者に求める合言葉を入力して下さい。\n"
                                   "空欄にすると、合言葉なしで誰でも参加できます。"),
                    QString(), [this](std::optional<QString> word, bool) {
                      if (!word) return;
                      SessionPasswords(core_.instance().IniPath()).SetHostWord(*word);
                      core_.session().SetPassword(*word);
                      core_.instance().ShowStatus(word->isEmpty()
                                                      ? QStringLiteral("合言葉を解除しました")
                                                      : QStringLiteral("合言葉を設定しました"));
                    });
}

void AdmissionView::ShowBans() {
  if (!bans_) bans_ = new BanListDialog(core_.session(), window_);
  bans_->Refresh();
  bans_->show();
  bans_->raise();
}

}  // namespace quillora
