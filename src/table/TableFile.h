#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillora {

// The first line of a table-definition file (".tb0"), compared in lower case.
inline constexpr const char* kTableFileHeader = "#table file ver0.1";

// The column headers a table-definition file defines, in order, or nothing when its first line
// is not the header. After the header, lines starting with "#" are comments; empty lines, lines
// of spaces only and lines containing a "," are skipped; every other line, spaces included, is
// one header text.
std::optional<QStringList> ParseTableDefinition(const QString& text);

// Reads and parses a file (CP932, or UTF-8 when it is marked or valid as such). Nothing when the
// file cannot be read or has no valid header.
std::optional<QStringList> ReadTableDefinitionFile(const QString& path);

}  // namespace quillora
