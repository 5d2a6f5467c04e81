#pragma once

#include <QObject>

class QAbstractScrollArea;
class QScrollBar;

namespace quillora {

// Keeps a scrolling view at its end while content grows, for as long as the user has it there.
// Scrolling up to read stops the following; scrolling back down to the end resumes it. It
// follows the scroll bar's range rather than the document, so lines that wrap, batches of lines
// and layout that finishes later all count.
class ScrollFollower : public QObject {
  Q_OBJECT

 public:
  // Becomes a child of `view` and follows its vertical scroll bar.
  explicit ScrollFollower(QAbstractScrollArea* view);

  bool Following() const { return following_; }

 private:
  void RangeChanged(int min, int max);
  void ValueChanged(int value);

  QScrollBar* bar_;
  bool following_ = true;
  bool moving_ = false;  // our own jump to the end
};

}  // namespace quillora
