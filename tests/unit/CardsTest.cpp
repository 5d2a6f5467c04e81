#include <gtest/gtest.h>

#include <QSet>
#include <QSignalSpy>

#include "cards/CardDecks.h"
#include "cards/Cards.h"
#include "common/TestSupport.h"
#include "core/Random.h"
#include "net/MessageCodes.h"
#include "text/Cp932.h"
#include "unit/ChatFakes.h"

namespace quillora {
namespace {

using test::NetRig;
using test::TempHome;

QString Numbered(int n) { return QStringLiteral("c%1").arg(n); }

// A card file of `n` numbered cards plus whatever extra lines are given, in CP932.
QByteArray CardFile(int n, const QStringList& extra = {}) {
  QStringList lines = extra;
  for (int i = 0; i < n; ++i) lines << Numbered(i);
  return Cp932::Encode(lines.join(QStringLiteral("\r\n")));
}

class CardDecksTest : public ::testing::Test {
 protected:
  QString Write(const QString& name, const QByteArray& bytes) {
    home.Write(name, bytes);
    return home.File(name);
  }
  TempHome home;
  Random random{42};
  CardDecks decks{random};
};

TEST_F(CardDecksTest, LoaderFollowsTheDirectivesAndTheJokerAndMinusChoices) {
  const QString path =
      Write(QStringLiteral("t.txt"),
            Cp932::Encode(QStringLiteral("# a comment\r\n"
                                         "  スペードのＡ  \r\n"
                                         "\r\n"
                                         "#SpecialCard1 =   赤いジョーカー   = ignored\r\n"
                                         "#Unknown=not a card\r\n"
                                         "ハートの２\r\n"
                                         "#SpecialCard2=黒いジョーカー\r\n"
                                         "#MinusCard07= アラシ \r\n"
                                         "#MinusCard18=アヤカシ\r\n"
                                         "#specialcard1=case matters\r\n")));
  auto load = [&] {
    const int next = decks.LoadCardColumn(path, CardDecks::kTrump, 0);
    QStringList cards;
    for (int row = 0; row < next; ++row) cards << decks.Text(CardDecks::kTrump, row);
    return cards;
  };
  EXPECT_EQ(load(), (QStringList{"スペードのＡ", "ハートの２"}));
  decks.options.jokers = 1;
  EXPECT_EQ(load(), (QStringList{"スペードのＡ", "赤いジョーカー", "ハートの２"}));
  decks.options.jokers = 2;
  decks.options.minus[1] = true;
  EXPECT_EQ(load(), (QStringList{"スペードのＡ", "赤いジョーカー", "ハートの２", "黒いジョーカー",
                                 "アラシ"}));
  EXPECT_TRUE(decks.TakeProblems().isEmpty());

  // The flat list keeps the specials apart and ignores the minus cards.
  EXPECT_EQ(decks.LoadFlatCardList(path), 4);
  EXPECT_EQ(decks.FlatCard(0), QStringLiteral("赤いジョーカー"));
  EXPECT_EQ(decks.FlatCard(1), QStringLiteral("黒いジョーカー"));
  EXPECT_EQ(decks.FlatCard(3), QStringLiteral("ハートの２"));
}

TEST_F(CardDecksTest, ThreeSetsFillRowsUpTo161AndTooManyCardsAreCountedOnce) {
  const QString path = Write(QStringLiteral("t.txt"), CardFile(54));
  decks.options.sets = 3;
  decks.StartNovaRev(path, path);
  EXPECT_EQ(decks.rev_trump.last, 161);
  EXPECT_EQ(decks.rev_trump.draw, 0);
  EXPECT_FALSE(decks.Text(CardDecks::kRevTrump, 161).isEmpty());
  EXPECT_TRUE(decks.Text(CardDecks::kRevTrump, 162).isEmpty());

  // 3 x 60 cards: 17 do not fit; said once, with the number.
  const QString big = Write(QStringLiteral("big.txt"), CardFile(60));
  decks.StartNovaRev(path, big);
  EXPECT_EQ(decks.rev_trump.last, 162);
  const QStringList problems = decks.TakeProblems();
  ASSERT_EQ(problems.size(), 1);
  EXPECT_TRUE(problems[0].contains(QStringLiteral("17枚"))) << problems[0].toStdString();

  const QString flat = Write(QStringLiteral("flat.txt"), CardFile(60));
  EXPECT_EQ(decks.LoadFlatCardList(flat), CardDecks::kFlatSize);
  EXPECT_TRUE(decks.TakeProblems().join("").contains(QStringLiteral("7枚")));

  EXPECT_EQ(decks.LoadCardColumn(home.File("none.txt"), CardDecks::kTarot, 0), 0);
  EXPECT_EQ(decks.TakeProblems(), QStringList{QStringLiteral("ファイル：") + home.File("none.txt") +
                                              QStringLiteral("がありません")});
}

TEST_F(CardDecksTest, AnExhaustedDeckRefillsFromItsDiscardsAndOtherwiseGivesNothing) {
  const QString path = Write(QStringLiteral("t.txt"), CardFile(10));
  decks.options.shuffle_trump = false;
  decks.StartNovaRev(path, path);
  CardDecks::Pile& pile = decks.rev_trump;
  for (int i = 0; i < 10; ++i) EXPECT_EQ(decks.DrawTrump(pile), Numbered(i));
  for (const char* card : {"x", "y", "z"}) EXPECT_TRUE(decks.DiscardTrump(pile, card));
  EXPECT_EQ(decks.DrawTrump(pile), QStringLiteral("x"));
  EXPECT_EQ(decks.Text(CardDecks::kRevTrump, 8), QStringLiteral("y"));
  EXPECT_EQ(decks.Text(CardDecks::kRevTrump, 9), QStringLiteral("z"));
  EXPECT_TRUE(decks.Text(CardDecks::kRevTrump, 0).isEmpty());
  EXPECT_EQ(decks.DrawTrump(pile), QStringLiteral("y"));
  EXPECT_EQ(decks.DrawTrump(pile), QStringLiteral("z"));
  EXPECT_TRUE(decks.DrawTrump(pile).isEmpty());
  EXPECT_TRUE(decks.DrawTrump(pile).isEmpty());

  // Discards never overwrite the undrawn deck: only rows below the draw pointer are free.
  decks.StartNovaRev(path, path);
  EXPECT_FALSE(decks.DiscardTrump(pile, QStringLiteral("forged")));
  decks.DrawTrump(pile);
  EXPECT_TRUE(decks.DiscardTrump(pile, QStringLiteral("a")));
  EXPECT_FALSE(decks.DiscardTrump(pile, QStringLiteral("b")));
  EXPECT_EQ(decks.Text(CardDecks::kRevTrump, 1), Numbered(1));
}

TEST_F(CardDecksTest, AccessCardsCycleAndAResetStartsAFreshCycle) {
  const QString path = Write(QStringLiteral("a.txt"), CardFile(3));
  decks.access_swaps = 0;
  decks.ResetAccess(path);
  EXPECT_EQ(decks.DrawAccess(), Numbered(0));
  EXPECT_EQ(decks.DrawAccess(), Numbered(1));
  decks.ReturnAccess(Numbered(1));
  EXPECT_EQ(decks.access.returns, 1);
  decks.ReturnAccess(Numbered(0));  // every handed-out card is back
  EXPECT_EQ(decks.access.returns, 0);
  EXPECT_EQ(decks.access.pointer, 0);
  decks.DrawAccess();
  decks.DrawAccess();
  decks.DrawAccess();
  EXPECT_TRUE(decks.DrawAccess().isEmpty()) << "all three are out";

  decks.ReturnAccess(QStringLiteral("r"));
  decks.ResetAccess(path);
  EXPECT_EQ(decks.access.returns, 0);
  decks.DrawAccess();
  decks.ReturnAccess(Numbered(0));
  EXPECT_EQ(decks.access.pointer, 0) << "the last return after a reset reshuffles at once";
  decks.ReturnAccess(QStringLiteral("stray"));
  EXPECT_EQ(decks.access.returns, 0);
}

TEST_F(CardDecksTest, ClampDrawsSpecialsOnlySinglyAndNeverTheSameCardTwice) {
  const QString path =
      Write(QStringLiteral("c.txt"),
            CardFile(12, {QStringLiteral("#SpecialCard1=S1"), QStringLiteral("#SpecialCard2=S2")}));
  decks.LoadFlatCardList(path);
  ASSERT_TRUE(decks.ClampLoaded());
  QSet<QString> singles;
  for (int i = 0; i < 400; ++i) {
    const QString one = decks.DrawClamp(1);
    singles.insert(one);
    const QStringList three = decks.DrawClamp(3).split(QStringLiteral(" ["), Qt::SkipEmptyParts);
    ASSERT_EQ(three.size(), 3);
    EXPECT_EQ(QSet<QString>(three.begin(), three.end()).size(), 3);
    EXPECT_FALSE(three.contains(QStringLiteral("S1]")) || three.contains(QStringLiteral("S2]")));
  }
  EXPECT_TRUE(singles.contains(QStringLiteral(" [S1]")));
  EXPECT_TRUE(singles.contains(QStringLiteral(" [c11]")));
  EXPECT_EQ(singles.size(), 14);

  decks.LoadFlatCardList(Write(QStringLiteral("small.txt"), CardFile(9)));
  EXPECT_FALSE(decks.ClampLoaded());
  EXPECT_TRUE(decks.DrawClamp(1).isEmpty());
}

TEST(CardPickTest, IndexesStayInRangeWhateverTheGeneratorGives) {
  Random top = Random::Scripted({0.9999999999999999, 0.99999999});
  for (int i = 0; i < 100; ++i) {
    const int v = PickIndex(top, 0, 162);
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 162);
  }
  Random any(3);
  QSet<int> seen;
  for (int i = 0; i < 2000; ++i) seen.insert(PickIndex(any, 5, 9));
  EXPECT_EQ(seen, (QSet<int>{5, 6, 7, 8, 9}));
}

// ---- the card model on a server rig -----------------------------------------------------------

class CardsModelTest : public ::testing::Test {
 protected:
  CardsModelTest() : cards(rig.instance, rig.router, rig.dispatcher) {
    SetSessionMode(rig.instance, ModeServer);
    SetOwnIndex(rig.instance, 1);
    rig.instance.OwnHandle = QStringLiteral("GM");
    for (int k = 1; k <= 4; ++k) {
      ParticipantRow(rig.instance, k) = {QStringLiteral("P%1").arg(k), static_cast<int16_t>(k),
                                         true, 0};
    }
  }

