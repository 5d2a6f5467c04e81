#include "chat/ChatLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QSaveFile>
#include <QScreen>
#include <QTextBlock>
#include <algorithm>

#include "chat/ChatHtml.h"
#include "core/Colors.h"
#include "core/Instance.h"
#include "core/Sound.h"
#include "text/Cp932.h"
#include "text/Rtf.h"

namespace quillora {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
// Header space reserved in a rich-text day file; new fonts and colours fill it.
constexpr int kMinimumHeaderReserve = 2048;
// One frame, and the shares of it the two batches of lines may take (the relay of a hosting
// program runs in the rest). Most of a line's cost comes after it is inserted (the visible box
// lays the batch out when the edit ends, the files are written after the day-log box), so a
// batch is sized from what whole batches have cost per line so far.
//
// No batch holds the thread for long: the relay's passes, and with them every other player's
// chat, run between two batches. While lines wait, the day log takes a batch every
// kCatchUpGapMs, and the visible box, when its turn comes during a flood, takes an event of its
// own.
constexpr int kFrameMs = 16;
// How long the chat must be quiet before old lines are taken out of the visible box.
constexpr int kQuietTrimMs = 2000;
constexpr qint64 kLogBudgetUs = 500;
constexpr int kCatchUpGapMs = 1;
constexpr qint64 kMainBudgetUs = 1000;
// While lines come faster than the visible box shows them, it takes a batch this often instead
// of every frame: nobody reads a flood line by line, and the box (its batches, layout and
// painting) then leaves nearly all of the time to the relay and the day log.
constexpr qint64 kMainBehindMs = 100;
// While lines keep coming faster than that (a flood, not a pasted page), a batch only this often:
// each batch with its layout and painting holds the host's thread, which is every player's relay,
// for two or three milliseconds.
constexpr qint64 kMainFloodMs = 250;
// Fewer lines than this left over (a pasted page, a round of rolls) still follow at the next
// frame: only a crowd waits for the box's next turn.
constexpr size_t kMainCrowdLines = 256;
constexpr size_t kMinBatchLines = 8;

// The font of a settings slot. Sizes are kept to half points, the resolution of rich-text
// files, so a reloaded log looks exactly like the live one.
QFont FontOf(const FontSetting& setting) {
  QFont font = ToQFont(setting, QGuiApplication::font());
  font.setPointSizeF(std::max(1, qRound(font.pointSizeF() * 2)) / 2.0);
  return font;
}

QTextCharFormat CharFormatOf(const QFont& font, const QColor& color) {
  QTextCharFormat format;
  format.setFontFamilies({font.family()});
  format.setFontPointSize(font.pointSizeF());
  format.setFontWeight(font.bold() ? QFont::Bold : QFont::Normal);
  format.setFontItalic(font.italic());
  format.setForeground(color);
  return format;
}

bool IsAscii(const QString& text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// True when `text` survives a trip through Shift-JIS. The quick round trip settles nearly every
// case; the character-by-character check decides the rest.
bool FitsShiftJis(const QString& text) {
  if (IsAscii(text)) return true;
  if (Cp932::Decode(Cp932::Encode(text)) == Cp932::Normalize(text)) return true;
  return Cp932::CanEncode(text);
}

bool WriteWholeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

// Writes `bytes` at `offset` of an open file and pushes them to the system.
bool WriteAt(QFile& file, qint64 offset, const QByteArray& bytes) {
  return file.seek(offset) && file.write(bytes) == bytes.size() && file.flush();
}

// The size of the file at `path` on disk, -1 when it is gone.
qint64 SizeOnDisk(const QString& path) {
  const QFileInfo info(path);
  return info.exists() ? info.size() : -1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

SavePathParts SplitSavePath(const QString& chosen) {
  const qsizetype cut =
      std::max(chosen.lastIndexOf(QLatin1Char('\\')), chosen.lastIndexOf(QLatin1Char('/')));
  if (cut < 0) return {QString(), chosen};
  return {chosen.left(cut + 1), chosen.mid(cut + 1)};
}

QString ManualSavePath(const QString& folder, const QString& file_name, const QString& extension) {
  if (file_name.isEmpty()) return {};
  QString name = file_name;
  if (!name.endsWith(extension, Qt::CaseSensitive)) name += extension;
  QString dir = folder;
  if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('\\')) && !dir.endsWith(QLatin1Char('/'))) {
    dir += dir.contains(QLatin1Char('/')) ? QLatin1Char('/') : QLatin1Char('\\');
  }
  return dir + name;
}

// ---------------------------------------------------------------------------------------------
// The rich-text day file: a padded header of fixed size, the paragraphs, a closing brace.

class ChatLog::RtfDayFile {
 public:
  void Invalidate() {
    file_.close();
    synced_ = false;
  }

