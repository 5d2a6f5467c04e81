#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QVector>
#include <QWidget>

namespace quillora {

class DrawBoard;

// picMain: shows the current page of the board at full size, the participants' pointers on it
// and, above the page, the rubber band of the shape being dragged. Mouse positions are handed
// on in page units.
class DrawView : public QWidget {
  Q_OBJECT

 public:
  // What the rubber band shows; it is never drawn into the page itself.
  struct Preview {
    enum Kind { kNone, kLine, kBox, kEllipse } kind = kNone;
    QPointF a, b;  // ends or corners; for an ellipse the centre and the mouse
    QColor colour;
    bool filled = false;
  };

  explicit DrawView(DrawBoard& board, QWidget* parent = nullptr);

  void SetPreview(const Preview& preview);
  void ClearPreview() { SetPreview(Preview{}); }
  const Preview& CurrentPreview() const { return preview_; }

  // Page units to widget pixels and back.
  QPointF ToPage(QPointF widget_pos) const;
  QPointF ToView(QPointF page_pos) const;
  double Scale() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void pressed(QPointF page_pos, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
  void moved(QPointF page_pos, Qt::MouseButtons buttons);
  void released(QPointF page_pos, Qt::MouseButton button);
  void focusLost();
  // The page moved or changed scale on screen.
  void placementChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QRectF PageRect() const;

  DrawBoard& board_;
  Preview preview_;
  QImage shrunk_;  // the current page as last shown below full size
  qint64 shrunk_key_ = 0;
};

}  // namespace quillora
