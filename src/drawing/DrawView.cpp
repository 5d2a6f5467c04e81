#include "drawing/DrawView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "core/Colors.h"
#include "drawing/DrawBoard.h"

namespace quillora {

namespace {
constexpr int kMargin = 2;
}

DrawView::DrawView(DrawBoard& board, QWidget* parent) : QWidget(parent), board_(board) {
  setObjectName(QStringLiteral("picMain"));
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  setCursor(Qt::CrossCursor);
  setAttribute(Qt::WA_OpaquePaintEvent);
  connect(&board_, &DrawBoard::pageChanged, this, [this](int page) {
    if (page == board_.CurrentPage()) update();
  });
  connect(&board_, &DrawBoard::pagesChanged, this, qOverload<>(&QWidget::update));
  connect(&board_, &DrawBoard::pointersChanged, this, qOverload<>(&QWidget::update));
  // One page pixel is one screen pixel: the picture stays crisp and positions read true. The
  // window scrolls the page when it is smaller.
  setFixedSize(sizeHint());
}

QSize DrawView::sizeHint() const {
  return QSize(DrawBoard::kPageWidth + 2 * kMargin, DrawBoard::kPageHeight + 2 * kMargin);
}

QSize DrawView::minimumSizeHint() const { return sizeHint(); }

QRectF DrawView::PageRect() const {
  const double w = std::max(1, width() - 2 * kMargin);
  const double h = std::max(1, height() - 2 * kMargin);
  const double scale = std::min(w / DrawBoard::kPageWidth, h / DrawBoard::kPageHeight);
  const QSizeF size(DrawBoard::kPageWidth * scale, DrawBoard::kPageHeight * scale);
  return QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

double DrawView::Scale() const { return PageRect().width() / DrawBoard::kPageWidth; }

QPointF DrawView::ToPage(QPointF widget_pos) const {
  const QRectF r = PageRect();
  return (widget_pos - r.topLeft()) / Scale();
}

QPointF DrawView::ToView(QPointF page_pos) const {
  return PageRect().topLeft() + page_pos * Scale();
}

void DrawView::SetPreview(const Preview& preview) {
  preview_ = preview;
  update();
}

void DrawView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Dark));
  const QRectF target = PageRect();
  if (const QImage* page = board_.Page(board_.CurrentPage())) {
    const QSize size = target.size().toSize();
    if (Scale() < 1.0 && !size.isEmpty()) {
      // Averaged down, so one-unit lines stay whole at small sizes; redone only on change.
      if (shrunk_key_ != page->cacheKey() || shrunk_.size() != size) {
        shrunk_ = page->scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        shrunk_key_ = page->cacheKey();
      }
      painter.drawImage(target.topLeft(), shrunk_);
    } else {
      painter.drawImage(target, *page);
    }
  } else {
    painter.fillRect(target, Qt::white);
  }

  painter.save();
  painter.setClipRect(target);
  painter.translate(target.topLeft());
  painter.scale(Scale(), Scale());
  if (preview_.kind != Preview::kNone) {
    QPen pen(preview_.colour, 0, Qt::DashLine);  // cosmetic: one screen pixel at any scale
    painter.setPen(pen);
    painter.setBrush(preview_.filled ? QBrush(preview_.colour, Qt::Dense4Pattern) : Qt::NoBrush);
    const QPointF a = preview_.a, b = preview_.b;
    switch (preview_.kind) {
      case Preview::kLine:
        painter.drawLine(a, b);
        break;
      case Preview::kBox:
        painter.drawRect(QRectF(a, b).normalized());
        break;
      case Preview::kEllipse:
        painter.drawEllipse(a, std::abs(b.x() - a.x()), std::abs(b.y() - a.y()));
        break;
      case Preview::kNone:
        break;
    }
  }
  painter.restore();

  // Pointers: an arrow whose tip is at the pointed place.
  QFont arrow = font();
  arrow.setPixelSize(std::max(10, static_cast<int>(24 * Scale())));
  arrow.setBold(true);
  painter.setFont(arrow);
  const QFontMetrics metrics(arrow);
  for (auto it = board_.Pointers().cbegin(); it != board_.Pointers().cend(); ++it) {
    const DrawBoard::Pointer& pt = it.value();
    if (!pt.visible || pt.page != board_.CurrentPage()) continue;
    const QPointF at = ToView(pt.pos);
    painter.setPen(FromBgr(pt.colour));
    painter.drawText(at + QPointF(0, metrics.ascent() / 2.0 - metrics.descent() / 2.0),
                     QStringLiteral("←"));
  }
}

void DrawView::mousePressEvent(QMouseEvent* event) {
  emit pressed(ToPage(event->position()), event->button(), event->modifiers());
}

void DrawView::mouseMoveEvent(QMouseEvent* event) {
  emit moved(ToPage(event->position()), event->buttons());
}

void DrawView::mouseReleaseEvent(QMouseEvent* event) {
  emit released(ToPage(event->position()), event->button());
}

void DrawView::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  emit focusLost();
}

void DrawView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit placementChanged();
}

}  // namespace quillora
