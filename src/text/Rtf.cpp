#include "text/Rtf.h"

#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "text/Cp932.h"

namespace quillora {

namespace {

// ---------------------------------------------------------------------------------------------
// Shared helpers

int HalfPoints(double points) { return std::clamp(static_cast<int>(points * 2 + 0.5), 1, 3276); }

// Characters that QTextDocument treats as block or frame boundaries, or that have no text form.
bool IsStructural(char16_t c) {
  return c == 0x2029 || c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC || c == u'\r' || c == u'\n';
}

void AppendNumber(QByteArray& out, const char* word, int value) {
  out += word;
  out += QByteArray::number(value);
}

void AppendEscaped(QByteArray& out, QStringView text) {
  for (const QChar qc : text) {
    const char16_t c = qc.unicode();
    switch (c) {
      case u'\\':
        out += "\\\\";
        break;
      case u'{':
        out += "\\{";
        break;
      case u'}':
        out += "\\}";
        break;
      case u'\t':
        out += "\\tab ";
        break;
      case 0x2028:
        out += "\\line ";
        break;
      case 0x00A0:
        out += "\\~";
        break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          out += static_cast<char>(c);
        } else if (c < 0x20 || IsStructural(c)) {
          // no text form
        } else {
          // Signed 16-bit as the format wants; surrogate pairs come out as two escapes.
          AppendNumber(out, "\\u", static_cast<int16_t>(c));
          out += '?';
        }
    }
  }
}

// A font name in the font table: Shift-JIS bytes for Japanese faces (what readers that ignore
// \u expect there), \u escapes otherwise.
void AppendFontName(QByteArray& out, QString name, bool japanese) {
  name.remove(QLatin1Char(';'));
  if (japanese && Cp932::CanEncode(name)) {
    static constexpr char kHex[] = "0123456789abcdef";
    const QByteArray bytes = Cp932::Encode(name);
    bool trail = false;  // the second byte of a double-byte character is escaped too
    for (const char ch : bytes) {
      const auto b = static_cast<unsigned char>(ch);
      if (b >= 0x80 || trail) {
        out += "\\'";
        out += kHex[b >> 4];
        out += kHex[b & 15];
        trail = !trail && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC));
      } else if (ch == '\\' || ch == '{' || ch == '}') {
        out += '\\';
        out += ch;
      } else if (b >= 0x20) {
        out += ch;
      }
    }
  } else {
    AppendEscaped(out, name);
  }
}

}  // namespace

QString RtfParagraph::Text() const {
  QString text;
  for (const RtfRun& run : runs) text += run.text;
  return text;
}

QString RtfDocument::PlainText() const {
  QStringList lines;
  lines.reserve(paragraphs.size());
  for (const RtfParagraph& p : paragraphs) lines << p.Text();
  return lines.join(QLatin1Char('\n'));
}

// ---------------------------------------------------------------------------------------------
// Writer

bool RtfWriter::IsJapaneseFont(const QString& face) {
  for (const QChar c : face) {
    if (c.unicode() > 0xFF) return Cp932::CanEncode(face);
  }
  static const char* const kJapaneseFaces[] = {
      "gothic", "mincho",   "meiryo", "yu ",   "ms ui",    "vl ",  "ipa",       "takao",
      "cjk jp", "hiragino", "osaka",  "kochi", "sazanami", "migu", "source han"};
  const QString lower = face.toLower();
  for (const char* name : kJapaneseFaces) {
    if (lower.contains(QLatin1String(name))) return true;
  }
  return false;
}

int RtfWriter::FontIndex(const QString& face) {
  const auto it = font_index_.constFind(face);
  if (it != font_index_.constEnd()) return *it;
  const int index = fonts_.size();
  fonts_.push_back(face);
  font_index_.insert(face, index);
  return index;
}

int RtfWriter::ColorIndex(QRgb color) {
  color = qRgb(qRed(color), qGreen(color), qBlue(color));
  const auto it = color_index_.constFind(color);
  if (it != color_index_.constEnd()) return *it;
  colors_.push_back(color);
  const int index = colors_.size();  // entry 0 of the table is the "auto" colour
  color_index_.insert(color, index);
  return index;
}