  // Every packet written so far, with the link it went to; then forgets them.
  QVector<std::pair<int, Packet>> Take() {
    QVector<std::pair<int, Packet>> out;
    for (const auto& s : rig.writes) out.push_back({s.link, DecodePacket(s.bytes)});
    rig.writes.clear();
    return out;
  }
  static Packet Req(int code, int sub, int sender) {
    return Packet(static_cast<int16_t>(code), static_cast<int16_t>(sub),
                  static_cast<int16_t>(sender), 0);
  }

  NetRig rig;
  Cards cards;
};

TEST_F(CardsModelTest, AnEmptyDeckAnswersOnlyTheAskerAndNoEmptyCardIsDealt) {
  rig.home.Write("data/n_trump.txt", CardFile(5));
  rig.home.Write("data/tarot.txt", CardFile(2));
  rig.instance.settings.Trump4NovaRev = QStringLiteral("data\\n_trump.txt");
  rig.instance.settings.Tarot4NovaRev = QStringLiteral("data\\tarot.txt");
  cards.ChooseMode(Cards::kNovaRev);
  Take();
  cards.StartDecks();  // four sockets want 16 cards of 5
  int cards_dealt = 0;
  QVector<int> told;
  for (const auto& [link, p] : Take()) {
    if (p.MessageCode == msg::kCardRevDeal) {
      for (int k = 2; k <= 5; ++k) cards_dealt += p.Text(k).isEmpty() ? 0 : 1;
    }
    if (p.MessageCode == msg::kSendChat) {
      EXPECT_EQ(link, 0);
      EXPECT_EQ(p.SubCode, msg::kChatResultPrivate);
      EXPECT_EQ(p.DestIndex, p.SenderIndex);
      EXPECT_EQ(p.Text(1), QStringLiteral("山札が残っていません"));
      told << p.DestIndex;
    }
  }
  EXPECT_EQ(cards_dealt, 5);
  EXPECT_EQ(told, (QVector<int>{2, 3, 4}));

  // A client applying a short deal adds no empty line.
  Packet deal(msg::kCardRevDeal, 1, 1, 3);
  deal.Add(QStringLiteral("塔"))
      .Add(QStringLiteral("c1"))
      .Add(QString())
      .Add(QString())
      .Add(QString());
  cards.HandleCardMessage(deal);
  EXPECT_EQ(cards.rev().lines, QStringList{QStringLiteral("手札：c1")});

  // The replacement request from socket 3 is answered to socket 3 alone.
  cards.HandleCardRequest(3, Req(msg::kCardRevTrump, 2, 3));
  const auto answer = Take();
  ASSERT_EQ(answer.size(), 1);
  EXPECT_EQ(answer[0].second.SubCode, msg::kChatResultPrivate);
  EXPECT_EQ(answer[0].second.DestIndex, 3);

  // A sender that does not match its socket is refused.
  cards.HandleCardRequest(3, Req(msg::kCardRevTrump, 2, 2));
  EXPECT_TRUE(Take().isEmpty());
  EXPECT_FALSE(rig.reports.isEmpty());
}

TEST_F(CardsModelTest, PlotSummaryCountsUprightAndSidewaysCardsPerGroup) {
  SetSessionMode(rig.instance, ModeClient);
  SetOwnIndex(rig.instance, 2);
  rig.instance.OwnHandle = QStringLiteral("Alice");
  Packet deal(msg::kCardRevDeal, 1, 1, 2);
  deal.Add(QStringLiteral("塔"));
  for (int i = 0; i < 4; ++i) deal.Add(Numbered(i));
  cards.HandleCardMessage(deal);
  ASSERT_TRUE(cards.RevPlot({0, 1}));
  EXPECT_EQ(cards.DivideCaption(), QStringLiteral("区切る/1"));
  ASSERT_TRUE(cards.RevDivide());
  ASSERT_TRUE(cards.RevPlot({0, 1}));  // c2, c3 into group 2
  ASSERT_TRUE(cards.RevTurn(3));
  ASSERT_TRUE(cards.RevDivide());
  EXPECT_EQ(cards.PlotSummary(), QStringLiteral("Alice：2/1(1)/0"));
  EXPECT_EQ(cards.rev().lines.last(), QStringLiteral("Ｐ２：c3(横)"));

  // Playing every plot card clears the summary and the group.
  rig.writes.clear();
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(cards.RevPlayFromPlot(0));
  const auto sent = test::SentToServer(rig);
  EXPECT_EQ(sent.last().MessageCode, msg::kCardPlot);
  EXPECT_EQ(sent.last().Text(1), QStringLiteral("PLOT_CLEAR"));
  EXPECT_EQ(cards.DivideCaption(), QStringLiteral("区切る"));
  bool chat_kept_sideways = false;
  for (const Packet& p : sent) {
    if (p.MessageCode == msg::kSendChat) {
      chat_kept_sideways |= p.Text(1) == QStringLiteral("c3(横)(プロットから)");
    }
    if (p.MessageCode == msg::kCardRevTrump && p.SubCode == 3) {
      EXPECT_FALSE(p.Text(1).contains(QStringLiteral("(横)")));
    }
  }
  EXPECT_TRUE(chat_kept_sideways);
}

TEST_F(CardsModelTest, BadNumbersCostThePacketOnly) {
  auto placed = [](QVector<int32_t> fields) {
    Packet p(msg::kCardPlaced, 1, 1, 0);
    for (int32_t f : fields) p.Add(f);
    p.Add(true);
    return p;
  };
  cards.HandleCardMessage(placed({5, 1, 12, 40, 50, 2, 2, 3}));
  ASSERT_TRUE(cards.placed()[5].in_use);
  for (const auto& bad : {QVector<int32_t>{163, 1, 1, 0, 0, 1, 1, 1},
                          {-1, 1, 1, 0, 0, 1, 1, 1},
                          {6, 4, 1, 0, 0, 1, 1, 1},
                          {6, 0, 14, 0, 0, 1, 1, 1},
                          {6, 0, 1, 0, 0, 3, 1, 1},
                          {6, 0, 1, 0, 0, 1, 0, 1}}) {
    rig.reports.clear();
    cards.HandleCardMessage(placed(bad));
    EXPECT_FALSE(rig.reports.isEmpty());
  }
  EXPECT_FALSE(cards.placed()[6].in_use);

  Packet access(msg::kCardAccessList, 1, 1, 0);
  access.Add(int16_t{99}).Add(QStringLiteral("card"));
  rig.reports.clear();
  cards.HandleCardMessage(access);  // nobody has index 99
  EXPECT_FALSE(rig.reports.isEmpty());
  EXPECT_TRUE(cards.nova().access_list.isEmpty());

  Packet discard = Req(msg::kCardGraphicRequest, 2, 2);
  discard.Add(int32_t{0}).Add(int32_t{7}).Add(int32_t{0}).Add(int32_t{0}).Add(int32_t{0});
  rig.reports.clear();
  cards.HandleCardRequest(2, discard);
  EXPECT_FALSE(rig.reports.isEmpty());
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(CardsModelTest, GarbageOfEveryCardCodeIsReportedNeverFatal) {
  Random random(11);
  const QVector<int> codes = {421, 422, 423, 425, 426, 427, 428, 429, 431, 432, 433,
                              436, 437, 438, 441, 442, 443, 447, 448, 449, 456};
  for (int round = 0; round < 3000; ++round) {
    Packet p(static_cast<int16_t>(codes[PickIndex(random, 0, codes.size() - 1)]),
             static_cast<int16_t>(PickIndex(random, -2, 13)),
             static_cast<int16_t>(PickIndex(random, -1, 6)), 0);
    const int items = PickIndex(random, 0, 10);
    for (int i = 0; i < items; ++i) {
      switch (PickIndex(random, 0, 4)) {
        case 0:
          p.Add(static_cast<int32_t>(PickIndex(random, -200, 200)));
          break;
        case 1:
          p.Add(static_cast<int32_t>(PickIndex(random, -2000000000, 2000000000)));
          break;
        case 2:
          p.Add(PickIndex(random, 0, 1) == 1);
          break;
        case 3:
          p.Add(QString::number(PickIndex(random, -5, 170)));
          break;
        default:
          p.Add(QStringLiteral("ｘ").repeated(PickIndex(random, 0, 3)));
          break;
      }
    }
    const int socket = PickIndex(random, 1, 4);
    SetSessionMode(rig.instance, PickIndex(random, 0, 1) ? ModeServer : ModeClient);
    if (round % 500 == 0) {
      SetSessionMode(rig.instance, ModeServer);
      cards.ChooseMode(round / 500 % 4);
      cards.StartDecks();
    }
    cards.HandleCardRequest(socket, p);
    cards.HandleCardMessage(p);
    rig.writes.clear();
  }
  for (const CardRecord& r : cards.placed()) {
    EXPECT_GE(r.suit, 0);
    EXPECT_LE(r.rank, 13);
  }
}

}  // namespace
}  // namespace quillora
