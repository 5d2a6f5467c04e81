// Card games played through a real server over loopback: decks on the server, every mode's
// state on each participant, the graphic table driven with the mouse.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <tuple>
#include <vector>

#include "cards/CardTableView.h"
#include "cards/CardWindow.h"
#include "cards/Cards.h"
#include "common/ScriptedDialogs.h"
#include "gui/SessionHarness.h"
#include "text/Cp932.h"

namespace quillora::test {
namespace {

QByteArray Lines(const QString& prefix, int n, const QStringList& extra = {}) {
  QStringList lines = extra;
  for (int i = 1; i <= n; ++i) lines << prefix + QString::number(i);
  return Cp932::Encode(lines.join(QStringLiteral("\r\n")));
}

struct CardPeer {
  CardPeer(const QString& handle, int port)
      : peer(handle, port), cards(peer.instance, peer.session.router(), peer.session.dispatcher()) {
    cards.FollowAnnouncements(peer.tools);
    cards.GreetJoiners(peer.session);
    UseSmallCardDecks(peer.home, peer.instance.settings);
    peer.instance.settings.AccessSC4Nova2nd = 15;
  }
  int Index() const { return peer.Index(); }
  bool Sees(const QString& text) const { return peer.sink.Has(text); }

  Peer peer;
  Cards cards;
};

class CardSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    ASSERT_GT(port, 0);
    gm = std::make_unique<CardPeer>(QStringLiteral("GM"), port);
    alice = std::make_unique<CardPeer>(QStringLiteral("Alice"), port);
    bob = std::make_unique<CardPeer>(QStringLiteral("Bob"), port);
    ASSERT_TRUE(StartServer(gm->peer));
    ASSERT_TRUE(Join(alice->peer, gm->peer));
    ASSERT_TRUE(Join(bob->peer, gm->peer));
  }

  // The server's user picks a mode; every client's card window follows.
  void Mode(int mode) {
    gm->cards.ChooseMode(mode);
    ASSERT_TRUE(
        WaitUntil([&] { return alice->cards.mode() == mode && bob->cards.mode() == mode; }));
  }

  int port = 0;
  std::unique_ptr<CardPeer> gm, alice, bob;
};

