#pragma once

#include <QString>

namespace quillora {

// Full-width (zenkaku) ASCII variants, the ideographic space, ￥ and the full-width quotes ’ ”
// become their narrow forms; everything else is kept.
QString ToHalfWidth(const QString& text);

// Printable ASCII and the blank become their full-width forms ("-3" -> "－３").
QString ToFullWidth(const QString& text);

}  // namespace quillora
