#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

namespace quillora {

class Session;

// The addresses the host sent away, with who they were and for how long; the host lifts them.
class BanListDialog : public QDialog {
  Q_OBJECT

 public:
  BanListDialog(Session& session, QWidget* parent = nullptr);
  void Refresh();

 private:
  void LiftSelected();

  Session& session_;
  QListWidget* list_;
  QPushButton* lift_;
};

}  // namespace quillora
