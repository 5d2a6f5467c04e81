#include "cards/CardArt.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace quillora {

namespace {

const QColor kRed(200, 24, 36);
const QColor kBlack(24, 24, 32);
const QColor kJoker(120, 40, 160);

bool IsRed(int suit) { return suit == 1 || suit == 2; }

// The suit symbol in a square of side `size` centred at `c`.
QPainterPath SuitPath(int suit, QPointF c, double size) {
  QPainterPath path;
  const double r = size / 2;
  auto heart = [&](double flip) {
    QPainterPath h;
    const double y0 = c.y() - flip * r * 0.35;
    h.moveTo(c.x(), c.y() + flip * r * 0.95);
    h.cubicTo(c.x() - r * 1.25, y0 + flip * r * 0.15, c.x() - r * 0.6, y0 - flip * r * 0.95, c.x(),
              y0 - flip * r * 0.25);
    h.cubicTo(c.x() + r * 0.6, y0 - flip * r * 0.95, c.x() + r * 1.25, y0 + flip * r * 0.15, c.x(),
              c.y() + flip * r * 0.95);
    return h;
  };
  auto stem = [&] {
    QPainterPath s;
    s.moveTo(c.x(), c.y() + r * 0.2);
    s.lineTo(c.x() + r * 0.35, c.y() + r);
    s.lineTo(c.x() - r * 0.35, c.y() + r);
    s.closeSubpath();
    return s;
  };
  switch (suit) {
    case 0:  // spade: an upside-down heart on a stem
      path = heart(-1).translated(0, -r * 0.12).united(stem());
      break;
    case 1:
      path = heart(1);
      break;
    case 2:
      path.moveTo(c.x(), c.y() - r);
      path.lineTo(c.x() + r * 0.72, c.y());
      path.lineTo(c.x(), c.y() + r);
      path.lineTo(c.x() - r * 0.72, c.y());
      path.closeSubpath();
      break;
    default: {  // club: three leaves on a stem
      const double leaf = r * 0.46;
      path.addEllipse(QPointF(c.x(), c.y() - r * 0.45), leaf, leaf);
      path.addEllipse(QPointF(c.x() - r * 0.5, c.y() + r * 0.1), leaf, leaf);
      path.addEllipse(QPointF(c.x() + r * 0.5, c.y() + r * 0.1), leaf, leaf);
      path = path.simplified().united(stem());
      break;
    }
  }
  return path;
}

QImage Blank(int width) {
  QImage image(width, width * 3 / 2, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

void Outline(QPainter& p, const QRectF& r, const QColor& fill) {
  p.setPen(QPen(QColor(90, 90, 90), std::max(1.0, r.width() / 40)));
  p.setBrush(fill);
  const double radius = r.width() / 10;
  p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

}  // namespace

QString CardArt::RankText(int rank) {
  static const char* const kRanks[] = {"A", "2", "3",  "4", "5", "6", "7",
                                       "8", "9", "10", "J", "Q", "K"};
  return rank >= 0 && rank < 13 ? QString::fromLatin1(kRanks[rank]) : QStringLiteral("JK");
}

QImage CardArt::Face(int suit, int rank, int width) {
  QImage image = Blank(width);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF card(0, 0, image.width(), image.height());
  Outline(p, card, Qt::white);
  const QColor ink = rank == 13 ? kJoker : IsRed(suit) ? kRed : kBlack;

  QFont font(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  font.setPixelSize(std::max(6, width * 2 / 5));
  p.setFont(font);
  p.setPen(ink);
  p.setBrush(ink);
  const double margin = width * 0.06;
  if (rank == 13) {
    // A joker: its name down the card and a star in the middle.
    font.setPixelSize(std::max(5, width / 4));
    p.setFont(font);
    p.drawText(QRectF(margin, margin, width, image.height()), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("J\nO\nK\nE\nR"));
    QPainterPath star;
    const QPointF c(width * 0.6, image.height() * 0.55);
    for (int i = 0; i < 10; ++i) {
      const double radius = (i % 2 ? 0.18 : 0.42) * width;
      const double a = -M_PI / 2 + i * M_PI / 5;
      const QPointF pt(c.x() + radius * std::cos(a), c.y() + radius * std::sin(a));
      i == 0 ? star.moveTo(pt) : star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(Qt::NoPen);
    p.drawPath(star);
    return image;
  }
  // The rank in the top left corner with a small suit under it, and a large suit in the middle.
  const QRectF corner(margin, margin * 0.5, width * 0.6, width * 0.45);
  p.drawText(corner, Qt::AlignLeft | Qt::AlignTop, RankText(rank));
  p.setPen(Qt::NoPen);
  const double small = width * 0.26;
  p.drawPath(SuitPath(suit, QPointF(margin + small / 2 + width * 0.02, width * 0.62), small));
  p.drawPath(SuitPath(suit, QPointF(width * 0.55, image.height() * 0.62), width * 0.55));
  return image;
}

QImage CardArt::Back(int width) {
  QImage image = Blank(width);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF card(0, 0, image.width(), image.height());
  Outline(p, card, Qt::white);
  const double inset = std::max(1.5, width * 0.08);
  const QRectF inner = card.adjusted(inset, inset, -inset, -inset);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(36, 70, 150));
  p.drawRoundedRect(inner, width / 16.0, width / 16.0);
  // A lattice of lighter lines.
  p.setClipRect(inner);
  p.setPen(QPen(QColor(110, 150, 220), std::max(1.0, width / 24.0)));
  const double step = std::max(3.0, width / 5.0);
  for (double d = -image.height(); d < image.width() + image.height(); d += step) {
    p.drawLine(QPointF(inner.left() + d, inner.top()),
               QPointF(inner.left() + d - image.height(), inner.top() + image.height()));
    p.drawLine(QPointF(inner.left() + d, inner.top()),
               QPointF(inner.left() + d + image.height(), inner.top() + image.height()));
  }
  return image;
}

QImage CardArt::Marked(const QImage& face) {
  QImage image = face;
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // A blue corner and a blue frame: "only you see this face".
  const double w = image.width();
  QPainterPath corner;
  corner.moveTo(w * 0.55, 0);
  corner.lineTo(w, 0);
  corner.lineTo(w, w * 0.45);
  corner.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 110, 230, 200));
  p.drawPath(corner);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(30, 110, 230), std::max(1.5, w / 14), Qt::DashLine));
  p.drawRoundedRect(QRectF(image.rect()).adjusted(1, 1, -1, -1), w / 10, w / 10);
  return image;
}

