#pragma once

#include <QLabel>

namespace quillora {

class AppCore;

// The status bar panel that tells how the link is: serving, connected, connecting,
// reconnecting (attempt and countdown) or not connected. Always up to date, whatever the title.
class LinkStatusWidget : public QLabel {
  Q_OBJECT

 public:
  LinkStatusWidget(AppCore& core, QWidget* parent);

 private:
  void Refresh();

  AppCore& core_;
};

}  // namespace quillora