TEST_F(CardSessionTest, NovaHandsAccessCardsTopUpTarotAndLateJoin) {
  Mode(Cards::kNovaRev);
  Mode(Cards::kNova);
  gm->cards.StartDecks();
  ASSERT_TRUE(WaitUntil([&] {
    return gm->cards.nova().hand.size() == 4 && alice->cards.nova().hand.size() == 4 &&
           bob->cards.nova().hand.size() == 4;
  }));
  const QString tarot = alice->cards.nova().tarot;
  EXPECT_TRUE(tarot.startsWith(QStringLiteral("タロットカード：タロット")));
  EXPECT_EQ(bob->cards.nova().tarot, tarot);

  // Playing from a full hand brings a replacement; everyone reads the card in the chat.
  const QString first = alice->cards.nova().hand[0];
  ASSERT_TRUE(alice->cards.NovaPlayFromHand(0));
  ASSERT_TRUE(WaitUntil([&] {
    return bob->Sees(first + QStringLiteral("(手から)")) && alice->cards.nova().hand.size() == 4;
  }));
  EXPECT_FALSE(alice->cards.nova().hand.contains(first));

  // Face down: 3 in hand + 1 aside counts as four, so one more play is replaced, and so is the
  // reveal.
  const QString hidden = alice->cards.nova().hand[1];
  ASSERT_TRUE(alice->cards.NovaPlayFaceDown(1));
  EXPECT_FALSE(alice->cards.NovaPlayFaceDown(0)) << "one card aside at a time";
  ASSERT_TRUE(alice->cards.NovaPlayFromHand(0));
  ASSERT_TRUE(WaitUntil([&] { return alice->cards.nova().hand.size() == 3; }));
  ASSERT_TRUE(alice->cards.NovaReveal());
  ASSERT_TRUE(WaitUntil([&] {
    return alice->cards.nova().hand.size() == 4 &&
           bob->Sees(hidden + QStringLiteral("(裏返しのトランプ)"));
  }));
  EXPECT_TRUE(bob->Sees(QStringLiteral("一枚のトランプ(裏返し) (手から)")));

  // Access cards: drawn, turned and returned, seen in everyone's list.
  ASSERT_TRUE(alice->cards.AccessGet());
  ASSERT_TRUE(WaitUntil([&] { return bob->cards.nova().access_list.size() == 1; }));
  const QString access = alice->cards.nova().access_label;
  EXPECT_TRUE(access.startsWith(QStringLiteral("アクセス")));
  EXPECT_EQ(bob->cards.nova().access_list[0].text, QStringLiteral("Alice:") + access);
  EXPECT_FALSE(alice->cards.AccessGet());
  ASSERT_TRUE(alice->cards.AccessTurn());
  ASSERT_TRUE(WaitUntil([&] {
    return !bob->cards.nova().access_list.isEmpty() &&
           bob->cards.nova().access_list[0].text == QStringLiteral("Alice:裏返し");
  }));
  ASSERT_TRUE(alice->cards.AccessReturn());
  ASSERT_TRUE(WaitUntil([&] {
    return bob->cards.nova().access_list.isEmpty() && gm->cards.nova().access_list.isEmpty();
  }));

  // The game master's "＋１": a hand of four gets a fifth card, a hand of five nothing.
  gm->cards.NovaPlusOne(alice->Index());
  ASSERT_TRUE(WaitUntil([&] { return alice->cards.nova().hand.size() == 5; }));
  gm->cards.NovaPlusOne(alice->Index());
  gm->cards.NovaPlusOne(bob->Index());
  ASSERT_TRUE(WaitUntil([&] { return bob->cards.nova().hand.size() == 5; }));
  EXPECT_EQ(alice->cards.nova().hand.size(), 5);

  gm->cards.AdvanceNovaTarot();
  ASSERT_TRUE(WaitUntil([&] { return alice->cards.nova().tarot != tarot; }));
  EXPECT_EQ(bob->cards.nova().tarot, alice->cards.nova().tarot);

  alice->cards.NovaWait();
  ASSERT_TRUE(WaitUntil([&] { return bob->Sees(QStringLiteral("ちょっとまったぁ～！！")); }));

  // A late joiner repairs: a fresh hand and the current tarot card.
  CardPeer carol(QStringLiteral("Carol"), port);
  ASSERT_TRUE(Join(carol.peer, gm->peer));
  carol.cards.Repair();
  ASSERT_TRUE(WaitUntil([&] { return carol.cards.nova().hand.size() == 4; }));
  EXPECT_EQ(carol.cards.nova().tarot, alice->cards.nova().tarot);
}

