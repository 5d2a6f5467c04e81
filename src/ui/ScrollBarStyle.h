#pragma once

class QApplication;

namespace quillora {

// Where the program runs with Qt's own Fusion style (a desktop that names no style of its own),
// scroll bars get a handle that is darker than its groove, as on Windows, macOS and the common
// Linux desktops. Fusion draws the handle a shade lighter than the groove: when the handle fills
// most of the bar (a hex map a little larger than its view), the uncovered groove reads as the
// thumb, at the wrong end, and on a bar scrolled to the middle as two thumbs. Any other style is
// left as it is.
void UseClearScrollBars(QApplication& app);

}  // namespace quillora