  // Brings the file at `path` up to `day`, whose entries from `first` on are new since the
  // previous call.
  bool Write(const QString& path, const DayLog& day, size_t first) {
    if (!synced_ || path != file_.fileName() || SizeOnDisk(path) != end_ + 1) {
      return Rewrite(path, day);
    }
    QByteArray body;
    day.ForEachParagraph(first, [&](const RtfParagraph& p) { body += writer_.Paragraph(p, true); });
    if (writer_.FontCount() != header_fonts_ || writer_.ColorCount() != header_colors_) {
      const QByteArray header = writer_.PaddedHeader(reserved_);
      if (header.isEmpty()) return Rewrite(path, day);  // outgrew the reserve
      // The header goes first: if the line then fails, an unused table entry is harmless.
      if (!WriteAt(file_, 0, header)) return Fail();
      header_fonts_ = writer_.FontCount();
      header_colors_ = writer_.ColorCount();
    }
    if (!WriteAt(file_, end_, body + '}')) return Fail();
    end_ += body.size();
    return true;
  }

 private:
  bool Rewrite(const QString& path, const DayLog& day) {
    Invalidate();
    writer_ = RtfWriter();
    QByteArray body;
    day.ForEachParagraph(0, [&](const RtfParagraph& p) { body += writer_.Paragraph(p, true); });
    reserved_ = std::max(kMinimumHeaderReserve, writer_.MinimumPaddedSize() * 2);
    const QByteArray header = writer_.PaddedHeader(reserved_);
    if (!WriteWholeFile(path, header + body + '}')) return false;
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadWrite)) return Fail();
    header_fonts_ = writer_.FontCount();
    header_colors_ = writer_.ColorCount();
    end_ = header.size() + body.size();
    synced_ = true;
    return true;
  }

  bool Fail() {
    Invalidate();
    return false;
  }

  RtfWriter writer_;
  QFile file_;
  bool synced_ = false;
  qint64 end_ = 0;  // offset of the closing brace
  int reserved_ = 0;
  int header_fonts_ = 0;
  int header_colors_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The plain-text day file: Shift-JIS, or UTF-8 with a byte-order mark from the first line that
// Shift-JIS cannot hold.

class ChatLog::TextDayFile {
 public:
  void Invalidate() {
    file_.close();
    synced_ = false;
  }

  bool Write(const QString& path, const DayLog& day, size_t first) {
    if (!synced_ || path != file_.fileName() || SizeOnDisk(path) != size_) {
      return Rewrite(path, day);
    }
    const QString text = day.FileText(first);
    if (!utf8_ && !FitsShiftJis(text)) return Rewrite(path, day);
    const QByteArray bytes = utf8_ ? text.toUtf8() : Cp932::Encode(text);
    if (!WriteAt(file_, size_, bytes)) {
      Invalidate();
      return false;
    }
    size_ += bytes.size();
    return true;
  }

 private:
  bool Rewrite(const QString& path, const DayLog& day) {
    Invalidate();
    const QByteArray bytes = EncodeTextFile(day.FileText());
    if (!WriteWholeFile(path, bytes)) return false;
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadWrite)) {
      Invalidate();
      return false;
    }
    utf8_ = bytes.startsWith(kUtf8Bom);
    size_ = bytes.size();
    synced_ = true;
    return true;
  }

  QFile file_;
  bool synced_ = false;
  bool utf8_ = false;
  qint64 size_ = 0;
};

// ---------------------------------------------------------------------------------------------

struct ChatLog::LineFormats {
  QTextCharFormat speaker;
  QTextCharFormat message;
  double indent = 0;   // pixels, a whole number of twips
  int day_style = -1;  // the look's index in the day log, once a line of it is there
};

struct ChatLog::FormatCache {
  struct Key {
    QString speaker;
    int kind = 0;
    QString indent_reference;
    uint32_t color = 0;
    bool operator==(const Key& other) const {
      return kind == other.kind && color == other.color && speaker == other.speaker &&
             indent_reference == other.indent_reference;
    }
    friend size_t qHash(const Key& key, size_t seed = 0) {
      return qHashMulti(seed, key.speaker, key.kind, key.indent_reference, key.color);
    }
  };
  QHash<Key, LineFormats> looks;
};