// Every game keeps its own deck: players who join late, or repair, during a session that went
// through all four games get their cards from the game being played, never a card that is in
// someone's hand, and the tarot card everyone sees.
TEST_F(CardSessionTest, LateJoinersPlayTheSessionsGameWithCardsNobodyHolds) {
  gm->peer.home.Write("data/rev_tarot.txt", Lines(QStringLiteral("革命タロット"), 5));
  gm->peer.instance.settings.Tarot4NovaRev = QStringLiteral("data\\rev_tarot.txt");
  ScriptedDialogs dialogs;
  CardWindow gm_window(gm->peer.instance, gm->cards, dialogs);
  gm_window.show();
  EXPECT_TRUE(gm_window.NovaButton(8)->isHidden()) << "no ＋１ before the first hand";

  // Before any deal a repair finds no deck, and leaves the window free to repair later.
  alice->cards.Repair();
  EXPECT_TRUE(WaitUntil([&] { return alice->Sees(QStringLiteral("山札が残っていません")); }));
  EXPECT_TRUE(alice->cards.nova().tarot.isEmpty());
  EXPECT_FALSE(alice->cards.nova().dealt);

  const std::vector<CardPeer*> table{gm.get(), alice.get(), bob.get()};
  auto nova_held = [&](const std::vector<CardPeer*>& peers) {
    QStringList held;
    for (const CardPeer* p : peers) held << p->cards.nova().hand;
    return held;
  };
  auto rev_held = [&](const std::vector<CardPeer*>& peers) {
    QStringList held;
    for (const CardPeer* p : peers) held << p->cards.rev().lines;
    return held;
  };
  auto none_of = [](const QStringList& cards, const QStringList& held) {
    for (const QString& c : cards) {
      if (held.contains(c)) return false;
    }
    return true;
  };

  Mode(Cards::kNova);
  gm->cards.StartDecks();
  ASSERT_TRUE(WaitUntil([&] { return nova_held(table).size() == 12; }));
  EXPECT_FALSE(gm_window.NovaButton(8)->isHidden());
  const QString nova_tarot = alice->cards.nova().tarot;

  // Nova Revolution; the game master's card laid aside does not outlive a new deal.
  Mode(Cards::kNovaRev);
  gm->cards.StartDecks();
  ASSERT_TRUE(WaitUntil([&] { return rev_held(table).size() == 12; }));
  ASSERT_TRUE(gm->cards.RevPlayFaceDown(0));
  gm->cards.StartDecks();
  ASSERT_TRUE(WaitUntil([&] { return gm->cards.rev().lines.size() == 4; }));
  EXPECT_TRUE(gm->cards.rev().face_down.isEmpty());
  ASSERT_TRUE(WaitUntil([&] { return rev_held(table).size() == 12; }));
  const QString rev_tarot = alice->cards.rev().tarot;
  EXPECT_TRUE(rev_tarot.startsWith(QStringLiteral("タロットカード：革命タロット")));

  // Dave joins during Nova Revolution: his window is in that game and his repair deals it.
  CardPeer dave(QStringLiteral("Dave"), port);
  ASSERT_TRUE(Join(dave.peer, gm->peer));
  EXPECT_TRUE(WaitUntil([&] { return dave.cards.mode() == Cards::kNovaRev; }));
  dave.cards.Repair();
  EXPECT_TRUE(WaitUntil([&] { return dave.cards.rev().lines.size() == 4; }));
  EXPECT_EQ(dave.cards.rev().tarot, rev_tarot);
  EXPECT_TRUE(none_of(dave.cards.rev().lines, rev_held(table)));
  EXPECT_TRUE(dave.cards.nova().hand.isEmpty());

  // The graphic table shows the tarot text as it was sent.
  Mode(Cards::kGraphic);
  gm->cards.StartDecks();
  ASSERT_TRUE(WaitUntil([&] { return !alice->cards.graphic_tarot().isEmpty(); }));
  CardWindow alice_window(alice->peer.instance, alice->cards, dialogs);
  alice_window.show();
  auto* graphic_tarot = alice_window.findChild<QLabel*>(QStringLiteral("lblTrotNovaRevGpf"));
  ASSERT_NE(graphic_tarot, nullptr);
  EXPECT_EQ(graphic_tarot->text(), alice->cards.graphic_tarot());

  // CLAMP, then back to Nova without a new deal.
  Mode(Cards::kClamp);
  Mode(Cards::kNova);
  ASSERT_TRUE(WaitUntil([&] { return dave.cards.mode() == Cards::kNova; }));

  CardPeer carol(QStringLiteral("Carol"), port);
  ASSERT_TRUE(Join(carol.peer, gm->peer));
  carol.cards.Repair();
  EXPECT_TRUE(WaitUntil([&] { return carol.cards.nova().hand.size() == 4; }));
  EXPECT_EQ(carol.cards.nova().tarot, nova_tarot);
  EXPECT_TRUE(none_of(carol.cards.nova().hand, nova_held(table)));

  // A window switched to another game by hand is brought back by its repair.
  const QStringList carols_first = carol.cards.nova().hand;
  carol.cards.ChooseMode(Cards::kNovaRev);
  carol.cards.Repair();
  EXPECT_TRUE(WaitUntil([&] {
    return carol.cards.mode() == Cards::kNova && carol.cards.nova().hand != carols_first &&
           carol.cards.nova().hand.size() == 4;
  }));
  EXPECT_TRUE(carol.cards.rev().lines.isEmpty());
  EXPECT_TRUE(none_of(carol.cards.nova().hand, nova_held(table) + carols_first));
}

