#include "counters/CounterWindow.h"

#include <QAction>
#include <QFocusEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "core/Instance.h"
#include "counters/Counters.h"
#include "ui/Dialogs.h"
#include "ui/ToolMenus.h"

namespace quillora {

namespace {

const QString kErrorTitle = QStringLiteral("機能エラー");
const char* const kElement = "element";

constexpr int kWidthTwips = 4890;
constexpr int kHeightTwips = 2100;

const QString kStepCaptions[4] = {QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("+"),
                                  QStringLiteral("+")};
const QString kStepTips[4] = {QStringLiteral("-10"), QStringLiteral("-1"), QStringLiteral("+1"),
                              QStringLiteral("+10")};

int ElementOf(const QObject* object) {
  const QVariant v = object->property(kElement);
  return v.isValid() ? v.toInt() : -1;
}

}  // namespace

CounterWindow::CounterWindow(Instance& instance, Counters& counters, Dialogs& dialogs,
                             QWidget* parent)
    : QMainWindow(parent), instance_(instance), counters_(counters), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmCount"));
  setWindowTitle(QStringLiteral("カウンター機能"));
  BuildMenus();
  BuildArea();

  for (int n = 0; n <= counters_.SharedMax(); ++n) AddRow(n);
  for (int m = 0; m <= counters_.PersonalMax(); ++m) AddRow(Counters::kPersonalBase + m);
  connect(&counters_, &Counters::counterAdded, this, [this](int element) {
    AddRow(element);
    GrowToFit();
    FollowTraffic();
  });
  connect(&counters_, &Counters::counterChanged, this, [this](int element) {
    ShowCounter(element);
    FollowTraffic();
  });

  // Until a mode is chosen the window holds only its menus and the hint.
  area_->hide();
  layout()->activate();
  resize(Twips(kWidthTwips),
         menuBar()->sizeHint().height() + hint_->heightForWidth(Twips(kWidthTwips)) + 4);
}

int CounterWindow::Twips(int twips) const { return twips * logicalDpiX() / 1440; }

void CounterWindow::BuildMenus() {
  general_ = AddOneTimeModeMenu(menuBar(), QStringLiteral("汎用カウンター"),
                                [this] { ChooseGeneralMode(); });

  QMenu* options = menuBar()->addMenu(QStringLiteral("オプション"));
  options->setObjectName(QStringLiteral("mnuOpt"));
  topmost_ = AddTopmostAction(options, this, QStringLiteral("常に手前に表示"),
                              QStringLiteral("mnuOptSub_0"));
  repair_ = options->addAction(QStringLiteral("途中参加・修復"), this, &CounterWindow::Repair);
  repair_->setObjectName(QStringLiteral("mnuOptSub_1"));
  repair_->setEnabled(false);
}

void CounterWindow::BuildArea() {
  area_ = new QWidget;
  area_->setObjectName(QStringLiteral("fraCount"));
  auto* outer = new QVBoxLayout(area_);
  outer->setContentsMargins(0, 0, 0, 0);

  scroll_ = new QScrollArea;
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  outer->addWidget(scroll_);

  auto* inner = new QWidget;
  auto* columns = new QHBoxLayout(inner);
  columns->setContentsMargins(4, 4, 4, 4);
  columns->setSpacing(8);
  auto column = [&](int kind, QVBoxLayout** counters_layout) {
    auto* box = new QVBoxLayout;
    box->setSpacing(4);
    *counters_layout = new QVBoxLayout;
    (*counters_layout)->setSpacing(4);
    box->addLayout(*counters_layout);
    auto* add = new QPushButton(QStringLiteral("カウンターを追加"));
    add->setObjectName(QStringLiteral("cmdAddCount_%1").arg(kind));
    connect(add, &QPushButton::clicked, this, [this, kind] { AddClicked(kind); });
    box->addWidget(add);
    box->addStretch(1);
    columns->addLayout(box, 1);
  };
  column(0, &shared_column_);
  auto* line = new QFrame;
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  columns->addWidget(line);
  column(1, &personal_column_);
  scroll_->setWidget(inner);

  // Until a mode is chosen the counters are hidden; say where to find them.
  auto* central = new QWidget;
  auto* stack = new QVBoxLayout(central);
  stack->setContentsMargins(0, 0, 0, 0);
  hint_ = new QLabel(
      QStringLiteral("「モード」メニューの「汎用カウンター」を選ぶとカウンターが表示されます"),
      central);
  hint_->setObjectName(QStringLiteral("lblModeHint"));
  hint_->setWordWrap(true);
  hint_->setMargin(8);
  stack->addWidget(hint_);
  stack->addWidget(area_, 1);
  setCentralWidget(central);
}

