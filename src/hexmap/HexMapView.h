#pragma once

#include <QImage>
#include <QPoint>
#include <QVector>
#include <QWidget>

namespace quillora {

class HexMap;
class HexRenderer;

// picMain: the map view. Keeps the current page's picture and redraws cells of it as the model
// reports changes; turns mouse actions into cells of the current page.
class HexMapView : public QWidget {
  Q_OBJECT

 public:
  HexMapView(HexMap& map, HexRenderer& renderer, QWidget* parent = nullptr);

  void SetLabels(bool on) { labels_ = on; }
  // Draws the current page anew / only these cells of it.
  void RedrawAll();
  void RedrawCells(const QVector<QPoint>& cells);
  // The cell under a point of the view (may lie outside the map).
  QPoint CellAt(QPoint pixel) const;
  // The map cell of the current page under a point, or (0, 0) when there is none.
  QPoint MapCellAt(QPoint pixel) const;
  // Where a cell's centre is drawn (for tests and tools).
  QPoint CellCentre(QPoint cell) const;
  const QImage& Picture() const { return picture_; }

  QSize sizeHint() const override { return QSize(480, 360); }

 signals:
  void pressed(QPoint cell, Qt::MouseButton button);
  void moved(QPoint cell, Qt::MouseButtons buttons);
  void released(QPoint cell, Qt::MouseButton button);
  void resized();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  HexMap& map_;
  HexRenderer& renderer_;
  QImage picture_;
  bool labels_ = false;
};

}  // namespace quillora
