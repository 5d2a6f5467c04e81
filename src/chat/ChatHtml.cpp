#include "chat/ChatHtml.h"

#include <QColor>

#include "core/ChatSink.h"

namespace quillora {

namespace {

QString Escaped(QString text) {
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  text.replace(QChar::Nbsp, QLatin1Char(' '));
  return text.toHtmlEscaped();
}

QString Span(const RtfRun& run) {
  const RtfFormat& f = run.format;
  QString style = QStringLiteral("color:%1;").arg(QColor(f.color).name());
  if (f.bold) style += QStringLiteral("font-weight:bold;");
  if (f.italic) style += QStringLiteral("font-style:italic;");
  const QString text = Escaped(run.text);
  return style.isEmpty() ? text : QStringLiteral("<span style=\"%1\">%2</span>").arg(style, text);
}

bool ContainsAny(const QString& text, const QStringList& markers) {
  for (const QString& m : markers) {
    if (!m.isEmpty() && text.contains(m)) return true;
  }
  return false;
}

const char kStyle[] =
    "body{font-family:'VL PGothic','Noto Sans CJK JP','Hiragino Sans','Meiryo',sans-serif;"
    "background:#fff;color:#000;margin:1em 2em;line-height:1.5}"
    ".log div{white-space:pre-wrap;margin:0}"
    ".system{color:#555}"
    ".whisper{background:#f3ecff;border-left:4px solid #8a5cd0}"
    ".secret{background:#fff3e0;border-left:4px solid #e08a00}";

}  // namespace

QString ChatHtml(const QVector<RtfParagraph>& paragraphs, double twips_per_pixel,
                 const ChatHtmlOptions& options) {
  QString body;
  QString line_class;  // of the line the current paragraph belongs to
  bool skipping = false;
  for (const RtfParagraph& p : paragraphs) {
    // A line starts with a hanging paragraph; its further rows are paragraphs without the hang.
    const bool continues = p.first_indent == 0 && p.left_indent > 0;
    const QString text = p.Text();
    if (!continues) {
      const QString speaker = p.runs.isEmpty() ? QString() : p.runs.front().text;
      const bool whisper = ContainsAny(speaker, options.whisper_markers);
      const bool secret = ContainsAny(text, options.secret_markers);
      line_class = whisper                           ? QStringLiteral("whisper")
                   : secret                          ? QStringLiteral("secret")
                   : text.startsWith(kSystemSpeaker) ? QStringLiteral("system")
                                                     : QString();
      skipping = options.leave_out_private && (whisper || secret);
    }
    if (skipping) continue;
    QString html;
    for (const RtfRun& run : p.runs) {
      if (!run.text.isEmpty()) html += Span(run);
    }
    if (html.isEmpty()) html = QStringLiteral("<br>");
    const int indent = qRound(p.left_indent / twips_per_pixel);
    QString style;
    if (indent > 0) {
      style = continues
                  ? QStringLiteral(" style=\"padding-left:%1px\"").arg(indent)
                  : QStringLiteral(" style=\"padding-left:%1px;text-indent:-%1px\"").arg(indent);
    }
    const QString cls =
        line_class.isEmpty() ? QString() : QStringLiteral(" class=\"%1\"").arg(line_class);
    body += QStringLiteral("<div%1%2>%3</div>\n").arg(cls, style, html);
  }
  return QStringLiteral(
             "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
             "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
             "<title>%1</title>\n<style>%2</style>\n</head>\n<body>\n<div class=\"log\">\n%3"
             "</div>\n</body>\n</html>\n")
      .arg(options.title.toHtmlEscaped(), QString::fromLatin1(kStyle), body);
}

}  // namespace quillora
