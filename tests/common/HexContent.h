#pragma once
// What must be equal on every copy of a hex map: the pages' sizes and highest slots, the cells'
// colours and the pieces on each cell. The order within a stack is each screen's own (its
// stack-cycling timer turns it), and so are the scroll position and the own piece count.

#include <QStringList>
#include <algorithm>

#include "hexmap/HexMap.h"

namespace quillora::test {

inline QStringList HexContent(const HexMap& map) {
  QStringList out;
  for (int n = 1; n <= map.PageCount(); ++n) {
    const HexPage& page = *map.Page(n);
    const HexMapPage& h = page.header;
    out << QStringLiteral("page %1: shape %2 size %3x%4 type %5 highest %6 stacked %7")
               .arg(n)
               .arg(h.shape)
               .arg(h.columns)
               .arg(h.rows)
               .arg(h.piece_type)
               .arg(h.highest_slot)
               .arg(h.stacked_cells);
    for (int r = 1; r <= h.rows; ++r) {
      for (int c = 1; c <= h.columns; ++c) {
        QVector<int> stack = page.Stack(c, r);
        if (page.Cell(c, r).colour == kHexWhite && stack.isEmpty()) continue;
        std::sort(stack.begin(), stack.end());
        QStringList pieces;
        for (int s : stack) {
          const HexPiece& p = page.Piece(s);
          pieces << QStringLiteral("%1:%2/%3/%4/%5")
                        .arg(s)
                        .arg(p.label)
                        .arg(p.owner)
                        .arg(p.direction)
                        .arg(p.colour);
        }
        out << QStringLiteral("(%1,%2) %3 [%4]")
                   .arg(c)
                   .arg(r)
                   .arg(page.Cell(c, r).colour)
                   .arg(pieces.join(QLatin1Char(' ')));
      }
    }
  }
  return out;
}

}  // namespace quillora::test
