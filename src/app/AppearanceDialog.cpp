#include "app/AppearanceDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppCore.h"
#include "core/Colors.h"
#include "text/Width.h"
#include "ui/Dialogs.h"

namespace quillora {

namespace {

const char* const kFontLabels[] = {"メインウィンドウ",  "入力ボックス", "宛名リスト",
                                   "送り先リスト",      "自分の発言",   "他人の発言",
                                   "システムメッセージ"};
const char* const kColorLabels[] = {"メインウィンドウ", "入力ボックス",         "宛名リスト",
                                    "送り先リスト",     "メインウィンドウ背景", "入力ボックス背景",
                                    "宛名リスト背景",   "送り先リスト背景",     "ウィンドウ背景",
                                    "自分のハンドル",   "システムメッセージ"};

constexpr int kPresetMessages = 9;  // entries 0..8: preset messages 1..9
constexpr int kPresetNames = 10;    // entries 9..18: preset handles 0..9
constexpr int kHonorificRow = kPresetMessages + kPresetNames;

// A label that reports clicks: the samples open the font and colour dialogs.
class ClickLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> on_click;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && on_click) on_click();
    QLabel::mousePressEvent(event);
  }
};

// The working-copy text behind preset entry `row`.
QString* PresetField(Settings& s, int row) {
  if (row >= 0 && row < kPresetMessages) return &s.PsetMes[row + 1];
  if (row >= kPresetMessages && row < kHonorificRow) return &s.PsetName[row - kPresetMessages];
  if (row == kHonorificRow) return &s.PreFixStr;
  return nullptr;
}

}  // namespace

AppearanceDialog::AppearanceDialog(AppCore& core, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), core_(core), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmSetApp"));
  setWindowTitle(QStringLiteral("アプリケーションの設定"));
  setWindowModality(Qt::WindowModal);

  auto* font_group = new QGroupBox(QStringLiteral("フォント"), this);
  auto* font_layout = new QGridLayout(font_group);
  lst_font_ = new QListWidget(font_group);
  lst_font_->setObjectName(QStringLiteral("lstFont"));
  for (const char* label : kFontLabels) lst_font_->addItem(QString::fromUtf8(label));
  auto* font_sample = new ClickLabel(QStringLiteral("さんぷる"), font_group);
  font_sample->setObjectName(QStringLiteral("lblSample_0"));
  font_sample->setToolTip(QStringLiteral("クリックでフォントを変更"));
  font_sample->setFrameShape(QFrame::Panel);
  font_sample->setFrameShadow(QFrame::Sunken);
  font_sample->setAlignment(Qt::AlignCenter);
  font_sample->setMinimumSize(140, 48);
  font_sample->setCursor(Qt::PointingHandCursor);
  font_sample->on_click = [this] { PickFont(); };
  sample_font_ = font_sample;
  lst_col_ = new QListWidget(font_group);
  lst_col_->setObjectName(QStringLiteral("lstCol"));
  for (const char* label : kColorLabels) lst_col_->addItem(QString::fromUtf8(label));
  auto* color_sample = new ClickLabel(font_group);
  color_sample->setObjectName(QStringLiteral("lblSample_1"));
  color_sample->setToolTip(QStringLiteral("クリックで色を変更"));
  color_sample->setFrameShape(QFrame::Panel);
  color_sample->setFrameShadow(QFrame::Sunken);
  color_sample->setMinimumSize(140, 48);
  color_sample->setAutoFillBackground(true);
  color_sample->setCursor(Qt::PointingHandCursor);
  color_sample->on_click = [this] { PickColor(); };
  sample_color_ = color_sample;
  font_layout->addWidget(lst_font_, 0, 0);
  font_layout->addWidget(sample_font_, 0, 1);
  font_layout->addWidget(lst_col_, 1, 0);
  font_layout->addWidget(sample_color_, 1, 1);

  auto* preset_group = new QGroupBox(QStringLiteral("プリセット文字列"), this);
  auto* preset_layout = new QVBoxLayout(preset_group);
  lst_preset_ = new QListWidget(preset_group);
  lst_preset_->setObjectName(QStringLiteral("lstPreSet"));
  for (int i = 1; i <= kPresetMessages; ++i) {
    lst_preset_->addItem(QStringLiteral("設定済みメッセージ") + ToFullWidth(QString::number(i)));
  }
  for (int i = 1; i <= kPresetNames; ++i) {
    lst_preset_->addItem(QStringLiteral("設定済みユーザー名") + ToFullWidth(QString::number(i)));
  }
  lst_preset_->addItem(QStringLiteral("敬称"));
  txt_preset_ = new QLineEdit(preset_group);
  txt_preset_->setObjectName(QStringLiteral("txtPreSet"));
  preset_layout->addWidget(lst_preset_);
  preset_layout->addWidget(txt_preset_);

  chk_snd_ = new QCheckBox(QStringLiteral("非アクティブ時に発言が合った場合、音を鳴らす"), this);
  chk_snd_->setObjectName(QStringLiteral("chkIsSnd"));
  chk_text_ = new QCheckBox(QStringLiteral("自動的にテキストログを保存"), this);
  chk_text_->setObjectName(QStringLiteral("chkAutoSaveText"));
  chk_rtf_ = new QCheckBox(QStringLiteral("自動的にリッチテキストログを保存"), this);
  chk_rtf_->setObjectName(QStringLiteral("chkAutoSaveRTF"));
  chk_nocng_ = new QCheckBox(QStringLiteral("起動している限り同じログに保存"), this);
  chk_nocng_->setObjectName(QStringLiteral("chkNoCngDate"));

  auto* ok = new QPushButton(QStringLiteral("ＯＫ"), this);
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel->setObjectName(QStringLiteral("cmdCancel"));
  auto* reset = new QPushButton(QStringLiteral("リセット"), this);
  reset->setObjectName(QStringLiteral("cmdReset"));

  auto* top = new QHBoxLayout;
  top->addWidget(font_group, 3);
  top->addWidget(preset_group, 2);
  auto* checks = new QVBoxLayout;
  for (QCheckBox* c : {chk_snd_, chk_text_, chk_rtf_, chk_nocng_}) checks->addWidget(c);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(reset);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(checks);
  layout->addLayout(buttons);

  // Every font and colour entry is in sight without scrolling.
  for (QListWidget* list : {lst_font_, lst_col_}) {
    int height = 2 * list->frameWidth() + 2;
    for (int row = 0; row < list->count(); ++row) height += list->sizeHintForRow(row);
    list->setMinimumHeight(height);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  lst_font_->setCurrentRow(0);
  lst_col_->setCurrentRow(0);
  lst_preset_->setCurrentRow(0);

  connect(lst_font_, &QListWidget::currentRowChanged, this, [this] { ShowRefresh(); });
  connect(lst_col_, &QListWidget::currentRowChanged, this, [this] { ShowRefresh(); });
  connect(lst_preset_, &QListWidget::currentRowChanged, this, [this] { ShowRefresh(); });
  connect(txt_preset_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (refreshing_) return;
    if (QString* field = PresetField(core_.instance().working, lst_preset_->currentRow())) {
      *field = text;
    }
  });
  connect(chk_snd_, &QCheckBox::clicked, this,
          [this](bool on) { core_.instance().working.SndAtt = on ? 1 : 0; });
  connect(chk_text_, &QCheckBox::clicked, this,
          [this](bool on) { core_.instance().working.AutoSaveText = on; });
  connect(chk_rtf_, &QCheckBox::clicked, this,
          [this](bool on) { core_.instance().working.AutoSaveRTF = on; });
  connect(chk_nocng_, &QCheckBox::clicked, this,
          [this](bool on) { core_.instance().working.NoCngDate = on; });
  connect(ok, &QPushButton::clicked, this, &AppearanceDialog::OnOk);
  connect(cancel, &QPushButton::clicked, this, &AppearanceDialog::OnCancel);
  connect(reset, &QPushButton::clicked, this, &AppearanceDialog::OnReset);
  resize(560, 420);
}

