#pragma once

#include <QColor>
#include <QImage>
#include <QMap>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QVector>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "net/AnswerQueue.h"
#include "net/Packet.h"

namespace quillora {

class Dispatcher;
class Instance;
class Router;

// Sub-codes of the drawing messages.
namespace draw {
inline constexpr int16_t kPointerShow = 1;  // pointer: place it
inline constexpr int16_t kPointerHide = 2;
inline constexpr int16_t kPointerColour = 3;
inline constexpr int16_t kTextPlain = 1;  // text without font styles
inline constexpr int16_t kTextStyled = 2;
inline constexpr int16_t kLine = 1;  // shapes
inline constexpr int16_t kBox = 2;
inline constexpr int16_t kFilledBox = 3;
inline constexpr int16_t kStroke = 4;
inline constexpr int16_t kEllipse = 1;
inline constexpr int16_t kFilledEllipse = 2;
inline constexpr int16_t kErasePage = 1;  // erasing
inline constexpr int16_t kEraseSquare = 2;
inline constexpr int16_t kEraseSquares = 3;
inline constexpr int16_t kPageShow = 1;  // page changes
inline constexpr int16_t kPageNew = 2;
inline constexpr int16_t kImageFile = 1;
inline constexpr int16_t kRepairAll = 1;
}  // namespace draw

// The font text is printed in: size in whole points.
struct DrawFont {
  QString name;
  int32_t size = 12;
  bool bold = false;
  bool italic = false;
  bool strikeout = false;
  bool underline = false;
  bool Styled() const { return bold || italic || strikeout || underline; }
};

// The shared drawing board of one program: numbered pages of one fixed size, the pointers of
// the participants and the user's drawing operations. Everything the user draws is applied
// here exactly as a received message is replayed, then sent, so every copy of a page ends up
// pixel for pixel the same. Pages exist from 0 to the highest page; a page holds an image only
// once something has been drawn on it.
class DrawBoard : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPageWidth = 960;  // page units, the same on every participant
  static constexpr int kPageHeight = 720;
  static constexpr int kMaxPage = 49;       // pages 0..49
  static constexpr int kMaxPoints = 10000;  // per stroke or eraser message
  static constexpr int kStrokePoints = 41;  // points per message while a stroke goes on
  static constexpr int kCoordinateLimit = 1 << 20;
  static constexpr int kMaxFontSize = 500;
  static constexpr int kMaxEraserSize = 1000;
  static constexpr qint64 kMaxImagePixels = 40LL * 1000 * 1000;
  static constexpr int kAnnouncePauseMs = 500;  // after a file's last piece, before its message

  // Sends a file to the others by file transfer; `sent` runs once its last piece has left.
  // False when the file cannot be read.
  using FileSender = std::function<bool(const QString& path, std::function<void()> sent)>;

  struct Pointer {
    int page = 0;
    QPointF pos;
    uint32_t colour = 0;
    bool visible = false;
  };

  // Registers the drawing handlers with the dispatcher.
  DrawBoard(Instance& instance, Router& router, Dispatcher& dispatcher, FileSender send_file,
            QObject* parent = nullptr);

  // --- pages ---------------------------------------------------------------------------------
  int CurrentPage() const { return current_; }
  int HighestPage() const { return static_cast<int>(pages_.size()) - 1; }
  // The page's image, or nullptr while nothing has been drawn on it (it is white).
  const QImage* Page(int page) const;
  // The page as a picture (white when blank); a null image for a page that does not exist.
  QImage Snapshot(int page) const;
  // Pages that hold an image.
  QVector<int> DrawnPages() const;

  // The user turns to an existing page; with `tell` everyone follows (507/1). False when the
  // page does not exist.
  bool ShowPage(int page, bool tell);
  // The user adds a page after the highest one and turns to it (507/2). -1 when full.
  int NewPage();

  // --- pointers ------------------------------------------------------------------------------
  const QMap<int, Pointer>& Pointers() const { return pointers_; }
  // The own pointer: placed on the current page (501/1), hidden (501/2), recoloured (501/3).
  void PlacePointer(QPointF pos, uint32_t colour);
  void HidePointer();
  void RecolourPointer(uint32_t colour);
  // Moves the own pointer on screen only, while the user drags it.
  void DragPointer(QPointF pos);

