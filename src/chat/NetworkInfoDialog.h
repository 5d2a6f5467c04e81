#pragma once

#include <QDialog>

namespace quillora {

class Dialogs;

// Lists this machine's network interfaces and their addresses, for systems without an IP
// configuration tool of their own.
class NetworkInfoDialog : public QDialog {
  Q_OBJECT
 public:
  NetworkInfoDialog(Dialogs& dialogs, QWidget* parent = nullptr);

  // The text shown: one block per interface.
  static QString Describe();
};

}  // namespace quillora