QImage CardArt::Sheet(int width) {
  const int height = width * 3 / 2;
  QImage sheet(width * 14, height * 4, QImage::Format_ARGB32_Premultiplied);
  sheet.fill(Qt::transparent);
  QPainter p(&sheet);
  for (int suit = 0; suit < 4; ++suit) {
    for (int rank = 0; rank < 13; ++rank)
      p.drawImage(rank * width, suit * height, Face(suit, rank, width));
  }
  p.drawImage(13 * width, 0, Back(width));
  p.drawImage(13 * width, 3 * height, Face(3, 13, width));
  return sheet;
}

const QImage& CardArt::Picture(int suit, int rank, Look look, bool sideways, int width) {
  if (width != width_) {
    cache_.clear();
    width_ = width;
  }
  suit = std::clamp(suit, 0, 3);
  rank = std::clamp(rank, 0, 13);
  const quint64 key = (look == Look::kBack ? 0u : static_cast<quint64>(suit * 14 + rank + 1)) * 8 +
                      static_cast<quint64>(look) * 2 + (sideways ? 1 : 0);
  auto it = cache_.find(key);
  if (it != cache_.end()) return *it;
  QImage image = look == Look::kBack ? Back(width) : Face(suit, rank, width);
  if (look == Look::kOwnFace) image = Marked(image);
  if (sideways) image = image.transformed(QTransform().rotate(90));
  return *cache_.insert(key, image);
}

}  // namespace quillora