TEST_F(CardSessionTest, NovaRevolutionPlotsAreSummarisedForEveryoneAndCleared) {
  Mode(Cards::kNovaRev);
  gm->cards.StartDecks();
  ASSERT_TRUE(WaitUntil(
      [&] { return alice->cards.rev().lines.size() == 4 && bob->cards.rev().lines.size() == 4; }));

  ASSERT_TRUE(alice->cards.RevPlot({0, 1}));
  ASSERT_TRUE(alice->cards.RevConfirm());  // the summary, and two cards to fill the hand again
  ASSERT_TRUE(WaitUntil(
      [&] { return alice->cards.rev().lines.size() == 6 && !bob->cards.rev().plots.isEmpty(); }));
  EXPECT_EQ(bob->cards.rev().plots[0].text, QStringLiteral("Alice：2"));
  const int plot_row = static_cast<int>(alice->cards.rev().lines.indexOf(
      alice->cards.rev().lines.filter(QStringLiteral("Ｐ１：")).first()));
  ASSERT_TRUE(alice->cards.RevTurn(plot_row));
  ASSERT_TRUE(WaitUntil([&] {
    return !gm->cards.rev().plots.isEmpty() &&
           gm->cards.rev().plots[0].text == QStringLiteral("Alice：1(1)");
  }));

  // Plot reserve: the hand becomes "Ｐ用" lines and one more card comes for the plot.
  bob->cards.RevRefill();
  ASSERT_TRUE(WaitUntil([&] { return bob->cards.rev().lines.size() == 5; }));
  EXPECT_EQ(bob->cards.rev().lines.filter(QStringLiteral("Ｐ用：")).size(), 5);
  EXPECT_FALSE(bob->cards.RevConfirm()) << "not while plot-reserve lines are waiting";

  // Alice plays both plot cards: the last one clears her line everywhere.
  for (int n = 0; n < 2; ++n) {
    const QStringList& lines = alice->cards.rev().lines;
    for (int i = 0; i < lines.size(); ++i) {
      if (lines[i].startsWith(QStringLiteral("Ｐ１"))) {
        ASSERT_TRUE(alice->cards.RevPlayFromPlot(i));
        break;
      }
    }
  }
  ASSERT_TRUE(WaitUntil(
      [&] { return bob->cards.rev().plots.isEmpty() && gm->cards.rev().plots.isEmpty(); }));

  // Four hand lines: "捨てる" sends every plot line away and clears the summary.
  ASSERT_TRUE(alice->cards.RevPlot({0}));
  ASSERT_TRUE(alice->cards.RevConfirm());
  ASSERT_TRUE(WaitUntil([&] { return !bob->cards.rev().plots.isEmpty(); }));
  ASSERT_TRUE(WaitUntil([&] { return alice->cards.rev().lines.size() == 5; }));
  ASSERT_TRUE(alice->cards.RevDiscard());
  EXPECT_EQ(alice->cards.rev().lines.filter(QStringLiteral("手札：")).size(), 4);
  EXPECT_EQ(alice->cards.rev().lines.size(), 4);
  ASSERT_TRUE(WaitUntil([&] { return bob->cards.rev().plots.isEmpty(); }));

  const QString tarot = bob->cards.rev().tarot;
  gm->cards.AdvanceRevTarot();
  ASSERT_TRUE(WaitUntil([&] { return bob->cards.rev().tarot != tarot; }));
}

