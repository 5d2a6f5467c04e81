#include "cards/CardTablePainter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "cards/Cards.h"

namespace quillora {

namespace {

const QColor kBorder(18, 60, 38);
const QColor kFelt(28, 96, 60);
const QColor kLine(220, 235, 220);

}  // namespace

CardTablePainter::Geometry CardTablePainter::GeometryFor(QSize surface) {
  Geometry g;
  g.scale = std::max(0.1, std::min(surface.width() / double(Cards::kTableWidth),
                                   surface.height() / double(Cards::kTableHeight)));
  g.origin = QPointF((surface.width() - Cards::kTableWidth * g.scale) / 2,
                     (surface.height() - Cards::kTableHeight * g.scale) / 2);
  return g;
}

void CardTablePainter::PaintBackground(QSize surface, const QStringList& places, bool game_on,
                                       const QFont& base_font) {
  const QString font_key = base_font.toString();
  if (background_.size() == surface && background_places_ == places &&
      background_game_on_ == game_on && background_font_ == font_key) {
    return;
  }
  background_ = QImage(surface, QImage::Format_ARGB32_Premultiplied);
  background_places_ = places;
  background_game_on_ = game_on;
  background_font_ = font_key;

  const Geometry g = GeometryFor(surface);
  const double s = g.scale;
  QPainter p(&background_);
  p.fillRect(background_.rect(), kBorder);
  p.translate(g.origin);
  p.fillRect(QRectF(0, 0, Cards::kTableWidth * s, Cards::kTableHeight * s), kFelt);
  p.setRenderHint(QPainter::Antialiasing);
  QFont font = base_font;
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
  for (int i = 0; i < Cards::kPlaces && i < places.size(); ++i) {
    area(Cards::PlaceArea(i), places[i], true);
  }
  if (game_on) {
    // The deck shows a back while a game is on.
    const int width = std::max(4, static_cast<int>(std::lround(Cards::kCardWidth * s)));
    const QImage& back = art_.Picture(0, 0, CardArt::Look::kBack, false, width);
    p.drawImage(QPointF((Cards::kPileArea.x + 12) * s, (Cards::kPileArea.y + 16) * s), back);
  }
}

void CardTablePainter::Paint(QPainter& p, QSize surface, const Cards& cards,
                             const QStringList& places, int own) {
  PaintBackground(surface, places, !cards.graphic_tarot().isEmpty(), p.font());
  p.drawImage(0, 0, background_);

  const Geometry g = GeometryFor(surface);
  const double s = g.scale;
  const QPoint origin = g.origin.toPoint();
  const int width = std::max(4, static_cast<int>(std::lround(Cards::kCardWidth * s)));
  for (const CardRecord& r : cards.placed()) {
    if (!r.in_use) continue;
    CardArt::Look look = CardArt::Look::kFace;
    if (r.face == 0 || (r.face == 1 && r.owner != own)) look = CardArt::Look::kBack;
    if (r.face == 1 && r.owner == own) look = CardArt::Look::kOwnFace;
    const QImage& image = art_.Picture(r.suit, r.rank, look, r.orientation == 2, width);
    p.drawImage(origin + QPoint(static_cast<int>(std::lround(r.x * s)),
                                static_cast<int>(std::lround(r.y * s))),
                image);
  }
}

}  // namespace quillora
