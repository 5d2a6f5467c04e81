#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "chat/DayLog.h"
#include "core/ChatSink.h"

namespace quillora {

class Instance;
class SoundPlayer;
struct ChatHtmlOptions;

// A path chosen in a save dialog, split at its last separator ("\" or "/").
struct SavePathParts {
  QString folder;     // with its trailing separator; empty when the path has none
  QString file_name;  // what follows the separator
};
SavePathParts SplitSavePath(const QString& chosen);

// The file a manual log save writes: `extension` (".txt" or ".rtf") is appended unless the file
// name already ends in exactly that text (the comparison is case-sensitive), and the folder gets a
// trailing separator when it lacks one. Empty when there is no file name.
QString ManualSavePath(const QString& folder, const QString& file_name, const QString& extension);

// The chat output: the visible chat box, the day log (every line of the day, kept compactly in
// memory, see DayLog), the message sound and the automatic day-log files.
//
// The day-log files are kept complete on disk after every line without rewriting them: the plain
// text file is appended to, and the rich-text file keeps a header of fixed size (rewritten in place
// when a new font or colour appears) and has its closing brace overwritten by each new line.
// The first write of a run, and any write after a failure, rewrites the file in full from the
// day log, which also repairs a file torn by a crash.
//
// With frame batching on (the program turns it on), lines that arrive together are written in
// one batch per frame: the day log, one sound check, one append to each day file, and then the
// visible box in one edit. The day log takes a frame's lines in a fraction of the frame and the
// files on disk are complete within a frame or two of a line arriving; the visible box, which
// lays every line out, catches up in batches of its own.
// Each batch stops after a millisecond of work at most, so a flood of lines never freezes the
// window, and the host's one thread, which is the relay too, runs every player's chat between
// two batches. While lines wait for the day log, it takes a batch of half a millisecond every
// millisecond (the host's own connection is read only while the day log keeps up, below). While
// a crowd of lines waits for the visible box, it takes its next batch a tenth of a second later,
// not at the next frame, and a quarter of a second later while lines keep coming faster than it
// shows them: in a flood nobody reads line by line, and each batch with its layout and painting
// holds the relay for a few milliseconds.
//
// What the boxes have not shown yet is bounded twice. The visible box's queue holds at most
// kSkipAhead lines: a line that waits behind a flood of that many would scroll away before anyone
// could read it, so it stays in the day log and files alone and the visible box skips ahead to
// the newest lines (a manual save, made from the day log, has every line). And the lines not
// yet in the day log stop at kMaxPending (a few megabytes of text): past it the program reads no
// more of its own connection until the day log is back under it (Backlog()), which only a flood
// beyond what the day log can write in time ever reaches.
class ChatLog : public QObject, public ChatSink {
  Q_OBJECT

 public:
  // main_window_in_front: true while the main window is the active window of the desktop.
  ChatLog(Instance& instance, SoundPlayer& sound, std::function<bool()> main_window_in_front,
          QObject* parent = nullptr);
  ~ChatLog() override;

  // The chat box shows Main() (QTextEdit::setDocument does not take it over); the ChatLog must
  // outlive that widget or the widget must be given another document first.
  // These write out the waiting lines first.
  QTextDocument* Main() {
    Flush();
    return &main_;
  }  // shown by rtbMain
  // The whole day's log: what an earlier run of the day left, then every line of this one.
  const DayLog& Day() {
    Flush();
    return day_;
  }
  // The day log as paragraphs (ending with an empty one, as a text box's blocks do), and as the
  // plain text a text box holding it would give.
  RtfDocument LogDocument() { return Day().Document(); }
  QString LogText() { return Day().PlainText(); }
  // The day log as the plain-text day file holds it.
  QString LogFileText() { return Day().FileText(); }

  void AppendChatLine(const QString& speaker, int kind, const QString& text,
                      const QString& indent_reference, uint32_t color) override;
  qsizetype Backlog() const override { return static_cast<qsizetype>(pending_.size()); }

  // The visible box keeps the newest this many paragraphs, once the chat is quiet for a moment
  // or the box holds kMainCeilingFactor times as many (a flood that lasts); the hidden day-log
  // log and the day files keep every line.
  static constexpr int kMainParagraphLimit = 10000;
  static constexpr int kMainCeilingFactor = 3;
  // Lines that may wait for the visible box before it skips ahead: far more than a screen, and
  // more than anyone reads while they keep coming faster than the box can show them.
  static constexpr size_t kSkipAhead = 2000;
  // Lines that may wait for the boxes before the program stops reading its own connection.
  static constexpr qsizetype kMaxPending = 30000;
  void SetMainLimitForTesting(int paragraphs) { main_limit_ = paragraphs; }

