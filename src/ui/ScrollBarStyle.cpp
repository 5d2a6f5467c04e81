#include "ui/ScrollBarStyle.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>

namespace quillora {

namespace {

class ClearScrollBarStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar || !(bar->state & State_Enabled) ||
        bar->maximum <= bar->minimum) {
      return;
    }
    const QRect handle = subControlRect(CC_ScrollBar, bar, SC_ScrollBarSlider, widget);
    if (handle.width() < 4 || handle.height() < 4) return;
    const bool pressed =
        (bar->activeSubControls & SC_ScrollBarSlider) && (bar->state & State_Sunken);
    const bool hovered =
        (bar->activeSubControls & SC_ScrollBarSlider) && (bar->state & State_MouseOver);
    QColor fill = bar->palette.color(QPalette::Mid);
    if (hovered) fill = fill.darker(112);
    if (pressed) fill = fill.darker(125);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(bar->palette.color(QPalette::Dark), 1));
    painter->setBrush(fill);
    painter->drawRoundedRect(QRectF(handle).adjusted(1.5, 1.5, -1.5, -1.5), 3, 3);
    painter->restore();
  }
};

}  // namespace

void UseClearScrollBars(QApplication& app) {
  if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0) {
    return;
  }
  // The application owns the style; the proxy owns the Fusion style it draws with.
  app.setStyle(new ClearScrollBarStyle(QStyleFactory::create(QStringLiteral("fusion"))));
}

}  // namespace quillora
