#pragma once

#include <QDialog>
#include <QSize>
#include <array>
#include <functional>

class QLineEdit;
class QRadioButton;

namespace quillora {

class Dialogs;
class HexMap;
class Instance;

// frmSetHex: the choices for a new map page (size, cell size, cell shape, piece type), made
// from them or from a map file.
class HexSetupDialog : public QDialog {
  Q_OBJECT

 public:
  HexSetupDialog(Instance& instance, HexMap& map, Dialogs& dialogs,
                 std::function<QSize()> view_size, QWidget* parent = nullptr);

  // Shows the dialog modally without waiting; `closed` runs once it is hidden again.
  void Open(std::function<void()> closed = {});
  // A page received from another participant: its choices, with its size as a custom size.
  void SetChoices(int shape, int size, int piece_type, int columns, int rows);

  // "作成", "キャンセル", "ファイルから作成".
  void Create();
  void CreateFromFile();

 signals:
  // A page was made here.
  void created(int page);

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void UpdateSizeBoxes();
  QWidget* BuildFrame(int index, const QString& title, std::initializer_list<const char*> captions,
                      const char* name, QRadioButton** buttons, int checked);

  Instance& instance_;
  HexMap& map_;
  Dialogs& dialogs_;
  std::function<QSize()> view_size_;
  std::function<void()> closed_;
  std::array<QRadioButton*, 7> map_size_{};
  std::array<QRadioButton*, 4> hex_size_{};
  std::array<QRadioButton*, 3> hex_type_{};
  std::array<QRadioButton*, 4> piece_type_{};
  QLineEdit* size_x_ = nullptr;
  QLineEdit* size_y_ = nullptr;
};

}  // namespace quillora
