#include "app/LinkStatusWidget.h"

#include "app/AppCore.h"

namespace quillora {

LinkStatusWidget::LinkStatusWidget(AppCore& core, QWidget* parent) : QLabel(parent), core_(core) {
  setObjectName(QStringLiteral("LinkState"));
  setToolTip(QStringLiteral("サーバとの接続の状態"));
  setContentsMargins(6, 0, 6, 0);
  connect(&core_.instance().session_state(), &SessionState::modeChanged, this,
          &LinkStatusWidget::Refresh);
  connect(&core_.reconnector(), &Reconnector::statusChanged, this, &LinkStatusWidget::Refresh);
  Refresh();
}

void LinkStatusWidget::Refresh() {
  setText(core_.reconnector().StatusText(core_.instance().SessionMode));
}

}  // namespace quillora