ChatLog::ChatLog(Instance& instance, SoundPlayer& sound, std::function<bool()> main_window_in_front,
                 QObject* parent)
    : QObject(parent),
      instance_(instance),
      sound_(sound),
      main_window_in_front_(std::move(main_window_in_front)) {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const double dpi = screen->logicalDotsPerInchX();
    if (dpi > 0) twips_per_pixel_ = 1440.0 / dpi;
  }
  // The boxes only grow; an undo history would grow with them for nothing.
  main_.setUndoRedoEnabled(false);
  main_cursor_ = QTextCursor(&main_);
  rtf_file_ = std::make_unique<RtfDayFile>();
  text_file_ = std::make_unique<TextDayFile>();
  quiet_trim_.setSingleShot(true);
  quiet_trim_.setInterval(kQuietTrimMs);
  connect(&quiet_trim_, &QTimer::timeout, this, [this] {
    if (pending_.empty() && unshown_.empty()) TrimMain();
  });
  frame_.setSingleShot(true);
  frame_.setInterval(kFrameMs);
  clock_.start();
  connect(&frame_, &QTimer::timeout, this, [this] {
    const qint64 began = clock_.elapsed();
    const qint64 began_ns = clock_.nsecsElapsed();
    FormatCache formats_of;
    bool box = box_next_;
    box_next_ = false;
    if (!box && !pending_.empty()) {
      WriteLogBatch(kLogBudgetUs, formats_of);
      // The box's batch follows in the same event when the day log's was short, else in one
      // of its own.
      if (!unshown_.empty() && began >= main_due_ms_) {
        box = clock_.nsecsElapsed() - began_ns < kLogBudgetUs * 1000;
        box_next_ = !box;
      }
    } else if (!box) {
      box = !unshown_.empty() && began >= main_due_ms_;
    }
    if (box && !unshown_.empty()) {
      const size_t waiting = unshown_.size();
      WriteMainBatch(kMainBudgetUs, formats_of);
      // The box was behind already after its last batch, and more lines came since than this
      // one showed: a flood, not a burst such as a pasted page.
      const bool flood = box_behind_ && added_since_box_ > waiting - unshown_.size();
      added_since_box_ = 0;
      box_behind_ = !unshown_.empty();
      // A box that could not show everything takes the rest a frame later, or a while later
      // when a crowd of lines waits, and later still while a flood keeps it behind.
      const qint64 after = unshown_.size() <= kMainCrowdLines ? kFrameMs
                           : flood                            ? kMainFloodMs
                                                              : kMainBehindMs;
      main_due_ms_ = unshown_.empty() ? 0 : began + after;
    }
    const qint64 now = clock_.elapsed();
    qint64 next = -1;
    if (box_next_) {
      next = 0;
    } else if (!pending_.empty()) {
      // Lines that came while this batch ran wait a frame; a backlog, only a short gap.
      next = pending_.size() > kMinBatchLines ? kCatchUpGapMs
                                              : std::max<qint64>(1, began + kFrameMs - now);
    }
    if (!box_next_ && !unshown_.empty()) {
      const qint64 shown_next = std::max<qint64>(1, std::max(main_due_ms_, began + kFrameMs) - now);
      next = next < 0 ? shown_next : std::min(next, shown_next);
    }
    if (next >= 0) frame_.start(static_cast<int>(next));
  });
}

ChatLog::~ChatLog() { Flush(); }

QString ChatLog::DayLogPath(const QString& extension) const {
  return instance_.LogFolder() + QLatin1Char('/') +
         instance_.LogDate.toString(QStringLiteral("yyyyMMdd")) + extension;
}

ChatLog::LineFormats ChatLog::FormatsFor(const QString& speaker, int kind,
                                         const QString& indent_reference, uint32_t color) const {
  const Settings& s = instance_.settings;
  int font_slot = kFontSystem;
  uint32_t speaker_color = s.Color[kColorSystem];
  if (kind == kSpeakerOwn) {
    font_slot = kFontOwnSpeaker;
    speaker_color = s.Color[kColorOwnHandle];
  } else if (kind == kSpeakerOther) {
    font_slot = kFontOtherSpeaker;
    speaker_color = color;
  }
  const QFont speaker_font = FontOf(s.Font[font_slot]);
  LineFormats formats;
  formats.speaker = CharFormatOf(speaker_font, FromBgr(speaker_color));
  formats.message = CharFormatOf(FontOf(s.Font[kFontChat]), FromBgr(s.Color[kColorChatText]));
  const QString& reference = indent_reference.isEmpty() ? speaker : indent_reference;
  const double width = QFontMetricsF(speaker_font).horizontalAdvance(reference);
  // Whole twips, so that the rich-text file holds exactly the indent the box uses.
  formats.indent = qRound(width * twips_per_pixel_) / twips_per_pixel_;
  return formats;
}

