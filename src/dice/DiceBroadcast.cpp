#include "dice/DiceBroadcast.h"

#include "core/Instance.h"
#include "core/ChatSink.h"
#include "dice/DiceRoll.h"
#include "net/Packet.h"
#include "net/Router.h"

namespace quillora {

QString AddresseeSuffix(const QString& entry_text) {
  static const QString kMarker = QStringLiteral("***");
  if (entry_text.size() >= 2 * kMarker.size() && entry_text.startsWith(kMarker) &&
      entry_text.endsWith(kMarker)) {
    return entry_text.mid(kMarker.size(), entry_text.size() - 2 * kMarker.size());
  }
  return entry_text;
}

void SendToServer(Instance& instance, Router& router, const Packet& p, const QString& tag) {
  if (instance.SessionMode != ModeServer && instance.SessionMode != ModeClient) return;
  try {
    router.SendPacket(RouteServer, p);
  } catch (const ProtocolError& e) {
    instance.ReportError(tag, e.number, e.description);
  }
}

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
  Packet p(kChatCode, secret ? kChatResultOthers : kChatResult, instance_.OwnIndex, 0);
  p.Add(secret ? lead + kSecretDiceNotice : lead + result).Add(kDiceLabel);
  SendToServer(instance_, router_, p, QStringLiteral("frmDice"));
}

}  // namespace quillora