void CounterWindow::AddRow(int element) {
  if (rows_.contains(element) || !counters_.At(element)) return;
  auto* block = new QWidget;
  auto* v = new QVBoxLayout(block);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(1);

  Row row;
  row.caption = new QLabel;
  row.caption->setObjectName(QStringLiteral("lblCntCap_%1").arg(element));
  row.caption->setProperty(kElement, element);
  row.caption->setCursor(Qt::PointingHandCursor);
  row.caption->installEventFilter(this);
  v->addWidget(row.caption);

  auto* h = new QHBoxLayout;
  h->setSpacing(2);
  row.value = new QLineEdit;
  row.value->setObjectName(QStringLiteral("txtCnt_%1").arg(element));
  row.value->setProperty(kElement, element);
  row.value->setAlignment(Qt::AlignRight);
  row.value->setMinimumWidth(
      row.value->fontMetrics().horizontalAdvance(QStringLiteral("-0000000")));
  row.value->installEventFilter(this);
  connect(row.value, &QLineEdit::returnPressed, this,
          [this, element] { CommitValue(element, false); });
  for (int k = 0; k < 4; ++k) {
    const int button = 4 * element + k;
    auto* b = new QPushButton(kStepCaptions[k]);
    b->setObjectName(QStringLiteral("cmdCntOp_%1").arg(button));
    b->setToolTip(kStepTips[k]);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("+")) + 16);
    connect(b, &QPushButton::clicked, this, [this, button] { StepClicked(button); });
    if (k == 2) h->addWidget(row.value, 1);
    h->addWidget(b);
  }
  v->addLayout(h);
  rows_.insert(element, row);
  (Counters::IsShared(element) ? shared_column_ : personal_column_)->addWidget(block);
  block->show();  // at once, so that the window can be fitted to it
  ShowCounter(element);
}

void CounterWindow::ShowCounter(int element) {
  const Counters::Counter* c = counters_.At(element);
  auto it = rows_.find(element);
  if (!c || it == rows_.end()) return;
  it->caption->setText(c->caption);
  // What the user is typing wins over a value that arrives meanwhile; it is sent when done.
  if (!it->value->isModified()) it->value->setText(QString::number(c->value));
}

QLabel* CounterWindow::CaptionLabel(int element) const {
  return rows_.contains(element) ? rows_.value(element).caption : nullptr;
}

QLineEdit* CounterWindow::ValueBox(int element) const {
  return rows_.contains(element) ? rows_.value(element).value : nullptr;
}

bool CounterWindow::GeneralMode() const { return general_->isChecked(); }

void CounterWindow::ChooseGeneralMode() {
  if (general_->isChecked()) return;
  general_->setChecked(true);
  hint_->hide();
  area_->show();
  resize(Twips(kWidthTwips), Twips(kHeightTwips));
  GrowToFit();
  repair_->setEnabled(true);
  counters_.AnnounceOpened();
}

void CounterWindow::FollowTraffic() {
  // Without the mode a client cannot change a counter itself, so a change here came from the
  // session: someone plays with the counters, and a late joiner's window shows them too.
  if (instance_.SessionMode == ModeClient && !GeneralMode()) ChooseGeneralMode();
}

