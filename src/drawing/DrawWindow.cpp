#include "drawing/DrawWindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/Colors.h"
#include "core/Instance.h"
#include "drawing/DrawView.h"
#include "ui/Dialogs.h"
#include "ui/ToolMenus.h"

namespace quillora {

namespace {

const QString kTag = QStringLiteral("frmDraw");
const char* const kIndex = "index";

const char* const kToolTips[DrawWindow::kToolCount] = {"現在このボタンは機能しません",
                                                       "ポインタで場所を示す",
                                                       "文字を描く",
                                                       "自由な曲線を描く",
                                                       "１本の線を描く",
                                                       "連続した線を描く",
                                                       "四角形を描く",
                                                       "中を塗りつぶした四角形を描く",
                                                       "円を描く",
                                                       "中を塗りつぶした円を描く",
                                                       "絵を消しゴムで消す",
                                                       "絵を全て消去"};

const char* const kPageTips[3] = {"前のページへ", "次のページへ", "新しいページを作成"};
const char* const kPageCaptions[3] = {"◀", "▶", "＋"};

constexpr int kEraserStep = 8;
constexpr int kEraserCycle = 72;  // sizes 0, 8, ..., 64
constexpr int kIconSize = 24;

// The tool buttons' pictures, drawn here so they stay sharp at any scale.
QIcon ToolIcon(int tool) {
  QPixmap pixmap(kIconSize * 2, kIconSize * 2);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(2, 2);
  const QColor ink(40, 40, 48);
  p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  switch (tool) {
    case DrawWindow::kNoTool:
      p.setPen(QPen(QColor(160, 160, 160), 1.2, Qt::DotLine));
      p.drawRect(QRectF(5, 5, 14, 14));
      break;
    case DrawWindow::kPointer: {
      QFont f = p.font();
      f.setPixelSize(18);
      f.setBold(true);
      p.setFont(f);
      p.setPen(QColor(200, 40, 40));
      p.drawText(QRectF(0, 0, kIconSize, kIconSize), Qt::AlignCenter, QStringLiteral("←"));
      break;
    }
    case DrawWindow::kText: {
      QFont f = p.font();
      f.setPixelSize(18);
      f.setBold(true);
      p.setFont(f);
      p.drawText(QRectF(0, 0, kIconSize, kIconSize), Qt::AlignCenter, QStringLiteral("A"));
      break;
    }
    case DrawWindow::kFreehand: {
      QPainterPath path(QPointF(3, 17));
      path.cubicTo(QPointF(7, 2), QPointF(12, 24), QPointF(21, 6));
      p.drawPath(path);
      break;
    }
    case DrawWindow::kLine:
      p.drawLine(QPointF(4, 20), QPointF(20, 4));
      break;
    case DrawWindow::kPolyline: {
      const QPointF pts[] = {{3, 19}, {9, 6}, {15, 16}, {21, 5}};
      p.drawPolyline(pts, 4);
      break;
    }
    case DrawWindow::kBox:
    case DrawWindow::kFilledBox:
      if (tool == DrawWindow::kFilledBox) p.setBrush(QColor(70, 110, 190));
      p.drawRect(QRectF(4, 6, 16, 12));
      break;
    case DrawWindow::kEllipse:
    case DrawWindow::kFilledEllipse:
      if (tool == DrawWindow::kFilledEllipse) p.setBrush(QColor(70, 110, 190));
      p.drawEllipse(QRectF(4, 4, 16, 16));
      break;
    case DrawWindow::kEraser:
      p.setBrush(QColor(250, 190, 200));
      p.translate(12, 12);
      p.rotate(-35);
      p.drawRoundedRect(QRectF(-9, -5, 18, 10), 2, 2);
      p.drawLine(QPointF(-2, -5), QPointF(-2, 5));
      break;
    case DrawWindow::kErasePage:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(5, 3, 14, 18));
      p.setPen(QPen(QColor(200, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(8, 8), QPointF(16, 16));
      p.drawLine(QPointF(16, 8), QPointF(8, 16));
      break;
    default:
      break;
  }
  p.end();
  return QIcon(pixmap);
}

void PaintSwatch(QLabel* label, uint32_t bgr) {
  label->setStyleSheet(
      QStringLiteral("background-color: %1; border: 1px solid #606060;").arg(FromBgr(bgr).name()));
}

}  // namespace

DrawWindow::DrawWindow(Instance& instance, DrawBoard& board, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), instance_(instance), board_(board), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmDraw"));
  setWindowTitle(QStringLiteral("お絵描き機能"));
  font_.name = QFont().family();
  font_.size = 12;
  BuildMenus();
  BuildControls();
  RefreshPalette();
  ChooseSwatch(0, false);
  SelectTool(kFreehand);
  ShowPageNumber();
  connect(&board_, &DrawBoard::pagesChanged, this, &DrawWindow::ShowPageNumber);
}

void DrawWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル"));
  file->setObjectName(QStringLiteral("mnuFile"));
  const char* const captions[3] = {"開く", "保存", "名前を付けて保存"};
  using Command = void (DrawWindow::*)();
  const Command commands[3] = {&DrawWindow::OpenImage, &DrawWindow::Save, &DrawWindow::SaveAs};
  for (int i = 0; i < 3; ++i) {
    QAction* a = file->addAction(QString::fromUtf8(captions[i]), this, commands[i]);
    a->setObjectName(QStringLiteral("mnuFileSub_%1").arg(i));
  }

