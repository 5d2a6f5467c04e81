#include "cards/CardTableView.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <cmath>

#include "cards/Cards.h"
#include "core/Instance.h"
#include "text/Width.h"

namespace quillora {

namespace {

const QColor kFelt(28, 96, 60);
const QColor kLine(220, 235, 220);

QRectF AreaRect(const Cards::Rect& r) { return QRectF(r.x, r.y, r.w, r.h); }

}  // namespace

CardTableView::CardTableView(Instance& instance, Cards& cards, QWidget* parent)
    : QWidget(parent), instance_(instance), cards_(cards) {
  setObjectName(QStringLiteral("picTable"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(false);
  setContextMenuPolicy(Qt::PreventContextMenu);
  // The named frames mark the areas; the table itself draws them and takes their clicks.
  auto frame = [this](const QString& name) {
    auto* f = new QFrame(this);
    f->setObjectName(name);
    f->setFrameShape(QFrame::NoFrame);
    f->setAttribute(Qt::WA_TransparentForMouseEvents);
    return f;
  };
  pile_ = frame(QStringLiteral("frmCardPile"));
  pile_->setWindowTitle(QStringLiteral("山"));
  dust_ = frame(QStringLiteral("frmCardDust"));
  dust_->setWindowTitle(QStringLiteral("捨て場"));
  for (int i = 0; i < Cards::kPlaces; ++i) {
    places_[i] = frame(QStringLiteral("frmCardPlace_%1").arg(i));
    places_[i]->setWindowTitle(QStringLiteral("プレイヤー") + ToFullWidth(QString::number(i + 1)));
  }
  tarot_ = new QLabel(this);
  tarot_->setObjectName(QStringLiteral("lblTrotNovaRevGpf"));
  tarot_->setStyleSheet(QStringLiteral("color: #f4f0d0; background: transparent;"));
  tarot_->setCursor(Qt::PointingHandCursor);
  tarot_->installEventFilter(this);
  sheet_ = new QLabel(this);
  sheet_->setObjectName(QStringLiteral("picCardBMP"));
  sheet_->setPixmap(QPixmap::fromImage(CardArt::Sheet(Cards::kCardWidth)));
  sheet_->hide();

  connect(&cards_, &Cards::tableChanged, this, &CardTableView::Refresh);
  Refresh();
}

QSize CardTableView::sizeHint() const {
  return QSize(Cards::kTableWidth * 2, Cards::kTableHeight * 2);
}

QSize CardTableView::minimumSizeHint() const {
  return QSize(Cards::kTableWidth, Cards::kTableHeight);
}

double CardTableView::Scale() const {
  return std::max(0.1, std::min(width() / double(Cards::kTableWidth),
                                height() / double(Cards::kTableHeight)));
}

QPointF CardTableView::ToWidget(QPointF t) const {
  const double s = Scale();
  const double ox = (width() - Cards::kTableWidth * s) / 2;
  const double oy = (height() - Cards::kTableHeight * s) / 2;
  return QPointF(ox + t.x() * s, oy + t.y() * s);
}

QPoint CardTableView::ToTable(QPointF w) const {
  const double s = Scale();
  const double ox = (width() - Cards::kTableWidth * s) / 2;
  const double oy = (height() - Cards::kTableHeight * s) / 2;
  return QPoint(static_cast<int>(std::floor((w.x() - ox) / s)),
                static_cast<int>(std::floor((w.y() - oy) / s)));
}

void CardTableView::Refresh() {
  tarot_->setText(cards_.graphic_tarot().isEmpty()
                      ? QString()
                      : QStringLiteral("タロット：") + cards_.graphic_tarot());
  PlaceChildren();
  update();
}

void CardTableView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceChildren();
}

void CardTableView::PlaceChildren() {
  auto place = [this](QWidget* w, const Cards::Rect& r) {
    const QPointF a = ToWidget(QPointF(r.x, r.y));
    const QPointF b = ToWidget(QPointF(r.x + r.w, r.y + r.h));
    w->setGeometry(QRectF(a, b).toRect());
  };
  place(pile_, Cards::kPileArea);
  place(dust_, Cards::kDustArea);
  for (int i = 0; i < Cards::kPlaces; ++i) place(places_[i], Cards::PlaceArea(i));
  QFont font = this->font();
  font.setPixelSize(std::max(11, static_cast<int>(8 * Scale())));
  tarot_->setFont(font);
  const QPointF a = ToWidget(QPointF(122, 12));
  const QPointF b = ToWidget(QPointF(Cards::kTableWidth - 8, 60));
  tarot_->setGeometry(QRectF(a, b).toRect());
  tarot_->setWordWrap(true);
}

void CardTableView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintTable(painter);
}

void CardTableView::PaintTable(QPainter& p) {
  p.fillRect(rect(), QColor(18, 60, 38));
  const double s = Scale();
  p.save();
  p.translate(ToWidget(QPointF(0, 0)));
  p.fillRect(QRectF(0, 0, Cards::kTableWidth * s, Cards::kTableHeight * s), kFelt);
  p.setRenderHint(QPainter::Antialiasing);

  QFont font = this->font();
  font.setPixelSize(std::max(10, static_cast<int>(7 * s)));
  p.setFont(font);
  auto area = [&](const Cards::Rect& r, const QString& caption, bool dashed) {
    const QRectF box(r.x * s, r.y * s, r.w * s, r.h * s);
    p.setPen(QPen(kLine, std::max(1.0, s / 2), dashed ? Qt::DashLine : Qt::SolidLine));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box, 3 * s, 3 * s);
    p.drawText(box.adjusted(3 * s, 2 * s, -2 * s, -2 * s), Qt::AlignLeft | Qt::AlignTop, caption);
  };
  area(Cards::kPileArea, QStringLiteral("山"), false);
  area(Cards::kDustArea, QStringLiteral("捨て場"), false);
  for (int i = 0; i < Cards::kPlaces; ++i) {
    QString caption = places_[i]->windowTitle();
    if (const Participant* who = instance_.ParticipantAt(i + 1); who && who->Present) {
      caption += QStringLiteral("：") + who->Handle;
    }
    area(Cards::PlaceArea(i), caption, true);
  }
  if (!cards_.graphic_tarot().isEmpty()) {
    // The deck shows a back while a game is on.
    const int width = std::max(4, static_cast<int>(std::lround(Cards::kCardWidth * s)));
    const QImage& back = art_.Picture(0, 0, CardArt::Look::kBack, false, width);
    p.drawImage(QPointF((Cards::kPileArea.x + 12) * s, (Cards::kPileArea.y + 16) * s), back);
  }

