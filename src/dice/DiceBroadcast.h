#pragma once

#include <QString>

namespace quillora {

class ChatSink;
class DiceOptions;
class Instance;
class Router;

// Texts of dice results in the chat.
inline const QString kDiceLabel = QStringLiteral("(ダイス機能)");
inline const QString kSecretDiceNotice = QStringLiteral("非公開ダイスが振られました");
inline const QString kSecretDicePrefix = QStringLiteral("非公開ダイス：");
inline const QString kWideBlank = QStringLiteral("　");

// Rolls dice expressions and announces the results in the chat, publicly or secretly.
class DiceBroadcast {
 public:
  DiceBroadcast(Instance& instance, Router& router, ChatSink& chat, const DiceOptions& options);

  // The result text of one roll: "SG:" texts go to the rank judgement with the modifier, other
  // texts are evaluated with the modifier inserted before the first ":" (or appended).
  QString RollText(const QString& expression, int modifier);

  // Rolls `expression` and announces it. `chat_text` (the main window's message with its
  // addressee, or empty) goes in front of the result. Returns false when nothing was rolled
  // because the expression is empty.
  bool Roll(const QString& expression, int modifier, bool secret, const QString& chat_text = {});

  // Announces a finished result: publicly as a result line for everyone, or secretly as a line
  // shown only here while the others learn that a secret roll was made.
  void Announce(const QString& result, bool secret, const QString& chat_text = {});

 private:
  Instance& instance_;
  Router& router_;
  ChatSink& chat_;
  const DiceOptions& options_;
};

}  // namespace quillora
