#pragma once

#include <QObject>
#include <QPointer>

class QListWidget;
class QMenu;
class QWidget;

namespace quillora {

class AppCore;
class BanListDialog;
class Dialogs;

// What the main window offers about who is in the session: the host's password in the
// connection menu, the list of refused addresses, 退室させる / 締め出す on the participant lists,
// and the question for a password when a host asks for one. It only asks and shows; the
// session decides.
class AdmissionView : public QObject {
  Q_OBJECT

 public:
  AdmissionView(AppCore& core, Dialogs& dialogs, QWidget* window, QMenu* connection_menu,
                QListWidget* redir, QListWidget* send);

  // The context menu of a participant list at `pos` (list coordinates).
  void OfferRemoval(QListWidget* list, const QPoint& pos);
  // Asks the user for the password of `host` and connects again with it.
  void AskPassword(const QString& host, const QString& reason);
  void SetHostPassword();
  void ShowBans();

 private:
  void Remove(int index, bool ban);

  AppCore& core_;
  Dialogs& dialogs_;
  QWidget* window_;
  QPointer<BanListDialog> bans_;
};

}  // namespace quillora