void ChatLog::ToEnd(QTextCursor& cursor) {
  // Not movePosition(End): that gives the block a text layout object, which a box that is never
  // laid out would then carry for every line.
  cursor.setPosition(cursor.document()->characterCount() - 1);
}

namespace {
// `text` with every line break in it as `mark`. The input box breaks lines with LF, peers may
// send CR-LF or a bare CR, and a text box would also end a paragraph at U+2029 and at its frame
// marks: each of them is one break.
QString WithBreaksAs(const QString& text, QChar mark) {
  const auto is_break = [](QChar c) {
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == u'\u2029' || u == u'\uFDD0' || u == u'\uFDD1';
  };
  // Most lines have none: they stay shared, uncopied.
  if (std::none_of(text.begin(), text.end(), is_break)) return text;
  QString out = text;
  out.replace(kCrLf, QString(mark));
  for (const char16_t other : {u'\n', u'\r', u'\u2029', u'\uFDD0', u'\uFDD1'}) {
    out.replace(QChar(other), mark);
  }
  return out;
}
}  // namespace

QString ChatLog::RowsOf(const QString& text) {
  QString rows = WithBreaksAs(text, QLatin1Char('\n'));
  if (rows.endsWith(QLatin1Char('\n'))) rows.chop(1);
  return rows;
}

QString ChatLog::SpeakerOf(const QString& speaker) {
  return WithBreaksAs(speaker, QLatin1Char(' '));
}

void ChatLog::WriteLine(QTextCursor& cursor, const LineFormats& formats, const QString& speaker,
                        const QString& rows) {
  ToEnd(cursor);
  cursor.insertText(speaker, formats.speaker);
  QTextBlockFormat hanging = cursor.blockFormat();
  hanging.setLeftMargin(formats.indent);
  hanging.setTextIndent(-formats.indent);
  cursor.setBlockFormat(hanging);

  const qsizetype cut = rows.indexOf(QLatin1Char('\n'));
  if (cut < 0) {
    cursor.insertText(rows, formats.message);
    cursor.insertBlock();
  } else {
    cursor.insertText(rows.left(cut), formats.message);
    cursor.insertBlock();
    QTextBlockFormat indented = cursor.blockFormat();
    indented.setLeftMargin(formats.indent);
    indented.setTextIndent(0);
    cursor.setBlockFormat(indented);
    // The further rows, as paragraphs at the indent.
    for (const QString& line : rows.mid(cut + 1).split(QLatin1Char('\n'))) {
      cursor.insertText(line, formats.message);
      cursor.insertBlock();
    }
  }
}

void ChatLog::AppendChatLine(const QString& speaker, int kind, const QString& text,
                             const QString& indent_reference, uint32_t color) {
  pending_.push_back({speaker, kind, text, indent_reference, color});
  emit lineAccepted(speaker, kind, text, indent_reference, color);
  if (!batching_) {
    Flush();
  } else if (!frame_.isActive()) {
    frame_.start(kFrameMs);
  }
}

ChatLog::LineFormats& ChatLog::CachedFormats(FormatCache& cache, const QString& speaker, int kind,
                                             const QString& indent_reference,
                                             uint32_t color) const {
  // Lines of a batch mostly come from a few speakers; measure each look once.
  FormatCache::Key key{speaker, kind, indent_reference, color};
  auto it = cache.looks.find(key);
  if (it == cache.looks.end()) {
    it = cache.looks.insert(std::move(key), FormatsFor(speaker, kind, indent_reference, color));
  }
  return *it;
}

void ChatLog::ShowEarlierLines(const std::vector<EarlierLine>& lines) {
  if (lines.empty()) return;
  Flush();
  ToEnd(main_cursor_);
  main_cursor_.beginEditBlock();
  FormatCache formats_of;
  // The box keeps no more than its limit anyway.
  const size_t first = lines.size() > static_cast<size_t>(main_limit_)
                           ? lines.size() - static_cast<size_t>(main_limit_)
                           : 0;
  for (size_t i = first; i < lines.size(); ++i) {
    const EarlierLine& line = lines[i];
    const QString speaker = SpeakerOf(line.speaker);
    WriteLine(main_cursor_,
              CachedFormats(formats_of, speaker, line.kind, line.indent_reference, line.color),
              speaker, RowsOf(line.text));
  }
  main_cursor_.endEditBlock();
  if (main_.blockCount() > main_limit_) quiet_trim_.start();
}

