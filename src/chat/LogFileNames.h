#pragma once

#include <QString>

namespace quillora {

enum class LogFileKind { kText, kRtf };

// Splits a chosen path at its last separator ("\" or "/") into the folder (with the separator)
// and the file name.
void SplitLogPath(const QString& path, QString* folder, QString* name);

// The path a manual log save writes to: the name gets ".txt" (or ".rtf") unless its last four
// characters are exactly that (the comparison is case-sensitive, so "LOG.TXT" becomes
// "LOG.TXT.txt"), and the folder gets a trailing separator. Separators are the platform's.
QString CompleteLogPath(const QString& folder, const QString& name, LogFileKind kind);

// A folder as stored in the settings ("\" separators) in the platform's form.
QString NativeFolder(const QString& folder);

}  // namespace quillora
