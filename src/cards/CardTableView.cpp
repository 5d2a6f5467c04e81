#include "cards/CardTableView.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <cmath>

#include "cards/CardTablePainter.h"
#include "cards/Cards.h"
#include "core/Instance.h"
#include "text/Width.h"

namespace quillora {

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

double CardTableView::Scale() const { return CardTablePainter::GeometryFor(size()).scale; }

QPointF CardTableView::ToWidget(QPointF t) const {
  return CardTablePainter::GeometryFor(size()).ToSurface(t);
}

QPoint CardTableView::ToTable(QPointF w) const {
  const QPointF t = CardTablePainter::GeometryFor(size()).ToTable(w);
  return QPoint(static_cast<int>(std::floor(t.x())), static_cast<int>(std::floor(t.y())));
}

void CardTableView::Refresh() {
  // The tarot text as the server sent it.
  tarot_->setText(cards_.graphic_tarot());
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
  QStringList places;
  for (int i = 0; i < Cards::kPlaces; ++i) {
    QString caption = places_[i]->windowTitle();
    if (const Participant* who = instance_.ParticipantAt(i + 1); who && who->Present) {
      caption += QStringLiteral("：") + who->Handle;
    }
    places << caption;
  }
  p.setFont(font());
  painter_.Paint(p, size(), cards_, places, instance_.OwnIndex);
}

void CardTableView::mousePressEvent(QMouseEvent* event) {
  drawing_ = false;
  picked_ = -1;
  if (cards_.graphic_tarot().isEmpty()) return;
  press_ = ToTable(event->position());
  if (event->button() == Qt::LeftButton && Cards::kPileArea.Contains(press_.x(), press_.y())) {
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