  QAction* mode = AddSingleModeMenu(menuBar(), QStringLiteral("汎用モード"));
  mode->setObjectName(QStringLiteral("mnuDrawModeSub_0"));

  QMenu* options = menuBar()->addMenu(QStringLiteral("オプション"));
  options->setObjectName(QStringLiteral("mnuOpt"));
  topmost_ = AddTopmostAction(options, this, QStringLiteral("常に手前に表示"),
                              QStringLiteral("mnuOptSub_0"));
  QAction* repair =
      options->addAction(QStringLiteral("途中参加/絵修復"), this, &DrawWindow::Repair);
  repair->setObjectName(QStringLiteral("mnuOptSub_1"));
}

void DrawWindow::BuildControls() {
  auto* central = new QWidget;
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(4, 4, 4, 4);
  row->setSpacing(6);
  row->addWidget(BuildTools(), 0, Qt::AlignTop);

  auto* column = new QVBoxLayout;
  column->setSpacing(4);
  column->addWidget(BuildPageBar());
  view_ = new DrawView(board_);
  auto* scroll = new QScrollArea;
  scroll->setObjectName(QStringLiteral("scrPage"));
  scroll->setWidget(view_);
  scroll->setAlignment(Qt::AlignCenter);
  scroll->setBackgroundRole(QPalette::Dark);
  column->addWidget(scroll, 1);
  column->addWidget(BuildPalette());
  row->addLayout(column, 1);
  setCentralWidget(central);

  // Open large enough for the whole page where the screen allows, else as large as it allows.
  const int frame = 2 * scroll->frameWidth();
  scroll->setMinimumSize(view_->size() + QSize(frame, frame));
  const QSize whole = sizeHint();
  scroll->setMinimumSize(160, 120);
  QSize room(1280, 960);
  if (QScreen* s = screen()) room = s->availableGeometry().size() * 9 / 10;
  resize(whole.boundedTo(room));

  text_ = new QLineEdit(view_);
  text_->setObjectName(QStringLiteral("txtInputChr"));
  text_->setFrame(true);
  text_->hide();
  text_->installEventFilter(this);
  connect(text_, &QLineEdit::textChanged, this, &DrawWindow::FitTextBox);
  connect(text_, &QLineEdit::returnPressed, this, [this] {
    CommitText();
    text_->hide();
  });

  connect(view_, &DrawView::pressed, this,
          [this](QPointF pos, Qt::MouseButton button, Qt::KeyboardModifiers) {
            OnPressed(pos, button);
          });
  connect(view_, &DrawView::moved, this, &DrawWindow::OnMoved);
  connect(view_, &DrawView::released, this, &DrawWindow::OnReleased);
  connect(view_, &DrawView::focusLost, this, [this] {
    if (polyline_ && !text_->hasFocus()) EndPolyline();
  });
  connect(view_, &DrawView::placementChanged, this, &DrawWindow::PlaceTextBox);

  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("stbMain"));
  xy_ = new QLabel;
  xy_->setObjectName(QStringLiteral("XYPos"));
  xy_->setMinimumWidth(xy_->fontMetrics().horizontalAdvance(QStringLiteral("( 0000 , 0000 )")));
  bar->addWidget(xy_);
}