void AppearanceDialog::Open() {
  core_.BeginAppearanceEdit();
  ShowRefresh();
  open();
}

void AppearanceDialog::ShowRefresh() {
  refreshing_ = true;
  const Settings& w = core_.instance().working;
  const int font_row = std::max(0, lst_font_->currentRow());
  sample_font_->setFont(ToQFont(w.Font[font_row], font()));
  const int color_row = std::max(0, lst_col_->currentRow());
  QPalette pal = sample_color_->palette();
  pal.setColor(QPalette::Window, FromBgr(w.Color[color_row]));
  sample_color_->setPalette(pal);
  const QString* preset = PresetField(core_.instance().working, lst_preset_->currentRow());
  txt_preset_->setText(preset ? *preset : QString());
  chk_snd_->setChecked(w.SndAtt == 1);
  chk_text_->setChecked(w.AutoSaveText);
  chk_rtf_->setChecked(w.AutoSaveRTF);
  chk_nocng_->setChecked(w.NoCngDate);
  refreshing_ = false;
}

void AppearanceDialog::PickFont() {
  const int row = std::max(0, lst_font_->currentRow());
  dialogs_.PickFont(this, ToQFont(core_.instance().working.Font[row], font()),
                    [this, row](std::optional<QFont> chosen) {
                      if (!chosen) return;
                      core_.instance().working.Font[row] = FromQFont(*chosen);
                      ShowRefresh();
                    });
}

void AppearanceDialog::PickColor() {
  const int row = std::max(0, lst_col_->currentRow());
  dialogs_.PickColor(this, FromBgr(core_.instance().working.Color[row]),
                     [this, row](std::optional<QColor> chosen) {
                       if (!chosen || !chosen->isValid()) return;
                       core_.instance().working.Color[row] = ToBgr(*chosen);
                       ShowRefresh();
                     });
}

void AppearanceDialog::OnOk() {
  core_.ApplyWorkingSettings();
  hide();
  if (parentWidget()) parentWidget()->activateWindow();
  emit applied();
  emit dismissed();
}

void AppearanceDialog::OnCancel() {
  hide();
  if (parentWidget()) parentWidget()->activateWindow();
  emit dismissed();
}

void AppearanceDialog::OnReset() {
  core_.ResetAppearanceSettings();
  ShowRefresh();
}

}  // namespace quillora