  // Lines of an earlier evening (a reopened table) shown in the chat box before what follows,
  // formatted as live lines are. They are already in that evening's day logs and are not
  // written to them again, nor to this day's log, nor announced as accepted lines.
  struct EarlierLine {
    QString speaker;
    int kind = 0;
    QString text;
    QString indent_reference;
    uint32_t color = 0;
  };
  void ShowEarlierLines(const std::vector<EarlierLine>& lines);

  // Off: every line is written at once. On: one batch per frame.
  void SetFrameBatching(bool on);
  // Writes every waiting line now.
  void Flush();

  // Loads the day's log file into the day log at start-up: the rich-text file when it exists and
  // rich-text saving is on, else the plain-text file when it exists and text saving is on.
  void LoadDayLog();

  // Manual saves of the chat of this run: every line the chat box has shown since start-up, also
  // those it no longer keeps (taken from the day log, which holds them all); false when the
  // file could not be written.
  bool SaveMainAsText(const QString& path);
  bool SaveMainAsRtf(const QString& path);
  // The same chat as one HTML page (see ChatHtml).
  bool SaveMainAsHtml(const QString& path, const ChatHtmlOptions& options);

  // The day-log file with the given extension (".rtf" or ".txt") for the instance's LogDate.
  QString DayLogPath(const QString& extension) const;

  // Converts the documents' pixel indents to twips.
  double TwipsPerPixel() const { return twips_per_pixel_; }

  // Encodes text for a text file: Shift-JIS, or UTF-8 with a byte-order mark when some
  // character has no Shift-JIS form.
  static QByteArray EncodeTextFile(const QString& text);

 signals:
  // A day-log file was written (emitted after each successful write, in writing order).
  void dayLogWritten(const QString& path);
  // A chat line was accepted (before it is shown); the table file keeps it.
  void lineAccepted(const QString& speaker, int kind, const QString& text,
                    const QString& indent_reference, uint32_t color);

 private:
  class RtfDayFile;
  class TextDayFile;
  struct LineFormats;
  // The formats of the lines of one batch, by look (speaker, kind, indent, colour).
  struct FormatCache;
  struct PendingLine {
    QString speaker;
    int kind;
    QString text;
    QString indent_reference;
    uint32_t color;
  };

  // Writes waiting lines as one batch each to the day log with the files, then to the
  // visible box, until each budget of work is done (everything when negative; a budget of 0
  // leaves the visible box for later).
  void WriteLogBatch(qint64 budget_us, FormatCache& formats_of);
  void WriteMainBatch(qint64 budget_us, FormatCache& formats_of);

  LineFormats FormatsFor(const QString& speaker, int kind, const QString& indent_reference,
                         uint32_t color) const;
  // The formats of a line, measured once per speaker, kind, indent and colour in `cache`.
  LineFormats& CachedFormats(FormatCache& cache, const QString& speaker, int kind,
                             const QString& indent_reference, uint32_t color) const;
  LineFormats& FormatsOf(const PendingLine& line, FormatCache& cache) const;
  static void ToEnd(QTextCursor& cursor);
  void TrimMain();
  // The rows of a line's text joined with '\n', whatever line breaks it came with, without a
  // final break.
  static QString RowsOf(const QString& text);
  // A speaker part on one row: line breaks in a name (a peer's handle is its own text) become
  // spaces, so that a line still starts with its speaker.
  static QString SpeakerOf(const QString& speaker);
  // Writes one line (its text as RowsOf gives it) at the end of `cursor`'s document.
  static void WriteLine(QTextCursor& cursor, const LineFormats& formats, const QString& speaker,
                        const QString& rows);
  void PlaySound();
  // Brings the day files up to the day log, whose entries from `first` on are new.
  void SaveDayLogs(size_t first);

  Instance& instance_;
  SoundPlayer& sound_;
  std::function<bool()> main_window_in_front_;
  double twips_per_pixel_ = 15.0;
  QTextDocument main_;
  DayLog day_;
  QTextCursor main_cursor_;
  std::unique_ptr<RtfDayFile> rtf_file_;
  std::unique_ptr<TextDayFile> text_file_;
  bool failure_reported_ = false;
  std::deque<PendingLine> pending_;  // for the day log and files
  std::deque<PendingLine> unshown_;  // in the day log, not yet in the visible box
  QTimer frame_;
  QElapsedTimer clock_;
  qint64 main_due_ms_ = 0;  // on clock_: when the visible box takes its next batch
  bool box_next_ = false;   // the next batch is the visible box's, in an event of its own
  // Lines queued for the visible box since its last batch, and whether that batch left some
  // unshown: whether lines come faster than the box shows them.
  size_t added_since_box_ = 0;
  bool box_behind_ = false;
  QTimer quiet_trim_;
  bool batching_ = false;
  int main_limit_ = kMainParagraphLimit;
  // What a written line has cost lately: in the day log with the files, and in the visible
  // box with its layout.
  double us_per_log_line_ = 20;
  double us_per_main_line_ = 40;
};

}  // namespace quillora
