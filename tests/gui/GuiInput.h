#pragma once

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QWidget>

namespace quillora::test {

// Types text the way an input method commits it, so that Japanese text reaches a box as a user
// edit (QTest can only type Latin-1 keys).
inline void TypeText(QWidget* box, const QString& text) {
  QInputMethodEvent commit;
  commit.setCommitString(text);
  QCoreApplication::sendEvent(box, &commit);
}

}  // namespace quillora::test
