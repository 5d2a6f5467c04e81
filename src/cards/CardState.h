#pragma once

#include <utility>
#include <vector>

#include "core/ToolState.h"

namespace quillora {

class CardDecks;
class Cards;

// The card game as plain rows: the mode and the game master's options, the server's decks
// (card texts, draw pointers, discards, the graphic deck, the CLAMP list), what was dealt to
// whom, the cards on the graphic table and what this program's own card window holds.
class CardState : public ToolState {
 public:
  explicit CardState(Cards& cards);

  QVector<StateTable> Tables() const override;
  void DescribeAll(StateWriter& out) const override;
  void Restore(const StateReader& in) override;
  void HandOut(const QVector<int>& participants) override;

 private:
  // The single values of the game under their names in card_info, so that describing and
  // restoring go through the same lists.
  static std::vector<std::pair<QString, int*>> NumberFields(CardDecks& decks);
  static std::vector<std::pair<QString, bool*>> FlagFields(Cards& cards);
  static std::vector<std::pair<QString, QString*>> TextFields(Cards& cards);

  void DescribeInfo(StateWriter& out) const;
  void DescribeDecks(StateWriter& out) const;
  void DescribeOwn(StateWriter& out) const;
  void RestoreInfo(const StateReader& in);
  void RestoreDecks(const StateReader& in);
  void RestoreOwn(const StateReader& in);

  Cards& cards_;
};

}  // namespace quillora
