#include "ui/WidgetStyle.h"

#include <QApplication>

#include "core/Colors.h"

namespace quillora {

void ApplyColors(QWidget* widget, uint32_t text_bgr, uint32_t back_bgr) {
  if (!widget) return;
  QPalette pal = widget->palette();
  const QColor text = FromBgr(text_bgr);
  const QColor back = FromBgr(back_bgr);
  pal.setColor(QPalette::Text, text);
  pal.setColor(QPalette::WindowText, text);
  pal.setColor(QPalette::Base, back);
  widget->setPalette(pal);
}

void ApplyFont(QWidget* widget, const FontSetting& font) {
  if (!widget) return;
  widget->setFont(ToQFont(font, QApplication::font(widget)));
}

}  // namespace quillora
