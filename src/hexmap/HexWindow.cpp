#include "hexmap/HexWindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "core/Instance.h"
#include "core/SessionState.h"
#include "hexmap/HexMap.h"
#include "hexmap/HexMapView.h"
#include "hexmap/HexRenderer.h"
#include "hexmap/HexSetupDialog.h"
#include "hexmap/HexSprites.h"
#include "hexmap/MapFile.h"
#include "ui/Dialogs.h"
#include "ui/ToolMenus.h"

namespace quillora {

namespace {

const QString kErrorTitle = QStringLiteral("機能エラー");
const QString kReadErrorTitle = QStringLiteral("ファイル読み込みエラー");
const char* const kEntry = "entry";
constexpr int kStackCycleMs = 2000;

QColor ToColor(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
uint32_t FromColor(const QColor& c) {
  return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
         (static_cast<uint32_t>(c.blue()) << 16);
}

void Paint(QLabel* swatch, uint32_t colour) {
  swatch->setStyleSheet(
      QStringLiteral("background-color: %1; border: 1px solid #555;").arg(ToColor(colour).name()));
}

}  // namespace

HexWindow::HexWindow(Instance& instance, HexMap& map, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent),
      instance_(instance),
      map_(map),
      dialogs_(dialogs),
      sprites_(std::make_unique<HexSprites>()),
      renderer_(std::make_unique<HexRenderer>(*sprites_)) {
  setObjectName(QStringLiteral("frmHex"));
  setWindowTitle(QStringLiteral("ＨＥＸ機能"));
  BuildMenus();
  BuildArea();

  setup_ = new HexSetupDialog(
      instance_, map_, dialogs_, [this] { return view_->size(); }, this);
  connect(setup_, &HexSetupDialog::created, this, [this] {
    if (!GeneralMode()) {
      general_->setChecked(true);
      hint_->hide();
      area_->show();
      statusBar()->show();
    }
  });

  stack_timer_.setObjectName(QStringLiteral("tmrUnivHex"));
  stack_timer_.setInterval(kStackCycleMs);
  connect(&stack_timer_, &QTimer::timeout, this, &HexWindow::CycleStacks);

  connect(&map_, &HexMap::currentPageChanged, this, &HexWindow::OnPageChanged);
  connect(&map_, &HexMap::pagesChanged, this, &HexWindow::UpdateEnabled);
  connect(&map_, &HexMap::cellsChanged, this, [this](int page, const QVector<QPoint>& cells) {
    if (page == map_.CurrentPage()) view_->RedrawCells(cells);
  });
  connect(&map_, &HexMap::stacksChanged, this, &HexWindow::OnStacksChanged);
  connect(&map_, &HexMap::statusText, this, &HexWindow::SetHint);
  connect(&map_, &HexMap::setupReceived, setup_, &HexSetupDialog::SetChoices);
  connect(&map_, &HexMap::dragCancelled, this, [this] { SetHint(HexMap::ModeHint(mode_)); });

  ShowModeHint();
  connect(&instance_.session_state(), &SessionState::modeChanged, this, [this] { ShowModeHint(); });

  chosen_ = instance_.settings.HexColor[0];
  ShowPalette();
  SetMode(kColour);
  UpdateEnabled();
  area_->hide();
  statusBar()->hide();
  resize(640, 520);
}

HexWindow::~HexWindow() = default;

void HexWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル"));
  file->setObjectName(QStringLiteral("mnuFile"));
  open_ = file->addAction(QStringLiteral("開く"), this, &HexWindow::OpenFile);
  open_->setObjectName(QStringLiteral("mnuFileSub_0"));
  save_ = file->addAction(QStringLiteral("保存"), this, &HexWindow::SaveFile);
  save_->setObjectName(QStringLiteral("mnuFileSub_1"));

  // The only mode; choosing it again shows the map again and, on the server, the set-up.
  QMenu* mode = menuBar()->addMenu(QStringLiteral("モード"));
  mode->setObjectName(QStringLiteral("mnuMode"));
  general_ = mode->addAction(QStringLiteral("汎用モード"));
  general_->setObjectName(QStringLiteral("mnuModeSub_0"));
  general_->setCheckable(true);
  connect(general_, &QAction::triggered, this, [this] { ChooseGeneralMode(); });

