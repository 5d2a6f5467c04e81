#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace quillora {

// Every question the program asks the user goes through this interface. The answers arrive in
// callbacks so that no handler ever waits in a nested event loop; the real implementation shows
// window-modal Qt dialogs, tests install a scripted one.
class Dialogs {
 public:
  enum class Icon { None, Information, Warning, Critical, Question };

  virtual ~Dialogs() = default;

  // A message box with an OK button. `done` (optional) runs after it is dismissed.
  virtual void Message(QWidget* parent, const QString& title, const QString& text, Icon icon,
                       std::function<void()> done = {}) = 0;
  // Yes/No question; `done(true)` for yes.
  virtual void Confirm(QWidget* parent, const QString& title, const QString& text,
                       std::function<void(bool)> done) = 0;
  // The same question with OK and Cancel buttons; `done(true)` for OK.
  virtual void ConfirmOkCancel(QWidget* parent, const QString& title, const QString& text,
                               std::function<void(bool)> done) {
    Confirm(parent, title, text, std::move(done));
  }
  // Text input box; `done(std::nullopt)` when cancelled.
  virtual void Input(QWidget* parent, const QString& title, const QString& prompt,
                     const QString& initial, std::function<void(std::optional<QString>)> done) = 0;
  // Password box: the typed text is hidden, and a box offers to remember it. `done(nullopt, _)`
  // when cancelled. Without a box of its own, an ordinary input box that never remembers.
  virtual void Password(QWidget* parent, const QString& title, const QString& prompt,
                        const QString& remember_label,
                        std::function<void(std::optional<QString>, bool remember)> done) {
    (void)remember_label;
    Input(parent, title, prompt, QString(), [done](std::optional<QString> word) {
      if (done) done(std::move(word), false);
    });
  }
  // Save-file dialog: asks before overwriting; `done("")` when cancelled. `filter` is in Qt's
  // "Text (*.txt)" form.
  virtual void SaveFile(QWidget* parent, const QString& title, const QString& folder,
                        const QString& filter, const QString& default_suffix,
                        std::function<void(QString)> done) = 0;
  // Open-file dialog; `done("")` when cancelled.
  virtual void OpenFile(QWidget* parent, const QString& title, const QString& folder,
                        const QString& filter, std::function<void(QString)> done) = 0;
  virtual void PickColor(QWidget* parent, const QColor& initial,
                         std::function<void(std::optional<QColor>)> done) = 0;
  virtual void PickFont(QWidget* parent, const QFont& initial,
                        std::function<void(std::optional<QFont>)> done) = 0;

  virtual void SetClipboardText(const QString& text) = 0;
  virtual QString ClipboardText() = 0;
  // Opens a file or URL with the desktop's "open" action; false when that failed.
  virtual bool OpenWithShell(const QString& path_or_url) = 0;
};

// Makes a top-level window stay on top of others, or not, keeping its place and size.
void SetTopmost(QWidget* window, bool topmost);

}  // namespace quillora
