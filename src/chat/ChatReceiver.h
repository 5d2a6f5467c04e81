#pragma once

#include <QObject>

namespace quillora {

class ChatSink;
class Instance;
class Recipients;
class Session;
struct Packet;

// The receiving half of the chat: chat lines and typing markers that arrive, and the session's
// roster turned into system lines and the addressee and destination lists.
class ChatReceiver : public QObject {
  Q_OBJECT

 public:
  // Registers the chat and typing handlers on the session's dispatcher and follows its roster.
  ChatReceiver(Instance& instance, Session& session, ChatSink& sink, Recipients& recipients,
               QObject* parent = nullptr);

 private:
  void OnChat(const Packet& p);
  void OnTyping(const Packet& p);
  void OnJoined(int index, const QString& handle);
  void OnLeft(int index, const QString& handle);

  Instance& instance_;
  ChatSink& sink_;
  Recipients& recipients_;
};

}  // namespace quillora
