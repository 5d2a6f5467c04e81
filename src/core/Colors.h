#pragma once

#include <QColor>
#include <QFont>
#include <cstdint>

#include "core/Settings.h"

namespace quillora {

// Colours travel and are stored as 0x00BBGGRR (red in the low byte); convert only at the edge.
inline QColor FromBgr(uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

inline uint32_t ToBgr(const QColor& color) {
  return static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8) |
         (static_cast<uint32_t>(color.blue()) << 16);
}

// The font of a settings slot. An empty name keeps the application's font family; a size of 0
// keeps its size.
inline QFont ToQFont(const FontSetting& setting, const QFont& fallback = QFont()) {
  QFont font = fallback;
  if (!setting.name.isEmpty()) font.setFamilies({setting.name});
  if (setting.size > 0) font.setPointSizeF(setting.size);
  font.setBold(setting.bold);
  font.setItalic(setting.italic);
  return font;
}

inline FontSetting FromQFont(const QFont& font) {
  FontSetting s;
  s.name = font.family();
  s.size = static_cast<float>(font.pointSizeF());
  s.bold = font.bold();
  s.italic = font.italic();
  return s;
}

}  // namespace quillora