  const int width = std::max(4, static_cast<int>(std::lround(Cards::kCardWidth * s)));
  const int own = instance_.OwnIndex;
  for (const CardRecord& r : cards_.placed()) {
    if (!r.in_use) continue;
    CardArt::Look look = CardArt::Look::kFace;
    if (r.face == 0 || (r.face == 1 && r.owner != own)) look = CardArt::Look::kBack;
    if (r.face == 1 && r.owner == own) look = CardArt::Look::kOwnFace;
    const QImage& image = art_.Picture(r.suit, r.rank, look, r.orientation == 2, width);
    p.drawImage(QPointF(r.x * s, r.y * s), image);
  }
  p.restore();
}

void CardTableView::mousePressEvent(QMouseEvent* event) {
  drawing_ = false;
  picked_ = -1;
  if (cards_.graphic_tarot().isEmpty()) return;
  press_ = ToTable(event->position());
  if (event->button() == Qt::LeftButton &&
      Cards::kPileArea.Contains(press_.x(), press_.y())) {
    drawing_ = true;
    return;
  }
  picked_ = cards_.CardAt(press_.x(), press_.y());
}

void CardTableView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = ToTable(event->position());
  if (drawing_) {
    drawing_ = false;
    cards_.GraphicDraw(at.x(), at.y());
    return;
  }
  const int card = std::exchange(picked_, -1);
  if (card < 0) return;
  if (Cards::kDustArea.Contains(at.x(), at.y())) {
    cards_.GraphicDiscard(card);
  } else if (at != press_) {
    cards_.GraphicMove(card, at.x() - press_.x(), at.y() - press_.y());
  } else if (event->button() == Qt::LeftButton) {
    cards_.GraphicTurn(card);
  } else if (event->button() == Qt::RightButton) {
    cards_.GraphicShow(card);
  }
}

bool CardTableView::eventFilter(QObject* watched, QEvent* event) {
  // The server's user advances the tarot with a click on it; anyone else's click falls
  // through to the table.
  if (watched == tarot_ && event->type() == QEvent::MouseButtonPress && cards_.IsServer()) {
    cards_.AdvanceGraphicTarot();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace quillora
