#include "hexmap/HexSetupDialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "core/Instance.h"
#include "hexmap/HexMap.h"
#include "ui/Dialogs.h"

namespace quillora {

namespace {

constexpr int kPresetSizes[5] = {64, 48, 32, 16, 8};
constexpr int kFitToView = 5;
constexpr int kCustom = 6;

int Checked(const auto& buttons) {
  for (int i = 0; i < static_cast<int>(buttons.size()); ++i) {
    if (buttons[i]->isChecked()) return i;
  }
  return 0;
}

}  // namespace

HexSetupDialog::HexSetupDialog(Instance& instance, HexMap& map, Dialogs& dialogs,
                               std::function<QSize()> view_size, QWidget* parent)
    : QDialog(parent),
      instance_(instance),
      map_(map),
      dialogs_(dialogs),
      view_size_(std::move(view_size)) {
  setObjectName(QStringLiteral("frmSetHex"));
  setWindowTitle(QStringLiteral("ＨＥＸ機能 - 新規ＨＥＸマップ作成"));
  setWindowModality(Qt::ApplicationModal);

  auto* frames = new QGridLayout;
  QWidget* sizes = BuildFrame(0, QStringLiteral("マップサイズ"),
                              {"64x64", "48x48", "32x32", "16x16", "8x8", "画面に合わせる", "任意"},
                              "optMapSize", map_size_.data(), 3);
  // The custom size boxes sit beside "任意".
  size_x_ = new QLineEdit;
  size_x_->setObjectName(QStringLiteral("txtMapSizeX"));
  size_y_ = new QLineEdit;
  size_y_->setObjectName(QStringLiteral("txtMapSizeY"));
  for (QLineEdit* box : {size_x_, size_y_}) {
    box->setMaxLength(3);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 10);
  }
  auto* custom = new QHBoxLayout;
  custom->setContentsMargins(20, 0, 0, 0);
  custom->addWidget(size_x_);
  custom->addWidget(new QLabel(QStringLiteral("x")));
  custom->addWidget(size_y_);
  custom->addStretch(1);
  static_cast<QVBoxLayout*>(sizes->layout())->addLayout(custom);
  frames->addWidget(sizes, 0, 0, 2, 1);
  frames->addWidget(
      BuildFrame(1, QStringLiteral("ＨＥＸサイズ"), {"16x16", "32x32", "48x48", "64x64"},
                 "optHexSize", hex_size_.data(), 1),
      0, 1);
  frames->addWidget(
      BuildFrame(2, QStringLiteral("ＨＥＸタイプ"), {"正方形", "六角形(縦)", "六角形(横)"},
                 "optHexType", hex_type_.data(), 0),
      1, 1);
  frames->addWidget(
      BuildFrame(3, QStringLiteral("コマタイプ"), {"方向なし", "辺方向", "角方向", "両方向"},
                 "optPieceType", piece_type_.data(), 1),
      0, 2, 2, 1);
  for (QRadioButton* b : map_size_) {
    connect(b, &QRadioButton::toggled, this, &HexSetupDialog::UpdateSizeBoxes);
  }

  auto* buttons = new QHBoxLayout;
  const char* captions[3] = {"作成", "キャンセル", "ファイルから作成"};
  QPushButton* operate[3];
  for (int i = 0; i < 3; ++i) {
    operate[i] = new QPushButton(QString::fromUtf8(captions[i]));
    operate[i]->setObjectName(QStringLiteral("cmdOperate_%1").arg(i));
  }
  buttons->addWidget(operate[2]);
  buttons->addStretch(1);
  buttons->addWidget(operate[0]);
  buttons->addWidget(operate[1]);
  operate[0]->setDefault(true);
  connect(operate[0], &QPushButton::clicked, this, &HexSetupDialog::Create);
  connect(operate[1], &QPushButton::clicked, this, &QDialog::hide);
  connect(operate[2], &QPushButton::clicked, this, &HexSetupDialog::CreateFromFile);

  auto* outer = new QVBoxLayout(this);
  outer->addLayout(frames);
  outer->addLayout(buttons);
  UpdateSizeBoxes();
}