void ChatLog::SetFrameBatching(bool on) {
  batching_ = on;
  if (!on) Flush();
}

void ChatLog::Flush() {
  frame_.stop();
  FormatCache formats_of;
  while (!pending_.empty()) WriteLogBatch(-1, formats_of);
  while (!unshown_.empty()) WriteMainBatch(-1, formats_of);
}

namespace {
// How many lines fit in `budget_us` microseconds at `us_per_line` (all when the budget is
// negative).
size_t LinesFor(qint64 budget_us, double us_per_line, size_t waiting, size_t at_least) {
  if (budget_us < 0) return waiting;
  return std::max(at_least, static_cast<size_t>(static_cast<double>(budget_us) / us_per_line));
}

// Keeps a per-line cost estimate from a batch of `lines` that took `ns`.
void Learn(double& us_per_line, qint64 ns, size_t lines, size_t at_least) {
  if (lines < at_least) return;
  const double per_line = static_cast<double>(ns) / 1000.0 / static_cast<double>(lines);
  us_per_line = std::clamp(0.7 * us_per_line + 0.3 * per_line, 1.0, 10000.0);
}
}  // namespace

ChatLog::LineFormats& ChatLog::FormatsOf(const PendingLine& line, FormatCache& cache) const {
  return CachedFormats(cache, line.speaker, line.kind, line.indent_reference, line.color);
}

void ChatLog::WriteLogBatch(qint64 budget_us, FormatCache& formats_of) {
  QElapsedTimer clock;
  clock.start();
  const size_t first = day_.EntryCount();
  size_t done = 0;
  const size_t most = LinesFor(budget_us, us_per_log_line_, pending_.size(), kMinBatchLines);
  while (done < pending_.size() && done < most) {
    PendingLine& line = pending_[done++];
    line.speaker = SpeakerOf(line.speaker);
    LineFormats& formats = FormatsOf(line, formats_of);
    if (formats.day_style < 0) {
      const QFont fallback = main_.defaultFont();
      const int indent = qRound(formats.indent * twips_per_pixel_);
      formats.day_style =
          static_cast<int>(day_.StyleIndex({line.speaker, RtfFormatOf(formats.speaker, fallback),
                                            RtfFormatOf(formats.message, fallback), indent}));
    }
    line.text = RowsOf(line.text);
    day_.Append(static_cast<uint32_t>(formats.day_style), line.text);
    unshown_.push_back(std::move(line));
    ++added_since_box_;
    if (budget_us >= 0 && clock.nsecsElapsed() >= budget_us * 1000) break;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done));
  // The visible box's queue stays short: what waits behind a flood goes to the day log alone.
  const size_t keep = std::min(kSkipAhead, static_cast<size_t>(std::max(1, main_limit_)));
  if (unshown_.size() > keep) {
    unshown_.erase(unshown_.begin(),
                   unshown_.begin() + static_cast<std::ptrdiff_t>(unshown_.size() - keep));
  }
  PlaySound();
  SaveDayLogs(first);
  Learn(us_per_log_line_, clock.nsecsElapsed(), done, kMinBatchLines);
}

void ChatLog::WriteMainBatch(qint64 budget_us, FormatCache& formats_of) {
  QElapsedTimer clock;
  clock.start();
  main_cursor_.beginEditBlock();
  size_t done = 0;
  const size_t most = LinesFor(budget_us, us_per_main_line_, unshown_.size(), kMinBatchLines);
  while (done < unshown_.size() && done < most) {
    const PendingLine& line = unshown_[done++];
    WriteLine(main_cursor_, FormatsOf(line, formats_of), line.speaker, line.text);
    if (budget_us >= 0 && clock.nsecsElapsed() >= budget_us * 1000) break;
  }
  main_cursor_.endEditBlock();
  unshown_.erase(unshown_.begin(), unshown_.begin() + static_cast<std::ptrdiff_t>(done));
  // Taking lines out at the top moves every line below, which costs about the same for one line
  // as for thousands: it waits until the chat is quiet, unless the box passes its ceiling.
  if (main_.blockCount() > kMainCeilingFactor * main_limit_) {
    TrimMain();
  } else if (main_.blockCount() > main_limit_) {
    quiet_trim_.start();
  }
  Learn(us_per_main_line_, clock.nsecsElapsed(), done, kMinBatchLines);
}

