#include "drawing/DrawBoardState.h"

#include "drawing/DrawBoard.h"
#include "net/MessageCodes.h"

namespace quillora {

namespace {
const QString kPages = QStringLiteral("draw_pages");
const QString kInfo = QStringLiteral("draw_info");
}  // namespace

DrawBoardState::DrawBoardState(DrawBoard& board) : board_(board) {
  QObject::connect(&board_, &DrawBoard::pageChanged, &board_, [this](int page) {
    dirty_.insert(page);
    MarkChanged();
  });
  QObject::connect(&board_, &DrawBoard::pagesChanged, &board_, [this] { MarkChanged(); });
}

QVector<StateTable> DrawBoardState::Tables() const {
  return {{kPages, {"page", "width", "height", "png"}, 1}, {kInfo, {"name", "value"}, 1}};
}

void DrawBoardState::DescribeInfo(StateWriter& out) const {
  out.Put(kInfo, {QStringLiteral("current_page"), board_.CurrentPage()});
  out.Put(kInfo, {QStringLiteral("highest_page"), board_.HighestPage()});
}

void DrawBoardState::DescribePage(StateWriter& out, int page) const {
  const QImage* image = board_.Page(page);
  if (!image) {
    out.Remove(kPages, {page});
    return;
  }
  // The picture is shared, not copied; the file's writer encodes it as PNG.
  out.Put(kPages, {page, image->width(), image->height(), QVariant::fromValue(*image)});
}

void DrawBoardState::DescribeAll(StateWriter& out) const {
  out.Clear(kPages);
  DescribeInfo(out);
  for (int page : board_.DrawnPages()) DescribePage(out, page);
}

void DrawBoardState::DescribeChanges(StateWriter& out) {
  DescribeInfo(out);
  for (int page : dirty_) {
    if (page >= 0 && page <= board_.HighestPage()) {
      DescribePage(out, page);
    } else {
      out.Remove(kPages, {page});
    }
  }
  // Pages beyond the highest (the board was cleared for a catch-up) go too.
  dirty_.clear();
  MarkDescribed();
}

void DrawBoardState::Restore(const StateReader& in) {
  int highest = 0;
  int current = 0;
  for (const QVariantList& row : in.Rows(kInfo)) {
    const QString name = row.value(0).toString();
    if (name == QLatin1String("highest_page")) highest = row.value(1).toInt();
    if (name == QLatin1String("current_page")) current = row.value(1).toInt();
  }
  std::vector<QImage> pages;
  for (const QVariantList& row : in.Rows(kPages)) {
    const int page = row.value(0).toInt();
    if (page < 0 || page > DrawBoard::kMaxPage) continue;
    QImage image = QImage::fromData(row.value(3).toByteArray(), "PNG");
    if (image.isNull()) continue;
    // Every copy of a page has the board's size and format, or drawing would differ.
    image = image.convertToFormat(QImage::Format_RGB32);
    if (image.width() != DrawBoard::kPageWidth || image.height() != DrawBoard::kPageHeight) {
      QImage sized(DrawBoard::kPageWidth, DrawBoard::kPageHeight, QImage::Format_RGB32);
      sized.fill(Qt::white);
      for (int y = 0; y < qMin(image.height(), sized.height()); ++y) {
        memcpy(sized.scanLine(y), image.constScanLine(y),
               4 * static_cast<size_t>(qMin(image.width(), sized.width())));
      }
      image = sized;
    }
    if (static_cast<int>(pages.size()) <= page) pages.resize(page + 1);
    pages[page] = image;
    highest = qMax(highest, page);
  }
  highest = qBound(0, highest, DrawBoard::kMaxPage);
  pages.resize(highest + 1);
  board_.pages_ = std::move(pages);
  board_.current_ = qBound(0, current, highest);
  emit board_.pagesChanged();
  for (int page = 0; page <= highest; ++page) emit board_.pageChanged(page);
  dirty_.clear();
  MarkDescribed();
}

void DrawBoardState::HandOut(const QVector<int>& participants) {
  for (int p : participants) board_.ServeOpenedTable(p);
}

}  // namespace quillora