QWidget* HexSetupDialog::BuildFrame(int index, const QString& title,
                                    std::initializer_list<const char*> captions, const char* name,
                                    QRadioButton** buttons, int checked) {
  auto* frame = new QGroupBox(title);
  frame->setObjectName(QStringLiteral("fraSet_%1").arg(index));
  auto* column = new QVBoxLayout(frame);
  int i = 0;
  for (const char* caption : captions) {
    buttons[i] = new QRadioButton(QString::fromUtf8(caption));
    buttons[i]->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i));
    buttons[i]->setChecked(i == checked);
    column->addWidget(buttons[i]);
    ++i;
  }
  column->addStretch(1);
  return frame;
}

void HexSetupDialog::UpdateSizeBoxes() {
  const bool custom = map_size_[kCustom]->isChecked();
  for (QLineEdit* box : {size_x_, size_y_}) {
    box->setEnabled(custom);
    QPalette palette = box->palette();
    const QColor background = custom ? QColor(Qt::white) : QColor(0xC0, 0xC0, 0xC0);
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Disabled, QPalette::Base, background);
    box->setPalette(palette);
  }
}

void HexSetupDialog::Open(std::function<void()> closed) {
  closed_ = std::move(closed);
  show();
  raise();
  activateWindow();
}

void HexSetupDialog::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (auto closed = std::exchange(closed_, {})) closed();
}

void HexSetupDialog::SetChoices(int shape, int size, int piece_type, int columns, int rows) {
  if (shape >= 1 && shape <= 3) hex_type_[shape - 1]->setChecked(true);
  if (size >= 1 && size <= 4) hex_size_[size - 1]->setChecked(true);
  if (piece_type >= 1 && piece_type <= 4) piece_type_[piece_type - 1]->setChecked(true);
  map_size_[kCustom]->setChecked(true);
  size_x_->setText(QString::number(columns));
  size_y_->setText(QString::number(rows));
}

void HexSetupDialog::Create() {
  const int choice = Checked(map_size_);
  const int size = Checked(hex_size_) + 1;
  int columns = 0;
  int rows = 0;
  if (choice == kCustom) {
    bool ok_x = false;
    bool ok_y = false;
    columns = size_x_->text().trimmed().toInt(&ok_x);
    rows = size_y_->text().trimmed().toInt(&ok_y);
    if (!ok_x || !ok_y || columns < 1 || columns > kHexMaxMapSize || rows < 1 ||
        rows > kHexMaxMapSize) {
      dialogs_.Message(this, windowTitle(), QStringLiteral("Err Mapsize"), Dialogs::Icon::Warning);
      return;
    }
  } else if (choice == kFitToView) {
    HexGeometry g{};
    PresetGeometry(Checked(hex_type_) + 1, size, &g);
    const QSize view = view_size_ ? view_size_() : QSize(480, 360);
    columns = std::clamp(view.width() / g.cell_width + 1, 1, kHexMaxMapSize);
    rows = std::clamp(view.height() / g.cell_height + 1, 1, kHexMaxMapSize);
  } else {
    columns = rows = kPresetSizes[choice];
  }
  const int page =
      map_.CreatePage(Checked(hex_type_) + 1, size, Checked(piece_type_) + 1, columns, rows);
  if (page == 0) {
    dialogs_.Message(this, QStringLiteral("機能エラー"),
                     QStringLiteral("これ以上ページを作成できません"), Dialogs::Icon::Warning);
    return;
  }
  emit created(page);
  hide();
}

void HexSetupDialog::CreateFromFile() {
  dialogs_.OpenFile(this, QStringLiteral("ファイルから作成"), instance_.ProgramFolder(),
                    QStringLiteral("マップ定義ファイル(*.mh0) (*.mh0)"), [this](QString path) {
                      if (path.isEmpty()) return;
                      QString error;
                      const int page = map_.CreatePageFromFile(path, &error);
                      if (page == 0) {
                        dialogs_.Message(this, QStringLiteral("ファイル読み込みエラー"),
                                         error.isEmpty()
                                             ? QStringLiteral("これ以上ページを作成できません")
                                             : error,
                                         Dialogs::Icon::Warning);
                        return;
                      }
                      emit created(page);
                      hide();
                    });
}

}  // namespace quillora
