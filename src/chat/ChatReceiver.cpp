#include "chat/ChatReceiver.h"

#include "chat/Recipients.h"
#include "core/ChatSink.h"
#include "core/Instance.h"
#include "net/MessageCodes.h"
#include "net/Session.h"

namespace quillora {

ChatReceiver::ChatReceiver(Instance& instance, Session& session, ChatSink& sink,
                           Recipients& recipients, QObject* parent)
    : QObject(parent), instance_(instance), sink_(sink), recipients_(recipients) {
  Dispatcher& d = session.dispatcher();
  d.RegisterClientHandler(msg::kChat, msg::kChat, [this](const Packet& p) { OnChat(p); });
  d.RegisterClientHandler(msg::kTyping, msg::kTyping, [this](const Packet& p) { OnTyping(p); });

  connect(&session, &Session::systemLine, this,
          [this](const QString& text) { sink_.SystemLine(text); });
  connect(&session, &Session::participantJoined, this, &ChatReceiver::OnJoined);
  connect(&session, &Session::participantLeft, this, &ChatReceiver::OnLeft);
  connect(&session, &Session::participantRenamed, this, [this](int index, const QString& handle) {
    recipients_.Rename(index, handle, instance_.settings.PreFixStr);
  });
  connect(&session, &Session::connectedChanged, this, [this](bool connected) {
    if (!connected) recipients_.Clear();
  });
}

void ChatReceiver::OnJoined(int index, const QString& handle) {
  if (index == instance_.OwnIndex) {
    recipients_.InsertTopEntries();
    return;
  }
  // A connection that has not sent its handle yet is described without one; it is listed and
  // greeted when its own announcement arrives. A repeated announcement only renames.
  if (handle.isEmpty() && recipients_.RowOf(index) < 0) return;
  if (recipients_.AddParticipant(index, handle, instance_.settings.PreFixStr)) {
    sink_.SystemLine(handle + QStringLiteral("さんがチャットに加わりました"));
  }
}

void ChatReceiver::OnLeft(int index, const QString& handle) {
  sink_.SystemLine(handle + QStringLiteral("さんがチャットから落ちました"));
  recipients_.RemoveParticipant(index);
}

void ChatReceiver::OnChat(const Packet& p) {
  const int s = p.SenderIndex;
  const Participant* row = instance_.ParticipantAt(s);
  if (!row) throw SubscriptError();
  const QString h = row->Handle;
  const uint32_t c = row->Color;
  const int own_kind = s == instance_.OwnIndex ? kSpeakerOwn : kSpeakerOther;
  const QString colon = QStringLiteral("：");
  switch (p.SubCode) {
    case msg::kChatPublic:
      sink_.AppendChatLine(h + colon, own_kind, p.Text(1), {}, c);
      break;
    case msg::kChatWhisper:
      sink_.AppendChatLine(h + QStringLiteral("(秘密通達)："), kSpeakerSystem, p.Text(1), h, c);
      break;
    case msg::kChatResult:
    case msg::kChatResultOthers:
    case msg::kChatResultPrivate: {
      const QString text = p.Text(1);
      sink_.AppendChatLine(h + p.Text(2) + colon, kSpeakerSystem, text, h, 0);
      break;
    }
    case msg::kChatNamed: {
      const QString text = p.Text(1);
      sink_.AppendChatLine(p.Text(2) + colon, own_kind, text, {}, c);
      break;
    }
    case msg::kChatNamedResult:
    case msg::kChatNamedResultOthers: {
      const QString text = p.Text(1);
      const QString speaker = p.Text(3);
      sink_.AppendChatLine(speaker + p.Text(2) + colon, kSpeakerSystem, text, speaker, 0);
      break;
    }
    default:
      break;
  }
}

void ChatReceiver::OnTyping(const Packet& p) {
  const int32_t i = p.Int(1);
  // Everyone marks their own entry only; the server has stamped the true sender.
  if (i != p.SenderIndex) return;
  const QString handle = p.Text(2);
  recipients_.SetTyping(i, handle, instance_.settings.PreFixStr, p.SubCode == msg::kTypingStarts);
}

}  // namespace quillora