QWidget* DrawWindow::BuildTools() {
  auto* box = new QWidget;
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(2);
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  for (int i = 0; i < kToolCount; ++i) {
    auto* b = new QToolButton;
    b->setObjectName(QStringLiteral("optSelDrawMode_%1").arg(i));
    b->setToolTip(QString::fromUtf8(kToolTips[i]));
    b->setCheckable(true);
    b->setIcon(ToolIcon(i));
    b->setIconSize(QSize(kIconSize, kIconSize));
    b->setAutoRaise(false);
    group->addButton(b, i);
    grid->addWidget(b, i / 2, i % 2);
    tools_[i] = b;
  }
  connect(group, &QButtonGroup::idClicked, this, &DrawWindow::SelectTool);
  return box;
}

QWidget* DrawWindow::BuildPageBar() {
  auto* bar = new QWidget;
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(3);
  for (int i = 0; i < 3; ++i) {
    auto* b = new QPushButton(QString::fromUtf8(kPageCaptions[i]));
    b->setObjectName(QStringLiteral("cmdPageCtrl_%1").arg(i));
    b->setToolTip(QString::fromUtf8(kPageTips[i]));
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("＋")) + 24);
    b->installEventFilter(this);  // to see Ctrl on the click
    connect(b, &QPushButton::clicked, this, [this, i] { PageButton(i); });
    page_buttons_[i] = b;
    row->addWidget(b);
    if (i == 1) {
      page_box_ = new QLineEdit;
      page_box_->setObjectName(QStringLiteral("txtCurPage"));
      page_box_->setAlignment(Qt::AlignRight);
      page_box_->setFixedWidth(page_box_->fontMetrics().horizontalAdvance(QStringLiteral("0000")) +
                               12);
      page_box_->installEventFilter(this);
      row->insertWidget(1, page_box_);
    }
  }
  row->addStretch(1);
  auto* caption = new QLabel(QStringLiteral("現在の色"));
  row->addWidget(caption);
  selected_ = new QLabel;
  selected_->setObjectName(QStringLiteral("lblColorSelected"));
  selected_->setFixedSize(40, 20);
  row->addWidget(selected_);
  return bar;
}

QWidget* DrawWindow::BuildPalette() {
  auto* box = new QWidget;
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(2);
  for (int i = 0; i < kSwatches; ++i) {
    auto* swatch = new QLabel;
    swatch->setObjectName(QStringLiteral("lblColorSelect_%1").arg(i));
    swatch->setProperty(kIndex, i);
    swatch->setMinimumSize(16, 16);
    swatch->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    swatch->setFixedHeight(18);
    swatch->setToolTip(QStringLiteral("クリックで選択、ダブルクリックで色を変更"));
    swatch->installEventFilter(this);
    grid->addWidget(swatch, i / 16, i % 16);
    swatches_[i] = swatch;
  }
  return box;
}

void DrawWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  RefreshPalette();  // the settings may have been read after the window was built
}

void DrawWindow::RefreshPalette() {
  for (int i = 0; i < kSwatches; ++i) PaintSwatch(swatches_[i], instance_.settings.DrawColor[i]);
}

void DrawWindow::ShowColour() { PaintSwatch(selected_, colour_); }

void DrawWindow::ChooseSwatch(int index, bool pick) {
  if (index < 0 || index >= kSwatches) return;
  auto take = [this, index](uint32_t colour) {
    instance_.settings.DrawColor[index] = colour;
    PaintSwatch(swatches_[index], colour);
    colour_ = colour;
    ShowColour();
    if (tool_ == kPointer) board_.RecolourPointer(colour_);
  };
  if (!pick) {
    take(instance_.settings.DrawColor[index]);
    return;
  }
  dialogs_.PickColor(this, FromBgr(instance_.settings.DrawColor[index]),
                     [take](std::optional<QColor> chosen) {
                       if (chosen) take(ToBgr(*chosen));
                     });
}

