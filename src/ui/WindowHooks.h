#pragma once

#include <QString>
#include <functional>

namespace quillora {

// What the tool windows use of the main window's chat input (txtMess) and addressee list
// (lstReDir). Unset members are treated as an empty input and no addressee.
struct MainChatHooks {
  std::function<QString()> chat_text;                 // the input box's text
  std::function<void(const QString&)> set_chat_text;  // replaces the input box's text
  std::function<void()> focus_chat;                   // gives the input box the keyboard focus
  // The text of the selected addressee entry when its item data is greater than 0, else empty.
  std::function<QString()> addressee;
  // Called after a message used the addressee: selects entry 0 when the main window's
  // "reset the addressee after each message" menu entry is checked.
  std::function<void()> addressee_used;
};

// What the instant-message window reads of the dice window.
class DiceWindowState {
 public:
  virtual ~DiceWindowState() = default;
  virtual QString ExpressionText() const = 0;  // the expression box
  virtual QString ModifierLabel() const = 0;   // full-width, "＋０" when there is no modifier
  virtual bool IsSecret() const = 0;           // the secret-roll box
  virtual bool IsShown() const = 0;
};

}  // namespace quillora
