#include "ui/ScrollFollower.h"

#include <QAbstractScrollArea>
#include <QScrollBar>

namespace quillora {

namespace {
// Pixels from the end that still count as "at the end" (a wheel step is far more).
constexpr int kSlack = 4;
}  // namespace

ScrollFollower::ScrollFollower(QAbstractScrollArea* view)
    : QObject(view), bar_(view->verticalScrollBar()) {
  connect(bar_, &QScrollBar::rangeChanged, this, &ScrollFollower::RangeChanged);
  connect(bar_, &QScrollBar::valueChanged, this, &ScrollFollower::ValueChanged);
}

void ScrollFollower::RangeChanged(int, int max) {
  if (!following_ || bar_->value() == max) return;
  moving_ = true;
  bar_->setValue(max);
  moving_ = false;
}

void ScrollFollower::ValueChanged(int value) {
  if (moving_) return;
  // A range that shrank below the value moves it too; the end is then still the end.
  following_ = value >= bar_->maximum() - kSlack;
}

}  // namespace quillora
