#pragma once

#include <QString>

namespace quillora {

class ChatSink;
class DiceOptions;
class Instance;
class Router;
struct Packet;

// Texts of dice results in the chat.
inline const QString kDiceLabel = QStringLiteral("(ダイス機能)");
inline const QString kSecretDiceNotice = QStringLiteral("非公開ダイスが振られました");
inline const QString kSecretDicePrefix = QStringLiteral("非公開ダイス：");
inline const QString kWideBlank = QStringLiteral("　");

// Chat message code and the kinds a dice result travels as.
inline constexpr int kChatCode = 301;
inline constexpr int kChatResult = 3;        // result line, relayed to everyone
inline constexpr int kChatResultOthers = 4;  // result line, relayed to everyone but the sender

// The text of a selected addressee entry as it is appended to a message: an entry marked as
// typing ("***＞太郎さん***") loses its markers.
QString AddresseeSuffix(const QString& entry_text);

// Sends a packet to the server when the session is up; a packet that cannot be encoded is
// reported with `tag`. Shared by the chat tools that speak through the client connection.
void SendToServer(Instance& instance, Router& router, const Packet& p, const QString& tag);

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
