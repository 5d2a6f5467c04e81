#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

#include "cards/CardDecks.h"
#include "net/Packet.h"

namespace quillora {

class ToolAnnouncer;

class Dispatcher;
class Session;
class Instance;
class Router;

// One line of a list that belongs to a player (access cards, plot summaries).
struct PlayerLine {
  int player = 0;
  QString text;
};

// The card feature of one program: the server's decks and request handler, and every
// instance's card state of the four modes (Nova hands and access cards, Nova Revolution hands
// and plots, the graphic table, CLAMP draws). Buttons of the card window map onto the calls
// below; the window only shows this state.
class Cards : public QObject {
  Q_OBJECT

 public:
  enum Mode { kNova = 0, kNovaRev = 1, kGraphic = 2, kClamp = 3 };
  static constexpr int kTableWidth = 480;  // the graphic table, in table units
  static constexpr int kTableHeight = 320;
  static constexpr int kCardWidth = 20;
  static constexpr int kCardHeight = 30;
  static constexpr int kPlaces = 6;  // player places on the graphic table

  struct Rect {
    int x, y, w, h;
    bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
  };
  static constexpr Rect kPileArea{10, 8, 44, 54};
  static constexpr Rect kDustArea{64, 8, 44, 54};
  static Rect PlaceArea(int place);

  struct NovaState {
    QString tarot;  // lblTrotCard
    QStringList hand;
    QString face_down;
    QString access_label;
    QString own_access;
    QVector<PlayerLine> access_list;
    bool dealt = false;
  };
  struct RevState {
    QString tarot;  // lblTrotCardNovaRev
    QStringList lines;
    QString face_down;
    int group = 0;
    int total = 0;
    QVector<PlayerLine> plots;
    bool dealt = false;
  };

  Cards(Instance& instance, Router& router, Dispatcher& dispatcher, QObject* parent = nullptr);

  // --- mode and game-master menu ------------------------------------------------------------
  int mode() const { return mode_; }
  // Switches this window's mode; on the server also resets the deck options, loads the CLAMP
  // list for that mode and tells every client to switch.
  void ChooseMode(int mode);
  // Clients switch their mode when the server announces the card window (argument = mode + 1).
  void FollowAnnouncements(ToolAnnouncer& tools);
  // The server's user opened the card window: every client opens it in the session's mode.
  void AnnounceMode();
  // On the server, a participant who joins while a card game is chosen is told its mode.
  void GreetJoiners(Session& session);
  DeckOptions& options() { return decks_.options; }
  // "すべて初期化": the current mode's deck start (server).
  void StartDecks();
  // "カード修復/途中参加" on a client: asks for a fresh copy where the mode needs one.
  void Repair();
  // Back in the session after a lost connection: the server knows this program by a new number,
  // so what it held was dealt to a participant who has left. The current game's cards are
  // dropped and asked for again, as a card window that joins late asks for them.
  void CatchUp();
  CardDecks& decks() { return decks_; }

  // --- Nova ---------------------------------------------------------------------------------
  const NovaState& nova() const { return nova_; }
  bool NovaPlayFromHand(int row);
  void NovaDrawAndPlay();
  bool NovaPlayFaceDown(int row);
  bool NovaReveal();
  bool AccessGet();
  bool AccessTurn();
  bool AccessReturn();
  void NovaWait();
  void NovaPlusOne(int socket);  // server: ask one client for its hand size
  void AdvanceNovaTarot();       // server
  void ResetAccessCards();       // server
  int NovaHandSize() const;

  // --- Nova Revolution ----------------------------------------------------------------------
  const RevState& rev() const { return rev_; }
  bool RevPlayFromHand(int row);
  void RevDrawAndPlay();
  bool RevPlayFaceDown(int row);
  bool RevReveal();
  bool RevPlayFromPlot(int row);
  bool RevPlot(const QVector<int>& rows);
  bool RevTurn(int row);
  bool RevConfirm();
  bool RevDivide();
  void RevRefill();
  bool RevDiscard();
  void AdvanceRevTarot();  // server
  // Shift+Ctrl click on a summary line: forget it on this screen only.
  void ForgetPlot(int player);
  QString PlotSummary() const;
  QString DivideCaption() const;

