#pragma once

#include <QObject>
#include <QString>

namespace quillora {

class ChatSink;
class Instance;
class Recipients;
class Session;

// What the main window calls when the user chats: sending messages and whispers, the typing
// indicator and handle changes. It builds the packets; the window only reports what the user
// did. (What arrives is ChatReceiver's.)
class ChatController : public QObject {
  Q_OBJECT

 public:
  ChatController(Instance& instance, Session& session, ChatSink& sink, Recipients& recipients,
                 QObject* parent = nullptr);

  // Sends the input box's text as a public message or, with a participant selected in the
  // destination list, as a whisper (shown here at once). The selected addressee is appended.
  // Afterwards the list selections go back to their top entries when the settings ask for it.
  // Returns true when a message went out. (Emptying the buffer is the window's part.)
  bool SendChatMessage(const QString& text);

  // The typing indicator. The window reports the input box's text on every change and when
  // the box gains focus; TypingStopped is the stop step (focus leaves, Enter-send).
  void InputTextChanged(const QString& text);
  void InputFocusIn(const QString& text);
  void TypingStarted();
  void TypingStopped();
  // "NowInput" while the others have been told that the user is typing, else empty.
  const QString& InputTag() const { return input_tag_; }

  // Makes `handle` the own handle (also when empty), shows it and announces it when connected.
  void ChangeHandle(const QString& handle);
  // The user-information dialog's answer: an empty answer changes nothing; otherwise it also
  // becomes the current preset handle. Returns true when the handle changed.
  bool ChangeHandleFromDialog(const QString& answer);
  // A click on the handle panel: the previous (-1) or next (+1) preset handle, wrapping.
  void SwitchPresetHandle(int step);

 private:
  void SendTyping(int sub_code);

  Instance& instance_;
  Session& session_;
  ChatSink& sink_;
  Recipients& recipients_;
  QString input_tag_;
};

}  // namespace quillora
