#pragma once

#include <QByteArray>
#include <QString>

#include "hexmap/HexPage.h"

namespace quillora {

// Map files (.mh0): little-endian, a 12-byte preamble ("QRHX", 1, 1, 0), the page header,
// (X+1)(Y+1) cells row by row, then the pieces in use with their labels in CP932.
QByteArray EncodeMapFile(const HexPage& page);

// Reads a map file into `page`. The whole file is checked first: a header whose sizes exceed
// the tables or match no cell size, a slot outside 1..255, a cell or piece position outside the
// table, or a file that ends early is refused with `*error` set and the page left as it was.
// Slots the file does not list are freed, so the page holds exactly the file's pieces.
bool DecodeMapFile(const QByteArray& bytes, HexPage& page, QString* error);

// The same on files; saving replaces the file only once the new one is complete. `*error`
// names the file.
bool SaveMapFile(const QString& path, const HexPage& page, QString* error);
bool LoadMapFile(const QString& path, HexPage& page, QString* error);

// The name a save dialog's answer is stored under: ".mh0" appended unless the name already
// ends with it (in any case).
QString MapFileName(const QString& chosen);

}  // namespace quillora