  // --- graphic table ------------------------------------------------------------------------
  const std::array<CardRecord, CardDecks::kRows>& placed() const { return placed_; }
  const QString& graphic_tarot() const { return graphic_tarot_; }
  // The in-use card with the highest index under a table point, or -1.
  int CardAt(int x, int y) const;
  void GraphicDraw(int x, int y);
  void GraphicDiscard(int index);
  void GraphicMove(int index, int dx, int dy);
  void GraphicTurn(int index);
  void GraphicShow(int index);
  void AdvanceGraphicTarot();  // server

  // --- CLAMP --------------------------------------------------------------------------------
  void ClampDraw(bool three, bool secret);

  // The handlers (public for tests; errors are reported, never thrown).
  void HandleCardRequest(int socket, const Packet& p);
  void HandleCardMessage(const Packet& p);

  bool IsServer() const;

 signals:
  void modeChanged(int mode);
  void novaChanged();
  void revChanged();
  void tableChanged();
  // A card file could not be read completely; the window shows it ("カード読み込みエラー").
  void cardFileProblem(const QString& text);
  // The server's decks or what it dealt changed (a draw, a return, a deck start).
  void decksChanged();

 private:
  friend class CardState;  // describes and restores the game for the table file

  // Client side.
  void Chat(const QString& text, int sub_code = 3);
  void Send(const Packet& p);  // to the server, when connected
  void Request(int code, int sub_code, const QString& text = QString(), bool with_text = false);
  void SendPlot();
  // The card laid aside is played: chat line, discard and a replacement card (`code`: the
  // mode's trump request).
  bool Reveal(QString& face_down, int code);
  void SendPlaced(const CardRecord& r);
  Packet RecordPacket(int code, const CardRecord& r) const;
  void ApplyMessage(const Packet& p);
  void ApplyNova(const Packet& p);
  void ApplyRev(const Packet& p);
  void ApplyGraphic(const Packet& p);
  QString PlayerName(int index) const;
  static void SetLine(QVector<PlayerLine>& list, int player, const QString& text);

  // Server side.
  void ServeRequest(int asker, const Packet& p);
  void ServeNova(int asker, const Packet& p);
  void ServeRev(int asker, const Packet& p);
  void ServeGraphic(int asker, const Packet& p);
  void ServeClamp(int asker, const Packet& p);
  void DealHand(int code, int asker, CardDecks::Pile& pile, const QString& tarot);
  // A repair or late join: answered in the session's mode, whatever mode the asker is in.
  void ServeRepair(int asker, int code);
  void ServeGraphicRepair(int asker);
  // Tells one client which mode the session plays (its card window follows).
  void TellMode(int socket);
  void SendTo(int socket, Packet p);
  void SendAll(Packet p);
  // A chat line spoken by the card function on a player's behalf.
  void SayFor(int asker, const QString& text, int sub_code = 3);
  void NoCardsLeft(int asker) { SayFor(asker, QStringLiteral("山札が残っていません"), 8); }
  QString Path(const QString& setting) const;
  void ReportProblems();
  QVector<int> ConnectedSockets() const;

  Instance& instance_;
  Router& router_;
  CardDecks decks_;
  int mode_ = kNova;
  bool announced_ = false;  // the server's user chose a mode or opened the window
  NovaState nova_;
  RevState rev_;
  std::array<CardRecord, CardDecks::kRows> placed_{};
  QString graphic_tarot_;

  // On the server: the cards dealt to each participant and not yet given back, so that only
  // those are taken back into the piles (trump cards of either deck, access cards, and the
  // graphic deck's positions).
  struct Held {
    QHash<int, QStringList> nova, rev, access;
    QHash<int, QSet<int>> graphic;
  };
  // True when `card` was dealt to `asker` (it is then no longer held); otherwise the return is
  // refused and reported.
  bool GiveBack(QHash<int, QStringList>& held, int asker, const QString& card);
  void RefuseReturn(int asker, const QString& card);
  Held held_;
};

}  // namespace quillora
