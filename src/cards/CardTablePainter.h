#pragma once

#include <QFont>
#include <QImage>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QStringList>

#include "cards/CardArt.h"

class QPainter;

namespace quillora {

class Cards;

// Draws the graphic table, scaled to fit a surface of any size and centred on it: the deck
// and discard areas, the player places with their names and every placed card, faces and
// backs as the viewer may see them.
class CardTablePainter {
 public:
  // Where the table lies on a surface: table unit → surface point.
  struct Geometry {
    double scale = 1;
    QPointF origin;
    QPointF ToSurface(QPointF table_point) const { return origin + table_point * scale; }
    QPointF ToTable(QPointF surface_point) const { return (surface_point - origin) / scale; }
  };
  static Geometry GeometryFor(QSize surface);

  // `places`: the caption of each player place; `own`: the viewer's player index.
  void Paint(QPainter& painter, QSize surface, const Cards& cards, const QStringList& places,
             int own);

 private:
  void PaintBackground(QSize surface, const QStringList& places, bool game_on, const QFont& font);

  CardArt art_;
  // Everything but the placed cards, redrawn only when the surface or the captions change.
  QImage background_;
  QStringList background_places_;
  bool background_game_on_ = false;
  QString background_font_;
};

}  // namespace quillora