QByteArray RtfWriter::Paragraph(const RtfParagraph& paragraph, bool paragraph_mark) {
  QByteArray out;
  bool has_text = false;
  for (const RtfRun& run : paragraph.runs) has_text = has_text || !run.text.isEmpty();
  if (!has_text && !paragraph_mark) return out;
  out += "\\pard";
  if (paragraph.left_indent != 0) AppendNumber(out, "\\li", paragraph.left_indent);
  if (paragraph.first_indent != 0) AppendNumber(out, "\\fi", paragraph.first_indent);
  for (const RtfRun& run : paragraph.runs) {
    if (run.text.isEmpty()) continue;
    AppendNumber(out, "{\\f", FontIndex(run.format.font));
    AppendNumber(out, "\\fs", HalfPoints(run.format.size));
    if (run.format.bold) out += "\\b";
    if (run.format.italic) out += "\\i";
    AppendNumber(out, "\\cf", ColorIndex(run.format.color));
    out += ' ';
    AppendEscaped(out, run.text);
    out += '}';
  }
  if (paragraph_mark) out += "\\par\r\n";
  return out;
}

QByteArray RtfWriter::Header() const {
  QByteArray out = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl";
  for (int i = 0; i < fonts_.size(); ++i) {
    const bool japanese = IsJapaneseFont(fonts_[i]);
    AppendNumber(out, "{\\f", i);
    out += japanese ? "\\fnil\\fcharset128 " : "\\fnil\\fcharset0 ";
    AppendFontName(out, fonts_[i], japanese);
    out += ";}";
  }
  out += "}{\\colortbl ;";
  for (const QRgb c : colors_) {
    AppendNumber(out, "\\red", qRed(c));
    AppendNumber(out, "\\green", qGreen(c));
    AppendNumber(out, "\\blue", qBlue(c));
    out += ';';
  }
  out += "}\r\n\\viewkind4\\uc1\r\n";
  return out;
}

namespace {
constexpr char kPadOpen[] = "{\\*\\quillorapad ";
constexpr char kPadClose[] = "}\r\n";
constexpr int kPadOverhead = sizeof(kPadOpen) - 1 + sizeof(kPadClose) - 1;
}  // namespace

int RtfWriter::MinimumPaddedSize() const { return Header().size() + kPadOverhead; }

QByteArray RtfWriter::PaddedHeader(int size) const {
  QByteArray out = Header();
  const int filler = size - out.size() - kPadOverhead;
  if (filler < 0) return {};
  out += kPadOpen;
  out += QByteArray(filler, ' ');
  out += kPadClose;
  return out;
}

QByteArray RtfWriter::Write(const RtfDocument& document) {
  RtfWriter writer;
  QByteArray body;
  for (int i = 0; i < document.paragraphs.size(); ++i) {
    body += writer.Paragraph(document.paragraphs[i], i + 1 < document.paragraphs.size());
  }
  return writer.Header() + body + '}';
}

// ---------------------------------------------------------------------------------------------
// Reader

namespace {

enum class Dest { kBody, kFontTable, kColorTable, kSkip };

struct GroupState {
  Dest dest = Dest::kBody;
  int font = -1;  // -1: the document's default font
  int half_points = 24;
  bool bold = false;
  bool italic = false;
  int color = 0;
  int uc = 1;
  int left = 0;
  int first = 0;
};

struct FontDef {
  QString name;
  int charset = -1;
};

constexpr int kMaxDepth = 200;
constexpr int kMaxIndent = 31680;  // 22 inches in twips

// Destinations whose content is not document text.
bool IsSkippedDestination(const QByteArray& word) {
  static constexpr std::string_view kSkipped =
      " info stylesheet pict object header footer headerl headerr headerf footerl footerr footerf"
      " footnote fldinst filetbl listtable listoverridetable revtbl rsidtbl xmlnstbl mmathPr"
      " themedata colorschememapping latentstyles datastore generator author operator title"
      " subject keywords comment doccomm company nonshppict annotation atnid atnauthor bkmkstart"
      " bkmkend pgdsctbl ";
  const std::string key = " " + word.toStdString() + " ";
  return kSkipped.find(key) != std::string_view::npos;
}

int CodePageOfCharset(int charset, int document_code_page) {
  switch (charset) {
    case 0:
      return 1252;
    case 128:
      return 932;
    case 129:
      return 949;
    case 134:
      return 936;
    case 136:
      return 950;
    case 161:
      return 1253;
    case 162:
      return 1254;
    case 163:
      return 1258;
    case 177:
      return 1255;
    case 178:
      return 1256;
    case 186:
      return 1257;
    case 204:
      return 1251;
    case 222:
      return 874;
    case 238:
      return 1250;
    default:
      return document_code_page;
  }
}

// Surrogates that are not part of a pair (garbage \u values) become U+FFFD.
void RepairSurrogates(QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      ++i;
    } else if (c.isSurrogate()) {
      text[i] = QChar::ReplacementCharacter;
    }
  }
}

