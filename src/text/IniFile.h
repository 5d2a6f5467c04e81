#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quillora {

// A Windows-style profile file ("app.ini") held in memory: load once, edit, save once.
//
// Section and key names compare case-insensitively and without surrounding blanks, but a key is
// written exactly as it was given ("TextSaveDir " keeps its blank). Values are text, trimmed of
// surrounding blanks when read, and are never cut to a length. Lines that are not keys or
// section headers (blank lines, ";" comments, anything else) are kept as they were. The first
// of two sections or keys with the same name is the one that counts.
//
// On disk the file is CP932; reading also accepts UTF-8 (with BOM, or valid UTF-8 without).
class IniFile {
 public:
  // Files beyond these sizes are not settings files; Load refuses them rather than eating the
  // machine's memory.
  static constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;
  static constexpr qsizetype kMaxLines = 200000;

  IniFile() = default;

  // Replaces the content with the file's. False (and an empty content) when the file cannot be
  // read or exceeds the limits above.
  bool Load(const QString& path);
  // Replaces the content with the given file bytes. False when they exceed the limits.
  bool Parse(const QByteArray& bytes);

  // Writes the whole content to `path`, replacing the file atomically.
  bool Save(const QString& path) const;
  // The file's bytes: CP932, or UTF-8 with a BOM when some text has no CP932 form (so nothing
  // the user typed is turned into "?").
  QByteArray ToBytes() const;

  bool HasSection(const QString& section) const;
  bool Contains(const QString& section, const QString& key) const;
  // The key's value, or nullopt when the key is not in the file.
  std::optional<QString> Find(const QString& section, const QString& key) const;
  // The key's value, or `fallback` when the key is not in the file.
  QString Value(const QString& section, const QString& key,
                const QString& fallback = QString()) const;

  // Updates the key in place, or appends it to its section (the section is created at the end
  // of the file when missing). Line breaks in keys and values become blanks: a value can never
  // start a new line of the file.
  void SetValue(const QString& section, const QString& key, const QString& value);
  // Removes the key's line; nothing happens when it is not there.
  void Remove(const QString& section, const QString& key);

  // Section names in file order, and the keys of one section in file order, as written.
  QStringList Sections() const;
  QStringList Keys(const QString& section) const;

 private:
  // One line (or a run of lines) of a section.
  struct Item {
    enum Kind { kEntry, kText, kRemoved } kind = kText;
    QString key;    // entry: the key as written (a blank before "=" stays)
    QString value;  // entry: the value; kText: the lines, joined by '\n'
    QString raw;    // entry: the original line while it is unchanged
  };
  struct Section {
    QString name;    // as written; empty for the part before the first header
    QString header;  // the header line as read, or empty for a new section
    std::vector<Item> items;
    QHash<QString, qsizetype> keys;  // folded key -> index into items (first occurrence)
  };

  static QString Fold(QStringView name);
  const Section* FindSection(const QString& name) const;
  Section& SectionFor(const QString& name);
  static void AppendText(Section& section, QStringView line);
  static qsizetype InsertionPoint(Section& section);

  std::vector<Section> sections_;
  QHash<QString, qsizetype> section_index_;  // folded name -> index into sections_
};

}  // namespace quillora
