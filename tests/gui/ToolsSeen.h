#pragma once
// What a participant sees of every shared tool, for comparing two programs: the table's
// cells, the shared counters, the hex map's content, the drawing board's pictures, the card
// mode and the graphic table's cards.

#include <QImage>
#include <QStringList>
#include <QVector>

#include "app/AppCore.h"
#include "cards/Cards.h"
#include "common/HexContent.h"
#include "counters/Counters.h"
#include "drawing/DrawBoard.h"
#include "table/SharedTable.h"

namespace quillora::test {

struct ToolsSeen {
  QStringList table;
  QStringList counters;
  QStringList hex;
  QVector<QImage> pages;
  int card_mode = -1;
  QString card_tarot;
  QStringList cards;
  bool operator==(const ToolsSeen&) const = default;
  std::string Describe() const {
    return (QStringLiteral("table: ") + table.join(' ') + QStringLiteral("\ncounters: ") +
            counters.join(' ') + QStringLiteral("\nhex: ") + hex.join(' ') +
            QStringLiteral("\ndrawing pages: %1\ncards: mode %2 %3 ")
                .arg(pages.size())
                .arg(card_mode)
                .arg(card_tarot) +
            cards.join(' '))
        .toStdString();
  }
};

inline ToolsSeen LookAtTools(AppCore& core) {
  ToolsSeen s;
  const SharedTable& t = core.table();
  for (int r = 0; r < t.RowCount(); ++r) {
    for (int c = 0; c < t.ColumnCount(); ++c) {
      s.table << QStringLiteral("%1/%2 %3").arg(t.RowId(r)).arg(t.ColumnId(c)).arg(t.Text(r, c));
    }
  }
  for (int n = 0; n <= core.counters().SharedMax(); ++n) {
    if (const Counters::Counter* c = core.counters().At(n)) {
      s.counters << QStringLiteral("%1=%2").arg(c->caption).arg(c->value);
    }
  }
  s.hex = HexContent(core.hex_map());
  for (int p = 0; p <= core.drawing().HighestPage(); ++p) s.pages << core.drawing().Snapshot(p);
  s.card_mode = core.cards().mode();
  s.card_tarot = core.cards().graphic_tarot();
  for (const CardRecord& r : core.cards().placed()) {
    if (!r.in_use) continue;
    s.cards << QStringLiteral("%1:%2-%3@%4,%5/%6/%7/%8")
                   .arg(r.index)
                   .arg(r.suit)
                   .arg(r.rank)
                   .arg(r.x)
                   .arg(r.y)
                   .arg(r.face)
                   .arg(r.orientation)
                   .arg(r.owner);
  }
  return s;
}

}  // namespace quillora::test
