#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QVector>
#include <Qt>
#include <cstdint>
#include <vector>

#include "hexmap/HexPage.h"
#include "net/AnswerQueue.h"

namespace quillora {

class Dispatcher;
class FileTransfer;
class Instance;
class Router;
struct Packet;
struct ProtocolError;

// The shared hex map of one program: every page with its cells and pieces, the current page,
// the user's operations on it (each applied here first, then announced), the handlers that
// apply the others' operations, and the server's answer to a request for every page, which
// sends each page as a map file.
//
// Piece slots are handed out as the page's highest slot + 1, so two participants adding at
// the same moment can pick the same slot. Every copy settles that the same way: the piece of
// the lower participant index keeps the slot, and the participant whose piece lost it adds the
// piece again under a fresh slot (and withdraws the old slot, for copies that had already let
// the slot go). Operations on a piece count only when they come from its owner.
class HexMap : public QObject {
  Q_OBJECT

 public:
  static constexpr int kAnnounceWaitMs = 2000;  // after a map file, before announcing it
  static constexpr int kMaxStroke = 255;        // cells one colour message carries

  // Registers the hex map handlers with the dispatcher.
  HexMap(Instance& instance, Router& router, Dispatcher& dispatcher, FileTransfer& files,
         QObject* parent = nullptr);

  // --- pages -----------------------------------------------------------------------------------
  int PageCount() const { return static_cast<int>(pages_.size()); }
  int CurrentPage() const { return current_; }
  // Page 1..PageCount(), or nullptr.
  const HexPage* Page(int page) const;
  const HexPage* Current() const { return Page(current_); }
  // True once some page has been set up (created, loaded or received).
  bool HasMap() const;

  // --- the user's operations -------------------------------------------------------------------
  // A new page after the last one, made current and announced. Returns its number, 0 when the
  // arguments are bad or there is no room for another page.
  int CreatePage(int shape, int size, int piece_type, int columns, int rows);
  // Shows page 1..PageCount(); on the server everyone follows. False for other numbers.
  bool GoToPage(int page);
  // The current page's scroll position.
  void SetFirstCell(int column, int row);

  // Mouse actions on map cells of the current page (the window checks that the cell is one).
  bool AddPieceAt(QPoint cell, uint32_t colour);
  bool DeletePieceAt(QPoint cell);
  bool BeginDrag(QPoint cell);
  void DragOver(QPoint cell);
  // Ends a drag: back on its start cell a click turns the piece (left counter-clockwise, right
  // clockwise, middle sends it unchanged); on another cell the move is announced.
  void EndDrag(Qt::MouseButton button);
  bool Dragging() const { return drag_slot_ != 0; }
  void BeginStroke();
  void PaintOver(QPoint cell, uint32_t colour);
  void EndStroke(uint32_t colour);
  // Moves the top piece of every stack between the two cells to its bottom.
  void CycleStacks(QPoint first, QPoint last);

  // Map files. Loading refuses a bad file without touching the page (`*error` names it).
  bool SaveCurrentPage(const QString& path, QString* error);
  // Loads the file into the current page, sends it to the others and announces it.
  bool OpenMapFile(const QString& path, QString* error);
  // Loads the file as a new page after the last, sends and announces it. Returns the page, or 0.
  int CreatePageFromFile(const QString& path, QString* error);

  // Asks the server for every page (a client only).
  void RequestMaps();
  // The server's user opened the hex map: every client opens its hex map window too.
  void AnnounceOpened();

  // --- handlers (public for tests; errors are reported, never thrown) ---------------------------
  void HandleClient(const Packet& p);
  // The server, after opening a table file: a participant's map becomes ours (the pages we
  // have not got go, the others arrive as a late joiner's maps do).
  void ServeOpenedTable(int participant);
  void HandleServer(int socket, const Packet& p);

  // The answer to 609 follows the asker's socket; answer_ms is no longer used.
  void SetWaitsForTesting(int announce_ms, int answer_ms);
  bool AnswerPending(int asker) const { return answers_.HasPending(asker); }

  // Status texts.
  static QString ModeHint(int mode);  // 1 add, 2 delete, 3 move, 4 colour
  static QString AfterMoveHint();

 signals:
  // Pages were added or set up.
  void pagesChanged();
  // Another page is shown (or the current one was replaced): everything is drawn anew.
  void currentPageChanged(int page);
  // Cells of a page changed and need drawing.
  void cellsChanged(int page, const QVector<QPoint>& cells);
  // The number of stacked cells of a page changed.
  void stacksChanged(int page);
  // A page arrived from another participant with these set-up choices.
  void setupReceived(int shape, int size, int piece_type, int columns, int rows);
  // A hint for the status bar.
  void statusText(const QString& text);
  // A drag ended without the window asking (the piece was lost or the page changed).
  void dragCancelled();

 private:
  friend class HexMapState;  // describes and restores the pages for the table file

  HexPage* MutablePage(int page);
  HexPage& EnsurePage(int page);
  bool Live() const;
  void Send(const Packet& p);
  void SetCurrent(int page);
  void CancelDrag();

  void ApplyClient(const Packet& p);
  void OnPageCreated(const Packet& p);
  void OnCellsPainted(const Packet& p);
  void OnPieceAdded(const Packet& p);
  void OnPieceChanged(const Packet& p);
  void OnPageShown(const Packet& p);
  void OnMapFile(const Packet& p);
  void OnPagesKept(const Packet& p);
  // Our piece lost its slot to a lower participant's: it goes back under a fresh slot.
  void AddAgain(int page, int old_slot, const HexPiece& piece);
  void SendPiece(int page, int slot, const HexPiece& piece);
  void SendStroke(uint32_t colour);
  void SendFileThenAnnounce(const QString& path, int page, int wait_ms);
  void QueueAnswer(int requester);

  Instance& instance_;
  Router& router_;
  FileTransfer& files_;
  std::vector<HexPage> pages_;
  int current_ = 0;

  // The drag of the move tool and the stroke of the colour tool.
  int drag_slot_ = 0;
  QPoint drag_start_;
  bool drag_moved_ = false;
  bool stroke_active_ = false;
  QVector<QPoint> stroke_;

  int announce_wait_ms_ = kAnnounceWaitMs;
  AnswerQueue answers_;  // the server's answers to 609
};

}  // namespace quillora
