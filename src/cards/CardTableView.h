#pragma once

#include <QPoint>
#include <QWidget>

#include "cards/CardTablePainter.h"

class QFrame;
class QLabel;

namespace quillora {

class Cards;
class Instance;

// The graphic mode's table: the deck "山", the discard area "捨て場", the player places and
// every placed card, drawn scaled to the widget. Mouse actions become card-model calls in
// table units, so every screen shows the same table whatever its size.
class CardTableView : public QWidget {
  Q_OBJECT

 public:
  CardTableView(Instance& instance, Cards& cards, QWidget* parent = nullptr);

  // Widget point ↔ table units.
  QPoint ToTable(QPointF widget_point) const;
  QPointF ToWidget(QPointF table_point) const;
  double Scale() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // Draws the whole table into `painter`.
  void PaintTable(QPainter& painter);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PlaceChildren();
  void Refresh();

  Instance& instance_;
  Cards& cards_;
  CardTablePainter painter_;
  QFrame* pile_ = nullptr;
  QFrame* dust_ = nullptr;
  QFrame* places_[6] = {};
  QLabel* tarot_ = nullptr;
  QLabel* sheet_ = nullptr;  // picCardBMP: every picture at base size, kept hidden
  bool drawing_ = false;     // pressed on the deck
  int picked_ = -1;          // card picked by the press
  QPoint press_;             // in table units
};

}  // namespace quillora
