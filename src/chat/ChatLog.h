#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

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

// The chat output: the visible chat box, the hidden day-log box, the message sound and the
// automatic day-log files.
//
// The day-log files are kept complete on disk after every line without rewriting them: the plain
// text file is appended to, and the rich-text file keeps a header of fixed size (rewritten in place
// when a new font or colour appears) and has its closing brace overwritten by each new line.
// The first write of a run, and any write after a failure, rewrites the file in full from the
// hidden box, which also repairs a file torn by a crash.
//
// With frame batching on (the program turns it on), lines that arrive together are written in
// one batch per frame: both boxes in one edit, one sound check, one append to each day file, so
// the files on disk are complete within a frame of a line arriving. A batch stops after a few
// milliseconds of work and leaves the rest to the next frame, so a flood of lines never freezes
// the window.
//
// What the boxes have not shown yet is bounded twice. Lines that wait behind more than a box
// full of lines (the visible box's limit) would be taken out of the visible box before they
// could be read, so they go to the day-log box and files alone, which is several times cheaper
// than laying them out: a flood makes the box skip ahead instead of falling further behind.
// And past kMaxPending waiting lines (a few megabytes of text) the program reads no more of its
// own connection until the boxes are back under it (Backlog()); only a flood beyond what even
// the day log can write in time gets there.
class ChatLog : public QObject, public ChatSink {
  Q_OBJECT

 public:
  // main_window_in_front: true while the main window is the active window of the desktop.
  ChatLog(Instance& instance, SoundPlayer& sound, std::function<bool()> main_window_in_front,
          QObject* parent = nullptr);
  ~ChatLog() override;

  // The chat box shows Main() (QTextEdit::setDocument does not take it over); the ChatLog must
  // outlive that widget or the widget must be given another document first.
  // Both write out the waiting lines first.
  QTextDocument* Main() {
    Flush();
    return &main_;
  }  // shown by rtbMain
  QTextDocument* Log() {
    Flush();
    return &log_;
  }  // the hidden rtbLog

  void AppendChatLine(const QString& speaker, int kind, const QString& text,
                      const QString& indent_reference, uint32_t color) override;
  qsizetype Backlog() const override { return static_cast<qsizetype>(pending_.size()); }

  // The visible box keeps the newest this many paragraphs, once the chat is quiet for a moment
  // or the box holds kMainCeilingFactor times as many (a flood that lasts); the hidden day-log
  // box and the day files keep every line.
  static constexpr int kMainParagraphLimit = 10000;
  static constexpr int kMainCeilingFactor = 7;
  // Lines that may wait for the boxes before the program stops reading its own connection.
  static constexpr qsizetype kMaxPending = 30000;
  void SetMainLimitForTesting(int paragraphs) { main_limit_ = paragraphs; }

  // Off: every line is written at once. On: one batch per frame.
  void SetFrameBatching(bool on);
  // Writes every waiting line now.
  void Flush();

  // Loads the day's log file into Log() at start-up: the rich-text file when it exists and
  // rich-text saving is on, else the plain-text file when it exists and text saving is on.
  void LoadDayLog();

  // Manual saves of the chat of this run: every line the chat box has shown since start-up, also
  // those it no longer keeps (taken from the day-log box, which holds them all); false when the
  // file could not be written.
  bool SaveMainAsText(const QString& path);
  bool SaveMainAsRtf(const QString& path);
  // The same chat as one HTML page (see ChatHtml).
  bool SaveMainAsHtml(const QString& path, const ChatHtmlOptions& options);

  // The day-log file with the given extension (".rtf" or ".txt") for the instance's LogDate.
  QString DayLogPath(const QString& extension) const;

  // Converts the documents' pixel indents to twips.
  double TwipsPerPixel() const { return twips_per_pixel_; }

  // Plain text of a document (from block `first_block` on) as the text files hold it: CR-LF
  // line ends.
  static QString FileText(const QTextDocument& document, int first_block = 0);
  // Encodes text for a text file: Shift-JIS, or UTF-8 with a byte-order mark when some
  // character has no Shift-JIS form.
  static QByteArray EncodeTextFile(const QString& text);

 signals:
  // A day-log file was written (emitted after each successful write, in writing order).
  void dayLogWritten(const QString& path);
  // A chat line was accepted (before it is shown); the table file keeps it.
  void lineAccepted(const QString& speaker, int kind, const QString& text, uint32_t color);

 private:
  class RtfDayFile;
  class TextDayFile;
  struct LineFormats;
  struct PendingLine {
    QString speaker;
    int kind;
    QString text;
    QString indent_reference;
    uint32_t color;
  };

  // Writes waiting lines as one batch, until `budget_ms` of work is done (all when negative).
  void WriteBatch(qint64 budget_ms);

  LineFormats FormatsFor(const QString& speaker, int kind, const QString& indent_reference,
                         uint32_t color) const;
  static void ToEnd(QTextCursor& cursor);
  void TrimMain();
  // Writes one line at the end of `cursor`'s document; returns the first block written.
  static QTextBlock WriteLine(QTextCursor& cursor, const LineFormats& formats,
                              const QString& speaker, const QString& text);
  void PlaySound();
  void SaveDayLogs(const QTextBlock& first, bool appended_cleanly);

  Instance& instance_;
  SoundPlayer& sound_;
  std::function<bool()> main_window_in_front_;
  double twips_per_pixel_ = 15.0;
  QTextDocument main_;
  QTextDocument log_;
  QTextCursor main_cursor_;
  QTextCursor log_cursor_;
  std::unique_ptr<RtfDayFile> rtf_file_;
  std::unique_ptr<TextDayFile> text_file_;
  bool failure_reported_ = false;
  std::vector<PendingLine> pending_;
  QTimer frame_;
  QTimer quiet_trim_;
  bool batching_ = false;
  int main_limit_ = kMainParagraphLimit;
  int run_first_block_ = 0;  // the first block of the day-log box written by this run
  double us_per_line_ = 50;  // what a written line has cost lately, layout and files included
};

}  // namespace quillora