class Reader {
 public:
  explicit Reader(const QByteArray& bytes) : in_(bytes) { stack_.push_back(GroupState{}); }

  RtfDocument Run() {
    const qsizetype n = in_.size();
    while (pos_ < n && !done_) {
      const char c = in_[pos_++];
      switch (c) {
        case '{':
          OpenGroup();
          break;
        case '}':
          CloseGroup();
          break;
        case '\\':
          Control();
          break;
        case '\r':
        case '\n':
          break;
        default:
          TextByte(c);
      }
    }
    Flush();
    if (!done_) StoreIndents();  // a torn file: the last paragraph's settings are still open
    doc_.paragraphs.push_back(std::move(paragraph_));
    for (RtfParagraph& p : doc_.paragraphs) {
      for (RtfRun& run : p.runs) RepairSurrogates(run.text);
    }
    return std::move(doc_);
  }

 private:
  GroupState& State() { return stack_.back(); }

  void OpenGroup() {
    Flush();
    skip_ = 0;
    star_ = false;
    if (stack_.size() < kMaxDepth) {
      stack_.push_back(stack_.back());
    } else {
      ++overflow_;
    }
  }

  void CloseGroup() {
    Flush();
    skip_ = 0;
    star_ = false;
    if (overflow_ > 0) {
      --overflow_;
      return;
    }
    if (stack_.size() <= 1) return;  // unbalanced brace: ignore it
    if (State().dest == Dest::kFontTable) FinishFont();
    StoreIndents();
    stack_.pop_back();
    // Anything after the document's closing brace is not part of it.
    if (stack_.size() == 1 && seen_rtf_) done_ = true;
  }

