#include "cards/CardState.h"

#include <QHash>
#include <utility>
#include <vector>

#include "cards/Cards.h"
#include "core/Instance.h"
#include "net/MessageCodes.h"

namespace quillora {

namespace {

const QString kInfo = QStringLiteral("card_info");
const QString kTexts = QStringLiteral("card_texts");
const QString kGraphicDeck = QStringLiteral("card_graphic_deck");
const QString kClamp = QStringLiteral("card_clamp");
const QString kHeld = QStringLiteral("card_held");
const QString kTable = QStringLiteral("card_table");
const QString kOwn = QStringLiteral("card_own");

// Kinds of card_held rows: which list of a participant's cards.
const QString kHeldNova = QStringLiteral("nova");
const QString kHeldRev = QStringLiteral("rev");
const QString kHeldAccess = QStringLiteral("access");
const QString kHeldGraphic = QStringLiteral("graphic");

// Kinds of card_own rows: the lists this program's card window shows.
const QString kOwnNovaHand = QStringLiteral("nova_hand");
const QString kOwnRevLines = QStringLiteral("rev_lines");
const QString kOwnAccessList = QStringLiteral("access_list");
const QString kOwnPlots = QStringLiteral("plots");

bool InRows(int row) { return row >= 0 && row < CardDecks::kRows; }

void PutList(StateWriter& out, const QString& kind, const QStringList& list) {
  for (int i = 0; i < list.size(); ++i) out.Put(kOwn, {kind, i, 0, list[i]});
}

void PutLines(StateWriter& out, const QString& kind, const QVector<PlayerLine>& lines) {
  for (int i = 0; i < lines.size(); ++i) out.Put(kOwn, {kind, i, lines[i].player, lines[i].text});
}

}  // namespace

std::vector<std::pair<QString, int*>> CardState::NumberFields(CardDecks& d) {
  std::vector<std::pair<QString, int*>> f;
  auto pile = [&](const QString& name, CardDecks::Pile& p) {
    f.push_back({name + QStringLiteral("_draw"), &p.draw});
    f.push_back({name + QStringLiteral("_last"), &p.last});
    f.push_back({name + QStringLiteral("_discards"), &p.discards});
  };
  auto tarot = [&](const QString& name, CardDecks::Tarot& t) {
    f.push_back({name + QStringLiteral("_pointer"), &t.pointer});
    f.push_back({name + QStringLiteral("_last"), &t.last});
  };
  pile(QStringLiteral("nova_trump"), d.nova_trump);
  pile(QStringLiteral("rev_trump"), d.rev_trump);
  pile(QStringLiteral("graphic_trump"), d.graphic_trump);
  tarot(QStringLiteral("nova_tarot"), d.nova_tarot);
  tarot(QStringLiteral("rev_tarot"), d.rev_tarot);
  tarot(QStringLiteral("graphic_tarot"), d.graphic_tarot);
  f.push_back({QStringLiteral("access_pointer"), &d.access.pointer});
  f.push_back({QStringLiteral("access_last"), &d.access.last});
  f.push_back({QStringLiteral("access_returns"), &d.access.returns});
  f.push_back({QStringLiteral("shuffle_count"), &d.shuffle_count});
  f.push_back({QStringLiteral("access_swaps"), &d.access_swaps});
  f.push_back({QStringLiteral("option_jokers"), &d.options.jokers});
  f.push_back({QStringLiteral("option_sets"), &d.options.sets});
  f.push_back({QStringLiteral("clamp_last"), &d.flat_last_});
  return f;
}

std::vector<std::pair<QString, bool*>> CardState::FlagFields(Cards& c) {
  CardDecks& d = c.decks_;
  return {{QStringLiteral("announced"), &c.announced_},
          {QStringLiteral("nova_started"), &d.nova_started},
          {QStringLiteral("rev_started"), &d.rev_started},
          {QStringLiteral("graphic_started"), &d.graphic_started},
          {QStringLiteral("option_shuffle_trump"), &d.options.shuffle_trump},
          {QStringLiteral("option_shuffle_tarot"), &d.options.shuffle_tarot},
          {QStringLiteral("option_minus_01"), &d.options.minus[0]},
          {QStringLiteral("option_minus_07"), &d.options.minus[1]},
          {QStringLiteral("option_minus_09"), &d.options.minus[2]},
          {QStringLiteral("option_minus_18"), &d.options.minus[3]},
          {QStringLiteral("own_nova_dealt"), &c.nova_.dealt},
          {QStringLiteral("own_rev_dealt"), &c.rev_.dealt}};
}

std::vector<std::pair<QString, QString*>> CardState::TextFields(Cards& c) {
  return {{QStringLiteral("graphic_table_tarot"), &c.graphic_tarot_},
          {QStringLiteral("own_nova_tarot"), &c.nova_.tarot},
          {QStringLiteral("own_nova_face_down"), &c.nova_.face_down},
          {QStringLiteral("own_access_label"), &c.nova_.access_label},
          {QStringLiteral("own_access"), &c.nova_.own_access},
          {QStringLiteral("own_rev_tarot"), &c.rev_.tarot},
          {QStringLiteral("own_rev_face_down"), &c.rev_.face_down}};
}

CardState::CardState(Cards& cards) : cards_(cards) {
  QObject::connect(&cards_, &Cards::modeChanged, &cards_, [this] { MarkChanged(); });
  for (auto signal :
       {&Cards::novaChanged, &Cards::revChanged, &Cards::tableChanged, &Cards::decksChanged}) {
    QObject::connect(&cards_, signal, &cards_, [this] { MarkChanged(); });
  }
}

QVector<StateTable> CardState::Tables() const {
  return {{kInfo, {"name", "value"}, 1},
          {kTexts, {"col", "row", "text"}, 2},
          {kGraphicDeck, {"position", "rank", "suit"}, 1},
          {kClamp, {"position", "text"}, 1},
          {kHeld, {"kind", "player", "seq", "card"}, 3},
          {kTable, {"card", "rank", "suit", "x", "y", "face", "orientation", "owner"}, 1},
          {kOwn, {"kind", "seq", "player", "text"}, 2}};
}

void CardState::DescribeInfo(StateWriter& out) const {
  Cards& c = cards_;
  out.Clear(kInfo);
  out.Put(kInfo, {QStringLiteral("mode"), c.mode_});
  for (const auto& [name, field] : NumberFields(c.decks_)) out.Put(kInfo, {name, *field});
  for (const auto& [name, field] : FlagFields(c)) out.Put(kInfo, {name, *field ? 1 : 0});
  for (const auto& [name, field] : TextFields(c)) out.Put(kInfo, {name, *field});
  out.Put(kInfo, {QStringLiteral("own_rev_group"), c.rev_.group});
  out.Put(kInfo, {QStringLiteral("own_rev_total"), c.rev_.total});
}

void CardState::DescribeDecks(StateWriter& out) const {
  const CardDecks& d = cards_.decks_;
  out.Clear(kTexts);
  for (int col = 0; col < CardDecks::kColumns; ++col) {
    for (int row = 0; row < CardDecks::kRows; ++row) {
      const QString& text = d.table_[col][row];
      if (!text.isEmpty()) out.Put(kTexts, {col, row, text});
    }
  }
  out.Clear(kGraphicDeck);
  if (d.graphic_started) {
    for (int i = 0; i < CardDecks::kRows; ++i) {
      out.Put(kGraphicDeck, {i, d.graphic_[i].rank, d.graphic_[i].suit});
    }
  }
  out.Clear(kClamp);
  for (int i = 0; i <= d.flat_last_ && i < CardDecks::kFlatSize; ++i) {
    out.Put(kClamp, {i, d.flat_[i]});
  }
  out.Clear(kHeld);
  const Cards::Held& h = cards_.held_;
  auto held = [&](const QString& kind, const QHash<int, QStringList>& lists) {
    for (auto it = lists.cbegin(); it != lists.cend(); ++it) {
      for (int i = 0; i < it->size(); ++i) out.Put(kHeld, {kind, it.key(), i, it->at(i)});
    }
  };
  held(kHeldNova, h.nova);
  held(kHeldRev, h.rev);
  held(kHeldAccess, h.access);
  for (auto it = h.graphic.cbegin(); it != h.graphic.cend(); ++it) {
    for (int position : *it) out.Put(kHeld, {kHeldGraphic, it.key(), position, position});
  }
}

void CardState::DescribeOwn(StateWriter& out) const {
  const Cards& c = cards_;
  out.Clear(kTable);
  for (const CardRecord& r : c.placed_) {
    if (!r.in_use) continue;
    out.Put(kTable, {r.index, r.rank, r.suit, r.x, r.y, r.face, r.orientation, r.owner});
  }
  out.Clear(kOwn);
  PutList(out, kOwnNovaHand, c.nova_.hand);
  PutList(out, kOwnRevLines, c.rev_.lines);
  PutLines(out, kOwnAccessList, c.nova_.access_list);
  PutLines(out, kOwnPlots, c.rev_.plots);
}

void CardState::DescribeAll(StateWriter& out) const {
  DescribeInfo(out);
  DescribeDecks(out);
  DescribeOwn(out);
}

void CardState::RestoreInfo(const StateReader& in) {
  Cards& c = cards_;
  QHash<QString, QVariant> info;
  for (const QVariantList& row : in.Rows(kInfo)) {
    if (row.size() >= 2) info.insert(row[0].toString(), row[1]);
  }
  if (info.contains(QStringLiteral("mode"))) {
    c.mode_ =
        qBound(int{Cards::kNova}, info.value(QStringLiteral("mode")).toInt(), int{Cards::kClamp});
  }
  // Pointers outside the table would index past it; a file edited by hand keeps them inside.
  for (const auto& [name, field] : NumberFields(c.decks_)) {
    if (info.contains(name)) *field = qBound(-1, info.value(name).toInt(), CardDecks::kRows);
  }
  c.decks_.options.jokers = qBound(0, c.decks_.options.jokers, 2);
  c.decks_.options.sets = qBound(1, c.decks_.options.sets, 3);
  c.decks_.flat_last_ = qMin(c.decks_.flat_last_, CardDecks::kFlatSize - 1);
  for (const auto& [name, field] : FlagFields(c)) {
    if (info.contains(name)) *field = info.value(name).toInt() != 0;
  }
  for (const auto& [name, field] : TextFields(c)) *field = info.value(name).toString();
  c.rev_.group = qBound(0, info.value(QStringLiteral("own_rev_group")).toInt(), 9);
  c.rev_.total = qMax(0, info.value(QStringLiteral("own_rev_total")).toInt());
}

void CardState::RestoreDecks(const StateReader& in) {
  CardDecks& d = cards_.decks_;
  for (auto& column : d.table_) column.fill(QString());
  for (const QVariantList& row : in.Rows(kTexts)) {
    const int col = row.value(0).toInt();
    const int r = row.value(1).toInt();
    if (col >= 0 && col < CardDecks::kColumns && InRows(r))
      d.table_[col][r] = row.value(2).toString();
  }
  d.graphic_.fill(CardRecord{});
  for (int i = 0; i < CardDecks::kRows; ++i) d.graphic_[i].index = i;
  for (const QVariantList& row : in.Rows(kGraphicDeck)) {
    const int i = row.value(0).toInt();
    if (!InRows(i)) continue;
    d.graphic_[i].rank = qBound(0, row.value(1).toInt(), 13);
    d.graphic_[i].suit = qBound(0, row.value(2).toInt(), 3);
  }
  d.flat_.fill(QString());
  for (const QVariantList& row : in.Rows(kClamp)) {
    const int i = row.value(0).toInt();
    if (i >= 0 && i < CardDecks::kFlatSize) d.flat_[i] = row.value(1).toString();
  }
  Cards::Held& h = cards_.held_;
  h = Cards::Held{};
  for (const QVariantList& row : in.Rows(kHeld)) {
    const QString kind = row.value(0).toString();
    const int player = row.value(1).toInt();
    if (kind == kHeldNova) h.nova[player] << row.value(3).toString();
    if (kind == kHeldRev) h.rev[player] << row.value(3).toString();
    if (kind == kHeldAccess) h.access[player] << row.value(3).toString();
    if (kind == kHeldGraphic && InRows(row.value(3).toInt())) {
      h.graphic[player].insert(row.value(3).toInt());
    }
  }
}

void CardState::RestoreOwn(const StateReader& in) {
  Cards& c = cards_;
  for (CardRecord& r : c.placed_) r.in_use = false;
  for (const QVariantList& row : in.Rows(kTable)) {
    if (row.size() < 8 || !InRows(row[0].toInt())) continue;
    CardRecord& r = c.placed_[row[0].toInt()];
    r = CardRecord{row[0].toInt(),
                   qBound(0, row[1].toInt(), 13),
                   qBound(0, row[2].toInt(), 3),
                   row[3].toInt(),
                   row[4].toInt(),
                   qBound(0, row[5].toInt(), 2),
                   qBound(1, row[6].toInt(), 2),
                   row[7].toInt(),
                   true};
  }
  c.nova_.hand.clear();
  c.rev_.lines.clear();
  c.nova_.access_list.clear();
  c.rev_.plots.clear();
  for (const QVariantList& row : in.Rows(kOwn)) {
    const QString kind = row.value(0).toString();
    const QString text = row.value(3).toString();
    if (kind == kOwnNovaHand) c.nova_.hand << text;
    if (kind == kOwnRevLines) c.rev_.lines << text;
    if (kind == kOwnAccessList) c.nova_.access_list.append({row.value(2).toInt(), text});
    if (kind == kOwnPlots) c.rev_.plots.append({row.value(2).toInt(), text});
  }
}

void CardState::Restore(const StateReader& in) {
  // A table saved before it kept a card game leaves the game as it is.
  if (in.Rows(kInfo).isEmpty()) {
    MarkDescribed();
    return;
  }
  RestoreInfo(in);
  RestoreDecks(in);
  RestoreOwn(in);
  emit cards_.modeChanged(cards_.mode_);
  emit cards_.novaChanged();
  emit cards_.revChanged();
  emit cards_.tableChanged();
  MarkDescribed();
}

void CardState::HandOut(const QVector<int>& participants) {
  // Everybody's card window follows the opened game's mode, and gets what a late joiner's
  // repair gets: the graphic table laid out again, or a hand dealt from the opened decks with
  // their tarot card. The hands the file holds were dealt to the numbers of another evening's
  // participants, so nobody here is handed one of them.
  if (!cards_.IsServer() || !cards_.announced_) return;
  CardDecks& decks = cards_.decks_;
  for (int p : participants) {
    cards_.TellMode(p);
    switch (cards_.mode_) {
      case Cards::kGraphic: {
        Packet start(msg::kCardGraphicStart, 1, cards_.instance_.OwnIndex, 0);
        cards_.SendTo(p, start.Add(cards_.graphic_tarot_));
        cards_.ServeGraphicRepair(p);
        break;
      }
      case Cards::kNova:
        if (decks.nova_started) {
          cards_.DealHand(msg::kCardNovaDeal, p, decks.nova_trump,
                          decks.CurrentTarot(decks.nova_tarot));
        }
        break;
      case Cards::kNovaRev:
        if (decks.rev_started) {
          cards_.DealHand(msg::kCardRevDeal, p, decks.rev_trump,
                          decks.CurrentTarot(decks.rev_tarot));
        }
        break;
      default:
        break;
    }
  }
  emit cards_.decksChanged();
}

}  // namespace quillora
