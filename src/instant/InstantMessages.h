#pragma once

#include <QSet>
#include <QString>

namespace quillora {

class ChatSink;
class DiceBroadcast;
class Instance;
class Router;

// Speaking quickly as several characters: messages and dice results under a chosen speaker
// name, and the typing indicator of each message row.
class InstantMessages {
 public:
  InstantMessages(Instance& instance, Router& router, ChatSink& chat, DiceBroadcast& dice);

  // The speaker name of a row: "OwnHandle/name" when the row's "/N" box is checked.
  QString DisplayName(bool prefix_own_handle, const QString& name) const;

  // Sends `text` (the message with its addressee already appended) under `display_name`.
  // Returns false when the text is empty and nothing was sent.
  bool Say(const QString& text, const QString& display_name);

  // Rolls `expression` with the dice window's modifier label (full-width, "＋０" for none) and
  // sends `message` with the result under `display_name`. A secret roll shows the result only
  // here; the others learn that a secret roll was made.
  void SayWithRoll(const QString& message, const QString& expression, const QString& modifier_label,
                   bool secret, const QString& display_name);

  // The typing indicator of message row `row`, fed with the row box's events.
  void RowTextChanged(int row, const QString& text, const QString& display_name);
  void RowFocusIn(int row, const QString& text, const QString& display_name);
  void RowStopped(int row);  // focus left, the box was emptied, or the row goes away
  bool IsTyping(int row) const { return typing_rows_.contains(row); }

  // The modifier a label such as "＋２" or "－３" stands for (0 when it cannot be read).
  static int ModifierOf(const QString& label);

 private:
  void SendTyping(int kind, const QString& name);

  Instance& instance_;
  Router& router_;
  ChatSink& chat_;
  DiceBroadcast& dice_;
  QSet<int> typing_rows_;  // rows whose box has told the others "typing" (the "NowInput" tag)
};

}  // namespace quillora