  void Control() {
    const qsizetype n = in_.size();
    if (pos_ >= n) return;
    const char c = in_[pos_];
    if (!IsLetter(c)) {
      ++pos_;
      ControlSymbol(c);
      return;
    }
    QByteArray word;
    while (pos_ < n && IsLetter(in_[pos_])) {
      if (word.size() < 32) word += in_[pos_];
      ++pos_;
    }
    bool has_param = false;
    bool negative = false;
    int64_t param = 0;
    if (pos_ + 1 < n && in_[pos_] == '-' && IsDigit(in_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    while (pos_ < n && IsDigit(in_[pos_])) {
      has_param = true;
      param = std::min<int64_t>(param * 10 + (in_[pos_] - '0'), 2000000000);
      ++pos_;
    }
    if (pos_ < n && in_[pos_] == ' ') ++pos_;
    ControlWord(word, has_param, static_cast<int>(negative ? -param : param));
  }

  static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  void ControlSymbol(char c) {
    switch (c) {
      case '\'': {
        if (pos_ + 1 < in_.size()) {
          const int hi = HexValue(in_[pos_]);
          const int lo = HexValue(in_[pos_ + 1]);
          if (hi >= 0 && lo >= 0) {
            pos_ += 2;
            TextByte(static_cast<char>(hi * 16 + lo), true);
          }
        }
        return;
      }
      case '\\':
      case '{':
      case '}':
        TextByte(c, true);
        return;
      case '*':
        star_ = true;
        return;
      case '~':
        Symbol(0x00A0);
        return;
      case '_':
        Symbol(0x2011);
        return;
      case '\r':
      case '\n':
        Flush();
        EndParagraph();
        return;
      default:
        return;  // \- optional hyphen, \: index entries, anything else
    }
  }

  void Symbol(char16_t c) {
    if (skip_ > 0) {
      --skip_;
      return;
    }
    Flush();
    AppendText(QString(QChar(c)));
  }

  void ControlWord(const QByteArray& word, bool has_param, int param) {
    if (word == "bin") {  // binary data: never text, whatever the state
      Flush();
      if (has_param && param > 0) pos_ += std::min<qsizetype>(param, in_.size() - pos_);
      return;
    }
    if (skip_ > 0) {  // a control word counts as one fallback character of \u
      --skip_;
      return;
    }
    Flush();
    GroupState& s = State();
    const bool star = std::exchange(star_, false);
    if (star || IsSkippedDestination(word)) {
      s.dest = Dest::kSkip;
      return;
    }
    if (s.dest == Dest::kSkip) return;
    if (word == "rtf") {
      seen_rtf_ = true;
    } else if (word == "fonttbl") {
      s.dest = Dest::kFontTable;
    } else if (word == "colortbl") {
      s.dest = Dest::kColorTable;
    } else if (word == "ansicpg") {
      if (has_param && param > 0) code_page_ = param;
    } else if (word == "deff") {
      default_font_ = param;
    } else if (word == "u" || word == "uc") {
      Unicode(word, has_param, param);
    } else if (s.dest == Dest::kFontTable) {
      FontTableWord(word, param);
    } else if (s.dest == Dest::kColorTable) {
      const int value = std::clamp(param, 0, 255);
      int* component = word == "red"     ? &red_
                       : word == "green" ? &green_
                       : word == "blue"  ? &blue_
                                         : nullptr;
      if (component) {
        *component = value;
        color_seen_ = true;
      }
    } else {
      BodyWord(word, has_param, param);
    }
  }

  void FontTableWord(const QByteArray& word, int param) {
    if (word == "f") {
      FinishFont();
      defining_font_ = param;
      fonts_[param];
    } else if (word == "fcharset" && fonts_.contains(defining_font_)) {
      fonts_[defining_font_].charset = param;
    }
  }

  void BodyWord(const QByteArray& word, bool has_param, int param) {
    GroupState& s = State();
    const bool on = !has_param || param != 0;
    if (word == "par" || word == "sect" || word == "page" || word == "row") {
      EndParagraph();
    } else if (word == "pard") {
      s.left = s.first = 0;
    } else if (word == "li") {
      s.left = std::clamp(param, -kMaxIndent, kMaxIndent);
    } else if (word == "fi") {
      s.first = std::clamp(param, -kMaxIndent, kMaxIndent);
    } else if (word == "plain") {
      s.font = -1;
      s.half_points = 24;
      s.bold = s.italic = false;
      s.color = 0;
    } else if (word == "f") {
      s.font = param;
    } else if (word == "fs") {
      s.half_points = param > 0 ? std::min(param, 3276) : 24;
    } else if (word == "b") {
      s.bold = on;
    } else if (word == "i") {
      s.italic = on;
    } else if (word == "cf") {
      s.color = param;
    } else if (word == "line") {
      AppendText(QString(QChar(0x2028)));
    } else if (word == "tab" || word == "cell") {
      AppendText(QStringLiteral("\t"));
    } else {
      static const std::pair<const char*, char16_t> kSymbols[] = {
          {"emdash", 0x2014},  {"endash", 0x2013},    {"bullet", 0x2022},    {"lquote", 0x2018},
          {"rquote", 0x2019},  {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", 0x2003},
          {"enspace", 0x2002}, {"qmspace", 0x2005}};
      for (const auto& [name, c] : kSymbols) {
        if (word == name) AppendText(QString(QChar(c)));
      }
    }
  }

  // \uN (a UTF-16 unit, signed) and \ucN (how many fallback characters follow each \u).
  void Unicode(const QByteArray& word, bool has_param, int param) {
    GroupState& s = State();
    if (word == "uc") {
      s.uc = std::clamp(param, 0, 16);
      return;
    }
    if (!has_param) return;
    const int unit = param < 0 ? param + 65536 : param;
    if (unit >= 0 && unit <= 0xFFFF) UnicodeChar(static_cast<char16_t>(unit));
    skip_ = s.uc;
  }

  void UnicodeChar(char16_t c) {
    if (State().dest == Dest::kFontTable) {
      if (c >= 0x20 && !IsStructural(c)) font_name_ += QChar(c);
    } else if (c == 0x2029) {
      EndParagraph();
    } else if (c == u'\t' || (c >= 0x20 && !IsStructural(c))) {
      AppendText(QString(QChar(c)));
    }
  }

  // A text byte, raw or written as \'hh; decoded later in runs so that two-byte characters
  // survive.
  void TextByte(char b, bool escaped = false) {
    if (skip_ > 0) {
      --skip_;
      return;
    }
    const Dest dest = State().dest;
    if (dest == Dest::kSkip) return;
    if (dest == Dest::kColorTable) {
      if (b == ';') FinishColor();
      return;
    }
    if (!escaped && static_cast<unsigned char>(b) < 0x20) {
      if (b != '\t') return;
    }
    pending_ += b;
  }

  int CurrentCodePage() {
    const GroupState& s = State();
    const int font = s.dest == Dest::kFontTable ? defining_font_
                     : s.font >= 0              ? s.font
                                                : default_font_;
    const auto it = fonts_.constFind(font);
    return CodePageOfCharset(it == fonts_.constEnd() ? -1 : it->charset, code_page_);
  }

  QString Decode(const QByteArray& bytes, int code_page) {
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return QString::fromLatin1(bytes);
    auto it = decoders_.find(code_page);
    if (it == decoders_.end()) {
      QStringDecoder decoder;
      if (code_page == 65001) {
        decoder = QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
      } else {
        for (const QByteArray& name : {QByteArray("CP") + QByteArray::number(code_page),
                                       QByteArray("windows-") + QByteArray::number(code_page)}) {
          decoder = QStringDecoder(name.constData(), QStringConverter::Flag::Stateless);
          if (decoder.isValid()) break;
        }
        if (!decoder.isValid())
          decoder = QStringDecoder("CP932", QStringConverter::Flag::Stateless);
      }
      it = decoders_.emplace(code_page, std::move(decoder)).first;
    }
    if (!it->second.isValid()) return QString::fromLatin1(bytes);
    return it->second.decode(bytes);
  }

  void Flush() {
    if (pending_.isEmpty()) return;
    const QString text = Decode(pending_, CurrentCodePage());
    pending_.clear();
    if (State().dest == Dest::kFontTable) {
      for (const QChar c : text) {
        if (c == QLatin1Char(';')) {
          FinishFont();
        } else {
          font_name_ += c;
        }
      }
      return;
    }
    AppendText(text);
  }

  void FinishFont() {
    if (defining_font_ != kNoFont && fonts_.contains(defining_font_) && !font_name_.isEmpty()) {
      fonts_[defining_font_].name = font_name_.trimmed();
    }
    font_name_.clear();
  }

  void FinishColor() {
    colors_.push_back(color_seen_ ? qRgb(red_, green_, blue_) : qRgb(0, 0, 0));
    red_ = green_ = blue_ = 0;
    color_seen_ = false;
  }

  RtfFormat CurrentFormat() {
    const GroupState& s = State();
    RtfFormat f;
    const auto font = fonts_.constFind(s.font >= 0 ? s.font : default_font_);
    if (font != fonts_.constEnd()) f.font = font->name;
    f.size = s.half_points / 2.0;
    f.bold = s.bold;
    f.italic = s.italic;
    if (s.color >= 0 && s.color < colors_.size()) f.color = colors_[s.color];
    return f;
  }

  void AppendText(const QString& text) {
    if (text.isEmpty() || State().dest != Dest::kBody) return;
    const RtfFormat format = CurrentFormat();
    if (!paragraph_.runs.isEmpty() && paragraph_.runs.back().format == format) {
      paragraph_.runs.back().text += text;
    } else {
      paragraph_.runs.push_back(RtfRun{text, format});
    }
    StoreIndents();
  }

  void StoreIndents() {
    if (State().dest != Dest::kBody) return;
    paragraph_.left_indent = State().left;
    paragraph_.first_indent = State().first;
  }

  void EndParagraph() {
    if (State().dest != Dest::kBody) return;
    StoreIndents();
    doc_.paragraphs.push_back(std::move(paragraph_));
    paragraph_ = RtfParagraph{};
  }

  static constexpr int kNoFont = -2147483647;

  const QByteArray& in_;
  qsizetype pos_ = 0;
  bool done_ = false;
  bool seen_rtf_ = false;
  QVector<GroupState> stack_;
  int overflow_ = 0;
  int skip_ = 0;
  bool star_ = false;
  QByteArray pending_;
  int code_page_ = 932;
  int default_font_ = 0;
  QHash<int, FontDef> fonts_;
  int defining_font_ = kNoFont;
  QString font_name_;
  QVector<QRgb> colors_;
  int red_ = 0, green_ = 0, blue_ = 0;
  bool color_seen_ = false;
  std::map<int, QStringDecoder> decoders_;
  RtfDocument doc_;
  RtfParagraph paragraph_;
};

}  // namespace

RtfDocument ReadRtf(const QByteArray& bytes) { return Reader(bytes).Run(); }

// ---------------------------------------------------------------------------------------------
// QTextDocument conversions

RtfFormat RtfFormatOf(const QTextCharFormat& cf, const QFont& fallback) {
  RtfFormat f;
  f.font = cf.fontFamilies().toStringList().value(0);
  if (f.font.isEmpty()) f.font = fallback.family();
  f.size = cf.hasProperty(QTextFormat::FontPointSize) ? cf.fontPointSize() : fallback.pointSizeF();
  if (f.size <= 0) f.size = 12;
  f.size = HalfPoints(f.size) / 2.0;
  f.bold = cf.hasProperty(QTextFormat::FontWeight) ? cf.fontWeight() >= QFont::DemiBold
                                                   : fallback.bold();
  f.italic = cf.hasProperty(QTextFormat::FontItalic) ? cf.fontItalic() : fallback.italic();
  const QBrush brush = cf.foreground();
  f.color = brush.style() == Qt::NoBrush ? qRgb(0, 0, 0) : brush.color().rgb();
  return f;
}

namespace {

QTextCharFormat CharFormatOf(const RtfFormat& f) {
  QTextCharFormat cf;
  if (!f.font.isEmpty()) cf.setFontFamilies({f.font});
  cf.setFontPointSize(f.size);
  cf.setFontWeight(f.bold ? QFont::Bold : QFont::Normal);
  cf.setFontItalic(f.italic);
  cf.setForeground(QColor(f.color));
  return cf;
}

}  // namespace

RtfParagraph ParagraphFromBlock(const QTextBlock& block, double twips_per_pixel) {
  RtfParagraph p;
  const QTextBlockFormat bf = block.blockFormat();
  p.left_indent = qRound(bf.leftMargin() * twips_per_pixel);
  p.first_indent = qRound(bf.textIndent() * twips_per_pixel);
  const QFont fallback = block.document() ? block.document()->defaultFont() : QFont();
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    if (!fragment.isValid()) continue;
    RtfRun run{fragment.text(), RtfFormatOf(fragment.charFormat(), fallback)};
    if (!p.runs.isEmpty() && p.runs.back().format == run.format) {
      p.runs.back().text += run.text;
    } else {
      p.runs.push_back(std::move(run));
    }
  }
  return p;
}

RtfDocument DocumentFromText(const QTextDocument& document, double twips_per_pixel,
                             int first_block) {
  RtfDocument out;
  for (QTextBlock b = document.findBlockByNumber(first_block); b.isValid(); b = b.next()) {
    out.paragraphs.push_back(ParagraphFromBlock(b, twips_per_pixel));
  }
  return out;
}

void InsertRtf(QTextCursor& cursor, const RtfDocument& document, double twips_per_pixel) {
  for (int i = 0; i < document.paragraphs.size(); ++i) {
    const RtfParagraph& p = document.paragraphs[i];
    QTextBlockFormat bf;
    bf.setLeftMargin(p.left_indent / twips_per_pixel);
    bf.setTextIndent(p.first_indent / twips_per_pixel);
    if (i == 0) {
      cursor.setBlockFormat(bf);
    } else {
      cursor.insertBlock(bf,
                         p.runs.isEmpty() ? cursor.charFormat() : CharFormatOf(p.runs[0].format));
    }
    for (const RtfRun& run : p.runs) cursor.insertText(run.text, CharFormatOf(run.format));
  }
}

}  // namespace quillora
