#pragma once

#include <QByteArray>
#include <QHash>
#include <QRgb>
#include <QString>
#include <QVector>

class QFont;
class QTextBlock;
class QTextCharFormat;
class QTextCursor;
class QTextDocument;

namespace quillora {

// Character format of a run of rich text. Sizes have half-point resolution, as rich-text files
// store them.
struct RtfFormat {
  QString font;        // face name; empty for the reader's default font
  double size = 12.0;  // points
  bool bold = false;
  bool italic = false;
  QRgb color = qRgb(0, 0, 0);
  bool operator==(const RtfFormat&) const = default;
};

struct RtfRun {
  QString text;
  RtfFormat format;
  bool operator==(const RtfRun&) const = default;
};

// One paragraph. Indents are in twips: `left_indent` for every line, `first_indent` added for
// the first line (negative for a hanging indent).
struct RtfParagraph {
  int left_indent = 0;
  int first_indent = 0;
  QVector<RtfRun> runs;
  QString Text() const;
  bool operator==(const RtfParagraph&) const = default;
};

// A document is a list of paragraphs; every paragraph but the last ends with a paragraph mark,
// exactly like the blocks of a QTextDocument.
struct RtfDocument {
  QVector<RtfParagraph> paragraphs;
  QString PlainText() const;  // paragraphs joined with "\n"
};

// Writes rich text. The writer remembers the fonts and colours it has met, so a caller can write
// paragraphs one at a time and ask for the matching header afterwards (the day log appends
// paragraphs to a file whose header it rewrites in place).
class RtfWriter {
 public:
  // The bytes of one paragraph, ending in "\par" when `paragraph_mark` is set. Registers the
  // paragraph's fonts and colours.
  QByteArray Paragraph(const RtfParagraph& paragraph, bool paragraph_mark);
  // Everything before the first paragraph: the file's opening group, font and colour tables.
  QByteArray Header() const;
  // Header() followed by an ignored group that pads it to exactly `size` bytes, or an empty
  // array when the header does not fit.
  QByteArray PaddedHeader(int size) const;
  // Bytes a padded header needs at least.
  int MinimumPaddedSize() const;

  int FontCount() const { return fonts_.size(); }
  int ColorCount() const { return colors_.size(); }

  // A whole document: header, paragraphs and the closing brace.
  static QByteArray Write(const RtfDocument& document);

  // Japanese faces are declared with the Shift-JIS character set so that older readers pick a
  // font that can show the text.
  static bool IsJapaneseFont(const QString& face);

 private:
  int FontIndex(const QString& face);
  int ColorIndex(QRgb color);

  QVector<QString> fonts_;
  QHash<QString, int> font_index_;
  QVector<QRgb> colors_;
  QHash<QRgb, int> color_index_;
};

// Reads rich text: everything the writer produces, plus \'hh text in the document's or the
// font's code page, \uc, groups, unknown control words and ignorable destinations. Never fails:
// damaged or truncated input (a missing closing brace after a crash) yields what could be read.
RtfDocument ReadRtf(const QByteArray& bytes);

// Conversions between QTextDocument blocks and rich-text paragraphs. Indents in a QTextDocument
// are in pixels; `twips_per_pixel` converts (15 at 96 dpi).
// The rich-text format of a character format; what it leaves unset comes from `fallback`.
RtfFormat RtfFormatOf(const QTextCharFormat& format, const QFont& fallback);
RtfParagraph ParagraphFromBlock(const QTextBlock& block, double twips_per_pixel);
// The paragraphs of `document` from block `first_block` on.
RtfDocument DocumentFromText(const QTextDocument& document, double twips_per_pixel,
                             int first_block = 0);
// Inserts `document` at `cursor`: its first paragraph continues the cursor's block.
void InsertRtf(QTextCursor& cursor, const RtfDocument& document, double twips_per_pixel);

}  // namespace quillora