void DrawWindow::SelectTool(int tool) {
  if (tool < 0 || tool >= kToolCount) return;
  if (polyline_) EndPolyline();
  tool_ = tool;
  tools_[tool]->setChecked(true);
  if (tool == kPointer) board_.RecolourPointer(colour_);
  if (tool == kEraser) eraser_size_ = kEraserStep;
}

// --- the mouse on the page ---------------------------------------------------------------------

void DrawWindow::OnPressed(QPointF exact, Qt::MouseButton button) {
  const QPoint at = exact.toPoint();  // whole page units from here on
  const QPointF pos(at);
  const bool left = button == Qt::LeftButton;
  const bool right = button == Qt::RightButton;
  switch (tool_) {
    case kPointer:
      if (left) {
        // The click shows the pointer to everyone at once; a drag from here sends its end.
        board_.PlacePointer(pos, colour_);
        moving_pointer_ = true;
        pointer_from_ = pos;
      } else if (right) {
        board_.HidePointer();
      }
      break;
    case kText:
      if (left) {
        CommitText();
        text_pos_ = pos;
        PlaceTextBox();
        text_->show();
        text_->setFocus(Qt::MouseFocusReason);
      } else if (right) {
        text_->hide();
      }
      break;
    case kFreehand:
      if (left) board_.BeginStroke(at, colour_);
      break;
    case kLine:
    case kBox:
    case kFilledBox:
    case kEllipse:
    case kFilledEllipse:
      if (left) {
        anchor_ = pos;
        dragging_ = true;
        ShowPreview(pos);
      }
      break;
    case kPolyline:
      if (left) {
        if (polyline_) board_.DrawShape(draw::kLine, anchor_.toPoint(), at, colour_);
        polyline_ = true;
        anchor_ = pos;
        ShowPreview(pos);
      } else if (right) {
        EndPolyline();
      }
      break;
    case kEraser:
      if (left) {
        board_.BeginErase(at, eraser_size_);
      } else if (right) {
        eraser_size_ = (eraser_size_ + kEraserStep) % kEraserCycle;
      }
      break;
    case kErasePage:
      if (left) {
        dialogs_.ConfirmOkCancel(this, QStringLiteral("消去確認"),
                                 QStringLiteral("画面を消去します。よろしいですか？"),
                                 [this](bool yes) {
                                   if (yes) board_.ErasePage();
                                 });
      }
      break;
    default:
      break;
  }
}

void DrawWindow::OnMoved(QPointF exact, Qt::MouseButtons buttons) {
  const QPoint at = exact.toPoint();
  xy_->setText(QStringLiteral("( %1 , %2 )").arg(at.x()).arg(at.y()));
  const bool left = buttons.testFlag(Qt::LeftButton);
  switch (tool_) {
    case kPointer:
      if (left && moving_pointer_) board_.DragPointer(QPointF(at));
      break;
    case kFreehand:
      if (left) board_.ExtendStroke(at);
      break;
    case kEraser:
      if (left) board_.ExtendErase(at);
      break;
    case kPolyline:
      if (polyline_) ShowPreview(QPointF(at));
      break;
    default:
      if (dragging_ && left) ShowPreview(QPointF(at));
      break;
  }
}

void DrawWindow::OnReleased(QPointF exact, Qt::MouseButton button) {
  if (button != Qt::LeftButton) return;
  const QPoint at = exact.toPoint();
  switch (tool_) {
    case kPointer:
      if (moving_pointer_ && QPointF(at) != pointer_from_)
        board_.PlacePointer(QPointF(at), colour_);
      moving_pointer_ = false;
      break;
    case kFreehand:
      board_.EndStroke();
      break;
    case kEraser:
      board_.EndErase();
      break;
    case kLine:
    case kBox:
    case kFilledBox:
      if (!dragging_) break;
      board_.DrawShape(tool_ == kLine  ? draw::kLine
                       : tool_ == kBox ? draw::kBox
                                       : draw::kFilledBox,
                       anchor_.toPoint(), at, colour_);
      break;
    case kEllipse:
    case kFilledEllipse:
      if (dragging_) board_.DrawEllipse(anchor_, QPointF(at), colour_, tool_ == kFilledEllipse);
      break;
    default:
      break;
  }
  if (dragging_) view_->ClearPreview();
  dragging_ = false;
}

