#include "ui/ToolMenus.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "ui/Dialogs.h"

namespace quillora {

QAction* AddSingleModeMenu(QMenuBar* bar, const QString& caption) {
  QMenu* mode = bar->addMenu(QStringLiteral("モード"));
  mode->setObjectName(QStringLiteral("mnuMode"));
  QAction* only = mode->addAction(caption);
  only->setObjectName(QStringLiteral("mnuModeSub_0"));
  only->setCheckable(true);
  only->setChecked(true);
  // An exclusive group keeps its one entry checked when it is chosen again.
  auto* group = new QActionGroup(mode);
  group->addAction(only);
  return only;
}

QAction* AddOneTimeModeMenu(QMenuBar* bar, const QString& caption, std::function<void()> choose) {
  QMenu* mode = bar->addMenu(QStringLiteral("モード"));
  mode->setObjectName(QStringLiteral("mnuMode"));
  QAction* only = mode->addAction(caption);
  only->setObjectName(QStringLiteral("mnuModeSub_0"));
  only->setCheckable(true);
  QObject::connect(only, &QAction::triggered, mode,
                   [only, choose = std::move(choose)](bool checked) {
                     if (!checked) {
                       only->setChecked(true);  // the only mode; choosing it again changes nothing
                       return;
                     }
                     only->setChecked(false);
                     choose();
                   });
  return only;
}

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