TEST_F(CardSessionTest, GraphicTablePlayedWithTheMouseAndRepairedForALateJoiner) {
  Mode(Cards::kGraphic);
  gm->cards.options().jokers = 1;
  gm->cards.StartDecks();
  ASSERT_TRUE(WaitUntil([&] {
    return !alice->cards.graphic_tarot().isEmpty() && !bob->cards.graphic_tarot().isEmpty();
  }));

  ScriptedDialogs dialogs;
  CardWindow window(alice->peer.instance, alice->cards, dialogs);
  window.resize(900, 700);
  window.show();
  CardTableView* table = window.table();
  ASSERT_TRUE(table->isVisible());
  auto at = [&](double x, double y) { return table->ToWidget(QPointF(x, y)).toPoint(); };
  auto in_use = [](const CardPeer& p) {
    QVector<int> used;
    for (const CardRecord& r : p.cards.placed()) {
      if (r.in_use) used << r.index;
    }
    return used;
  };

  // Drag from "山" to the table: a card lies there for everyone, its face seen by Alice only.
  QTest::mousePress(table, Qt::LeftButton, {}, at(30, 30));
  QTest::mouseRelease(table, Qt::LeftButton, {}, at(200, 150));
  ASSERT_TRUE(WaitUntil([&] { return in_use(*bob).size() == 1 && in_use(*alice).size() == 1; }));
  const int card = in_use(*bob)[0];
  CardRecord r = bob->cards.placed()[card];
  EXPECT_EQ(r.owner, alice->Index());
  EXPECT_EQ(r.face, 1);
  const QPoint drawn_at = table->ToTable(QPointF(at(200, 150)));
  EXPECT_EQ(QPoint(r.x, r.y), drawn_at);

  // Move it by dragging, turn it with a left click, show it with a right click.
  const QPoint from = at(r.x + 5, r.y + 5), to = at(r.x + 45, r.y + 25);
  QTest::mousePress(table, Qt::LeftButton, {}, from);
  QTest::mouseRelease(table, Qt::LeftButton, {}, to);
  ASSERT_TRUE(WaitUntil([&] { return bob->cards.placed()[card].x != r.x; }));
  r = bob->cards.placed()[card];
  EXPECT_EQ(QPoint(r.x, r.y), drawn_at + table->ToTable(to) - table->ToTable(from));
  QTest::mouseClick(table, Qt::LeftButton, {}, at(r.x + 5, r.y + 5));
  ASSERT_TRUE(WaitUntil([&] { return gm->cards.placed()[card].orientation == 2; }));
  QTest::mouseClick(table, Qt::RightButton, {}, at(r.x + 25, r.y + 15));
  ASSERT_TRUE(WaitUntil([&] { return gm->cards.placed()[card].face == 2; }));

  // Two more cards; one goes to "捨て場", one is dropped back onto "山" like any move.
  alice->cards.GraphicDraw(300, 200);
  bob->cards.GraphicDraw(350, 220);
  ASSERT_TRUE(WaitUntil([&] { return in_use(*alice).size() == 3; }));
  const int second = in_use(*alice)[1], third = in_use(*alice)[2];
  const CardRecord s = alice->cards.placed()[second];
  QTest::mousePress(table, Qt::LeftButton, {}, at(s.x + 5, s.y + 5));
  QTest::mouseRelease(table, Qt::LeftButton, {}, at(Cards::kDustArea.x + 10, 20));
  const CardRecord t = alice->cards.placed()[third];
  QTest::mousePress(table, Qt::LeftButton, {}, at(t.x + 5, t.y + 5));
  QTest::mouseRelease(table, Qt::LeftButton, {}, at(Cards::kPileArea.x + 5, 20));
  ASSERT_TRUE(
      WaitUntil([&] { return in_use(*bob).size() == 2 && bob->cards.placed()[third].y < 40; }));

  // A late joiner asks for the table and sees every placed card as the others do.
  CardPeer carol(QStringLiteral("Carol"), port);
  ASSERT_TRUE(Join(carol.peer, gm->peer));
  carol.cards.ChooseMode(Cards::kGraphic);
  carol.cards.Repair();
  ASSERT_TRUE(WaitUntil([&] { return in_use(carol).size() == 2; }));
  EXPECT_EQ(carol.cards.graphic_tarot(), alice->cards.graphic_tarot());
  for (int i : in_use(carol)) {
    const CardRecord& c = carol.cards.placed()[i];
    const CardRecord& b = bob->cards.placed()[i];
    EXPECT_EQ(std::tie(c.suit, c.rank, c.x, c.y, c.face, c.orientation, c.owner),
              std::tie(b.suit, b.rank, b.x, b.y, b.face, b.orientation, b.owner));
  }
  table->grab();  // every card drawn once, faces and backs, both orientations
}

TEST_F(CardSessionTest, ClampDrawsArePublicOrSecret) {
  Mode(Cards::kClamp);
  alice->cards.ClampDraw(false, false);
  auto result_line = [](const CardPeer& p, const QString& start) {
    for (const ChatLine& l : p.peer.sink.lines) {
      if (l.text.startsWith(start)) return l;
    }
    return ChatLine{};
  };
  ASSERT_TRUE(WaitUntil([&] { return !result_line(*bob, QStringLiteral(" [")).text.isEmpty(); }));
  const ChatLine line = result_line(*bob, QStringLiteral(" ["));
  EXPECT_EQ(line.speaker, QStringLiteral("Alice(カード機能)：")) << line.speaker.toStdString();
  EXPECT_EQ(line.text.count(QStringLiteral(" [")), 1);

  bob->cards.ClampDraw(true, true);
  ASSERT_TRUE(WaitUntil([&] {
    return !result_line(*bob, QStringLiteral("非公開トランプ:")).text.isEmpty() &&
           alice->Sees(QStringLiteral("非公開トランプが引かれました"));
  }));
  EXPECT_EQ(result_line(*bob, QStringLiteral("非公開トランプ:")).text.count(QStringLiteral(" [")),
            3);
  EXPECT_TRUE(result_line(*alice, QStringLiteral("非公開トランプ:")).text.isEmpty());
  EXPECT_FALSE(bob->Sees(QStringLiteral("非公開トランプが引かれました")));
}

}  // namespace
}  // namespace quillora::test