void ChatLog::TrimMain() {
  const int over = main_.blockCount() - main_limit_;
  if (over <= 0) return;
  QTextCursor cut(&main_);
  cut.setPosition(main_.findBlockByNumber(over).position(), QTextCursor::KeepAnchor);
  cut.removeSelectedText();
}

void ChatLog::PlaySound() {
  if (instance_.settings.SndAtt != 1) return;
  if (!main_window_in_front_ || main_window_in_front_()) return;
  sound_.Play(instance_.PathOf(QStringLiteral("data\\sysMes.wav")));
}

void ChatLog::SaveDayLogs(size_t first) {
  const Settings& s = instance_.settings;
  bool ok = true;
  if (s.AutoSaveRTF) {
    const QString path = DayLogPath(QStringLiteral(".rtf"));
    if (rtf_file_->Write(path, day_, first)) {
      emit dayLogWritten(path);
    } else {
      ok = false;
    }
  } else {
    rtf_file_->Invalidate();  // lines written meanwhile would be missing from the file
  }
  if (s.AutoSaveText) {
    const QString path = DayLogPath(QStringLiteral(".txt"));
    if (text_file_->Write(path, day_, first)) {
      emit dayLogWritten(path);
    } else {
      ok = false;
    }
  } else {
    text_file_->Invalidate();
  }
  if (!ok && !failure_reported_) {
    instance_.ReportStatus(QStringLiteral("ログを保存できません"));
    failure_reported_ = true;
  } else if (ok && (s.AutoSaveRTF || s.AutoSaveText)) {
    failure_reported_ = false;
  }
}

void ChatLog::LoadDayLog() {
  Flush();
  const Settings& s = instance_.settings;
  const QString rtf_path = DayLogPath(QStringLiteral(".rtf"));
  const QString text_path = DayLogPath(QStringLiteral(".txt"));
  // Read as a text box would hold the file, so that the next full save writes what an earlier
  // version of this program wrote from its hidden box.
  QTextDocument loaded;
  loaded.setUndoRedoEnabled(false);
  QTextCursor cursor(&loaded);
  if (s.AutoSaveRTF && QFileInfo::exists(rtf_path)) {
    QFile file(rtf_path);
    if (file.open(QIODevice::ReadOnly)) {
      InsertRtf(cursor, ReadRtf(file.readAll()), twips_per_pixel_);
    }
  } else if (s.AutoSaveText && QFileInfo::exists(text_path)) {
    QFile file(text_path);
    if (file.open(QIODevice::ReadOnly)) {
      const QTextCharFormat format =
          CharFormatOf(FontOf(s.Font[kFontChat]), FromBgr(s.Color[kColorChatText]));
      cursor.insertText(Cp932::DecodeFile(file.readAll()), format);
    }
  }
  // New lines start on a line of their own, even after a file that lost its last line end:
  // every block is a paragraph of the day log but a closing empty one.
  QVector<RtfParagraph> earlier;
  for (QTextBlock b = loaded.begin(); b.isValid(); b = b.next()) {
    if (!b.next().isValid() && b.length() <= 1) break;
    earlier.push_back(ParagraphFromBlock(b, twips_per_pixel_));
  }
  day_.SetEarlier(std::move(earlier));
  rtf_file_->Invalidate();
  text_file_->Invalidate();
}

QByteArray ChatLog::EncodeTextFile(const QString& text) {
  if (FitsShiftJis(text)) return Cp932::Encode(text);
  return QByteArray(kUtf8Bom) + text.toUtf8();
}

bool ChatLog::SaveMainAsText(const QString& path) {
  Flush();
  return WriteWholeFile(instance_.PathOf(path), EncodeTextFile(day_.FileText(day_.RunStart())));
}

bool ChatLog::SaveMainAsRtf(const QString& path) {
  Flush();
  return WriteWholeFile(instance_.PathOf(path), RtfWriter::Write(day_.Document(day_.RunStart())));
}

bool ChatLog::SaveMainAsHtml(const QString& path, const ChatHtmlOptions& options) {
  Flush();
  QVector<RtfParagraph> run;
  day_.ForEachParagraph(day_.RunStart(), [&run](const RtfParagraph& p) { run.push_back(p); });
  return WriteWholeFile(instance_.PathOf(path), ChatHtml(run, twips_per_pixel_, options).toUtf8());
}

}  // namespace quillora
