#pragma once

#include <QFile>
#include <QHash>
#include <QString>
#include <QStringView>
#include <QVector>
#include <cstdint>
#include <memory>
#include <vector>

#include "text/Rtf.h"

namespace quillora {

// The whole day's chat as the program keeps it in memory: the paragraphs of the day file an
// earlier run left, then every line of this run. The day files and the manual saves are written
// from it.
//
// A line of this run takes 8 bytes of memory: the look of a line (speaker, fonts, colours,
// indent) is shared by every line of the same speaker and look, and the texts follow one another
// in one buffer of 64 KB, which goes to a temporary file (removed from the folder at
// once where the system allows, and with the program at the latest) whenever it is full. The
// memory of the day log is thus bounded by its number of lines, not by its text: a text box
// holding the same lines took some 440 bytes a line, which under a flood of a few hundred
// thousand lines was hundreds of megabytes. Where no temporary file can be written, the texts
// stay in memory.
class DayLog {
 public:
  // How a line looks. A line is one paragraph of the speaker and its first row, with a hanging
  // indent, and one paragraph at the indent for each further row.
  struct Style {
    QString speaker;
    RtfFormat speaker_format;
    RtfFormat message_format;
    int indent = 0;  // twips
    bool operator==(const Style&) const = default;
  };

  // The earlier run's paragraphs (replacing any loaded before); lines of this run follow them.
  void SetEarlier(QVector<RtfParagraph> paragraphs) { earlier_ = std::move(paragraphs); }

  // The index of `style` in the table of looks, added when new.
  uint32_t StyleIndex(const Style& style);
  // Appends a line of this run: `rows` are its rows joined with '\n', without a final one.
  void Append(uint32_t style, QStringView rows);

  DayLog();
  ~DayLog();
  DayLog(const DayLog&) = delete;
  DayLog& operator=(const DayLog&) = delete;

  // Entries are the earlier paragraphs, then this run's lines.
  size_t EntryCount() const { return static_cast<size_t>(earlier_.size()) + lines_.size(); }
  size_t RunStart() const { return static_cast<size_t>(earlier_.size()); }

  // Calls `each(const RtfParagraph&)` for every paragraph of the entries from `first` on.
  template <typename Each>
  void ForEachParagraph(size_t first, Each&& each) const {
    RtfParagraph paragraph;
    TextReader reader(*this, std::max(first, RunStart()) - RunStart());
    for (size_t i = first; i < EntryCount(); ++i) {
      if (i < RunStart()) {
        each(earlier_[static_cast<qsizetype>(i)]);
        continue;
      }
      const Line& line = lines_[i - RunStart()];
      const Style& style = styles_[line.style];
      const QStringView rows = reader.Next(line.length);
      qsizetype start = 0;
      for (int row = 0;; ++row) {
        const qsizetype end = rows.indexOf(QLatin1Char('\n'), start);
        const QStringView text = rows.mid(start, end < 0 ? rows.size() - start : end - start);
        MakeParagraph(style, row == 0, text, paragraph);
        each(static_cast<const RtfParagraph&>(paragraph));
        if (end < 0) break;
        start = end + 1;
      }
    }
  }

  // Every paragraph from entry `first` on, with the empty paragraph a document ends with.
  RtfDocument Document(size_t first = 0) const;
  // The text as the plain-text day file holds it, from entry `first` on: every paragraph
  // followed by CR-LF.
  QString FileText(size_t first = 0) const;
  // Paragraphs joined with '\n', every one ended by it (what a text box holding them shows).
  QString PlainText() const;

 private:
  struct Line {
    uint32_t style;
    uint32_t length;  // characters
  };
  // Characters the text buffer holds before it goes to the file: 64 KB, which the system takes
  // in a few tens of microseconds (a megabyte at a time held the host's thread, and with it the
  // relay, for a couple of milliseconds several times a second under a flood).
  static constexpr qsizetype kBufferChars = qsizetype{1} << 15;
  // Every this many lines, where its text starts is kept.
  static constexpr size_t kOffsetStep = 1024;

  // Gives the texts of this run's lines in order, from a given line on.
  class TextReader {
   public:
    TextReader(const DayLog& log, size_t line);
    QStringView Next(uint32_t length);

   private:
    const DayLog& log_;
    qint64 at_;     // characters into the text of the run
    QString read_;  // a window of the file's text
    qint64 read_start_ = 0;
  };

  void Spill();
  static void MakeParagraph(const Style& style, bool first_row, QStringView text,
                            RtfParagraph& paragraph);

  QVector<RtfParagraph> earlier_;
  std::vector<Style> styles_;
  QHash<QString, std::vector<uint32_t>> styles_of_speaker_;
  std::vector<Line> lines_;
  std::vector<qint64> offsets_;  // of lines 0, kOffsetStep, 2 × kOffsetStep, …
  qint64 text_chars_ = 0;        // the whole text of the run
  QString buffer_;               // the text from buffer_start_ on
  qint64 buffer_start_ = 0;      // characters before it are in the file
  std::unique_ptr<QFile> file_;  // null until the buffer first fills, and where none can be had
  bool file_failed_ = false;
};

}  // namespace quillora
