#include "hexmap/HexMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <exception>

#include "core/Instance.h"
#include "hexmap/MapFile.h"
#include "net/Dispatcher.h"
#include "net/FileTransfer.h"
#include "net/MessageCodes.h"
#include "net/Packet.h"
#include "net/Reported.h"
#include "net/Router.h"
#include "net/ToolAnnouncer.h"

namespace quillora {

namespace {

const QString kClientTag = QStringLiteral("UHex_Clnt");
const QString kServerTag = QStringLiteral("UHex_Serv");
const QString kWindowTag = QStringLiteral("frmHex");

constexpr int16_t kKind = 1;

// A number from the network, refused unless it lies in [low, high].
int32_t Bounded(const Packet& p, int item, int32_t low, int32_t high) {
  const int32_t v = p.Int(item);
  if (v < low || v > high) throw SubscriptError();
  return v;
}

int32_t PageOf(const Packet& p) { return Bounded(p, 1, 1, kHexMaxPages); }
int32_t SlotOf(const Packet& p, int item) { return Bounded(p, item, 1, kHexSlots - 1); }
int32_t PlaceOf(const Packet& p, int item) { return Bounded(p, item, 0, kHexTableSpan - 1); }

// The first character of a name (a whole character, also beyond the basic plane).
QString FirstCharacter(const QString& name) {
  if (name.isEmpty()) return QString();
  return name.left(name.at(0).isHighSurrogate() && name.size() > 1 ? 2 : 1);
}

}  // namespace

HexMap::HexMap(Instance& instance, Router& router, Dispatcher& dispatcher, FileTransfer& files,
               QObject* parent)
    : QObject(parent),
      instance_(instance),
      router_(router),
      files_(files),
      answers_(router, kServerTag) {
  dispatcher.RegisterClientHandler(msg::kHexPageCreated, msg::kHexPagesKept,
                                   [this](const Packet& p) { HandleClient(p); });
  dispatcher.RegisterServerHandler(
      msg::kHexRequestMaps, msg::kHexRequestMaps,
      [this](int socket, const Packet& p) { HandleServer(socket, p); });
}

QString HexMap::ModeHint(int mode) {
  switch (mode) {
    case 1:
      return QStringLiteral("左クリック：コマ追加");
    case 2:
      return QStringLiteral("左クリック：コマ削除");
    case 3:
      return QStringLiteral("左右クリック：左右回転　ドラッグ：移動");
    default:
      return QStringLiteral("左クリック：選択色　右クリック：白");
  }
}

QString HexMap::AfterMoveHint() { return QStringLiteral("クリック：左右回転　ドラッグ：移動"); }

void HexMap::SetWaitsForTesting(int announce_ms, int answer_ms) {
  announce_wait_ms_ = announce_ms;
  (void)answer_ms;  // the answer to 609 follows the asker's socket
}

// --- pages -------------------------------------------------------------------------------------

const HexPage* HexMap::Page(int page) const {
  return page >= 1 && page <= PageCount() ? &pages_[page - 1] : nullptr;
}

HexPage* HexMap::MutablePage(int page) {
  return page >= 1 && page <= PageCount() ? &pages_[page - 1] : nullptr;
}

HexPage& HexMap::EnsurePage(int page) {
  // Callers have bounded the number; pages only ever grow.
  if (PageCount() < page) {
    pages_.resize(page);
    emit pagesChanged();
  }
  return pages_[page - 1];
}

bool HexMap::HasMap() const {
  for (const HexPage& page : pages_) {
    if (page.Created()) return true;
  }
  return false;
}

void HexMap::SetCurrent(int page) {
  CancelDrag();
  stroke_active_ = false;
  stroke_.clear();
  current_ = page;
  emit currentPageChanged(page);
}

void HexMap::CancelDrag() {
  if (drag_slot_ == 0) return;
  drag_slot_ = 0;
  emit dragCancelled();
}

int HexMap::CreatePage(int shape, int size, int piece_type, int columns, int rows) {
  const int page = PageCount() + 1;
  if (page > kHexMaxPages) return 0;
  HexPage made;
  if (!made.Create(shape, size, piece_type, columns, rows)) return 0;
  EnsurePage(page) = std::move(made);
  SetCurrent(page);
  emit pagesChanged();
  Packet p(msg::kHexNewPage, kKind, instance_.OwnIndex, 0);
  p.Add(int32_t{page}).Add(int32_t{shape}).Add(int32_t{size}).Add(int32_t{piece_type});
  p.Add(int32_t{columns}).Add(int32_t{rows});
  Send(p);
  return page;
}

bool HexMap::GoToPage(int page) {
  if (!Page(page)) return false;
  SetCurrent(page);
  if (instance_.SessionMode == ModeServer) {
    Packet p(msg::kHexShowPage, kKind, instance_.OwnIndex, 0);
    p.Add(int32_t{page});
    Send(p);
  }
  return true;
}

void HexMap::SetFirstCell(int column, int row) {
  HexPage* page = MutablePage(current_);
  if (!page) return;
  page->header.first_column = std::clamp(column, 1, std::max(1, page->header.columns));
  page->header.first_row = std::clamp(row, 1, std::max(1, page->header.rows));
}

// --- sending -----------------------------------------------------------------------------------

bool HexMap::Live() const { return instance_.session_state().Chatting(); }

void HexMap::Send(const Packet& p) {
  if (!Live()) return;
  router_.Send(RouteServer, p, kWindowTag);
}

void HexMap::SendPiece(int page, int slot, const HexPiece& piece) {
  Packet p(msg::kHexAddPiece, kKind, instance_.OwnIndex, 0);
  p.Add(int32_t{page}).Add(int32_t{slot}).Add(piece.column).Add(piece.row);
  p.Add(static_cast<int32_t>(piece.colour)).Add(piece.label).Add(piece.direction);
  p.Add(piece.owner);
  Send(p);
}

// --- pieces ------------------------------------------------------------------------------------

bool HexMap::AddPieceAt(QPoint cell, uint32_t colour) {
  HexPage* page = MutablePage(current_);
  if (!page || !page->IsMapCell(cell.x(), cell.y())) return false;
  HexMapPage& h = page->header;
  if (h.highest_slot >= kHexSlots - 1) {
    emit statusText(QStringLiteral("このページにはこれ以上コマを置けません"));
    return false;
  }
  ++h.own_piece_count;
  const int slot = ++h.highest_slot;
  HexPiece& piece = page->MutablePiece(slot);
  piece.in_use = true;
  piece.label = FirstCharacter(instance_.OwnHandle) + QString::number(h.own_piece_count);
  piece.colour = colour & 0xFFFFFF;
  piece.owner = instance_.OwnIndex;
  piece.direction = InitialDirection(h);
  const int stacked = h.stacked_cells;
  page->PushPiece(slot, cell.x(), cell.y());
  emit cellsChanged(current_, {cell});
  if (h.stacked_cells != stacked) emit stacksChanged(current_);
  SendPiece(current_, slot, piece);
  return true;
}

bool HexMap::DeletePieceAt(QPoint cell) {
  HexPage* page = MutablePage(current_);
  if (!page || !page->IsMapCell(cell.x(), cell.y())) return false;
  const int slot = page->Cell(cell.x(), cell.y()).top;
  if (!HexPage::IsSlot(slot)) return false;
  HexPiece& piece = page->MutablePiece(slot);
  if (!piece.in_use || piece.owner != instance_.OwnIndex) return false;
  const int stacked = page->header.stacked_cells;
  page->RemovePiece(slot);
  piece.in_use = false;
  emit cellsChanged(current_, {cell});
  if (page->header.stacked_cells != stacked) emit stacksChanged(current_);
  Packet p(msg::kHexDeletePiece, kKind, instance_.OwnIndex, 0);
  p.Add(int32_t{current_}).Add(int32_t{slot}).Add(int32_t{cell.x()}).Add(int32_t{cell.y()});
  Send(p);
  return true;
}

bool HexMap::BeginDrag(QPoint cell) {
  const HexPage* page = Page(current_);
  if (!page || drag_slot_ != 0 || !page->IsMapCell(cell.x(), cell.y())) return false;
  const int slot = page->Cell(cell.x(), cell.y()).top;
  if (!HexPage::IsSlot(slot)) return false;
  const HexPiece& piece = page->Piece(slot);
  if (!piece.in_use || piece.owner != instance_.OwnIndex) return false;
  drag_slot_ = slot;
  drag_start_ = cell;
  drag_moved_ = false;
  return true;
}

void HexMap::DragOver(QPoint cell) {
  HexPage* page = MutablePage(current_);
  if (!page || drag_slot_ == 0 || !page->IsMapCell(cell.x(), cell.y())) return;
  const HexPiece& piece = page->Piece(drag_slot_);
  const QPoint from(piece.column, piece.row);
  // Any movement makes it a drag, even one that stays inside the cell.
  drag_moved_ = true;
  if (from == cell) return;
  emit statusText(QStringLiteral("( %1 , %2 ) → ( %3 , %4 )  距離：( %5 , %6 )")
                      .arg(drag_start_.x())
                      .arg(drag_start_.y())
                      .arg(cell.x())
                      .arg(cell.y())
                      .arg(std::abs(cell.x() - drag_start_.x()))
                      .arg(std::abs(cell.y() - drag_start_.y())));
  const int stacked = page->header.stacked_cells;
  page->RemovePiece(drag_slot_);
  page->PushPiece(drag_slot_, cell.x(), cell.y());
  emit cellsChanged(current_, {from, cell});
  if (page->header.stacked_cells != stacked) emit stacksChanged(current_);
}

void HexMap::EndDrag(Qt::MouseButton button) {
  HexPage* page = MutablePage(current_);
  const int slot = drag_slot_;
  drag_slot_ = 0;
  if (!page || slot == 0) return;
  HexPiece& piece = page->MutablePiece(slot);
  const QPoint at(piece.column, piece.row);
  if (at == drag_start_) {
    if (drag_moved_) {
      emit statusText(ModeHint(3));
      return;
    }
    // A click: left turns counter-clockwise, right clockwise, the middle button not at all.
    if (button == Qt::LeftButton)
      piece.direction = RotatedDirection(page->header, piece.direction, 2);
    if (button == Qt::RightButton)
      piece.direction = RotatedDirection(page->header, piece.direction, 1);
    emit cellsChanged(current_, {at});
    Packet p(msg::kHexTurnPiece, kKind, instance_.OwnIndex, 0);
    p.Add(int32_t{current_}).Add(int32_t{slot}).Add(piece.direction);
    Send(p);
  } else {
    Packet p(msg::kHexMovePiece, kKind, instance_.OwnIndex, 0);
    p.Add(int32_t{current_}).Add(int32_t{slot});
    p.Add(int32_t{drag_start_.x()}).Add(int32_t{drag_start_.y()});
    p.Add(int32_t{at.x()}).Add(int32_t{at.y()});
    Send(p);
  }
  emit statusText(AfterMoveHint());
}

void HexMap::CycleStacks(QPoint first, QPoint last) {
  HexPage* page = MutablePage(current_);
  if (!page || page->header.stacked_cells <= 0) return;
  QVector<QPoint> changed;
  for (int r = std::max(1, first.y()); r <= std::min(last.y(), page->header.rows); ++r) {
    for (int c = std::max(1, first.x()); c <= std::min(last.x(), page->header.columns); ++c) {
      if (page->Stack(c, r).size() < 2) continue;
      page->CyclePieceStack(c, r);
      changed.push_back(QPoint(c, r));
    }
  }
  if (!changed.isEmpty()) emit cellsChanged(current_, changed);
}

// --- colour strokes ----------------------------------------------------------------------------

void HexMap::BeginStroke() {
  stroke_active_ = Page(current_) != nullptr;
  stroke_.clear();
}

void HexMap::PaintOver(QPoint cell, uint32_t colour) {
  HexPage* page = MutablePage(current_);
  if (!page || !stroke_active_ || !page->IsMapCell(cell.x(), cell.y())) return;
  colour &= 0xFFFFFF;
  HexCell& target = page->MutableCell(cell.x(), cell.y());
  if (target.colour == colour) return;
  target.colour = colour;
  // A long stroke travels in several messages.
  if (stroke_.size() >= kMaxStroke) {
    SendStroke(colour);
    stroke_.clear();
  }
  stroke_.push_back(cell);
  emit cellsChanged(current_, {cell});
}

void HexMap::EndStroke(uint32_t colour) {
  if (!stroke_active_) return;
  stroke_active_ = false;
  SendStroke(colour & 0xFFFFFF);
  stroke_.clear();
}

void HexMap::SendStroke(uint32_t colour) {
  Packet p(msg::kHexPaint, msg::kHexPaintList, instance_.OwnIndex, 0);
  p.Add(int32_t{current_}).Add(static_cast<int32_t>(colour));
  p.Add(static_cast<int32_t>(stroke_.size()));
  for (const QPoint& cell : stroke_) p.Add(int32_t{cell.x()}).Add(int32_t{cell.y()});
  Send(p);
}

// --- files -------------------------------------------------------------------------------------

bool HexMap::SaveCurrentPage(const QString& path, QString* error) {
  const HexPage* page = Current();
  if (!page) return false;
  return SaveMapFile(path, *page, error);
}

bool HexMap::OpenMapFile(const QString& path, QString* error) {
  HexPage* page = MutablePage(current_);
  if (!page || !LoadMapFile(path, *page, error)) return false;
  emit pagesChanged();
  SetCurrent(current_);
  emit stacksChanged(current_);
  SendFileThenAnnounce(path, current_, announce_wait_ms_);
  return true;
}

int HexMap::CreatePageFromFile(const QString& path, QString* error) {
  const int number = PageCount() + 1;
  if (number > kHexMaxPages) return 0;
  HexPage loaded;
  if (!LoadMapFile(path, loaded, error)) return 0;
  EnsurePage(number) = std::move(loaded);
  emit pagesChanged();
  SetCurrent(number);
  emit stacksChanged(number);
  SendFileThenAnnounce(path, number, 0);
  return number;
}

void HexMap::SendFileThenAnnounce(const QString& path, int page, int wait_ms) {
  if (!Live()) return;
  const QString name = QFileInfo(path).fileName();
  QPointer<HexMap> self(this);
  // The others learn of the file only once its last piece is on its way.
  files_.SendFile(path, false, [self, page, name, wait_ms] {
    if (!self) return;
    QTimer::singleShot(wait_ms, self, [self, page, name] {
      Packet p(msg::kHexMapSent, kKind, self->instance_.OwnIndex, 0);
      p.Add(int32_t{page}).Add(name);
      self->Send(p);
    });
  });
}

void HexMap::RequestMaps() {
  if (instance_.SessionMode != ModeClient) return;
  Send(Packet(msg::kHexRequestMaps, kKind, instance_.OwnIndex, 0));
}

void HexMap::AnnounceOpened() {
  ToolAnnouncer::Announce(instance_, router_, msg::kToolHexMap, 1, kWindowTag);
}

// --- the server's answer to 609 ----------------------------------------------------------------

void HexMap::HandleServer(int socket, const Packet& p) {
  if (p.MessageCode != msg::kHexRequestMaps) return;
  // The asker is the connection the request came in on.
  if (socket < 1 || socket > instance_.SocketCount) return;
  // Asking again while the answer is on its way gets that same answer.
  if (answers_.HasPending(socket)) return;
  QueueAnswer(socket);
}

void HexMap::ServeOpenedTable(int participant) {
  if (participant < 1 || participant > instance_.SocketCount) return;
  // An answer still on its way carries the map from before the opening.
  answers_.Drop(participant);
  const int16_t own = static_cast<int16_t>(instance_.OwnIndex);
  answers_.Push(participant, [this, own]() -> std::optional<Packet> {
    Packet kept(msg::kHexPagesKept, kKind, own, 0);
    kept.Add(int32_t{PageCount()});
    return kept;
  });
  QueueAnswer(participant);
}

void HexMap::OnPagesKept(const Packet& p) {
  // Our own server's map is the opened table already.
  if (instance_.SessionMode == ModeServer) return;
  const int count = Bounded(p, 1, 0, kHexMaxPages);
  if (count >= PageCount()) return;
  CancelDrag();
  pages_.resize(static_cast<size_t>(count));
  emit pagesChanged();
  if (current_ > count) SetCurrent(count);
}

void HexMap::QueueAnswer(int requester) {
  // Every page goes as a map file on the asker's own connection (nobody else needs it), then
  // its announcement, and last the page the server shows. The files are written as the answer
  // starts, so the answer is the map of that moment.
  const QString folder = files_.ReceiveFolder();
  QDir().mkpath(folder);
  const int16_t own = static_cast<int16_t>(instance_.OwnIndex);
  for (int page = 1; page <= PageCount(); ++page) {
    const QString name = QStringLiteral("sysmap%1.mh0").arg(page);
    const QString path = folder + QLatin1Char('/') + name;
    QString error;
    QByteArray data;
    if (SaveMapFile(path, pages_[page - 1], &error)) {
      QFile file(path);
      if (file.open(QIODevice::ReadOnly)) data = file.readAll();
      if (data.isEmpty() && error.isEmpty()) error = name;
    }
    if (data.isEmpty()) {
      instance_.ReportError(kServerTag, 75, error.isEmpty() ? name : error);
      continue;
    }
    answers_.PushFile(requester, name, data, own);
    answers_.Push(requester, [name, page, own]() -> std::optional<Packet> {
      Packet p(msg::kHexMapFile, kKind, own, 0);
      p.Add(int32_t{page}).Add(name);
      return p;
    });
  }
  answers_.Push(requester, [this, own]() -> std::optional<Packet> {
    if (current_ < 1) return std::nullopt;
    Packet p(msg::kHexPageShown, kKind, own, 0);
    p.Add(int32_t{current_});
    return p;
  });
}

// --- receiving ---------------------------------------------------------------------------------

void HexMap::HandleClient(const Packet& p) {
  RunReported(instance_, kClientTag, [&] { ApplyClient(p); });
}

void HexMap::ApplyClient(const Packet& p) {
  switch (p.MessageCode) {
    case msg::kHexPageCreated:
      OnPageCreated(p);
      break;
    case msg::kHexCellsPainted:
      OnCellsPainted(p);
      break;
    case msg::kHexPieceAdded:
      OnPieceAdded(p);
      break;
    case msg::kHexPieceDeleted:
    case msg::kHexPieceMoved:
    case msg::kHexPieceTurned:
      OnPieceChanged(p);
      break;
    case msg::kHexPageShown:
      OnPageShown(p);
      break;
    case msg::kHexMapFile:
      OnMapFile(p);
      break;
    case msg::kHexPagesKept:
      OnPagesKept(p);
      break;
    default:
      break;
  }
}

void HexMap::OnPageCreated(const Packet& p) {
  const int page = PageOf(p);
  const int shape = Bounded(p, 2, kHexSquare, kHexHorizontal);
  const int size = Bounded(p, 3, 1, 4);
  const int piece_type = Bounded(p, 4, kPieceNoDirection, kPieceBoth);
  const int columns = Bounded(p, 5, 1, kHexMaxMapSize);
  const int rows = Bounded(p, 6, 1, kHexMaxMapSize);
  HexPage made;
  made.Create(shape, size, piece_type, columns, rows);
  EnsurePage(page) = std::move(made);
  emit setupReceived(shape, size, piece_type, columns, rows);
  emit pagesChanged();
  SetCurrent(page);
}

void HexMap::OnCellsPainted(const Packet& p) {
  const int page = PageOf(p);
  const uint32_t colour = static_cast<uint32_t>(p.Int(2)) & 0xFFFFFF;
  QVector<QPoint> cells;
  if (p.SubCode == msg::kHexPaintOne) {
    cells.push_back(QPoint(PlaceOf(p, 3), PlaceOf(p, 4)));
  } else if (p.SubCode == msg::kHexPaintList) {
    const int count = Bounded(p, 3, 0, kMaxStroke);
    for (int i = 1; i <= count; ++i) {
      cells.push_back(QPoint(PlaceOf(p, 2 * i + 2), PlaceOf(p, 2 * i + 3)));
    }
  } else {
    return;
  }
  HexPage& target = EnsurePage(page);
  for (const QPoint& cell : cells) target.MutableCell(cell.x(), cell.y()).colour = colour;
  emit cellsChanged(page, cells);
}

void HexMap::OnPieceAdded(const Packet& p) {
  const int page = PageOf(p);
  const int slot = SlotOf(p, 2);
  HexPiece piece;
  piece.in_use = true;
  piece.column = PlaceOf(p, 3);
  piece.row = PlaceOf(p, 4);
  piece.colour = static_cast<uint32_t>(p.Int(5)) & 0xFFFFFF;
  piece.label = p.Text(6);
  piece.direction = Bounded(p, 7, 0, kHexMaxDirection);
  piece.owner = p.Int(8);
  // Pieces are added by their owners only.
  if (piece.owner != p.SenderIndex) throw InvalidCallError();

  HexPage& target = EnsurePage(page);
  HexMapPage& h = target.header;
  h.highest_slot = std::max(h.highest_slot, slot);
  const int stacked = h.stacked_cells;
  QVector<QPoint> changed;
  HexPiece& held = target.MutablePiece(slot);
  HexPiece lost;
  bool ours_lost = false;
  if (held.in_use) {
    // The same slot taken twice at once: the lower participant index keeps it, on every copy.
    if (held.owner != piece.owner && held.owner < piece.owner) return;
    if (held.owner != piece.owner) {
      lost = held;
      ours_lost = held.owner == instance_.OwnIndex;
    }
    changed.push_back(QPoint(held.column, held.row));
    target.RemovePiece(slot);
    held.in_use = false;
    if (ours_lost && page == current_ && drag_slot_ == slot) CancelDrag();
  }
  held = piece;
  target.PushPiece(slot, piece.column, piece.row);
  changed.push_back(QPoint(piece.column, piece.row));
  if (ours_lost) AddAgain(page, slot, lost);
  emit cellsChanged(page, changed);
  if (h.stacked_cells != stacked) emit stacksChanged(page);
}

void HexMap::AddAgain(int page, int old_slot, const HexPiece& piece) {
  HexPage& target = pages_[page - 1];
  HexMapPage& h = target.header;
  // Copies that saw the slot free may hold our piece there: they let it go.
  Packet withdraw(msg::kHexDeletePiece, kKind, instance_.OwnIndex, 0);
  withdraw.Add(int32_t{page}).Add(int32_t{old_slot}).Add(piece.column).Add(piece.row);
  Send(withdraw);
  if (h.highest_slot >= kHexSlots - 1) {
    emit statusText(QStringLiteral("このページにはこれ以上コマを置けません"));
    return;
  }
  const int slot = ++h.highest_slot;
  HexPiece& again = target.MutablePiece(slot);
  again = piece;
  again.under = 0;
  target.PushPiece(slot, piece.column, piece.row);
  SendPiece(page, slot, again);
  emit cellsChanged(page, {QPoint(piece.column, piece.row)});
}

void HexMap::OnPieceChanged(const Packet& p) {
  const int page = PageOf(p);
  const int slot = SlotOf(p, 2);
  QPoint to;
  int32_t direction = 0;
  switch (p.MessageCode) {
    case msg::kHexPieceDeleted:
      PlaceOf(p, 3);
      PlaceOf(p, 4);
      break;
    case msg::kHexPieceMoved:
      PlaceOf(p, 3);
      PlaceOf(p, 4);
      to = QPoint(PlaceOf(p, 5), PlaceOf(p, 6));
      break;
    default:
      direction = Bounded(p, 3, 0, kHexMaxDirection);
      break;
  }
  HexPage& target = EnsurePage(page);
  HexMapPage& h = target.header;
  h.highest_slot = std::max(h.highest_slot, slot);
  HexPiece& piece = target.MutablePiece(slot);
  // Only the owner moves, turns or deletes a piece.
  if (!piece.in_use || piece.owner != p.SenderIndex) return;
  const QPoint at(piece.column, piece.row);
  const int stacked = h.stacked_cells;
  switch (p.MessageCode) {
    case msg::kHexPieceDeleted:
      target.RemovePiece(slot);
      piece.in_use = false;
      emit cellsChanged(page, {at});
      break;
    case msg::kHexPieceMoved:
      target.RemovePiece(slot);
      target.PushPiece(slot, to.x(), to.y());
      emit cellsChanged(page, {at, to});
      break;
    default:
      piece.direction = direction;
      emit cellsChanged(page, {at});
      break;
  }
  if (h.stacked_cells != stacked) emit stacksChanged(page);
}

void HexMap::OnPageShown(const Packet& p) {
  const int page = PageOf(p);
  // Only the server's user decides which page everyone sees.
  if (p.SenderIndex != 1) return;
  EnsurePage(page);
  SetCurrent(page);
}

void HexMap::OnMapFile(const Packet& p) {
  const int page = PageOf(p);
  const QString name = FileTransfer::SafeFileName(p.Text(2));
  const QString path = files_.ReceiveFolder() + QLatin1Char('/') + name;
  HexPage loaded = Page(page) ? *Page(page) : HexPage();
  QString error;
  if (!LoadMapFile(path, loaded, &error)) {
    instance_.ReportError(kClientTag, 75, error);
    return;
  }
  EnsurePage(page) = std::move(loaded);
  emit pagesChanged();
  GoToPage(page);  // on the server everyone follows
  emit stacksChanged(page);
}

}  // namespace quillora
