#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <initializer_list>

namespace quillora {

class Random;

// One card on the graphic table, or one record of the graphic deck (which uses the first
// three fields only).
struct CardRecord {
  int32_t index = 0;
  int32_t rank = 0;  // 0..12, 13 for a joker
  int32_t suit = 0;  // 0..3; a joker has suit 3
  int32_t x = 0;
  int32_t y = 0;
  int32_t face = 0;         // 0 face down, 1 face seen by its owner only, 2 face up
  int32_t orientation = 1;  // 1 upright, 2 sideways
  int32_t owner = 0;        // player index
  bool in_use = false;
};

// The game master's choices that shape the decks.
struct DeckOptions {
  int jokers = 0;  // 0, 1 or 2
  bool shuffle_trump = true;
  bool shuffle_tarot = true;
  int sets = 1;                 // 1..3
  std::array<bool, 4> minus{};  // -01, -07, -09, -18
};

// A uniformly chosen whole number in [low, high] from the instance's generator; never outside
// the range, whatever the generator returns.
int PickIndex(Random& random, int low, int high);

// The server's decks: the card text table (access, tarot and trump columns), the draw
// pointers of each mode, the graphic deck of card records and the CLAMP list. Pure state and
// rules; the card model sends what they produce.
class CardDecks {
 public:
  static constexpr int kRows = 163;     // rows 0..162 of each column
  static constexpr int kFlatSize = 55;  // CLAMP list entries 0..54
  // Columns of the text table. Each game keeps its own columns, so that a game started later
  // never overwrites the cards of one still in the players' hands.
  static constexpr int kAccess = 1;  // Nova
  static constexpr int kTarot = 2;
  static constexpr int kTrump = 3;
  static constexpr int kRevTarot = 4;  // Nova Revolution
  static constexpr int kRevTrump = 5;
  static constexpr int kGraphicTarot = 6;  // the graphic table
  static constexpr int kColumns = 7;

  // A trump pile: rows below `draw` are free and hold the discards from row 0 upward.
  struct Pile {
    int draw = 0;
    int last = -1;
    int discards = 0;
    int column = kTrump;
  };
  struct Tarot {
    int pointer = 0;
    int last = -1;
    int column = kTarot;
  };
  struct Access {
    int pointer = 0;
    int last = -1;
    int returns = 0;
  };

  explicit CardDecks(Random& random) : random_(random) {}

  DeckOptions options;
  int shuffle_count = 200;  // swaps of the tarot and trump shuffles
  int access_swaps = 15;    // swaps of the access shuffle

  // --- card files ---------------------------------------------------------------------------
  // Appends the cards of a file to `column` from row `start` and returns the next free row.
  // A missing file or cards beyond the table are noted in Problems().
  int LoadCardColumn(const QString& path, int column, int start);
  // Re-creates the CLAMP list from a file (special cards at 0 and 1, the rest from 2) and
  // returns the next free index.
  int LoadFlatCardList(const QString& path);
  // Message box texts the loaders left since the last call ("カード読み込みエラー").
  QStringList TakeProblems();

  // --- deck starts --------------------------------------------------------------------------
  void StartNova(const QString& access, const QString& tarot, const QString& trump);
  void StartNovaRev(const QString& tarot, const QString& trump);
  void StartGraphic(const QString& tarot);

  // --- shuffles -----------------------------------------------------------------------------
  void ShuffleTextColumn(int low, int high, int column, int swaps);
  void ShuffleGraphicDeck(int low, int high, int swaps);

  // --- drawing ------------------------------------------------------------------------------
  // The next trump card (refilled from the discards when the deck is used up); empty when
  // there is no card left at all.
  QString DrawTrump(Pile& pile);
  // A played card goes to the discard rows. False when there is no free row for it.
  bool DiscardTrump(Pile& pile, const QString& card);
  // The deck position of the next graphic card, or -1 when none is left.
  int DrawGraphicCard();
  // A card leaves the graphic table for the discard rows. False when there is no free row.
  bool DiscardGraphic(int suit, int rank);

  // The tarot card shown now, and the advance to the next one.
  QString CurrentTarot(const Tarot& tarot) const { return Text(tarot.column, tarot.pointer); }
  QString AdvanceTarot(Tarot& tarot);

  // Access cards: the next one (empty when all are handed out), a returned one, a new pack.
  QString DrawAccess();
  void ReturnAccess(const QString& card);
  void ResetAccess(const QString& path);

  // A CLAMP draw: " [card]" for each of one (specials included) or three different cards.
  // Empty when the list cannot give them.
  QString DrawClamp(int count);
  bool ClampLoaded() const { return flat_last_ > 10; }

  // --- state --------------------------------------------------------------------------------
  QString Text(int column, int row) const;
  const CardRecord& GraphicRecord(int position) const { return graphic_[position]; }
  const QString& FlatCard(int i) const { return flat_[i]; }
  int FlatLast() const { return flat_last_; }

  Pile nova_trump, rev_trump{0, -1, 0, kRevTrump};
  Pile graphic_trump;  // positions in the graphic deck of card records
  Tarot nova_tarot, rev_tarot{0, -1, kRevTarot}, graphic_tarot{0, -1, kGraphicTarot};
  Access access;
  // Whether a game's deck start has run since the program started.
  bool nova_started = false, rev_started = false, graphic_started = false;

 private:
  friend class CardState;  // describes and restores the decks for the table file

  void ClearColumns(std::initializer_list<int> columns);
  int LoadTrumpSets(const QString& path, int column);

  Random& random_;
  std::array<std::array<QString, kRows>, kColumns> table_;
  std::array<CardRecord, kRows> graphic_{};
  std::array<QString, kFlatSize> flat_;
  int flat_last_ = -1;
  QStringList missing_;
  QMap<QString, int> dropped_;  // cards left out, by file
};

}  // namespace quillora
