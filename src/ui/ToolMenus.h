#pragma once

#include <QString>
#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace quillora {

// The "always on top" entry of a tool window's option menu: a check mark that keeps `window`
// above the others while it is set.
// The "モード" menu of a tool that has one mode only: `caption`, checked, and it stays checked.
QAction* AddSingleModeMenu(QMenuBar* bar, const QString& caption);

// The "モード" menu of a tool whose one mode is switched on once: `caption`, unchecked until
// then. Choosing it runs `choose`, which checks it; choosing it again changes nothing.
QAction* AddOneTimeModeMenu(QMenuBar* bar, const QString& caption, std::function<void()> choose);

QAction* AddTopmostAction(QMenu* menu, QWidget* window, const QString& caption,
                          const QString& object_name);

}  // namespace quillora
