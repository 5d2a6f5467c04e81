#pragma once

#include <QWidget>
#include <cstdint>

#include "core/Settings.h"

namespace quillora {

// Sets a control's text and background colours (0x00BBGGRR).
void ApplyColors(QWidget* widget, uint32_t text_bgr, uint32_t back_bgr);
// Sets a control's font from a settings slot.
void ApplyFont(QWidget* widget, const FontSetting& font);

}  // namespace quillora
