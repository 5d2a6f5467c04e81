#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "text/Rtf.h"

namespace quillora {

struct ChatHtmlOptions {
  QString title;
  // Lines whose speaker part contains one of these are whispers; lines whose text contains one
  // of `secret_markers` are secret results.
  QStringList whisper_markers;
  QStringList secret_markers;
  bool leave_out_private = false;  // whispers and secret results are left out
};

// The chat of these paragraphs as one self-contained HTML page (UTF-8, styles inline, nothing
// loaded from elsewhere): every speaker in their colour, system lines and whispers marked. A
// browser shows exactly the text the text-file log holds. Indents are in twips.
QString ChatHtml(const QVector<RtfParagraph>& paragraphs, double twips_per_pixel,
                 const ChatHtmlOptions& options);

}  // namespace quillora
