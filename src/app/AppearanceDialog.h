#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QLabel;
class QListWidget;
class QLineEdit;

namespace quillora {

class AppCore;
class Dialogs;

// "アプリケーションの設定": fonts, colours, preset messages and handles, the honorific and the
// sound and log switches, edited on the working copy of the settings.
class AppearanceDialog : public QDialog {
  Q_OBJECT

 public:
  AppearanceDialog(AppCore& core, Dialogs& dialogs, QWidget* parent = nullptr);

  // Copies the live settings into the working copy, refreshes and shows the dialog (modal to
  // its parent, without blocking).
  void Open();
  // Refreshes every control from the working copy.
  void ShowRefresh();

 signals:
  // OK applied the settings: the main window restyles itself.
  void applied();
  // OK or Cancel closed the dialog.
  void dismissed();

 private:
  void OnOk();
  void OnCancel();
  void OnReset();
  void PickFont();
  void PickColor();

  AppCore& core_;
  Dialogs& dialogs_;
  QListWidget* lst_font_ = nullptr;
  QListWidget* lst_col_ = nullptr;
  QListWidget* lst_preset_ = nullptr;
  QLineEdit* txt_preset_ = nullptr;
  QLabel* sample_font_ = nullptr;
  QLabel* sample_color_ = nullptr;
  QCheckBox* chk_snd_ = nullptr;
  QCheckBox* chk_text_ = nullptr;
  QCheckBox* chk_rtf_ = nullptr;
  QCheckBox* chk_nocng_ = nullptr;
  bool refreshing_ = false;
};

}  // namespace quillora
