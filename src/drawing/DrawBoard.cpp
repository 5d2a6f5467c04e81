#include "drawing/DrawBoard.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QImageReader>
#include <QPainter>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <exception>

#include "core/Colors.h"
#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/FileTransfer.h"
#include "net/MessageCodes.h"
#include "net/Reported.h"
#include "net/Router.h"

namespace quillora {

namespace {

const QString kClientTag = QStringLiteral("DrawClntPros");
const QString kServerTag = QStringLiteral("DrawServPros");
const QString kWindowTag = QStringLiteral("frmDraw");
constexpr int kRelayOffset = 10;  // the server relays 50x as 51x
constexpr double kMaxAspect = 1e6;

int32_t Coordinate(const Packet& p, int i) {
  const int32_t v = p.Int(i);
  if (v < -DrawBoard::kCoordinateLimit || v > DrawBoard::kCoordinateLimit) throw OverflowError();
  return v;
}

double Real(const Packet& p, int i) {
  const double v = p.Number(i);
  if (!std::isfinite(v) || std::abs(v) > DrawBoard::kCoordinateLimit) throw OverflowError();
  return v;
}

QColor Colour(const Packet& p, int i) { return FromBgr(static_cast<uint32_t>(p.Int(i))); }

int32_t Ranged(const Packet& p, int i, int32_t low, int32_t high) {
  const int32_t v = p.Int(i);
  if (v < low || v > high) throw InvalidCallError();
  return v;
}

// The point list of a stroke or eraser message: the count at `count_item`, the points after it.
QVector<QPoint> Points(const Packet& p, int count_item) {
  const int32_t n = Ranged(p, count_item, 0, DrawBoard::kMaxPoints);
  if (p.Count() != count_item + 2 * n) throw InvalidCallError();
  QVector<QPoint> points;
  points.reserve(n);
  for (int k = 0; k < n; ++k) {
    points.append(
        QPoint(Coordinate(p, count_item + 1 + 2 * k), Coordinate(p, count_item + 2 + 2 * k)));
  }
  return points;
}

// Plain copy drawing without smoothing, so replays are exact on every participant.
void Prepare(QPainter& painter, const QColor& colour) {
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(colour, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  painter.setBrush(Qt::NoBrush);
}

QRect Corners(QPoint a, QPoint b) {
  return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
               QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

void AddPoints(Packet& p, const QVector<QPoint>& points) {
  p.Add(int32_t(points.size()));
  for (const QPoint& pt : points) p.Add(int32_t(pt.x())).Add(int32_t(pt.y()));
}

}  // namespace

DrawBoard::DrawBoard(Instance& instance, Router& router, Dispatcher& dispatcher,
                     FileSender send_file, QObject* parent)
    : QObject(parent),
      instance_(instance),
      router_(router),
      send_file_(std::move(send_file)),
      answers_(router, kServerTag) {
  dispatcher.RegisterClientHandler(msg::kDrawPointer, msg::kDrawPagesKept,
                                   [this](const Packet& p) { HandleClient(p); });
  dispatcher.RegisterServerHandler(
      msg::kDrawRepair, msg::kDrawRepair,
      [this](int socket, const Packet& p) { HandleServer(socket, p); });
}

// --- pages -----------------------------------------------------------------------------------

const QImage* DrawBoard::Page(int page) const {
  if (page < 0 || page > HighestPage() || pages_[page].isNull()) return nullptr;
  return &pages_[page];
}

QImage DrawBoard::Snapshot(int page) const {
  if (page < 0 || page > HighestPage()) return {};
  if (const QImage* image = Page(page)) return *image;
  QImage blank(kPageWidth, kPageHeight, QImage::Format_RGB32);
  blank.fill(Qt::white);
  return blank;
}

QVector<int> DrawBoard::DrawnPages() const {
  QVector<int> drawn;
  for (int i = 0; i <= HighestPage(); ++i) {
    if (!pages_[i].isNull()) drawn.append(i);
  }
  return drawn;
}

void DrawBoard::EnsurePages(int page) {
  if (page <= HighestPage()) return;
  pages_.resize(page + 1);
  emit pagesChanged();
}

QImage& DrawBoard::Surface(int page) {
  QImage& image = pages_[page];
  if (image.isNull()) {
    image = QImage(kPageWidth, kPageHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
  }
  return image;
}

bool DrawBoard::ShowPage(int page, bool tell) {
  if (page < 0 || page > HighestPage()) return false;
  if (page != current_) {
    current_ = page;
    emit pagesChanged();
  }
  if (tell) {
    Packet p = Make(msg::kSendDrawPage, draw::kPageShow);
    p.Add(int16_t(page));
    Send(RouteServer, p);
  }
  return true;
}

int DrawBoard::NewPage() {
  const int page = HighestPage() + 1;
  if (page > kMaxPage) return -1;
  Packet p = Make(msg::kSendDrawPage, draw::kPageNew);
  p.Add(int16_t(page));
  Perform(p);
  return page;
}

// --- the user's operations ---------------------------------------------------------------------

Packet DrawBoard::Make(int code, int16_t sub) const {
  return Packet(static_cast<int16_t>(code), sub, instance_.OwnIndex, 0);
}

void DrawBoard::Send(RoutingMode mode, const Packet& p) {
  if (!instance_.session_state().Chatting()) return;
  router_.Send(mode, p, kWindowTag);
}

void DrawBoard::Perform(const Packet& p) {
  Packet own = p;
  own.MessageCode = static_cast<int16_t>(p.MessageCode + kRelayOffset);
  RunReported(instance_, kWindowTag, [&] { Apply(own); });
  Send(RouteServer, p);
}

void DrawBoard::PlacePointer(QPointF pos, uint32_t colour) {
  Packet p = Make(msg::kSendDrawPointer, draw::kPointerShow);
  p.Add(instance_.OwnIndex).Add(int16_t(current_)).Add(pos.x()).Add(pos.y()).Add(int32_t(colour));
  Perform(p);
}

void DrawBoard::HidePointer() {
  Packet p = Make(msg::kSendDrawPointer, draw::kPointerHide);
  p.Add(instance_.OwnIndex);
  Perform(p);
}

void DrawBoard::RecolourPointer(uint32_t colour) {
  Packet p = Make(msg::kSendDrawPointer, draw::kPointerColour);
  p.Add(instance_.OwnIndex).Add(int32_t(colour));
  Perform(p);
}

void DrawBoard::DragPointer(QPointF pos) {
  Pointer& own = pointers_[instance_.OwnIndex];
  own.page = current_;
  own.pos = pos;
  own.visible = true;
  emit pointersChanged();
}

void DrawBoard::DrawText(QPointF top_left, uint32_t colour, const QString& text,
                         const DrawFont& font) {
  Packet p = Make(msg::kSendDrawText, font.Styled() ? draw::kTextStyled : draw::kTextPlain);
  p.Add(int16_t(current_)).Add(top_left.x()).Add(top_left.y()).Add(int32_t(colour));
  p.Add(text).Add(font.name).Add(font.size);
  if (font.Styled()) p.Add(font.bold).Add(font.italic).Add(font.strikeout).Add(font.underline);
  Perform(p);
}

void DrawBoard::DrawShape(int16_t kind, QPoint a, QPoint b, uint32_t colour) {
  Packet p = Make(msg::kSendDrawShape, kind);
  p.Add(int16_t(current_)).Add(int32_t(a.x())).Add(int32_t(a.y()));
  p.Add(int32_t(b.x())).Add(int32_t(b.y())).Add(int32_t(colour));
  Perform(p);
}

bool DrawBoard::DrawEllipse(QPointF centre, QPointF release, uint32_t colour, bool filled) {
  if (release.x() == centre.x()) return false;
  const double dx = std::abs(release.x() - centre.x());
  const double dy = std::abs(release.y() - centre.y());
  Packet p = Make(msg::kSendDrawEllipse, filled ? draw::kFilledEllipse : draw::kEllipse);
  p.Add(int16_t(current_)).Add(centre.x()).Add(centre.y()).Add(int32_t(colour));
  p.Add(std::max(dx, dy)).Add(dy / dx);
  Perform(p);
  return true;
}

void DrawBoard::ErasePage() {
  Packet p = Make(msg::kSendDrawErase, draw::kErasePage);
  p.Add(int16_t(current_));
  Perform(p);
}

void DrawBoard::BeginStroke(QPoint start, uint32_t colour) {
  stroke_ = Buffer{{start}, colour, current_, false, true};
}

void DrawBoard::ExtendStroke(QPoint to) {
  if (!stroke_.active) return;
  Segment(stroke_.page, stroke_.points.last(), to, stroke_.colour);
  stroke_.points.append(to);
  if (stroke_.points.size() >= kStrokePoints) Flush(stroke_, false);
}

void DrawBoard::EndStroke() {
  if (!stroke_.active) return;
  // What remains goes out, a single point too (receivers draw nothing for it).
  Flush(stroke_, false);
  stroke_.active = false;
}

void DrawBoard::BeginErase(QPoint start, int size) {
  eraser_ = Buffer{
      {start}, static_cast<uint32_t>(std::clamp(size, 0, kMaxEraserSize)), current_, false, true};
  Square(eraser_.page, start, static_cast<int>(eraser_.colour));
}

void DrawBoard::ExtendErase(QPoint to) {
  if (!eraser_.active) return;
  Square(eraser_.page, to, static_cast<int>(eraser_.colour));
  eraser_.points.append(to);
  if (eraser_.points.size() >= kStrokePoints) Flush(eraser_, true);
}

void DrawBoard::EndErase() {
  if (!eraser_.active) return;
  // A lone point that already went out with the last message needs no message of its own.
  if (eraser_.points.size() >= 2 || !eraser_.resent_first) Flush(eraser_, true);
  eraser_.active = false;
}

void DrawBoard::Flush(Buffer& buffer, bool erase) {
  Packet p = erase ? Make(msg::kSendDrawErase, draw::kEraseSquares)
                   : Make(msg::kSendDrawShape, draw::kStroke);
  p.Add(int16_t(buffer.page));
  if (erase) {
    p.Add(int16_t(buffer.colour));
  } else {
    p.Add(int32_t(buffer.colour));
  }
  AddPoints(p, buffer.points);
  Send(RouteServer, p);
  // The next message starts where this one ended, so the pieces join up.
  buffer.points = {buffer.points.last()};
  buffer.resent_first = true;
}

bool DrawBoard::PasteImage(const QString& path) {
  const QImage image = LoadPicture(path);
  if (image.isNull()) return false;
  const int page = current_;
  {
    QPainter painter(&Surface(page));
    painter.drawImage(0, 0, image);
  }
  emit pageChanged(page);
  if (!instance_.session_state().Chatting()) return true;
  const QString name = FileTransfer::SafeFileName(QFileInfo(path).fileName());
  QPointer<DrawBoard> self(this);
  const bool queued =
      send_file_ && send_file_(path, [self, page, name] {
        if (!self) return;
        QTimer::singleShot(self->pause_ms_, self.data(), [self, page, name] {
          if (self) self->Send(RouteServer, self->ImagePacket(msg::kSendDrawImage, page, name));
        });
      });
  if (!queued) instance_.ReportError(kWindowTag, 53, QStringLiteral("ファイルが見つかりません。"));
  return true;
}

bool DrawBoard::SavePage(int page, const QString& path) const {
  const QImage image = Snapshot(page);
  if (image.isNull()) return false;
  const bool png = path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (!image.save(&file, png ? "PNG" : "BMP")) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

QImage DrawBoard::LoadPicture(const QString& path) {
  QImageReader reader(path);
  reader.setAutoTransform(false);
  const QSize size = reader.size();
  // Refuse what would take more memory than a picture on a page is worth.
  if (!size.isValid() || qint64(size.width()) * size.height() > kMaxImagePixels) return {};
  QImage image;
  if (!reader.read(&image)) return {};
  return image;
}

// --- catch-up ---------------------------------------------------------------------------------

bool DrawBoard::RequestCatchUp() {
  if (instance_.SessionMode != ModeClient) return false;
  // Nothing is cleared yet: a server that never answers must not cost the user the picture.
  catching_up_ = true;
  caught_up_.clear();
  Send(RouteServer, Make(msg::kDrawRepair, draw::kRepairAll));
  return true;
}

void DrawBoard::HandleServer(int socket, const Packet& p) {
  RunReported(instance_, kServerTag, [&] {
    if (p.MessageCode != msg::kDrawRepair) return;
    // The asker is the connection the request came in on; our own user already has our pages.
    if (socket < 1 || socket > instance_.SocketCount || socket == instance_.OwnIndex) return;
    // Asking again while the answer is being made or is on its way gets that same answer.
    if (preparing_.contains(socket) || answers_.HasPending(socket)) return;
    const Link* link = router_.ServerLink(socket);
    if (!link) return;
    preparing_.insert(socket);
    // Strokes relayed just before the request are still on their way to our own user's pages;
    // give them a moment before the pages are taken.
    QTimer::singleShot(pause_ms_, this, [this, socket, link] {
      preparing_.remove(socket);
      // Whoever asked may have gone meanwhile (and the number been given to someone else).
      if (router_.ServerLink(socket) == link && link->IsConnected()) QueueAnswer(socket);
    });
  });
}

void DrawBoard::ServeOpenedTable(int participant) {
  if (participant < 1 || participant > instance_.SocketCount || participant == instance_.OwnIndex ||
      !router_.ServerLink(participant)) {
    return;
  }
  // An answer still on its way carries the pictures from before the opening.
  preparing_.remove(participant);
  answers_.Drop(participant);
  answers_.Push(participant, [this]() -> std::optional<Packet> {
    Packet kept = Make(msg::kDrawPagesKept, 1);
    kept.Add(static_cast<int16_t>(HighestPage()));
    return kept;
  });
  QueueAnswer(participant);
}

// Every drawn page goes as a picture file on the asker's own connection (nobody else needs
// it), then its announcement, and last the page we show. The pages are taken as the answer
// starts, so the answer is the picture of that moment.
void DrawBoard::QueueAnswer(int asker) {
  const int16_t own = static_cast<int16_t>(instance_.OwnIndex);
  for (const int page : DrawnPages()) {
    const QString name = QStringLiteral("sysdraw%1.png").arg(page);
    QByteArray data;
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::WriteOnly) || !Snapshot(page).save(&buffer, "PNG")) {
      instance_.ReportError(kServerTag, 75, QStringLiteral("パス名が無効です。"));
      continue;
    }
    answers_.PushFile(asker, name, data, own);
    answers_.Push(asker, [this, page, name]() -> std::optional<Packet> {
      return ImagePacket(msg::kDrawImage, page, name);
    });
  }
  answers_.Push(asker, [this]() -> std::optional<Packet> {
    Packet p = Make(msg::kDrawPage, draw::kPageShow);
    p.Add(int16_t(current_));
    return p;
  });
}

Packet DrawBoard::ImagePacket(int code, int page, const QString& name) const {
  Packet p = Make(code, draw::kImageFile);
  p.Add(int16_t(page)).Add(name);
  for (int k = 0; k < 4; ++k) p.Add(QString());
  return p;
}

// --- replay ------------------------------------------------------------------------------------

void DrawBoard::HandleClient(const Packet& p) {
  RunReported(instance_, kClientTag, [&] { Apply(p); });
}

void DrawBoard::Apply(const Packet& p) {
  switch (p.MessageCode) {
    case msg::kDrawPointer:
      return ApplyPointer(p);
    case msg::kDrawText:
      return ApplyText(p);
    case msg::kDrawShape:
      return ApplyShape(p);
    case msg::kDrawEllipse:
      return ApplyEllipse(p);
    case msg::kDrawErase:
      return ApplyErase(p);
    case msg::kDrawPage:
      return ApplyPage(p);
    case msg::kDrawImage:
      return ApplyImage(p);
    case msg::kDrawPagesKept:
      return ApplyPagesKept(p);
    default:
      return;
  }
}

int DrawBoard::PageItem(const Packet& p, int item) {
  const int32_t page = p.Int(item);
  // A stray page number must not make every copy allocate pages by the thousand.
  if (page < 0 || page > kMaxPage) throw SubscriptError();
  EnsurePages(page);
  return page;
}

void DrawBoard::ApplyPointer(const Packet& p) {
  // The pointer belongs to whoever sent the message (the server stamps the sender); item 1
  // says the same for honest senders.
  (void)p.Int(1);
  const int player = p.SenderIndex;
  switch (p.SubCode) {
    case draw::kPointerShow: {
      const int page = PageItem(p, 2);
      const QPointF pos(Real(p, 3), Real(p, 4));
      const QColor colour = Colour(p, 5);
      pointers_[player] = Pointer{page, pos, ToBgr(colour), true};
      break;
    }
    case draw::kPointerHide:
      if (!pointers_.contains(player)) return;
      pointers_[player].visible = false;
      break;
    case draw::kPointerColour:
      pointers_[player].colour = ToBgr(Colour(p, 2));
      break;
    default:
      return;
  }
  emit pointersChanged();
}

void DrawBoard::ApplyText(const Packet& p) {
  if (p.SubCode != draw::kTextPlain && p.SubCode != draw::kTextStyled) return;
  const int page = PageItem(p, 1);
  const QPointF at(Real(p, 2), Real(p, 3));
  const QColor colour = Colour(p, 4);
  const QString text = p.Text(5);
  QFont font(p.Text(6));
  const int32_t size = Ranged(p, 7, 1, kMaxFontSize);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(size * 96.0 / 72.0))));
  font.setStyleStrategy(QFont::PreferDefault);
  if (p.SubCode == draw::kTextStyled) {
    font.setBold(p.Bool(8));
    font.setItalic(p.Bool(9));
    font.setStrikeOut(p.Bool(10));
    font.setUnderline(p.Bool(11));
  }
  {
    QPainter painter(&Surface(page));
    Prepare(painter, colour);
    painter.setFont(font);
    // The box's top-left is the text's top-left.
    painter.drawText(QRectF(at, QSizeF(kPageWidth * 4, kPageHeight * 4)),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  }
  emit pageChanged(page);
}

void DrawBoard::Segment(int page, QPoint a, QPoint b, uint32_t colour) {
  {
    QPainter painter(&Surface(page));
    Prepare(painter, FromBgr(colour));
    painter.drawLine(a, b);
  }
  emit pageChanged(page);
}

void DrawBoard::Square(int page, QPoint at, int size) {
  if (size <= 0) return;
  {
    QPainter painter(&Surface(page));
    painter.fillRect(QRect(at, QSize(size, size)), Qt::white);
  }
  emit pageChanged(page);
}

void DrawBoard::ApplyShape(const Packet& p) {
  if (p.SubCode < draw::kLine || p.SubCode > draw::kStroke) return;
  const int page = PageItem(p, 1);
  if (p.SubCode == draw::kStroke) {
    const QColor colour = Colour(p, 2);
    const QVector<QPoint> points = Points(p, 3);
    if (points.size() < 2) return;
    {
      QPainter painter(&Surface(page));
      Prepare(painter, colour);
      // Segment by segment, exactly as the drawer drew them while the mouse moved.
      for (int k = 1; k < points.size(); ++k) painter.drawLine(points[k - 1], points[k]);
    }
    emit pageChanged(page);
    return;
  }
  const QPoint a(Coordinate(p, 2), Coordinate(p, 3));
  const QPoint b(Coordinate(p, 4), Coordinate(p, 5));
  const QColor colour = Colour(p, 6);
  {
    QPainter painter(&Surface(page));
    Prepare(painter, colour);
    const QRect box = Corners(a, b);
    if (p.SubCode == draw::kLine) {
      painter.drawLine(a, b);
    } else if (p.SubCode == draw::kBox) {
      painter.drawRect(QRectF(box.topLeft(), QSizeF(box.width() - 1, box.height() - 1)));
    } else {
      painter.fillRect(box, colour);
    }
  }
  emit pageChanged(page);
}

void DrawBoard::ApplyEllipse(const Packet& p) {
  if (p.SubCode != draw::kEllipse && p.SubCode != draw::kFilledEllipse) return;
  const int page = PageItem(p, 1);
  const QPointF centre(Real(p, 2), Real(p, 3));
  const QColor colour = Colour(p, 4);
  const double radius = Real(p, 5);
  const double aspect = p.Number(6);
  if (radius < 0 || !std::isfinite(aspect) || aspect < 0 || aspect > kMaxAspect) {
    throw InvalidCallError();
  }
  // The radius is the larger half-axis; the aspect is height over width.
  const double rx = aspect <= 1 ? radius : radius / aspect;
  const double ry = aspect <= 1 ? radius * aspect : radius;
  {
    QPainter painter(&Surface(page));
    Prepare(painter, colour);
    if (p.SubCode == draw::kFilledEllipse) painter.setBrush(colour);
    painter.drawEllipse(centre, rx, ry);
  }
  emit pageChanged(page);
}

void DrawBoard::ApplyErase(const Packet& p) {
  if (p.SubCode < draw::kErasePage || p.SubCode > draw::kEraseSquares) return;
  const int page = PageItem(p, 1);
  if (p.SubCode == draw::kErasePage) {
    // White everywhere, pasted images included: the page holds nothing any more.
    if (pages_[page].isNull()) return;
    pages_[page] = QImage();
    emit pageChanged(page);
    return;
  }
  if (p.SubCode == draw::kEraseSquare) {
    const QPoint at(Coordinate(p, 2), Coordinate(p, 3));
    Square(page, at, Ranged(p, 4, 0, kMaxEraserSize));
    return;
  }
  const int size = Ranged(p, 2, 0, kMaxEraserSize);
  const QVector<QPoint> points = Points(p, 3);
  if (size == 0 || points.isEmpty()) return;
  {
    QPainter painter(&Surface(page));
    for (const QPoint& at : points) painter.fillRect(QRect(at, QSize(size, size)), Qt::white);
  }
  emit pageChanged(page);
}

bool DrawBoard::IsCatchUpAnswer(const Packet& p) const {
  // The answer is addressed to us alone; everything else is relayed with no addressee.
  return catching_up_ && instance_.OwnIndex > 0 && p.DestIndex == instance_.OwnIndex;
}

void DrawBoard::ApplyPagesKept(const Packet& p) {
  // Our own server's board is the opened table already.
  if (instance_.SessionMode == ModeServer || p.SubCode != 1) return;
  const int highest = p.Int(1);
  if (highest < 0 || highest > kMaxPage) throw SubscriptError();
  // What follows is a complete answer, as to our own catch-up request.
  catching_up_ = true;
  caught_up_.clear();
  if (highest >= HighestPage()) return;
  pages_.resize(static_cast<size_t>(highest) + 1);
  current_ = qMin(current_, highest);
  pointers_.removeIf([highest](const auto& it) { return it.value().page > highest; });
  emit pointersChanged();
  emit pagesChanged();
}

void DrawBoard::ApplyPage(const Packet& p) {
  if (p.SubCode != draw::kPageShow && p.SubCode != draw::kPageNew) return;
  const int page = PageItem(p, 1);
  if (p.SubCode == draw::kPageShow && IsCatchUpAnswer(p)) {
    // The answer is complete: what it did not bring is white on the server.
    catching_up_ = false;
    for (int i = 0; i <= HighestPage(); ++i) {
      if (pages_[i].isNull() || caught_up_.contains(i)) continue;
      pages_[i] = QImage();
      emit pageChanged(i);
    }
  }
  if (page != current_) {
    current_ = page;
    emit pagesChanged();
  }
}

void DrawBoard::ApplyImage(const Packet& p, int waited_ms) {
  if (p.SubCode != draw::kImageFile) return;
  const int page = PageItem(p, 1);
  const QString name = FileTransfer::SafeFileName(p.Text(2));
  const QString path = instance_.PathOf(QStringLiteral("file_Rcv")) + QLatin1Char('/') + name;
  const bool catch_up = waited_ms == 0 ? IsCatchUpAnswer(p) : p.DestIndex > 0;
  if (catch_up && !caught_up_.contains(page)) caught_up_.push_back(page);
  if (!QFileInfo::exists(path)) {
    instance_.SetPanel(QLatin1String(kPanelSysReqMes), QStringLiteral("ファイル転送エラー"));
    return;
  }
  const QImage image = LoadPicture(path);
  if (image.isNull() && waited_ms < image_wait_ms_) {
    // The announcement can overtake the relay of the file's last pieces: look again for a while
    // before the picture counts as broken.
    QPointer<DrawBoard> self(this);
    QTimer::singleShot(kImageRetryMs, this, [self, p, waited_ms] {
      if (self) {
        RunReported(self->instance_, kClientTag,
                    [&] { self->ApplyImage(p, waited_ms + kImageRetryMs); });
      }
    });
    return;
  }
  if (image.isNull()) throw ProtocolError{481, QStringLiteral("ピクチャの値が不正です。")};
  {
    // A page of the catch-up replaces ours whole.
    if (catch_up) pages_[page] = QImage();
    QPainter painter(&Surface(page));
    painter.drawImage(0, 0, image);
  }
  emit pageChanged(page);
}

}  // namespace quillora
