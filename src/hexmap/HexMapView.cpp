#include "hexmap/HexMapView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include "hexmap/HexMap.h"
#include "hexmap/HexRenderer.h"

namespace quillora {

HexMapView::HexMapView(HexMap& map, HexRenderer& renderer, QWidget* parent)
    : QWidget(parent), map_(map), renderer_(renderer) {
  setObjectName(QStringLiteral("picMain"));
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(64, 64);
  picture_ = QImage(sizeHint(), QImage::Format_ARGB32_Premultiplied);
  picture_.fill(palette().color(QPalette::Window));
}

void HexMapView::RedrawAll() {
  // Beside the map the view shows the window's own background.
  renderer_.SetBackground(palette().color(QPalette::Window));
  if (const HexPage* page = map_.Current()) {
    renderer_.DrawAll(picture_, *page, labels_);
  } else {
    picture_.fill(renderer_.background());
  }
  update();
}

void HexMapView::RedrawCells(const QVector<QPoint>& cells) {
  const HexPage* page = map_.Current();
  if (!page) return;
  renderer_.SetBackground(palette().color(QPalette::Window));
  renderer_.DrawCells(picture_, *page, cells, labels_);
  update();
}

QPoint HexMapView::CellAt(QPoint pixel) const {
  const HexPage* page = map_.Current();
  return page ? CellAtPixel(page->header, pixel.x(), pixel.y()) : QPoint();
}

QPoint HexMapView::MapCellAt(QPoint pixel) const {
  const HexPage* page = map_.Current();
  if (!page || pixel.x() < 0 || pixel.y() < 0) return QPoint();
  const QPoint cell = CellAtPixel(page->header, pixel.x(), pixel.y());
  return page->IsMapCell(cell.x(), cell.y()) ? cell : QPoint();
}

QPoint HexMapView::CellCentre(QPoint cell) const {
  const HexPage* page = map_.Current();
  return page ? HexRenderer::CellBox(page->header, cell.x(), cell.y()).center() : QPoint();
}

void HexMapView::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.drawImage(event->rect().topLeft(), picture_, event->rect());
}

void HexMapView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  picture_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  RedrawAll();
  emit resized();
}

void HexMapView::mousePressEvent(QMouseEvent* event) {
  emit pressed(MapCellAt(event->position().toPoint()), event->button());
}

void HexMapView::mouseMoveEvent(QMouseEvent* event) {
  emit moved(MapCellAt(event->position().toPoint()), event->buttons());
}

void HexMapView::mouseReleaseEvent(QMouseEvent* event) {
  emit released(MapCellAt(event->position().toPoint()), event->button());
}

}  // namespace quillora
