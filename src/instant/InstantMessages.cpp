#include "instant/InstantMessages.h"

#include "core/ChatSink.h"
#include "core/Instance.h"
#include "dice/DiceBroadcast.h"
#include "net/MessageCodes.h"
#include "net/Router.h"
#include "text/Width.h"

namespace quillora {

namespace {
const QString kTag = QStringLiteral("frmInstMes");
}  // namespace

InstantMessages::InstantMessages(Instance& instance, Router& router, ChatSink& chat,
                                 DiceBroadcast& dice)
    : instance_(instance), router_(router), chat_(chat), dice_(dice) {}

QString InstantMessages::DisplayName(bool prefix_own_handle, const QString& name) const {
  return prefix_own_handle ? instance_.OwnHandle + QLatin1Char('/') + name : name;
}

bool InstantMessages::Say(const QString& text, const QString& display_name) {
  if (text.isEmpty()) return false;
  if (!instance_.session_state().Chatting()) return true;
  Packet p(msg::kSendChat, msg::kChatNamed, instance_.OwnIndex, 0);
  p.Add(text).Add(display_name);
  router_.Send(RouteServer, p, kTag);
  return true;
}

int InstantMessages::ModifierOf(const QString& label) {
  bool ok = false;
  const int value = ToHalfWidth(label).trimmed().toInt(&ok);
  return ok ? value : 0;
}

void InstantMessages::SayWithRoll(const QString& message, const QString& expression,
                                  const QString& modifier_label, bool secret,
                                  const QString& display_name) {
  if (expression.isEmpty()) return;
  const QString result = dice_.RollText(expression, ModifierOf(modifier_label));
  const QString lead = message.isEmpty() ? QString() : message + kWideBlank;
  if (secret) {
    chat_.AppendChatLine(display_name + kDiceLabel + QStringLiteral("："), kSpeakerSystem,
                         lead + kSecretDicePrefix + result, display_name, 0);
  }
  if (!instance_.session_state().Chatting()) return;
  Packet p(msg::kSendChat, secret ? msg::kChatNamedResultOthers : msg::kChatNamedResult,
           instance_.OwnIndex, 0);
  p.Add(lead + (secret ? kSecretDiceNotice : result)).Add(kDiceLabel).Add(display_name);
  router_.Send(RouteServer, p, kTag);
}

void InstantMessages::SendTyping(int kind, const QString& name) {
  Packet p(msg::kSendTyping, kind, instance_.OwnIndex, 0);
  p.Add(instance_.OwnIndex).Add(name);
  // The indicator also runs while a connection is being made; the router drops what it cannot
  // deliver.
  router_.Send(RouteServer, p, kTag);
}

void InstantMessages::RowTextChanged(int row, const QString& text, const QString& display_name) {
  if (instance_.SessionMode == ModeNone) return;
  if (!text.isEmpty() && !typing_rows_.contains(row)) {
    typing_rows_.insert(row);
    SendTyping(msg::kTypingStarts, display_name);
  } else if (text.isEmpty()) {
    RowStopped(row);
  }
}

void InstantMessages::RowFocusIn(int row, const QString& text, const QString& display_name) {
  if (instance_.SessionMode == ModeNone || text.isEmpty()) return;
  typing_rows_.insert(row);
  SendTyping(msg::kTypingStarts, display_name);
}

void InstantMessages::RowStopped(int row) {
  if (!typing_rows_.remove(row)) return;
  if (instance_.SessionMode == ModeNone) return;
  SendTyping(msg::kTypingStops, instance_.OwnHandle);
}

}  // namespace quillora