void DrawWindow::ShowPreview(QPointF to) {
  DrawView::Preview preview;
  preview.a = anchor_;
  preview.b = to;
  preview.colour = FromBgr(colour_);
  switch (tool_) {
    case kLine:
    case kPolyline:
      preview.kind = DrawView::Preview::kLine;
      break;
    case kBox:
    case kFilledBox:
      preview.kind = DrawView::Preview::kBox;
      preview.filled = tool_ == kFilledBox;
      break;
    case kEllipse:
    case kFilledEllipse:
      preview.kind = DrawView::Preview::kEllipse;
      preview.filled = tool_ == kFilledEllipse;
      break;
    default:
      return;
  }
  view_->SetPreview(preview);
}

void DrawWindow::EndPolyline() {
  polyline_ = false;
  view_->ClearPreview();
}

// --- text --------------------------------------------------------------------------------------

void DrawWindow::CommitText() {
  const QString text = text_->text();
  if (!text_->isVisible() || text.isEmpty()) return;
  board_.DrawText(text_pos_, colour_, text, font_);
  text_->clear();
}

void DrawWindow::PlaceTextBox() {
  // The box shows the text as large as it will be printed on the page as now scaled.
  QFont font(font_.name);
  font.setPixelSize(
      std::max(6, static_cast<int>(std::lround(font_.size * 96.0 / 72.0 * view_->Scale()))));
  font.setBold(font_.bold);
  font.setItalic(font_.italic);
  font.setStrikeOut(font_.strikeout);
  font.setUnderline(font_.underline);
  text_->setFont(font);
  QPalette colours = text_->palette();
  colours.setColor(QPalette::Text, FromBgr(colour_));
  text_->setPalette(colours);
  text_->move(view_->ToView(text_pos_).toPoint() - QPoint(3, 3));
  FitTextBox();
}

void DrawWindow::FitTextBox() {
  // Always room for the text and one more full-width character.
  const QFontMetrics metrics(text_->font());
  const int width = metrics.horizontalAdvance(text_->text() + QStringLiteral("　")) + 12;
  text_->resize(width, metrics.height() + 8);
}

void DrawWindow::PickFont() {
  QFont initial(font_.name);
  initial.setPointSize(font_.size);
  initial.setBold(font_.bold);
  initial.setItalic(font_.italic);
  initial.setStrikeOut(font_.strikeout);
  initial.setUnderline(font_.underline);
  dialogs_.PickFont(this, initial, [this](std::optional<QFont> chosen) {
    if (!chosen) return;
    font_.name = chosen->family();
    font_.size =
        std::clamp(static_cast<int>(std::lround(chosen->pointSizeF())), 1, DrawBoard::kMaxFontSize);
    font_.bold = chosen->bold();
    font_.italic = chosen->italic();
    font_.strikeout = chosen->strikeOut();
    font_.underline = chosen->underline();
    PlaceTextBox();
  });
}

// --- pages -------------------------------------------------------------------------------------

void DrawWindow::PageButton(int index) {
  const bool quiet =
      (click_modifiers_ | QGuiApplication::keyboardModifiers()).testFlag(Qt::ControlModifier);
  click_modifiers_ = Qt::NoModifier;
  const int current = board_.CurrentPage();
  switch (index) {
    case 0:
      if (current > 0) board_.ShowPage(current - 1, !quiet);
      break;
    case 1:
      if (current < board_.HighestPage()) board_.ShowPage(current + 1, !quiet);
      break;
    case 2:
      if (board_.NewPage() < 0) {
        dialogs_.Message(this, QStringLiteral("機能エラー"),
                         QStringLiteral("これ以上ページを作成できません"), Dialogs::Icon::Warning);
      }
      break;
    default:
      break;
  }
}

