#pragma once

#include <QString>

namespace quillora {

// The program folder: `home` when given (created when missing); else the executable's folder
// when it is writable; else ~/.local/share/Quillora, created, with data/ copied from the
// executable's folder the first time. Returns an empty text when no folder can be used.
QString ResolveProgramFolder(const QString& home, const QString& executable_folder);

}  // namespace quillora
