#include "cards/CardDecks.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <utility>

#include "core/Random.h"
#include "text/Cp932.h"

namespace quillora {

namespace {

// Trims spaces and tabs (and a stray carriage return) at both ends, nothing else.
QString TrimSpaces(const QString& s) {
  qsizetype b = 0, e = s.size();
  auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\r'; };
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return s.mid(b, e - b);
}

// One line of a card file, read by the directive rules.
struct CardLine {
  enum Kind { kSkip, kCard, kDirective } kind = kSkip;
  QString key;    // of a directive
  QString value;  // the card text or the directive's value
};

CardLine ReadLine(const QString& raw) {
  CardLine line;
  if (raw.startsWith(u'#')) {
    const QStringList parts = raw.split(u'=');
    line.kind = CardLine::kDirective;
    line.key = TrimSpaces(parts[0]);
    line.value = parts.size() > 1 ? TrimSpaces(parts[1]) : QString();
    return line;
  }
  line.value = TrimSpaces(raw);
  if (!line.value.isEmpty()) line.kind = CardLine::kCard;
  return line;
}

// The lines of a card file, or nullopt-like false when it does not exist.
bool ReadCardFile(const QString& path, QStringList* lines) {
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return false;
  *lines = Cp932::DecodeFile(file.readAll()).split(u'\n');
  return true;
}

QString MissingText(const QString& path) {
  return QStringLiteral("ファイル：") + path + QStringLiteral("がありません");
}

QString OverflowText(const QString& path, int dropped) {
  return QStringLiteral("ファイル：") + path + QStringLiteral("のカードのうち") +
         QString::number(dropped) + QStringLiteral("枚は入りきらないため読み込みませんでした");
}

}  // namespace

int PickIndex(Random& random, int low, int high) {
  if (high <= low) return low;
  const uint64_t n = static_cast<uint64_t>(int64_t{high} - low) + 1;
  uint64_t mask = 1;
  while (mask < n) mask <<= 1;
  --mask;
  // Whole 32-bit draws masked to the next power of two; values past the range are drawn again.
  auto draw = [&random] { return static_cast<uint64_t>(random.Next() * 4294967296.0); };
  for (int attempt = 0; attempt < 64; ++attempt) {
    const uint64_t v = draw() & mask;
    if (v < n) return static_cast<int>(low + static_cast<int64_t>(v));
  }
  return static_cast<int>(low + static_cast<int64_t>(draw() % n));
}

QStringList CardDecks::TakeProblems() {
  QStringList texts = std::exchange(missing_, {});
  for (auto it = dropped_.cbegin(); it != dropped_.cend(); ++it) {
    texts << OverflowText(it.key(), it.value());
  }
  dropped_.clear();
  return texts;
}

QString CardDecks::Text(int column, int row) const {
  if (column < 0 || column >= kColumns || row < 0 || row >= kRows) return {};
  return table_[column][row];
}

void CardDecks::ClearColumns(std::initializer_list<int> columns) {
  for (int column : columns) table_[column].fill(QString());
}

int CardDecks::LoadCardColumn(const QString& path, int column, int start) {
  QStringList lines;
  if (!ReadCardFile(path, &lines)) {
    if (!missing_.contains(MissingText(path))) missing_ << MissingText(path);
    return 0;
  }
  int row = start;
  int dropped = 0;
  auto store = [&](const QString& card) {
    if (card.isEmpty()) return;
    if (row >= 0 && row < kRows && column >= 0 && column < kColumns) {
      table_[column][row++] = card;
    } else {
      ++dropped;
    }
  };
  for (const QString& raw : lines) {
    const CardLine line = ReadLine(raw);
    if (line.kind == CardLine::kCard) {
      store(line.value);
    } else if (line.kind == CardLine::kDirective) {
      const QString& k = line.key;
      if ((k == u"#SpecialCard1" && options.jokers != 0) ||
          (k == u"#SpecialCard2" && options.jokers == 2) ||
          (k == u"#MinusCard01" && options.minus[0]) ||
          (k == u"#MinusCard07" && options.minus[1]) ||
          (k == u"#MinusCard09" && options.minus[2]) ||
          (k == u"#MinusCard18" && options.minus[3])) {
        store(line.value);
      }
    }
  }
  if (dropped > 0) dropped_[path] += dropped;
  return row;
}

int CardDecks::LoadFlatCardList(const QString& path) {
  flat_.fill(QString());
  flat_last_ = -1;
  QStringList lines;
  if (!ReadCardFile(path, &lines)) {
    if (!missing_.contains(MissingText(path))) missing_ << MissingText(path);
    return 0;
  }
  int next = 2;
  int dropped = 0;
  for (const QString& raw : lines) {
    const CardLine line = ReadLine(raw);
    if (line.kind == CardLine::kCard) {
      if (next < kFlatSize) {
        flat_[next++] = line.value;
      } else {
        ++dropped;
      }
    } else if (line.kind == CardLine::kDirective) {
      if (line.key == u"#SpecialCard1") flat_[0] = line.value;
      if (line.key == u"#SpecialCard2") flat_[1] = line.value;
    }
  }
  if (dropped > 0) dropped_[path] += dropped;
  flat_last_ = next - 1;
  return next;
}

int CardDecks::LoadTrumpSets(const QString& path, int column) {
  int rows = 0;
  const int sets = options.sets == 2 || options.sets == 3 ? options.sets : 1;
  for (int s = 0; s < sets; ++s) rows = LoadCardColumn(path, column, rows);
  return rows;
}

void CardDecks::StartNova(const QString& access_path, const QString& tarot_path,
                          const QString& trump_path) {
  ClearColumns({kAccess, kTarot, kTrump});
  nova_started = true;
  access = {0, LoadCardColumn(access_path, kAccess, 0) - 1, 0};
  nova_tarot = {0, LoadCardColumn(tarot_path, kTarot, 0) - 1, kTarot};
  nova_trump = {0, LoadTrumpSets(trump_path, kTrump) - 1, 0, kTrump};
  if (options.shuffle_trump) ShuffleTextColumn(0, nova_trump.last, kTrump, shuffle_count);
  if (options.shuffle_tarot) ShuffleTextColumn(0, nova_tarot.last, kTarot, shuffle_count);
  ShuffleTextColumn(0, access.last, kAccess, access_swaps);
}

void CardDecks::StartNovaRev(const QString& tarot_path, const QString& trump_path) {
  ClearColumns({kRevTarot, kRevTrump});
  rev_started = true;
  rev_tarot = {0, LoadCardColumn(tarot_path, kRevTarot, 0) - 1, kRevTarot};
  rev_trump = {0, LoadTrumpSets(trump_path, kRevTrump) - 1, 0, kRevTrump};
  if (options.shuffle_trump) ShuffleTextColumn(0, rev_trump.last, kRevTrump, shuffle_count);
  if (options.shuffle_tarot) ShuffleTextColumn(0, rev_tarot.last, kRevTarot, shuffle_count);
}

void CardDecks::StartGraphic(const QString& tarot_path) {
  ClearColumns({kGraphicTarot});
  graphic_started = true;
  graphic_tarot = {0, LoadCardColumn(tarot_path, kGraphicTarot, 0) - 1, kGraphicTarot};
  graphic_.fill(CardRecord{});
  const int sets = options.sets == 2 || options.sets == 3 ? options.sets : 1;
  int i = 0;
  for (int s = 0; s < sets; ++s) {
    for (int j = 0; j < 52; ++j, ++i) graphic_[i] = CardRecord{i, j % 13, j / 13};
    if (options.jokers != 0) {
      graphic_[i] = CardRecord{i, 13, 3};
      ++i;
    }
  }
  graphic_trump = {0, i - 1, 0};
  if (options.shuffle_trump) ShuffleGraphicDeck(0, graphic_trump.last, shuffle_count);
  if (options.shuffle_tarot) {
    ShuffleTextColumn(0, graphic_tarot.last, kGraphicTarot, shuffle_count);
  }
}

void CardDecks::ShuffleTextColumn(int low, int high, int column, int swaps) {
  if (column < 0 || column >= kColumns) return;
  low = std::max(low, 0);
  high = std::min(high, kRows - 1);
  if (high <= low) return;
  auto& col = table_[column];
  for (int i = 0; i < swaps; ++i) {
    const int a = PickIndex(random_, low, high);
    const int b = PickIndex(random_, low, high);
    std::swap(col[a], col[b]);
  }
}

void CardDecks::ShuffleGraphicDeck(int low, int high, int swaps) {
  low = std::max(low, 0);
  high = std::min(high, kRows - 1);
  if (high <= low) return;
  for (int i = 0; i < swaps; ++i) {
    const int a = PickIndex(random_, low, high);
    const int b = PickIndex(random_, low, high);
    std::swap(graphic_[a], graphic_[b]);
  }
}

QString CardDecks::DrawTrump(Pile& pile) {
  if (pile.column < 0 || pile.column >= kColumns) return {};
  auto& col = table_[pile.column];
  if (pile.draw > pile.last) {
    const int d = std::clamp(pile.discards, 0, pile.last + 1);
    if (options.shuffle_trump) ShuffleTextColumn(0, d - 1, pile.column, shuffle_count);
    const int base = pile.last - d + 1;  // first row of the refilled deck
    for (int k = d - 1; k >= 0; --k) col[k + base] = col[k];
    for (int k = 0; k < base; ++k) col[k].clear();
    pile.draw = base;
    pile.discards = 0;
  }
  if (pile.draw < 0 || pile.draw > pile.last || pile.draw >= kRows) return {};
  return col[pile.draw++];
}

bool CardDecks::DiscardTrump(Pile& pile, const QString& card) {
  // Only rows below the draw pointer are free; anything more would overwrite the deck.
  if (card.isEmpty() || pile.discards < 0 || pile.discards >= pile.draw) return false;
  if (pile.column < 0 || pile.column >= kColumns) return false;
  table_[pile.column][pile.discards++] = card;
  return true;
}

int CardDecks::DrawGraphicCard() {
  Pile& pile = graphic_trump;
  if (pile.draw > pile.last) {
    const int d = std::clamp(pile.discards, 0, pile.last + 1);
    if (options.shuffle_trump) ShuffleGraphicDeck(0, d - 1, shuffle_count);
    const int base = pile.last - d + 1;
    for (int k = d - 1; k >= 0; --k) graphic_[k + base] = graphic_[k];
    pile.draw = base;
    pile.discards = 0;
  }
  if (pile.draw < 0 || pile.draw > pile.last || pile.draw >= kRows) return -1;
  return pile.draw++;
}

bool CardDecks::DiscardGraphic(int suit, int rank) {
  Pile& pile = graphic_trump;
  if (pile.discards < 0 || pile.discards >= pile.draw) return false;
  graphic_[pile.discards].suit = suit;
  graphic_[pile.discards].rank = rank;
  ++pile.discards;
  return true;
}

QString CardDecks::AdvanceTarot(Tarot& tarot) {
  ++tarot.pointer;
  if (tarot.pointer > tarot.last) {
    if (options.shuffle_tarot) ShuffleTextColumn(0, tarot.last, tarot.column, shuffle_count);
    tarot.pointer = 0;
  }
  return CurrentTarot(tarot);
}

QString CardDecks::DrawAccess() {
  if (access.pointer < 0 || access.pointer > access.last || access.pointer >= kRows) return {};
  return table_[kAccess][access.pointer++];
}

void CardDecks::ReturnAccess(const QString& card) {
  // Only as many cards come back as went out; a stray return changes nothing.
  if (card.isEmpty() || access.returns < 0 || access.returns >= access.pointer) return;
  table_[kAccess][access.returns++] = card;
  if (access.returns == access.pointer) {
    access.returns = 0;
    access.pointer = 0;
    ShuffleTextColumn(0, access.last, kAccess, access_swaps);
  }
}

void CardDecks::ResetAccess(const QString& path) {
  for (auto& row : table_[kAccess]) row.clear();
  access = {0, LoadCardColumn(path, kAccess, 0) - 1, 0};
  ShuffleTextColumn(0, access.last, kAccess, access_swaps);
}

QString CardDecks::DrawClamp(int count) {
  if (!ClampLoaded()) return {};
  const int low = count == 1 ? 0 : 2;
  QString result;
  std::array<int, 3> taken{-1, -1, -1};
  for (int n = 0; n < count && n < 3; ++n) {
    int attempt = 0;
    for (; attempt < 200; ++attempt) {
      const int i = PickIndex(random_, low, flat_last_);
      // A special card the file does not have is no card.
      if (flat_[i].isEmpty() || std::find(taken.begin(), taken.end(), i) != taken.end()) continue;
      taken[n] = i;
      result += QStringLiteral(" [") + flat_[i] + QStringLiteral("]");
      break;
    }
    if (attempt == 200) return {};
  }
  return result;
}

}  // namespace quillora
