#include "text/IniFile.h"

#include <QFile>
#include <QSaveFile>

#include "text/Cp932.h"

namespace quillora {

namespace {

// Blanks as the profile functions see them: ASCII white space only, so that an ideographic
// space at the start of a Japanese value is kept.
bool IsBlank(QChar c) {
  const char16_t u = c.unicode();
  return u == u' ' || u == u'\t' || u == u'\r' || u == u'\n' || u == u'\v' || u == u'\f';
}

QStringView TrimBlanks(QStringView text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

// A value as it reads back from disk: one line, cut at a NUL like the C strings of the profile
// functions, without surrounding blanks.
QString CleanValue(QStringView value) {
  const qsizetype nul = value.indexOf(QChar(u'\0'));
  if (nul >= 0) value = value.left(nul);
  QString out = TrimBlanks(value).toString();
  for (QChar& c : out) {
    if (c == u'\r' || c == u'\n') c = u' ';
  }
  return out;
}

QString OneLine(const QString& text) {
  QString out = text;
  for (QChar& c : out) {
    if (c == u'\r' || c == u'\n') c = u' ';
  }
  return out;
}

}  // namespace

QString IniFile::Fold(QStringView name) { return TrimBlanks(name).toString().toCaseFolded(); }

bool IniFile::Load(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    Parse(QByteArray());
    return false;
  }
  QByteArray bytes;
  if (!file.isSequential()) {
    if (file.size() > kMaxFileBytes) {
      Parse(QByteArray());
      return false;
    }
    bytes = file.readAll();
  } else {
    // A device without a size is read up to one piece past the limit, never without end.
    while (bytes.size() <= kMaxFileBytes) {
      const QByteArray piece = file.read(64 * 1024);
      if (piece.isEmpty()) break;
      bytes += piece;
    }
  }
  if (file.error() != QFileDevice::NoError) {
    Parse(QByteArray());
    return false;
  }
  return Parse(bytes);
}

bool IniFile::Parse(const QByteArray& bytes) {
  sections_.clear();
  section_index_.clear();
  sections_.emplace_back();  // the part before the first header
  if (bytes.size() > kMaxFileBytes) return false;

  const QString text = Cp932::DecodeFile(bytes);
  if (text.count(QChar(u'\n')) >= kMaxLines) return false;

  const QStringView view(text);
  qsizetype pos = 0;
  while (pos < view.size()) {
    const qsizetype newline = view.indexOf(QChar(u'\n'), pos);
    const qsizetype end = newline < 0 ? view.size() : newline;
    QStringView line = view.mid(pos, end - pos);
    if (line.endsWith(QChar(u'\r'))) line.chop(1);
    const QStringView trimmed = TrimBlanks(line);

    const qsizetype close = trimmed.startsWith(QChar(u'[')) ? trimmed.lastIndexOf(QChar(u']')) : -1;
    if (close > 0) {
      Section section;
      section.name = TrimBlanks(trimmed.mid(1, close - 1)).toString();
      section.header = line.toString();
      const QString folded = Fold(section.name);
      sections_.push_back(std::move(section));
      if (!section_index_.contains(folded)) section_index_.insert(folded, sections_.size() - 1);
    } else {
      Section& current = sections_.back();
      const qsizetype equals = line.indexOf(QChar(u'='));
      // Keys before the first header belong to no section; ";" starts a comment.
      if (sections_.size() > 1 && equals >= 0 && !trimmed.startsWith(QChar(u';'))) {
        Item item;
        item.kind = Item::kEntry;
        // Leading indentation goes, but a blank before "=" belongs to the key as written.
        QStringView key = line.left(equals);
        while (!key.isEmpty() && IsBlank(key.front())) key = key.mid(1);
        item.key = key.toString();
        item.value = CleanValue(line.mid(equals + 1));
        item.raw = line.toString();
        const QString folded = Fold(item.key);
        current.items.push_back(std::move(item));
        if (!current.keys.contains(folded)) current.keys.insert(folded, current.items.size() - 1);
      } else {
        AppendText(current, line);
      }
    }
    if (newline < 0) break;
    pos = newline + 1;
  }
  return true;
}

void IniFile::AppendText(Section& section, QStringView line) {
  if (!section.items.empty() && section.items.back().kind == Item::kText) {
    QString& text = section.items.back().value;
    text += QChar(u'\n');
    text += line;
    return;
  }
  Item item;
  item.kind = Item::kText;
  item.value = line.toString();
  section.items.push_back(std::move(item));
}

QByteArray IniFile::ToBytes() const {
  QString out;
  for (const Section& section : sections_) {
    if (!section.header.isNull()) {
      out += section.header;
      out += QLatin1String("\r\n");
    }
    for (const Item& item : section.items) {
      switch (item.kind) {
        case Item::kEntry:
          if (!item.raw.isNull()) {
            out += item.raw;
          } else {
            out += item.key;
            out += QChar(u'=');
            out += item.value;
          }
          out += QLatin1String("\r\n");
          break;
        case Item::kText:
          out += QString(item.value).replace(QChar(u'\n'), QLatin1String("\r\n"));
          out += QLatin1String("\r\n");
          break;
        case Item::kRemoved:
          break;
      }
    }
  }
  const QByteArray cp932 = Cp932::Encode(out);
  if (Cp932::Decode(cp932) == Cp932::Normalize(out)) return cp932;
  return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

bool IniFile::Save(const QString& path) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const QByteArray bytes = ToBytes();
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

const IniFile::Section* IniFile::FindSection(const QString& name) const {
  const auto it = section_index_.constFind(Fold(name));
  return it == section_index_.cend() ? nullptr : &sections_[*it];
}

IniFile::Section& IniFile::SectionFor(const QString& name) {
  if (sections_.empty()) sections_.emplace_back();
  const QString folded = Fold(name);
  const auto it = section_index_.constFind(folded);
  if (it != section_index_.cend()) return sections_[*it];
  Section section;
  section.name = OneLine(name);
  section.header = QLatin1Char('[') + section.name + QLatin1Char(']');
  sections_.push_back(std::move(section));
  section_index_.insert(folded, sections_.size() - 1);
  return sections_.back();
}

bool IniFile::HasSection(const QString& section) const { return FindSection(section) != nullptr; }

bool IniFile::Contains(const QString& section, const QString& key) const {
  return Find(section, key).has_value();
}

std::optional<QString> IniFile::Find(const QString& section, const QString& key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return std::nullopt;
  const auto it = found->keys.constFind(Fold(key));
  if (it == found->keys.cend()) return std::nullopt;
  return found->items[*it].value;
}

QString IniFile::Value(const QString& section, const QString& key, const QString& fallback) const {
  return Find(section, key).value_or(fallback);
}

qsizetype IniFile::InsertionPoint(Section& section) {
  std::vector<Item>& items = section.items;
  // After the last key or the last line with content, so that blank lines that separate this
  // section from the next stay where they are.
  for (qsizetype i = static_cast<qsizetype>(items.size()) - 1; i >= 0; --i) {
    Item& item = items[i];
    if (item.kind == Item::kRemoved) continue;
    if (item.kind == Item::kEntry) return i + 1;
    qsizetype last = item.value.size() - 1;
    while (last >= 0 && IsBlank(item.value[last])) --last;
    if (last < 0) continue;
    const qsizetype newline = item.value.indexOf(QChar(u'\n'), last);
    if (newline < 0) return i + 1;
    Item tail;
    tail.kind = Item::kText;
    tail.value = item.value.mid(newline + 1);
    item.value.truncate(newline);
    items.insert(items.begin() + i + 1, std::move(tail));
    return i + 1;
  }
  return 0;
}

void IniFile::SetValue(const QString& section, const QString& key, const QString& value) {
  Section& target = SectionFor(section);
  const QString clean = CleanValue(OneLine(value));
  const QString folded = Fold(key);
  const auto it = target.keys.constFind(folded);
  if (it != target.keys.cend()) {
    Item& item = target.items[*it];
    if (item.value != clean || item.raw.isNull()) {
      item.value = clean;
      item.raw = QString();  // rewritten as key=value, keeping the key as the file had it
    }
    return;
  }
  Item item;
  item.kind = Item::kEntry;
  item.key = OneLine(key);
  item.value = clean;
  const qsizetype at = InsertionPoint(target);
  target.items.insert(target.items.begin() + at, std::move(item));
  target.keys.insert(folded, at);
}

void IniFile::Remove(const QString& section, const QString& key) {
  const auto section_it = section_index_.constFind(Fold(section));
  if (section_it == section_index_.cend()) return;
  Section& target = sections_[*section_it];
  const QString folded = Fold(key);
  const auto it = target.keys.constFind(folded);
  if (it == target.keys.cend()) return;
  const qsizetype index = *it;
  target.keys.remove(folded);
  target.items[index] = Item{Item::kRemoved, QString(), QString(), QString()};
  // A later line with the same key now counts.
  for (qsizetype i = index + 1; i < static_cast<qsizetype>(target.items.size()); ++i) {
    const Item& item = target.items[i];
    if (item.kind == Item::kEntry && Fold(item.key) == folded) {
      target.keys.insert(folded, i);
      break;
    }
  }
}

QStringList IniFile::Sections() const {
  QStringList names;
  for (size_t i = 1; i < sections_.size(); ++i) names << sections_[i].name;
  return names;
}

QStringList IniFile::Keys(const QString& section) const {
  QStringList keys;
  const Section* found = FindSection(section);
  if (found == nullptr) return keys;
  for (const Item& item : found->items) {
    if (item.kind == Item::kEntry) keys << item.key;
  }
  return keys;
}

}  // namespace quillora
