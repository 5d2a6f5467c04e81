#include "chat/ChatHtml.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include "core/ChatSink.h"

namespace quillora {

namespace {

QString Escaped(QString text) {
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  text.replace(QChar::Nbsp, QLatin1Char(' '));
  return text.toHtmlEscaped();
}

QString Span(const QTextFragment& fragment) {
  const QTextCharFormat f = fragment.charFormat();
  QString style;
  if (f.hasProperty(QTextFormat::ForegroundBrush)) {
    style += QStringLiteral("color:%1;").arg(f.foreground().color().name());
  }
  if (f.fontWeight() >= QFont::Bold) style += QStringLiteral("font-weight:bold;");
  if (f.fontItalic()) style += QStringLiteral("font-style:italic;");
  const QString text = Escaped(fragment.text());
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

QString ChatHtml(const QTextDocument& document, int first_block, const ChatHtmlOptions& options) {
  QString body;
  QString line_class;  // of the line the current block belongs to
  bool skipping = false;
  for (QTextBlock b = document.findBlockByNumber(first_block); b.isValid(); b = b.next()) {
    // A line starts with a hanging block; its further rows are blocks without the hang.
    const QTextBlockFormat format = b.blockFormat();
    const bool continues = format.textIndent() == 0 && format.leftMargin() > 0;
    if (!continues) {
      QString speaker;
      for (auto it = b.begin(); !it.atEnd(); ++it) {
        speaker = it.fragment().text();
        break;
      }
      const QString text = b.text();
      const bool whisper = ContainsAny(speaker, options.whisper_markers);
      const bool secret = ContainsAny(text, options.secret_markers);
      line_class = whisper                           ? QStringLiteral("whisper")
                   : secret                          ? QStringLiteral("secret")
                   : text.startsWith(kSystemSpeaker) ? QStringLiteral("system")
                                                     : QString();
      skipping = options.leave_out_private && (whisper || secret);
    }
    if (skipping) continue;
    if (!b.next().isValid() && b.text().isEmpty()) break;  // the box's closing empty block
    QString html;
    for (auto it = b.begin(); !it.atEnd(); ++it) html += Span(it.fragment());
    if (html.isEmpty()) html = QStringLiteral("<br>");
    const int indent = qRound(format.leftMargin());
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
