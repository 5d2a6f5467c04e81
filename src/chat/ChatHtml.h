#pragma once

#include <QString>
#include <QStringList>

class QTextDocument;

namespace quillora {

struct ChatHtmlOptions {
  QString title;
  // Lines whose speaker part contains one of these are whispers; lines whose text contains one
  // of `secret_markers` are secret results.
  QStringList whisper_markers;
  QStringList secret_markers;
  bool leave_out_private = false;  // whispers and secret results are left out
};

// The chat of a document, from block `first_block` on, as one self-contained HTML page (UTF-8,
// styles inline, nothing loaded from elsewhere): every speaker in their colour, system lines and
// whispers marked. A browser shows exactly the text the text-file log holds.
QString ChatHtml(const QTextDocument& document, int first_block, const ChatHtmlOptions& options);

}  // namespace quillora
