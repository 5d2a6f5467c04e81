#include "chat/DayLog.h"

namespace quillora {

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
  if (chunks_.empty() || chunks_.back().size() + rows.size() > chunks_.back().capacity()) {
    chunks_.emplace_back();
    chunks_.back().reserve(std::max(kChunkChars, rows.size()));
  }
  QString& chunk = chunks_.back();
  lines_.push_back({style, static_cast<uint32_t>(chunks_.size() - 1),
                    static_cast<uint32_t>(chunk.size()), static_cast<uint32_t>(rows.size())});
  chunk.append(rows);
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

QString DayLog::FileTextOf(const RtfParagraph& paragraph) {
  QString text = paragraph.Text();
  text.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
  text.replace(QChar::Nbsp, QLatin1Char(' '));
  return text;
}

QString DayLog::FileText(size_t first) const {
  QString text;
  ForEachParagraph(first, [&text](const RtfParagraph& p) {
    text += FileTextOf(p);
    text += QStringLiteral("\r\n");
  });
  return text;
}

QString DayLog::PlainText() const {
  QString text;
  ForEachParagraph(0, [&text](const RtfParagraph& p) {
    QString row = p.Text();
    row.replace(QChar::LineSeparator, QLatin1Char('\n'));
    row.replace(QChar::Nbsp, QLatin1Char(' '));
    text += row;
    text += QLatin1Char('\n');
  });
  return text;
}

}  // namespace quillora
