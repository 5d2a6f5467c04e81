#pragma once

#include <QString>

namespace quillora {

// The program folder: `home` when given (created when missing); else the executable's folder
// when it is writable and holds data/; else the user's data folder (~/.local/share/Quillora),
// created. A new folder gets the shipped data files. Returns an empty text when no folder can be
// used.
QString ResolveProgramFolder(const QString& home, const QString& executable_folder);

// Where the data files we ship are: data/ beside the executable, or the installed copy under
// share/quillora/data. Empty when there is none.
QString ShippedDataFolder(const QString& executable_folder);

}  // namespace quillora
