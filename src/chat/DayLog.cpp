#include "chat/DayLog.h"

#include <QDir>
#include <QTemporaryFile>
#include <algorithm>

namespace quillora {

DayLog::DayLog() = default;
DayLog::~DayLog() = default;

uint32_t DayLog::StyleIndex(const Style& style) {
  std::vector<uint32_t>& known = styles_of_speaker_[style.speaker];
  for (const uint32_t index : known) {
    if (styles_[index] == style) return index;
  }
  styles_.push_back(style);
  known.push_back(static_cast<uint32_t>(styles_.size() - 1));
  return known.back();
}

void DayLog::Append(uint32_t style, QStringView rows) {
  if (!buffer_.isEmpty() && buffer_.size() + rows.size() > kBufferChars) Spill();
  if (buffer_.capacity() < kBufferChars) buffer_.reserve(kBufferChars);
  if (lines_.size() % kOffsetStep == 0) offsets_.push_back(text_chars_);
  lines_.push_back({style, static_cast<uint32_t>(rows.size())});
  text_chars_ += rows.size();
  buffer_.append(rows);
}

void DayLog::Spill() {
  if (file_failed_) return;
  if (!file_) {
    auto file =
        std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/quillora-day-XXXXXX"));
    if (!file->open()) {
      file_failed_ = true;
      return;
    }
    // Nobody else needs the name; where the system lets an open file go, it goes now (where
    // the file has no name at all, there is nothing to do).
    if (const QString name = file->fileName(); !name.isEmpty()) QFile::remove(name);
    file_ = std::move(file);
  }
  const qint64 bytes = buffer_.size() * qint64{sizeof(QChar)};
  if (!file_->seek(buffer_start_ * qint64{sizeof(QChar)}) ||
      file_->write(reinterpret_cast<const char*>(buffer_.constData()), bytes) != bytes ||
      !file_->flush()) {
    // The text stays in memory from here on; what went before is in the file.
    file_failed_ = true;
    return;
  }
  buffer_start_ += buffer_.size();
  buffer_.resize(0);  // keeps its capacity
}

DayLog::TextReader::TextReader(const DayLog& log, size_t line) : log_(log) {
  at_ = 0;
  if (line >= log.lines_.size()) {
    at_ = log.text_chars_;
    return;
  }
  const size_t base = line / kOffsetStep;
  at_ = log.offsets_[base];
  for (size_t i = base * kOffsetStep; i < line; ++i) at_ += log.lines_[i].length;
}

QStringView DayLog::TextReader::Next(uint32_t length) {
  const qint64 start = at_;
  at_ += length;
  if (start >= log_.buffer_start_) {
    return QStringView(log_.buffer_).mid(start - log_.buffer_start_, length);
  }
  // A line never straddles the file and the buffer: the buffer goes whole, between lines.
  if (start < read_start_ || start + length > read_start_ + read_.size()) {
    const qint64 chars =
        std::min(std::max<qint64>(length, kBufferChars), log_.buffer_start_ - start);
    read_.resize(static_cast<qsizetype>(chars));
    read_start_ = start;
    qint64 got = -1;
    if (log_.file_ && log_.file_->seek(start * qint64{sizeof(QChar)})) {
      got = log_.file_->read(reinterpret_cast<char*>(read_.data()), chars * qint64{sizeof(QChar)});
    }
    read_.resize(static_cast<qsizetype>(std::max<qint64>(0, got) / qint64{sizeof(QChar)}));
  }
  return QStringView(read_).mid(start - read_start_, length);
}

void DayLog::MakeParagraph(const Style& style, bool first_row, QStringView text,
                           RtfParagraph& paragraph) {
  paragraph.left_indent = style.indent;
  paragraph.first_indent = first_row ? -style.indent : 0;
  paragraph.runs.clear();
  // Runs as a text box holds them: empty ones are no runs at all, and neighbours of the same
  // look are one run.
  const auto add = [&paragraph](QStringView run, const RtfFormat& format) {
    if (run.isEmpty()) return;
    if (!paragraph.runs.isEmpty() && paragraph.runs.back().format == format) {
      paragraph.runs.back().text += run;
    } else {
      paragraph.runs.push_back({run.toString(), format});
    }
  };
  if (first_row) add(style.speaker, style.speaker_format);
  add(text, style.message_format);
}

RtfDocument DayLog::Document(size_t first) const {
  RtfDocument document;
  ForEachParagraph(first, [&document](const RtfParagraph& p) { document.paragraphs.push_back(p); });
  document.paragraphs.push_back({});
  return document;
}

namespace {
// The text of paragraphs from `first` on, each ended by `line_end`, which line separators within
// them become too; no-break spaces become plain spaces.
QString TextOf(const DayLog& log, size_t first, const QString& line_end) {
  QString text;
  log.ForEachParagraph(first, [&](const RtfParagraph& p) {
    QString row = p.Text();
    row.replace(QChar::LineSeparator, line_end);
    row.replace(QChar::Nbsp, QLatin1Char(' '));
    text += row;
    text += line_end;
  });
  return text;
}
}  // namespace

QString DayLog::FileText(size_t first) const {
  return TextOf(*this, first, QStringLiteral("\r\n"));
}

QString DayLog::PlainText() const { return TextOf(*this, 0, QStringLiteral("\n")); }

}  // namespace quillora
