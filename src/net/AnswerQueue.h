#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <optional>

#include "net/Packet.h"

namespace quillora {

class Link;
class Router;

// The server's answers to one participant's request (a late joiner's catch-up): packets sent
// on that participant's own socket alone, in the order they were pushed, as fast as the socket
// takes them. The next packet goes once the socket holds less than kLowWater unsent, so a fast
// reader is served at line speed and a slow one never piles up output in the server. When the
// asker's connection is gone its steps are dropped, and what they held is freed.
//
// A step makes its packet when it is its turn (so it carries the state of that moment) or
// returns nothing to be skipped.
class AnswerQueue : public QObject {
  Q_OBJECT

 public:
  static constexpr qint64 kLowWater = 32 * 1024;
  static constexpr int kRecheckMs = 4;
  static constexpr int kBatch = 64;  // packets per asker and pass, so others keep their turn

  using Step = std::function<std::optional<Packet>()>;

  AnswerQueue(Router& router, QString tag, QObject* parent = nullptr);

  void Push(int asker, Step step);
  // A file's pieces, as file transfer sends them (stored by the asker, never opened).
  void PushFile(int asker, const QString& name, const QByteArray& data, int16_t sender);
  // Drops every step not yet run for `asker`.
  void Drop(int asker);
  bool HasPending(int asker) const;
  int Pending() const;

 private:
  void Pump();
  static qint64 Backlog(const Link* link);
  void Schedule(int ms);

  Router& router_;
  QString tag_;
  QTimer timer_;
  std::map<int, std::deque<Step>> steps_;
};

}  // namespace quillora
