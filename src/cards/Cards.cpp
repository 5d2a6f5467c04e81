#include "cards/Cards.h"

#include <QDateTime>
#include <exception>

#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/MessageCodes.h"
#include "net/Packet.h"
#include "net/Reported.h"
#include "net/Router.h"
#include "net/Session.h"
#include "net/ToolAnnouncer.h"

namespace quillora {

namespace {

const QString kServerTag = QStringLiteral("UCrd_Serv");
const QString kClientTag = QStringLiteral("UCrd_Clnt");
const QString kWindowTag = QStringLiteral("frmCard");
const QString kLabel = QStringLiteral("(カード機能)");
const QString kTarotPrefix = QStringLiteral("タロットカード：");
const QString kHand = QStringLiteral("手札：");
const QString kReserve = QStringLiteral("Ｐ用：");
const QString kSideways = QStringLiteral("(横)");
const QString kFaceDownPlay = QStringLiteral("一枚のトランプ(裏返し) (手から)");
const QString kPlotClear = QStringLiteral("PLOT_CLEAR");
const QString kClampFailed =
    QStringLiteral("トランプが読み込まれていないか、読み込みに失敗しました。");

constexpr int kMaxCoordinate = 100000;

// A number from the network that must lie in [low, high]; anything else costs the packet.
int32_t Checked(int32_t value, int32_t low, int32_t high) {
  if (value < low || value > high) throw SubscriptError();
  return value;
}

bool IsHandLine(const QString& line) { return line.startsWith(kHand); }
bool IsReserveLine(const QString& line) { return line.startsWith(kReserve); }
// "Ｐ" and a full-width group digit: a card laid into a plot.
bool IsPlotLine(const QString& line) {
  return line.size() >= 3 && line[0] == u'Ｐ' && line[1] >= u'１' && line[1] <= u'９';
}
int PlotGroup(const QString& line) { return line[1].unicode() - u'０'; }
QString WithoutSideways(QString card) {
  if (card.endsWith(kSideways)) card.chop(kSideways.size());
  return card;
}

}  // namespace

Cards::Rect Cards::PlaceArea(int place) {
  const int column = place % 3, row = place / 3;
  return Rect{10 + column * 155, 72 + row * 124, 150, 118};
}

Cards::Cards(Instance& instance, Router& router, Dispatcher& dispatcher, QObject* parent)
    : QObject(parent), instance_(instance), router_(router), decks_(instance.Rng()) {
  dispatcher.RegisterServerHandler(
      msg::kCardAccessRequest, msg::kCardClampDraw,
      [this](int socket, const Packet& p) { HandleCardRequest(socket, p); });
  dispatcher.RegisterClientHandler(msg::kCardNovaDeal, msg::kCardGraphicStart,
                                   [this](const Packet& p) { HandleCardMessage(p); });
}

void Cards::FollowAnnouncements(ToolAnnouncer& tools) {
  connect(&tools, &ToolAnnouncer::toolAnnounced, this, [this](int tool, int argument) {
    if (tool == msg::kToolCards) ChooseMode(argument - 1);
  });
}

void Cards::AnnounceMode() {
  if (!IsServer()) return;
  announced_ = true;
  ToolAnnouncer::Announce(instance_, router_, msg::kToolCards, mode_ + 1, kServerTag);
  emit decksChanged();
}

void Cards::GreetJoiners(Session& session) {
  connect(&session, &Session::participantJoined, this, [this](int index, const QString&) {
    if (IsServer() && announced_ && index != instance_.OwnIndex) {
      RunReported(instance_, kServerTag, [&] { TellMode(index); });
    }
  });
}

void Cards::TellMode(int socket) {
  Packet p(msg::kOpenTool, 0, instance_.OwnIndex, 0);
  p.Add(int32_t{msg::kToolCards}).Add(int32_t{mode_ + 1});
  SendTo(socket, p);
}

bool Cards::IsServer() const { return instance_.SessionMode == ModeServer; }

QString Cards::Path(const QString& setting) const { return instance_.PathOf(setting); }

void Cards::ReportProblems() {
  const QStringList problems = decks_.TakeProblems();
  if (!problems.isEmpty()) emit cardFileProblem(problems.join(u'\n'));
}

// --- mode and game-master menu ----------------------------------------------------------------

void Cards::ChooseMode(int mode) {
  if (mode < kNova || mode > kClamp) return;
  mode_ = mode;
  if (IsServer()) {
    decks_.options = DeckOptions{};
    if (mode == kClamp) {
      instance_.Rng().Seed(static_cast<uint64_t>(QDateTime::currentMSecsSinceEpoch()));
      decks_.LoadFlatCardList(Path(instance_.settings.Trump4NovaRev));
      ReportProblems();
    }
    announced_ = true;
    ToolAnnouncer::Announce(instance_, router_, msg::kToolCards, mode + 1, kServerTag);
    emit decksChanged();
  }
  emit modeChanged(mode_);
}

void Cards::StartDecks() {
  if (!IsServer()) return;
  const Settings& s = instance_.settings;
  decks_.shuffle_count = s.ShuffleCount;
  decks_.access_swaps = s.AccessSC4Nova2nd;
  held_ = Held{};
  switch (mode_) {
    case kNova: {
      decks_.StartNova(Path(s.AccessCard4Nova2nd), Path(s.Tarot4Nova2nd), Path(s.Trump4Nova2nd));
      ReportProblems();
      nova_.face_down.clear();
      emit novaChanged();
      const QString tarot = decks_.CurrentTarot(decks_.nova_tarot);
      for (int k : ConnectedSockets()) DealHand(msg::kCardNovaDeal, k, decks_.nova_trump, tarot);
      break;
    }
    case kNovaRev: {
      decks_.StartNovaRev(Path(s.Tarot4NovaRev), Path(s.Trump4NovaRev));
      ReportProblems();
      // The card the server's user laid aside belonged to the last game.
      rev_.face_down.clear();
      emit revChanged();
      const QString tarot = decks_.CurrentTarot(decks_.rev_tarot);
      for (int k : ConnectedSockets()) DealHand(msg::kCardRevDeal, k, decks_.rev_trump, tarot);
      break;
    }
    case kGraphic: {
      decks_.StartGraphic(Path(s.Tarot4NovaRev));
      ReportProblems();
      Packet p(msg::kCardGraphicStart, 1, instance_.OwnIndex, 0);
      p.Add(decks_.CurrentTarot(decks_.graphic_tarot));
      SendAll(p);
      break;
    }
    default:
      break;
  }
  emit decksChanged();
}

void Cards::Repair() {
  if (instance_.SessionMode != ModeClient) return;
  if (mode_ == kNova && nova_.tarot.isEmpty()) Request(msg::kCardNovaRepair, 0);
  if (mode_ == kNovaRev && rev_.tarot.isEmpty()) Request(msg::kCardRevRepair, 0);
  if (mode_ == kGraphic) Request(msg::kCardGraphicRepair, 0);
}

void Cards::CatchUp() {
  if (instance_.SessionMode != ModeClient) return;
  if (mode_ == kNova) {
    nova_ = NovaState{};
    emit novaChanged();
  } else if (mode_ == kNovaRev) {
    rev_ = RevState{};
    emit revChanged();
  }
  Repair();
}

QVector<int> Cards::ConnectedSockets() const {
  QVector<int> sockets;
  for (int k = 1; k <= instance_.SocketCount; ++k) {
    const Link* link = router_.ServerLink(k);
    if (link && link->IsConnected()) sockets << k;
  }
  return sockets;
}

// --- client-side sends ------------------------------------------------------------------------

void Cards::Chat(const QString& text, int sub_code) {
  Packet p(msg::kSendChat, static_cast<int16_t>(sub_code), instance_.OwnIndex, 0);
  p.Add(text);
  if (sub_code != msg::kChatPublic) p.Add(kLabel);
  Send(p);
}

void Cards::Request(int code, int sub_code, const QString& text, bool with_text) {
  Packet p(static_cast<int16_t>(code), static_cast<int16_t>(sub_code), instance_.OwnIndex, 0);
  if (with_text) p.Add(text);
  Send(p);
}

void Cards::Send(const Packet& p) {
  if (!instance_.session_state().Chatting()) return;
  router_.Send(RouteServer, p, kWindowTag);
}

// --- Nova -------------------------------------------------------------------------------------

int Cards::NovaHandSize() const {
  return static_cast<int>(nova_.hand.size()) + (nova_.face_down.isEmpty() ? 0 : 1);
}

bool Cards::NovaPlayFromHand(int row) {
  if (row < 0 || row >= nova_.hand.size()) return false;
  const QString card = nova_.hand.takeAt(row);
  Chat(card + QStringLiteral("(手から)"));
  Request(msg::kCardNovaTrump, 3, card, true);
  if (NovaHandSize() <= 3) Request(msg::kCardNovaTrump, 2);
  emit novaChanged();
  return true;
}

void Cards::NovaDrawAndPlay() { Request(msg::kCardNovaTrump, 1); }

bool Cards::NovaPlayFaceDown(int row) {
  if (row < 0 || row >= nova_.hand.size() || !nova_.face_down.isEmpty()) return false;
  Chat(kFaceDownPlay);
  nova_.face_down = nova_.hand.takeAt(row);
  emit novaChanged();
  return true;
}

bool Cards::NovaReveal() {
  if (!Reveal(nova_.face_down, msg::kCardNovaTrump)) return false;
  emit novaChanged();
  return true;
}

bool Cards::Reveal(QString& face_down, int code) {
  if (face_down.isEmpty()) return false;
  const QString card = std::exchange(face_down, QString());
  Chat(card + QStringLiteral("(裏返しのトランプ)"));
  Request(code, 3, card, true);
  Request(code, 2);
  return true;
}

bool Cards::AccessGet() {
  if (!nova_.access_label.isEmpty()) return false;
  Request(msg::kCardAccessRequest, 1);
  return true;
}

bool Cards::AccessTurn() {
  if (nova_.access_label.isEmpty()) return false;
  Request(msg::kCardAccessRequest, 2);
  nova_.access_label = QStringLiteral("裏返し");
  emit novaChanged();
  return true;
}

bool Cards::AccessReturn() {
  if (nova_.access_label.isEmpty()) return false;
  Request(msg::kCardAccessRequest, 3, nova_.own_access, true);
  nova_.access_label.clear();
  nova_.own_access.clear();
  emit novaChanged();
  return true;
}

void Cards::NovaWait() { Chat(QStringLiteral("ちょっとまったぁ～！！"), msg::kChatPublic); }

void Cards::NovaPlusOne(int socket) {
  if (!IsServer() || socket < 1) return;
  SendTo(socket, Packet(msg::kCardHandSizeQuery, 1, instance_.OwnIndex, 0));
}

void Cards::AdvanceNovaTarot() {
  if (!IsServer() || nova_.tarot.isEmpty()) return;
  Packet p(msg::kCardNovaCard, 1, instance_.OwnIndex, 0);
  p.Add(decks_.AdvanceTarot(decks_.nova_tarot));
  SendAll(p);
  emit decksChanged();
}

void Cards::ResetAccessCards() {
  if (!IsServer()) return;
  SendAll(Packet(msg::kCardNovaDeal, 2, instance_.OwnIndex, 0));
  decks_.access_swaps = instance_.settings.AccessSC4Nova2nd;
  decks_.ResetAccess(Path(instance_.settings.AccessCard4Nova2nd));
  held_.access.clear();
  ReportProblems();
  emit decksChanged();
}

// --- Nova Revolution --------------------------------------------------------------------------

bool Cards::RevPlayFromHand(int row) {
  if (row < 0 || row >= rev_.lines.size() || !IsHandLine(rev_.lines[row])) return false;
  const QString card = rev_.lines.takeAt(row).mid(kHand.size());
  Chat(card + QStringLiteral("(手から)"));
  Request(msg::kCardRevTrump, 3, card, true);
  if (rev_.lines.size() + (rev_.face_down.isEmpty() ? 0 : 1) <= 3) Request(msg::kCardRevTrump, 2);
  emit revChanged();
  return true;
}

void Cards::RevDrawAndPlay() { Request(msg::kCardRevTrump, 1); }

bool Cards::RevPlayFaceDown(int row) {
  if (row < 0 || row >= rev_.lines.size() || !IsHandLine(rev_.lines[row]) ||
      !rev_.face_down.isEmpty()) {
    return false;
  }
  Chat(kFaceDownPlay);
  rev_.face_down = rev_.lines.takeAt(row).mid(kHand.size());
  emit revChanged();
  return true;
}

bool Cards::RevReveal() {
  if (!Reveal(rev_.face_down, msg::kCardRevTrump)) return false;
  emit revChanged();
  return true;
}

bool Cards::RevPlayFromPlot(int row) {
  if (row < 0 || row >= rev_.lines.size() || !IsPlotLine(rev_.lines[row])) return false;
  const QString shown = rev_.lines.takeAt(row).mid(3);
  Chat(shown + QStringLiteral("(プロットから)"));
  Request(msg::kCardRevTrump, 3, WithoutSideways(shown), true);
  rev_.total = std::max(0, rev_.total - 1);
  if (rev_.total == 0) rev_.group = 0;
  SendPlot();
  emit revChanged();
  return true;
}

bool Cards::RevPlot(const QVector<int>& rows) {
  if (rev_.group > 9) return false;
  if (std::none_of(rev_.lines.cbegin(), rev_.lines.cend(), IsPlotLine)) {
    rev_.group = 1;
    rev_.total = 0;
  }
  if (rev_.group < 1) rev_.group = 1;
  QStringList moved;
  for (int row = static_cast<int>(rev_.lines.size()) - 1; row >= 0; --row) {
    const QString& line = rev_.lines[row];
    if (!rows.contains(row) || !(IsHandLine(line) || IsReserveLine(line))) continue;
    moved.prepend(QStringLiteral("Ｐ") + QChar(u'０' + rev_.group) + QStringLiteral("：") +
                  line.mid(3));
    rev_.lines.removeAt(row);
  }
  rev_.lines += moved;
  rev_.total += static_cast<int>(moved.size());
  emit revChanged();
  return true;
}

bool Cards::RevTurn(int row) {
  if (row < 0 || row >= rev_.lines.size() || !IsPlotLine(rev_.lines[row]) ||
      std::any_of(rev_.lines.cbegin(), rev_.lines.cend(), IsReserveLine)) {
    return false;
  }
  QString& line = rev_.lines[row];
  line = line.endsWith(kSideways) ? WithoutSideways(line) : line + kSideways;
  SendPlot();
  emit revChanged();
  return true;
}

bool Cards::RevConfirm() {
  if (std::any_of(rev_.lines.cbegin(), rev_.lines.cend(), IsReserveLine)) return false;
  SendPlot();
  const auto hand = std::count_if(rev_.lines.cbegin(), rev_.lines.cend(), IsHandLine);
  for (auto i = hand; i < 4; ++i) Request(msg::kCardRevTrump, 2);
  return true;
}

bool Cards::RevDivide() {
  if (rev_.group > 8) return false;
  ++rev_.group;
  emit revChanged();
  return true;
}

void Cards::RevRefill() {
  QStringList reserve;
  for (int row = static_cast<int>(rev_.lines.size()) - 1; row >= 0; --row) {
    if (!IsHandLine(rev_.lines[row])) continue;
    reserve.prepend(kReserve + rev_.lines.takeAt(row).mid(kHand.size()));
  }
  rev_.lines += reserve;
  Request(msg::kCardRevTrump, 4);
  emit revChanged();
}

bool Cards::RevDiscard() {
  if (std::count_if(rev_.lines.cbegin(), rev_.lines.cend(), IsHandLine) != 4) return false;
  for (int row = static_cast<int>(rev_.lines.size()) - 1; row >= 0; --row) {
    if (!rev_.lines[row].startsWith(u'Ｐ')) continue;
    Request(msg::kCardRevTrump, 3, WithoutSideways(rev_.lines.takeAt(row).mid(3)), true);
  }
  rev_.group = 0;
  rev_.total = 0;
  Request(msg::kCardPlot, 1, kPlotClear, true);
  emit revChanged();
  return true;
}

QString Cards::PlotSummary() const {
  std::array<int, 10> upright{}, sideways{};
  int total = 0;
  for (const QString& line : rev_.lines) {
    if (!IsPlotLine(line)) continue;
    ++total;
    (line.endsWith(kSideways) ? sideways : upright)[PlotGroup(line)]++;
  }
  if (total == 0) return kPlotClear;
  QStringList groups;
  for (int g = 1; g <= rev_.group && g <= 9; ++g) {
    QString part = QString::number(upright[g]);
    if (sideways[g] > 0) part += QStringLiteral("(%1)").arg(sideways[g]);
    groups << part;
  }
  return instance_.OwnHandle + QStringLiteral("：") + groups.join(u'/');
}

QString Cards::DivideCaption() const {
  return rev_.group > 0 ? QStringLiteral("区切る/%1").arg(rev_.group) : QStringLiteral("区切る");
}

void Cards::SendPlot() { Request(msg::kCardPlot, 1, PlotSummary(), true); }

void Cards::ForgetPlot(int player) {
  for (int i = 0; i < rev_.plots.size(); ++i) {
    if (rev_.plots[i].player == player) {
      rev_.plots.removeAt(i);
      emit revChanged();
      return;
    }
  }
}

void Cards::AdvanceRevTarot() {
  if (!IsServer() || rev_.tarot.isEmpty()) return;
  Packet p(msg::kCardRevCard, 1, instance_.OwnIndex, 0);
  p.Add(decks_.AdvanceTarot(decks_.rev_tarot));
  SendAll(p);
  emit decksChanged();
}

// --- graphic table ----------------------------------------------------------------------------

int Cards::CardAt(int x, int y) const {
  for (int i = CardDecks::kRows - 1; i >= 0; --i) {
    const CardRecord& r = placed_[i];
    if (!r.in_use) continue;
    const bool upright = r.orientation != 2;
    const int w = upright ? kCardWidth : kCardHeight;
    const int h = upright ? kCardHeight : kCardWidth;
    if (x > r.x && x < r.x + w && y > r.y && y < r.y + h) return i;
  }
  return -1;
}

void Cards::GraphicDraw(int x, int y) {
  if (graphic_tarot_.isEmpty()) return;
  Packet p(msg::kCardGraphicRequest, 1, instance_.OwnIndex, 0);
  p.Add(int32_t{std::clamp(x, 0, kTableWidth)}).Add(int32_t{std::clamp(y, 0, kTableHeight)});
  Send(p);
}

void Cards::GraphicDiscard(int index) {
  if (index < 0 || index >= CardDecks::kRows || !placed_[index].in_use) return;
  const CardRecord& r = placed_[index];
  Packet p(msg::kCardGraphicRequest, 2, instance_.OwnIndex, 0);
  p.Add(r.index).Add(r.suit).Add(r.rank).Add(r.x).Add(r.y);
  Send(p);
}

void Cards::GraphicMove(int index, int dx, int dy) {
  if (index < 0 || index >= CardDecks::kRows || !placed_[index].in_use) return;
  CardRecord r = placed_[index];
  r.x = std::clamp(r.x + dx, 0, kTableWidth);
  r.y = std::clamp(r.y + dy, 0, kTableHeight);
  SendPlaced(r);
}

void Cards::GraphicTurn(int index) {
  if (index < 0 || index >= CardDecks::kRows || !placed_[index].in_use) return;
  CardRecord r = placed_[index];
  r.orientation = r.orientation == 2 ? 1 : 2;
  SendPlaced(r);
}

void Cards::GraphicShow(int index) {
  if (index < 0 || index >= CardDecks::kRows || !placed_[index].in_use) return;
  CardRecord r = placed_[index];
  r.face = 2;
  SendPlaced(r);
}

void Cards::SendPlaced(const CardRecord& r) { Send(RecordPacket(msg::kCardMove, r)); }

Packet Cards::RecordPacket(int code, const CardRecord& r) const {
  Packet p(static_cast<int16_t>(code), 1, instance_.OwnIndex, 0);
  p.Add(r.index).Add(r.suit).Add(r.rank).Add(r.x).Add(r.y).Add(r.face).Add(r.orientation);
  p.Add(static_cast<int16_t>(r.owner)).Add(r.in_use);
  return p;
}

void Cards::AdvanceGraphicTarot() {
  if (!IsServer() || graphic_tarot_.isEmpty()) return;
  Packet p(msg::kCardGraphicTarot, 1, instance_.OwnIndex, 0);
  p.Add(decks_.AdvanceTarot(decks_.graphic_tarot));
  SendAll(p);
  emit decksChanged();
}

// --- CLAMP ------------------------------------------------------------------------------------

void Cards::ClampDraw(bool three, bool secret) {
  Request(msg::kCardClampDraw, (three ? 2 : 1) + (secret ? 10 : 0));
}

// --- client handler ---------------------------------------------------------------------------

QString Cards::PlayerName(int index) const {
  const Participant* row = instance_.ParticipantAt(index);
  if (!row) throw SubscriptError();
  return row->Handle;
}

void Cards::SetLine(QVector<PlayerLine>& list, int player, const QString& text) {
  for (PlayerLine& line : list) {
    if (line.player == player) {
      line.text = text;
      return;
    }
  }
  list.push_back({player, text});
}

void Cards::HandleCardMessage(const Packet& p) {
  RunReported(instance_, kClientTag, [&] { ApplyMessage(p); });
}

void Cards::ApplyMessage(const Packet& p) {
  const int code = p.MessageCode;
  if (code >= msg::kCardNovaDeal && code <= msg::kCardHandSizeQuery) {
    ApplyNova(p);
  } else if (code >= msg::kCardRevDeal && code <= msg::kCardPlotList) {
    ApplyRev(p);
  } else if (code >= msg::kCardGraphicTarot && code <= msg::kCardGraphicStart) {
    ApplyGraphic(p);
  }
}

void Cards::ApplyNova(const Packet& p) {
  auto add_card = [this](const QString& card) {
    if (!card.isEmpty()) nova_.hand << card;
  };
  switch (p.MessageCode) {
    case msg::kCardNovaDeal:
      if (p.SubCode == 1) {
        const QString tarot = p.Text(1);
        QStringList cards;
        for (int k = 2; k <= 5; ++k) cards << p.Text(k);
        nova_.access_list.clear();
        nova_.hand.clear();
        nova_.access_label.clear();
        nova_.own_access.clear();
        nova_.tarot = kTarotPrefix + tarot;
        nova_.dealt = true;
        for (const QString& card : cards) add_card(card);
      } else if (p.SubCode == 2) {
        nova_.access_list.clear();
        nova_.access_label.clear();
        nova_.own_access.clear();
      } else {
        return;
      }
      break;
    case msg::kCardNovaCard: {
      const QString card = p.Text(1);
      if (p.SubCode == 1) {
        nova_.tarot = kTarotPrefix + card;
      } else if (p.SubCode == 2) {
        if (card.isEmpty()) return;
        nova_.access_label = card;
        nova_.own_access = card;
        SetLine(nova_.access_list, instance_.OwnIndex, instance_.OwnHandle + u':' + card);
      } else if (p.SubCode == 3) {
        add_card(card);
      } else {
        return;
      }
      break;
    }
    case msg::kCardAccessList: {
      const int player = Checked(p.Int(1), 1, INT16_MAX);
      const QString text = p.Text(2);
      if (text.isEmpty()) {
        for (int i = 0; i < nova_.access_list.size(); ++i) {
          if (nova_.access_list[i].player == player) nova_.access_list.removeAt(i--);
        }
      } else {
        SetLine(nova_.access_list, player, PlayerName(player) + u':' + text);
      }
      break;
    }
    case msg::kCardHandSizeQuery: {
      if (p.SubCode != 1) return;
      if (!instance_.session_state().Chatting()) return;
      Packet answer(msg::kCardHandSize, 1, instance_.OwnIndex, 0);
      answer.Add(int32_t{NovaHandSize()});
      router_.SendPacket(RouteServer, answer);
      return;
    }
    default:
      return;
  }
  emit novaChanged();
}

void Cards::ApplyRev(const Packet& p) {
  switch (p.MessageCode) {
    case msg::kCardRevDeal: {
      if (p.SubCode != 1) return;
      const QString tarot = p.Text(1);
      QStringList cards;
      for (int k = 2; k <= 5; ++k) cards << p.Text(k);
      rev_.plots.clear();
      rev_.lines.clear();
      rev_.group = 0;
      rev_.total = 0;
      rev_.tarot = kTarotPrefix + tarot;
      rev_.dealt = true;
      for (const QString& card : cards) {
        if (!card.isEmpty()) rev_.lines << kHand + card;
      }
      break;
    }
    case msg::kCardRevCard: {
      const QString card = p.Text(1);
      if (p.SubCode == 1) {
        rev_.tarot = kTarotPrefix + card;
      } else if ((p.SubCode == 3 || p.SubCode == 4) && !card.isEmpty()) {
        rev_.lines << (p.SubCode == 3 ? kHand : kReserve) + card;
      } else {
        return;
      }
      break;
    }
    case msg::kCardPlotList: {
      const int player = Checked(p.Int(1), 1, INT16_MAX);
      const QString text = p.Text(2);
      if (text == kPlotClear) {
        for (int i = 0; i < rev_.plots.size(); ++i) {
          if (rev_.plots[i].player == player) rev_.plots.removeAt(i--);
        }
      } else {
        SetLine(rev_.plots, player, text);
      }
      break;
    }
    default:
      return;
  }
  emit revChanged();
}

void Cards::ApplyGraphic(const Packet& p) {
  if (p.SubCode != 1) return;
  switch (p.MessageCode) {
    case msg::kCardGraphicTarot:
      graphic_tarot_ = p.Text(1);
      break;
    case msg::kCardGraphicStart:
      graphic_tarot_ = p.Text(1);
      for (CardRecord& r : placed_) r.in_use = false;
      break;
    case msg::kCardPlaced: {
      CardRecord r;
      r.index = Checked(p.Int(1), 0, CardDecks::kRows - 1);
      r.suit = Checked(p.Int(2), 0, 3);
      r.rank = Checked(p.Int(3), 0, 13);
      r.x = Checked(p.Int(4), -kMaxCoordinate, kMaxCoordinate);
      r.y = Checked(p.Int(5), -kMaxCoordinate, kMaxCoordinate);
      r.face = Checked(p.Int(6), 0, 2);
      r.orientation = Checked(p.Int(7), 1, 2);
      r.owner = Checked(p.Int(8), 0, INT16_MAX);
      r.in_use = p.Bool(9);
      placed_[r.index] = r;
      break;
    }
    default:
      return;
  }
  emit tableChanged();
}

// --- server handler ---------------------------------------------------------------------------

void Cards::SendTo(int socket, Packet p) {
  p.DestIndex = static_cast<int16_t>(socket);
  router_.SendPacket(RouteOne, p);
}

void Cards::SendAll(Packet p) { router_.Send(RouteAll, p, kServerTag); }

void Cards::SayFor(int asker, const QString& text, int sub_code) {
  // Through the server's own connection, which may speak for any participant.
  Packet p(msg::kSendChat, static_cast<int16_t>(sub_code), static_cast<int16_t>(asker),
           static_cast<int16_t>(sub_code == msg::kChatResultPrivate ? asker : 0));
  p.Add(text).Add(kLabel);
  router_.SendPacket(RouteServer, p);
}

void Cards::DealHand(int code, int asker, CardDecks::Pile& pile, const QString& tarot) {
  Packet p(static_cast<int16_t>(code), 1, instance_.OwnIndex, 0);
  p.Add(tarot);
  bool short_of_cards = false;
  // A new hand replaces whatever the participant held.
  QStringList& held = (&pile == &decks_.nova_trump ? held_.nova : held_.rev)[asker];
  held.clear();
  if (&pile == &decks_.nova_trump) held_.access.remove(asker);  // the deal clears it too
  for (int k = 0; k < 4; ++k) {
    const QString card = decks_.DrawTrump(pile);
    short_of_cards |= card.isEmpty();
    if (!card.isEmpty()) held.push_back(card);
    p.Add(card);
  }
  RunReported(instance_, kServerTag, [&] {
    SendTo(asker, p);
    if (short_of_cards) NoCardsLeft(asker);
  });
}

void Cards::HandleCardRequest(int socket, const Packet& p) {
  RunReported(instance_, kServerTag, [&] {
    if (!IsServer()) return;
    // The asker is the sender the server stamped (its own user is participant 1).
    const int asker = p.SenderIndex;
    if (asker < 1 || asker > instance_.SocketCount || (socket != 1 && asker != socket)) {
      throw SubscriptError();
    }
    ServeRequest(asker, p);
    emit decksChanged();
  });
}

void Cards::ServeRequest(int asker, const Packet& p) {
  const int code = p.MessageCode;
  if (code == msg::kCardNovaRepair || code == msg::kCardRevRepair ||
      code == msg::kCardGraphicRepair) {
    ServeRepair(asker, code);
  } else if (code >= msg::kCardAccessRequest && code <= msg::kCardNovaRepair) {
    ServeNova(asker, p);
  } else if (code >= msg::kCardPlot && code <= msg::kCardRevRepair) {
    ServeRev(asker, p);
  } else if (code == msg::kCardGraphicRequest) {
    ServeGraphic(asker, p);
  } else if (code == msg::kCardClampDraw) {
    ServeClamp(asker, p);
  }
}

void Cards::ServeNova(int asker, const Packet& p) {
  auto access_line = [&](const QString& text) {
    Packet line(msg::kCardAccessList, 1, instance_.OwnIndex, 0);
    line.Add(static_cast<int16_t>(asker)).Add(text);
    router_.SendPacket(RouteAll, line);
  };
  auto give_card = [&] {
    const QString card = decks_.DrawTrump(decks_.nova_trump);
    if (card.isEmpty()) return NoCardsLeft(asker);
    held_.nova[asker].push_back(card);
    Packet reply(msg::kCardNovaCard, 3, instance_.OwnIndex, 0);
    SendTo(asker, reply.Add(card));
  };
  switch (p.MessageCode) {
    case msg::kCardAccessRequest:
      if (p.SubCode == 1) {
        const QString card = decks_.DrawAccess();
        if (card.isEmpty()) {
          SayFor(asker, QStringLiteral("アクセスカードが残っていません"), msg::kChatResultPrivate);
          return;
        }
        held_.access[asker].push_back(card);
        Packet reply(msg::kCardNovaCard, 2, instance_.OwnIndex, 0);
        SendTo(asker, reply.Add(card));
        access_line(card);
      } else if (p.SubCode == 2) {
        access_line(QStringLiteral("裏返し"));
      } else if (p.SubCode == 3) {
        const QString card = p.Text(1);
        if (!GiveBack(held_.access, asker, card)) return;
        access_line(QString());
        decks_.ReturnAccess(card);
      }
      break;
    case msg::kCardNovaTrump:
      if (p.SubCode == 1) {
        const QString card = decks_.DrawTrump(decks_.nova_trump);
        if (card.isEmpty()) return NoCardsLeft(asker);
        decks_.DiscardTrump(decks_.nova_trump, card);
        SayFor(asker, card + QStringLiteral("(山から)"));
      } else if (p.SubCode == 2) {
        give_card();
      } else if (p.SubCode == 3) {
        if (GiveBack(held_.nova, asker, p.Text(1)))
          decks_.DiscardTrump(decks_.nova_trump, p.Text(1));
      }
      break;
    case msg::kCardHandSize:
      if (p.SubCode == 1 && p.Int(1) == 4) give_card();
      break;
    default:
      break;
  }
}

void Cards::ServeRev(int asker, const Packet& p) {
  CardDecks::Pile& pile = decks_.rev_trump;
  auto give_card = [&](int sub_code) {
    const QString card = decks_.DrawTrump(pile);
    if (card.isEmpty()) return NoCardsLeft(asker);
    held_.rev[asker].push_back(card);
    Packet reply(msg::kCardRevCard, static_cast<int16_t>(sub_code), instance_.OwnIndex, 0);
    SendTo(asker, reply.Add(card));
  };
  switch (p.MessageCode) {
    case msg::kCardPlot: {
      Packet line(msg::kCardPlotList, 1, instance_.OwnIndex, 0);
      line.Add(static_cast<int16_t>(asker)).Add(p.Text(1));
      router_.SendPacket(RouteAll, line);
      break;
    }
    case msg::kCardRevTrump:
      if (p.SubCode == 1) {
        const QString card = decks_.DrawTrump(pile);
        if (card.isEmpty()) return NoCardsLeft(asker);
        decks_.DiscardTrump(pile, card);
        SayFor(asker, card + QStringLiteral("(山から)"));
      } else if (p.SubCode == 2 || p.SubCode == 4) {
        give_card(p.SubCode == 2 ? 3 : 4);
      } else if (p.SubCode == 3) {
        if (GiveBack(held_.rev, asker, p.Text(1))) decks_.DiscardTrump(pile, p.Text(1));
      }
      break;
    default:
      break;
  }
}

void Cards::ServeGraphic(int asker, const Packet& p) {
  // Placed through the server's own connection; the relay hands it to everybody.
  auto place = [&](const CardRecord& r) {
    router_.SendPacket(RouteServer, RecordPacket(msg::kCardMove, r));
  };
  if (p.SubCode == 1) {
    const int x = Checked(p.Int(1), 0, kTableWidth);
    const int y = Checked(p.Int(2), 0, kTableHeight);
    const int position = decks_.DrawGraphicCard();
    if (position < 0) return NoCardsLeft(asker);
    const CardRecord& deck = decks_.GraphicRecord(position);
    held_.graphic[asker].insert(position);
    place(CardRecord{position, deck.rank, deck.suit, x, y, 1, 1, asker, true});
  } else if (p.SubCode == 2) {
    CardRecord r;
    r.index = Checked(p.Int(1), 0, CardDecks::kRows - 1);
    r.suit = Checked(p.Int(2), 0, 3);
    r.rank = Checked(p.Int(3), 0, 13);
    r.x = Checked(p.Int(4), -kMaxCoordinate, kMaxCoordinate);
    r.y = Checked(p.Int(5), -kMaxCoordinate, kMaxCoordinate);
    r.face = 2;
    const CardRecord& deck = decks_.GraphicRecord(r.index);
    if (!held_.graphic[asker].contains(r.index) || deck.suit != r.suit || deck.rank != r.rank) {
      return RefuseReturn(asker, QStringLiteral("%1-%2").arg(r.suit).arg(r.rank));
    }
    held_.graphic[asker].remove(r.index);
    decks_.DiscardGraphic(r.suit, r.rank);
    place(r);
  }
}

void Cards::ServeRepair(int asker, int code) {
  const int asked = code == msg::kCardNovaRepair  ? kNova
                    : code == msg::kCardRevRepair ? kNovaRev
                                                  : kGraphic;
  // A window left in another mode (a late joiner's, or one switched by hand) follows first.
  if (asked != mode_) TellMode(asker);
  switch (mode_) {
    case kNova:
      // Before the first deal there is no deck: answered like a draw from an exhausted one.
      if (!decks_.nova_started) return NoCardsLeft(asker);
      DealHand(msg::kCardNovaDeal, asker, decks_.nova_trump,
               decks_.CurrentTarot(decks_.nova_tarot));
      break;
    case kNovaRev:
      if (!decks_.rev_started) return NoCardsLeft(asker);
      DealHand(msg::kCardRevDeal, asker, decks_.rev_trump, decks_.CurrentTarot(decks_.rev_tarot));
      break;
    case kGraphic:
      ServeGraphicRepair(asker);
      break;
    default:
      break;  // CLAMP keeps nothing to repair
  }
}

void Cards::ServeGraphicRepair(int asker) {
  Packet tarot(msg::kCardGraphicTarot, 1, instance_.OwnIndex, 0);
  router_.SendPacket(RouteAll, tarot.Add(graphic_tarot_));
  for (const CardRecord& r : placed_) {
    if (r.in_use) SendTo(asker, RecordPacket(msg::kCardPlaced, r));
  }
}

bool Cards::GiveBack(QHash<int, QStringList>& held, int asker, const QString& card) {
  auto it = held.find(asker);
  if (card.isEmpty() || it == held.end() || !it->removeOne(card)) {
    RefuseReturn(asker, card);
    return false;
  }
  return true;
}

void Cards::RefuseReturn(int asker, const QString& card) {
  instance_.ReportStatus(
      QStringLiteral("参加者%1から配っていないカード（%2）が返されました：受け付けません")
          .arg(asker)
          .arg(card));
}

void Cards::ServeClamp(int asker, const Packet& p) {
  const int sub = p.SubCode;
  if (sub != 1 && sub != 2 && sub != 11 && sub != 12) throw InvalidCallError();
  if (!decks_.ClampLoaded()) return SayFor(asker, kClampFailed);
  const QString result = decks_.DrawClamp(sub % 10 == 1 ? 1 : 3);
  if (result.isEmpty()) return SayFor(asker, kClampFailed, msg::kChatResultPrivate);
  if (sub >= 10) {
    SayFor(asker, QStringLiteral("非公開トランプ:") + result, msg::kChatResultPrivate);
    SayFor(asker, QStringLiteral("非公開トランプが引かれました"), msg::kChatResultOthers);
  } else {
    SayFor(asker, result);
  }
}

}  // namespace quillora
