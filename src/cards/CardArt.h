#pragma once

#include <QHash>
#include <QImage>

namespace quillora {

// The card pictures of the graphic table, drawn by the program itself: a face for every suit
// (0 spades, 1 hearts, 2 diamonds, 3 clubs) and rank (0 ace .. 12 king, 13 joker), a back,
// and the owner's marking for cards only the owner can see. Pictures are made for one card
// width in device pixels (the height is one and a half times that) and kept until the width
// changes.
class CardArt {
 public:
  enum class Look { kFace, kBack, kOwnFace };

  // The picture of one card, upright or turned sideways (a quarter turn clockwise).
  const QImage& Picture(int suit, int rank, Look look, bool sideways, int width);

  // Every face in rank columns and suit rows, the back in column 13 of row 0, at `width`.
  static QImage Sheet(int width);

  static QImage Face(int suit, int rank, int width);
  static QImage Back(int width);
  static QImage Marked(const QImage& face);
  static QString RankText(int rank);

 private:
  QHash<quint64, QImage> cache_;
  int width_ = 0;
};

}  // namespace quillora
