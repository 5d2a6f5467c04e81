#include "dice/DiceBroadcast.h"

#include "core/ChatSink.h"
#include "core/Instance.h"
#include "dice/DiceRoll.h"
#include "net/MessageCodes.h"
#include "net/Router.h"

namespace quillora {

DiceBroadcast::DiceBroadcast(Instance& instance, Router& router, ChatSink& chat,
                             const DiceOptions& options)
    : instance_(instance), router_(router), chat_(chat), options_(options) {}

QString DiceBroadcast::RollText(const QString& expression, int modifier) {
  return RollDiceExpression(expression, modifier, options_, instance_.Rng());
}

bool DiceBroadcast::Roll(const QString& expression, int modifier, bool secret,
                         const QString& chat_text) {
  if (expression.isEmpty()) return false;
  Announce(RollText(expression, modifier), secret, chat_text);
  return true;
}

void DiceBroadcast::Announce(const QString& result, bool secret, const QString& chat_text) {
  const QString lead = chat_text.isEmpty() ? QString() : chat_text + kWideBlank;
  if (secret) {
    chat_.AppendChatLine(instance_.OwnHandle + kDiceLabel + QStringLiteral("："), kSpeakerSystem,
                         lead + kSecretDicePrefix + result, instance_.OwnHandle, 0);
  }
  if (!instance_.session_state().Chatting()) return;
  Packet p(msg::kSendChat, secret ? msg::kChatResultOthers : msg::kChatResult, instance_.OwnIndex,
           0);
  p.Add(secret ? lead + kSecretDiceNotice : lead + result).Add(kDiceLabel);
  router_.Send(RouteServer, p, QStringLiteral("frmDice"));
}

}  // namespace quillora