void DrawWindow::PageBoxEntered(Qt::KeyboardModifiers modifiers) {
  bool ok = false;
  const int n = page_box_->text().trimmed().toInt(&ok);
  if (ok && n >= 1 && n <= board_.HighestPage() + 1) {
    board_.ShowPage(n - 1, modifiers.testFlag(Qt::ControlModifier));
  }
  ShowPageNumber();
}

void DrawWindow::ShowPageNumber() {
  page_box_->setText(QString::number(board_.CurrentPage() + 1));
  page_box_->setToolTip(QStringLiteral("全%1ページ").arg(board_.HighestPage() + 1));
}

// --- files and options ---------------------------------------------------------------------------

void DrawWindow::OpenImage() {
  // Like the program's other file dialogs, the first one starts in the program's folder.
  dialogs_.OpenFile(this, QStringLiteral("開く"),
                    image_folder_.isEmpty() ? instance_.ProgramFolder() : image_folder_,
                    QStringLiteral("ビットマップファイル(*.BMP) (*.bmp *.BMP);;GIF(*.gif) "
                                   "(*.gif *.GIF);;Jpge(*.jpg) (*.jpg *.jpeg *.JPG);;PNG(*.png) "
                                   "(*.png *.PNG)"),
                    [this](const QString& path) {
                      if (path.isEmpty()) return;
                      if (QFileInfo(path).size() < 16384) {
                        OpenChosen(path);
                        return;
                      }
                      dialogs_.ConfirmOkCancel(
                          this, QStringLiteral("確認メッセージ"),
                          QStringLiteral("大きなファイルを開こうとしています。続けますか？"),
                          [this, path](bool yes) {
                            if (yes) OpenChosen(path);
                          });
                    });
}

void DrawWindow::OpenChosen(const QString& path) {
  const QFileInfo info(path);
  image_folder_ = info.absolutePath();
  image_name_ = info.fileName();
  if (!board_.PasteImage(path)) {
    instance_.ReportError(kTag, 481, QStringLiteral("ピクチャの値が不正です。"));
  }
}

void DrawWindow::Save() {
  if (image_name_.isEmpty()) {
    SaveAs();
    return;
  }
  SaveTo(image_folder_ + QLatin1Char('/') + image_name_);
}

void DrawWindow::SaveAs() {
  dialogs_.SaveFile(this, QStringLiteral("名前を付けて保存"), image_folder_,
                    QStringLiteral("ビットマップファイル(*.BMP) (*.bmp);;PNG(*.png) (*.png)"),
                    QStringLiteral("bmp"), [this](const QString& path) {
                      if (!path.isEmpty()) SaveTo(path);
                    });
}

void DrawWindow::SaveTo(const QString& chosen) {
  QString path = chosen;
  const bool png = path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
  if (!png && !path.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive)) {
    path += QStringLiteral(".bmp");
  }
  const QFileInfo info(path);
  image_folder_ = info.absolutePath();
  image_name_ = info.fileName();
  if (!board_.SavePage(board_.CurrentPage(), path)) {
    instance_.ReportError(kTag, 75, QStringLiteral("パス名が無効です。"));
  }
}

void DrawWindow::Repair() {
  if (instance_.SessionMode == ModeServer) {
    dialogs_.Message(this, QStringLiteral("機能エラー"),
                     QStringLiteral("サーバーモードではこの機能は利用できません"),
                     Dialogs::Icon::Warning);
    return;
  }
  board_.RequestCatchUp();
}

// --- events ------------------------------------------------------------------------------------

bool DrawWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == text_ && type == QEvent::MouseButtonDblClick) {
    PickFont();
    return true;
  }
  if (watched == page_box_ && type == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      PageBoxEntered(key->modifiers());
      return true;
    }
  }
  if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) &&
      std::find(page_buttons_.begin(), page_buttons_.end(), watched) != page_buttons_.end()) {
    click_modifiers_ = static_cast<QMouseEvent*>(event)->modifiers();
  }
  const QVariant index = watched->property(kIndex);
  if (index.isValid() && watched == swatches_[index.toInt() % kSwatches]) {
    if (type == QEvent::MouseButtonPress) {
      ChooseSwatch(index.toInt(), false);
      return true;
    }
    if (type == QEvent::MouseButtonDblClick) {
      ChooseSwatch(index.toInt(), true);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace quillora