  QMenu* options = menuBar()->addMenu(QStringLiteral("オプション"));
  options->setObjectName(QStringLiteral("mnuOpt"));
  AddTopmostAction(options, this, QStringLiteral("常に手前に表示"), QStringLiteral("mnuOptSub_0"));
  repair_ = options->addAction(QStringLiteral("途中参加/修復"), this, &HexWindow::Repair);
  repair_->setObjectName(QStringLiteral("mnuOptSub_1"));
}

void HexWindow::BuildArea() {
  auto* central = new QWidget;
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  hint_ = new QLabel;
  hint_->setObjectName(QStringLiteral("lblModeHint"));
  hint_->setWordWrap(true);
  hint_->setMargin(8);
  outer->addWidget(hint_);

  area_ = new QWidget;
  area_->setObjectName(QStringLiteral("fraHex"));
  outer->addWidget(area_, 1);
  auto* rows = new QVBoxLayout(area_);
  rows->setContentsMargins(4, 4, 4, 0);
  rows->setSpacing(4);

  // Tools, options and pages in one bar above the map.
  auto* bar = new QHBoxLayout;
  bar->setSpacing(2);
  const char* mode_captions[4] = {"追加", "削除", "移動", "色塗り"};
  const char* mode_tips[4] = {"コマを加える", "コマを削除する", "コマを動かす",
                              "ＨＥＸに色をつける"};
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  for (int i = 0; i < 4; ++i) {
    modes_[i] = new QToolButton;
    modes_[i]->setObjectName(QStringLiteral("optSelHexMode_%1").arg(i));
    modes_[i]->setText(QString::fromUtf8(mode_captions[i]));
    modes_[i]->setToolTip(QString::fromUtf8(mode_tips[i]));
    modes_[i]->setCheckable(true);
    group->addButton(modes_[i], i);
    bar->addWidget(modes_[i]);
    connect(modes_[i], &QToolButton::clicked, this, [this, i] { SetMode(i + 1); });
  }
  auto separator = [bar] {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    bar->addSpacing(4);
    bar->addWidget(line);
    bar->addSpacing(4);
  };
  separator();
  const char* option_captions[2] = {"重なり切替", "文字表示"};
  const char* option_tips[2] = {"重なっているコマを切り替える/切り替えない", "文字の表示/非表示"};
  for (int i = 0; i < 2; ++i) {
    options_[i] = new QToolButton;
    options_[i]->setObjectName(QStringLiteral("chkOpt_%1").arg(i));
    options_[i]->setText(QString::fromUtf8(option_captions[i]));
    options_[i]->setToolTip(QString::fromUtf8(option_tips[i]));
    options_[i]->setCheckable(true);
    bar->addWidget(options_[i]);
  }
  connect(options_[0], &QToolButton::toggled, this, &HexWindow::OnStackOption);
  connect(options_[1], &QToolButton::toggled, this, [this](bool on) {
    view_->SetLabels(on);
    view_->RedrawAll();
  });
  separator();
  const char* page_captions[3] = {"◀", "▶", "新規"};
  const char* page_tips[3] = {"前のページへ", "後のページへ", "新しいページを作成"};
  for (int i = 0; i < 3; ++i) {
    page_buttons_[i] = new QToolButton;
    page_buttons_[i]->setObjectName(QStringLiteral("cmdPageCtrl_%1").arg(i));
    page_buttons_[i]->setText(QString::fromUtf8(page_captions[i]));
    page_buttons_[i]->setToolTip(QString::fromUtf8(page_tips[i]));
  }
  page_box_ = new QLineEdit;
  page_box_->setObjectName(QStringLiteral("txtCurPage"));
  page_box_->setAlignment(Qt::AlignCenter);
  page_box_->setValidator(new QIntValidator(0, kHexMaxPages, page_box_));
  page_box_->setFixedWidth(page_box_->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 14);
  bar->addWidget(page_buttons_[0]);
  bar->addWidget(page_box_);
  bar->addWidget(page_buttons_[1]);
  bar->addWidget(page_buttons_[2]);
  bar->addStretch(1);
  rows->addLayout(bar);
  connect(page_buttons_[0], &QToolButton::clicked, this,
          [this] { map_.GoToPage(map_.CurrentPage() - 1); });
  connect(page_buttons_[1], &QToolButton::clicked, this,
          [this] { map_.GoToPage(map_.CurrentPage() + 1); });
  connect(page_buttons_[2], &QToolButton::clicked, this, [this] { OpenSetup(); });
  connect(page_box_, &QLineEdit::returnPressed, this, &HexWindow::GoToTypedPage);

  // The palette at the left, the map with its scroll bars beside it.
  auto* body = new QHBoxLayout;
  body->setSpacing(4);
  body->addWidget(BuildPalette());
  auto* grid = new QGridLayout;
  grid->setSpacing(0);
  view_ = new HexMapView(map_, *renderer_);
  hscroll_ = new QScrollBar(Qt::Horizontal);
  hscroll_->setObjectName(QStringLiteral("hscMain"));
  vscroll_ = new QScrollBar(Qt::Vertical);
  vscroll_->setObjectName(QStringLiteral("vscMain"));
  grid->addWidget(view_, 0, 0);
  grid->addWidget(vscroll_, 0, 1);
  grid->addWidget(hscroll_, 1, 0);
  body->addLayout(grid, 1);
  rows->addLayout(body, 1);
  connect(hscroll_, &QScrollBar::valueChanged, this, &HexWindow::OnScrolled);
  connect(vscroll_, &QScrollBar::valueChanged, this, &HexWindow::OnScrolled);
  connect(view_, &HexMapView::resized, this, &HexWindow::SetUpScrollBars);
  connect(view_, &HexMapView::pressed, this, &HexWindow::OnPressed);
  connect(view_, &HexMapView::moved, this, &HexWindow::OnMoved);
  connect(view_, &HexMapView::released, this, &HexWindow::OnReleased);
  setCentralWidget(central);

  xy_panel_ = new QLabel;
  xy_panel_->setObjectName(QStringLiteral("XYPos"));
  xy_panel_->setMinimumWidth(
      xy_panel_->fontMetrics().horizontalAdvance(QStringLiteral("( 255 , 255 )")) + 8);
  sys_panel_ = new QLabel;
  sys_panel_->setObjectName(QStringLiteral("SysMes"));
  statusBar()->setObjectName(QStringLiteral("stbMain"));
  statusBar()->addWidget(xy_panel_);
  statusBar()->addWidget(sys_panel_, 1);
}

QWidget* HexWindow::BuildPalette() {
  auto* palette = new QWidget;
  palette->setObjectName(QStringLiteral("fraColor"));
  auto* column = new QVBoxLayout(palette);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(4);
  chosen_label_ = new QLabel;
  chosen_label_->setObjectName(QStringLiteral("lblColorSelected"));
  chosen_label_->setFixedSize(44, 24);
  chosen_label_->setToolTip(QStringLiteral("選択色"));
  column->addWidget(chosen_label_);
  auto* grid = new QGridLayout;
  grid->setSpacing(2);
  for (int i = 0; i < 17; ++i) {
    swatches_[i] = new QLabel;
    swatches_[i]->setObjectName(QStringLiteral("lblColorSelect_%1").arg(i));
    swatches_[i]->setFixedSize(20, 20);
    swatches_[i]->setProperty(kEntry, i);
    swatches_[i]->setToolTip(QStringLiteral("クリック：選択　ダブルクリック：色の変更"));
    swatches_[i]->installEventFilter(this);
    grid->addWidget(swatches_[i], i / 2, i % 2);
  }
  column->addLayout(grid);
  column->addStretch(1);
  return palette;
}

void HexWindow::ShowPalette() {
  for (int i = 0; i < 17; ++i) Paint(swatches_[i], instance_.settings.HexColor[i]);
  Paint(chosen_label_, chosen_);
}

void HexWindow::ChooseColour(int entry) {
  if (entry < 0 || entry >= 17) return;
  chosen_ = instance_.settings.HexColor[entry] & 0xFFFFFF;
  Paint(chosen_label_, chosen_);
}

void HexWindow::EditColour(int entry) {
  if (entry < 0 || entry >= 17) return;
  dialogs_.PickColor(this, ToColor(instance_.settings.HexColor[entry]),
                     [this, entry](std::optional<QColor> picked) {
                       if (!picked) return;
                       instance_.settings.HexColor[entry] = FromColor(*picked);
                       chosen_ = FromColor(*picked);
                       ShowPalette();
                     });
}

bool HexWindow::eventFilter(QObject* watched, QEvent* event) {
  const QVariant entry = watched->property(kEntry);
  if (entry.isValid()) {
    if (event->type() == QEvent::MouseButtonPress) {
      ChooseColour(entry.toInt());
      return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
      EditColour(entry.toInt());
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- mode and state ----------------------------------------------------------------------------

bool HexWindow::GeneralMode() const { return general_->isChecked(); }

void HexWindow::ShowModeHint() {
  // A client gets the maps from the server; only the server's user makes the first one.
  hint_->setText(instance_.SessionMode == ModeClient
                     ? QStringLiteral("「オプション」メニューの「途中参加/修復」を選ぶと"
                                      "サーバーからマップが届きます")
                     : QStringLiteral("「モード」メニューの「汎用モード」を選ぶと"
                                      "マップが表示されます"));
}

void HexWindow::ChooseGeneralMode() {
  general_->setChecked(true);
  hint_->hide();
  area_->show();
  statusBar()->show();
  UpdateEnabled();
  if (instance_.SessionMode == ModeServer) {
    // The others open their map once the set-up is done, after the new page's message.
    OpenSetup([this] { map_.AnnounceOpened(); });
  }
}

void HexWindow::OpenSetup(std::function<void()> closed) { setup_->Open(std::move(closed)); }

void HexWindow::UpdateEnabled() {
  const bool has_map = map_.Current() != nullptr && map_.HasMap();
  for (QToolButton* b : modes_) b->setEnabled(has_map);
  for (QToolButton* b : options_) b->setEnabled(has_map);
  view_->setEnabled(has_map);
  open_->setEnabled(has_map);
  save_->setEnabled(has_map);
  // Only the server's user pages through the maps; the others follow.
  const bool server = instance_.SessionMode == ModeServer;
  page_buttons_[0]->setEnabled(server && map_.CurrentPage() > 1);
  page_buttons_[1]->setEnabled(server && map_.CurrentPage() < map_.PageCount());
  page_buttons_[2]->setEnabled(server);
  page_box_->setEnabled(server && has_map);
}

void HexWindow::SetMode(int mode) {
  if (mode < kAdd || mode > kColour) return;
  mode_ = mode;
  modes_[mode - 1]->setChecked(true);
  SetHint(HexMap::ModeHint(mode));
}

void HexWindow::SetHint(const QString& text) { sys_panel_->setText(text); }

void HexWindow::OnPageChanged(int page) {
  page_box_->setText(page > 0 ? QString::number(page) : QString());
  stack_timer_.stop();
  options_[0]->setChecked(false);
  SetMode(kColour);
  stroke_button_ = Qt::NoButton;
  // A page that arrives from the others shows the map on a client too.
  if (!GeneralMode() && map_.HasMap()) {
    general_->setChecked(true);
    hint_->hide();
    area_->show();
    statusBar()->show();
  }
  UpdateEnabled();
  SetUpScrollBars();
  view_->RedrawAll();
}

void HexWindow::SetUpScrollBars() {
  const HexPage* page = map_.Current();
  scrolling_ = true;
  if (!page || page->header.column_step <= 0 || page->header.row_step <= 0) {
    hscroll_->setRange(1, 1);
    vscroll_->setRange(1, 1);
    hscroll_->setEnabled(false);
    vscroll_->setEnabled(false);
    scrolling_ = false;
    return;
  }
  const HexMapPage& h = page->header;
  const int fit_columns = std::max(1, view_->width() / h.column_step);
  const int fit_rows = std::max(1, view_->height() / h.row_step);
  hscroll_->setRange(1, std::max(1, h.columns - fit_columns + 1));
  vscroll_->setRange(1, std::max(1, h.rows - fit_rows + 1));
  hscroll_->setPageStep(fit_columns);
  vscroll_->setPageStep(fit_rows);
  hscroll_->setEnabled(h.columns > fit_columns);
  vscroll_->setEnabled(h.rows > fit_rows);
  hscroll_->setValue(h.first_column);
  vscroll_->setValue(h.first_row);
  scrolling_ = false;
  if (hscroll_->value() != h.first_column || vscroll_->value() != h.first_row) OnScrolled();
}

void HexWindow::OnScrolled() {
  if (scrolling_) return;
  map_.SetFirstCell(hscroll_->value(), vscroll_->value());
  view_->RedrawAll();
}

void HexWindow::GoToTypedPage() {
  bool ok = false;
  const int page = page_box_->text().toInt(&ok);
  if (!ok || !map_.GoToPage(page)) page_box_->setText(QString::number(map_.CurrentPage()));
}

// --- stacks --------------------------------------------------------------------------------------

void HexWindow::OnStacksChanged(int page) {
  const HexPage* current = map_.Current();
  if (page != map_.CurrentPage() || !current) return;
  if (current->header.stacked_cells <= 0) {
    stack_timer_.stop();
  } else if (options_[0]->isChecked() && !stack_timer_.isActive()) {
    stack_timer_.start();
  }
}

void HexWindow::OnStackOption(bool on) {
  const HexPage* current = map_.Current();
  if (on && current && current->header.stacked_cells > 0) {
    stack_timer_.start();
  } else if (!on) {
    stack_timer_.stop();
  }
}

void HexWindow::CycleStacks() {
  const HexPage* page = map_.Current();
  if (!page) return;
  const QPoint first(page->header.first_column, page->header.first_row);
  map_.CycleStacks(first, LastVisibleCell(page->header, view_->width(), view_->height()));
}

// --- mouse ---------------------------------------------------------------------------------------

void HexWindow::OnPressed(QPoint cell, Qt::MouseButton button) {
  if (cell.isNull()) return;
  switch (mode_) {
    case kAdd:
      if (button == Qt::LeftButton) map_.AddPieceAt(cell, chosen_);
      break;
    case kDelete:
      if (button == Qt::LeftButton) map_.DeletePieceAt(cell);
      break;
    case kMove:
      map_.BeginDrag(cell);
      break;
    default:
      if (button != Qt::LeftButton && button != Qt::RightButton) return;
      stroke_button_ = button;
      map_.BeginStroke();
      OnMoved(cell, button);
      break;
  }
}

void HexWindow::OnMoved(QPoint cell, Qt::MouseButtons buttons) {
  if (cell.isNull()) return;
  xy_panel_->setText(QStringLiteral("( %1 , %2 )").arg(cell.x()).arg(cell.y()));
  if (mode_ == kMove && map_.Dragging()) {
    map_.DragOver(cell);
  } else if (mode_ == kColour && stroke_button_ != Qt::NoButton) {
    if (buttons & Qt::LeftButton) {
      map_.PaintOver(cell, chosen_);
    } else if (buttons & Qt::RightButton) {
      map_.PaintOver(cell, kHexWhite);
    }
  }
}

void HexWindow::OnReleased(QPoint, Qt::MouseButton button) {
  if (mode_ == kMove && map_.Dragging()) {
    map_.EndDrag(button);
  } else if (mode_ == kColour && stroke_button_ != Qt::NoButton) {
    stroke_button_ = Qt::NoButton;
    map_.EndStroke(button == Qt::LeftButton ? chosen_ : kHexWhite);
  }
}

// --- menus ---------------------------------------------------------------------------------------

void HexWindow::Repair() {
  if (instance_.SessionMode == ModeServer) {
    dialogs_.Message(this, kErrorTitle,
                     QStringLiteral("サーバーモードではこの機能は利用できません"),
                     Dialogs::Icon::Warning);
    return;
  }
  map_.RequestMaps();
}

void HexWindow::OpenFile() {
  if (!map_.Current()) return;
  dialogs_.OpenFile(this, QStringLiteral("開く"), instance_.ProgramFolder(),
                    QStringLiteral("マップ定義ファイル(*.mh0) (*.mh0)"), [this](QString path) {
                      if (path.isEmpty()) return;
                      QString error;
                      if (!map_.OpenMapFile(path, &error)) {
                        dialogs_.Message(this, kReadErrorTitle, error, Dialogs::Icon::Warning);
                      }
                    });
}

void HexWindow::SaveFile() {
  if (!map_.Current()) return;
  dialogs_.SaveFile(this, QStringLiteral("保存"), instance_.ProgramFolder(),
                    QStringLiteral("マップファイル(*.mh0) (*.mh0)"), QStringLiteral("mh0"),
                    [this](QString path) {
                      if (path.isEmpty()) return;
                      QString error;
                      if (!map_.SaveCurrentPage(MapFileName(path), &error)) {
                        dialogs_.Message(this, kErrorTitle, error, Dialogs::Icon::Warning);
                      }
                    });
}

}  // namespace quillora
