#include "ui/ToolMenus.h"

#include <QAction>
#include <QMenu>

#include "ui/Dialogs.h"

namespace quillora {

QAction* AddTopmostAction(QMenu* menu, QWidget* window, const QString& caption,
                          const QString& object_name) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(object_name);
  action->setCheckable(true);
  QObject::connect(action, &QAction::toggled, window,
                   [window](bool on) { SetTopmost(window, on); });
  return action;
}

}  // namespace quillora