  // --- the user's drawing (on the current page, then sent) -----------------------------------
  void DrawText(QPointF top_left, uint32_t colour, const QString& text, const DrawFont& font);
  // 503/1..3: line, box or filled box between the corners.
  void DrawShape(int16_t kind, QPoint a, QPoint b, uint32_t colour);
  // Ellipse dragged from the centre to `release`. False (nothing drawn or sent) when the
  // release is straight above or below the centre.
  bool DrawEllipse(QPointF centre, QPointF release, uint32_t colour, bool filled);
  void ErasePage();
  // A freehand stroke: each move draws at once; every 41 points go out as one message, the
  // next one starting where this one ended; the end sends the rest.
  void BeginStroke(QPoint start, uint32_t colour);
  void ExtendStroke(QPoint to);
  void EndStroke();
  // The eraser, buffered the same way: a white square of `size` at every point.
  void BeginErase(QPoint start, int size);
  void ExtendErase(QPoint to);
  void EndErase();
  // Paints an image file at the top-left of the current page, sends the file and, once it has
  // left, the image message. False (nothing drawn or sent) when the file is not a readable
  // picture.
  bool PasteImage(const QString& path);
  // Saves a page as BMP, or PNG when the name ends in ".png". False when it cannot be written.
  bool SavePage(int page, const QString& path) const;

  // --- catch-up ------------------------------------------------------------------------------
  // A client asks the server for its picture (510). Each page the answer brings replaces ours;
  // the answer's closing page turn whitens the pages it did not bring (white on the server).
  // A server that does not answer leaves our pages as they are. False when not a client.
  bool RequestCatchUp();
  // The server, after opening a table file: a participant's board becomes ours (the pages we
  // have not got go, the others arrive as a catch-up answer).
  void ServeOpenedTable(int participant);
  // Answers still being sent by the server.
  bool Answering() const { return !preparing_.isEmpty() || answers_.Pending() > 0; }
  void SetPauseForTesting(int ms) { pause_ms_ = ms; }
  // How long a picture whose file does not decode yet is looked for again.
  void SetImageWaitForTesting(int ms) { image_wait_ms_ = ms; }

  // --- handlers (public for tests; failures are reported, never thrown) ----------------------
  void HandleClient(const Packet& p);              // 511-519
  void HandleServer(int socket, const Packet& p);  // 510

  // Reads a picture with bounded decoding; a null image when it is missing or unreadable.
  static QImage LoadPicture(const QString& path);

 signals:
  // Pixels of a page changed.
  void pageChanged(int page);
  // The current or highest page changed.
  void pagesChanged();
  void pointersChanged();

 private:
  friend class DrawBoardState;  // describes and restores the pages for the table file

  struct Buffer {
    QVector<QPoint> points;
    uint32_t colour = 0;        // stroke colour, or the eraser size
    int page = 0;               // where it started, whatever page is shown meanwhile
    bool resent_first = false;  // the first point already went out with the last message
    bool active = false;
  };

  void Apply(const Packet& p);  // a received (or own) message, by its received code
  void ApplyPointer(const Packet& p);
  void ApplyText(const Packet& p);
  void ApplyShape(const Packet& p);
  void ApplyEllipse(const Packet& p);
  void ApplyErase(const Packet& p);
  void ApplyPage(const Packet& p);
  void ApplyPagesKept(const Packet& p);
  bool IsCatchUpAnswer(const Packet& p) const;  // addressed to our own pending request
  // waited_ms: how long this picture has been waited for (its file may still be arriving).
  void ApplyImage(const Packet& p, int waited_ms = 0);
  static constexpr int kImageRetryMs = 100;
  // Draws and sends one of the user's messages (sent code; applied under code + 10).
  void Perform(const Packet& p);
  void Send(RoutingMode mode, const Packet& p);
  Packet Make(int code, int16_t sub) const;

  int PageItem(const Packet& p, int item);  // validated, pages created up to it
  void EnsurePages(int page);
  QImage& Surface(int page);
  void Segment(int page, QPoint a, QPoint b, uint32_t colour);
  void Square(int page, QPoint at, int size);
  void Flush(Buffer& buffer, bool erase);

  // A picture file's announcement: sent code for our own pasted picture, received code for an
  // answer to a catch-up.
  Packet ImagePacket(int code, int page, const QString& name) const;
  void QueueAnswer(int asker);

  Instance& instance_;
  Router& router_;
  FileSender send_file_;
  std::vector<QImage> pages_{QImage()};
  int current_ = 0;
  QMap<int, Pointer> pointers_;
  Buffer stroke_;
  Buffer eraser_;
  AnswerQueue answers_;       // the server's answers to catch-up requests
  QSet<int> preparing_;       // askers whose answer starts after the pause
  bool catching_up_ = false;  // our own request is being answered
  QVector<int> caught_up_;    // pages its answer brought so far
  int image_wait_ms_ = 10000;
  int pause_ms_ = kAnnouncePauseMs;
};

}  // namespace quillora