void CounterWindow::Repair() {
  if (instance_.SessionMode == ModeServer) {
    dialogs_.Message(this, kErrorTitle,
                     QStringLiteral("サーバーモードではこの機能は利用できません"),
                     Dialogs::Icon::Warning);
    return;
  }
  counters_.RequestRepair();
}

void CounterWindow::AddClicked(int kind) {
  if (counters_.AddCount(kind, true) < 0) {
    dialogs_.Message(this, kErrorTitle, QStringLiteral("これ以上カウンターを追加できません"),
                     Dialogs::Icon::Warning);
  }
}

void CounterWindow::StepClicked(int button) {
  const int element = button / 4;
  // A value still being typed is taken first; one that is not a number stops the step.
  if (!CommitValue(element, false)) return;
  counters_.Step(button);
}

void CounterWindow::CaptionClicked(int element) {
  const Counters::Counter* c = counters_.At(element);
  if (!c) return;
  dialogs_.Input(this, QStringLiteral("カウンター名変更"),
                 QStringLiteral("新しいカウンター名を入力して下さい"), c->caption,
                 [this, element](std::optional<QString> answer) {
                   if (answer && !answer->isEmpty()) counters_.Rename(element, *answer);
                 });
}

bool CounterWindow::CommitValue(int element, bool leaving) {
  auto it = rows_.find(element);
  if (it == rows_.end()) return false;
  QLineEdit* box = it->value;
  if (!box->isModified()) return true;
  int32_t value = 0;
  if (!ParseCounterValue(box->text(), &value)) {
    Refuse(box, leaving);
    return false;
  }
  box->setModified(false);
  counters_.SetValue(element, value);
  return true;
}

void CounterWindow::Refuse(QLineEdit* box, bool later) {
  if (refusing_) return;  // one message at a time
  refusing_ = true;
  auto show = [this, box = QPointer<QLineEdit>(box)] {
    if (!box) {
      refusing_ = false;
      return;
    }
    box->setFocus(Qt::OtherFocusReason);
    dialogs_.Message(this, kErrorTitle, QStringLiteral("数値を入力して下さい"),
                     Dialogs::Icon::Warning, [this, box] {
                       refusing_ = false;
                       if (!box) return;
                       box->setFocus(Qt::OtherFocusReason);
                       box->selectAll();
                     });
  };
  // Leaving the box: the focus moves back once the move away has finished.
  if (later) {
    QTimer::singleShot(0, this, show);
  } else {
    show();
  }
}

bool CounterWindow::eventFilter(QObject* watched, QEvent* event) {
  const int element = ElementOf(watched);
  if (element >= 0 && rows_.contains(element)) {
    const Row& row = rows_[element];
    if (watched == row.caption && event->type() == QEvent::MouseButtonPress) {
      CaptionClicked(element);
      return true;
    }
    if (watched == row.value && event->type() == QEvent::FocusOut && !refusing_) {
      // Switching to another program or opening a menu is not leaving the box.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
        CommitValue(element, true);
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void CounterWindow::GrowToFit() {
  if (!general_->isChecked()) return;
  // Tall enough for every counter while the screen has room (the rest scrolls), and never so
  // narrow that a column is cut.
  QWidget* inner = scroll_->widget();
  const int bar = scroll_->verticalScrollBar()->sizeHint().width();
  int height = menuBar()->sizeHint().height() + inner->sizeHint().height() + 2;
  if (const QScreen* s = screen()) {
    height = std::min(height, s->availableGeometry().height() * 9 / 10);
  }
  const int width = inner->minimumSizeHint().width() + bar;
  scroll_->setMinimumWidth(width);
  if (height > this->height() || width > this->width()) {
    resize(std::max(width, this->width()), std::max(height, this->height()));
  }
}

}  // namespace quillora
