#pragma once

#include <QString>

class QAction;
class QMenu;
class QWidget;

namespace quillora {

// The "always on top" entry of a tool window's option menu: a check mark that keeps `window`
// above the others while it is set.
QAction* AddTopmostAction(QMenu* menu, QWidget* window, const QString& caption,
                          const QString& object_name);

}  // namespace quillora
