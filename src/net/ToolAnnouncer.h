#pragma once

#include <QObject>
#include <QString>

namespace quillora {

class Dispatcher;
class Instance;
class Router;

// Shared tool windows open together: when the server's user opens one, every client is asked
// to open it too. Tools are the msg::kTool* numbers; the argument is the card mode + 1 for the
// cards and 1 otherwise. The program connects toolAnnounced to each tool window.
class ToolAnnouncer : public QObject {
  Q_OBJECT

 public:
  // Registers the handler of the announcement on the dispatcher.
  ToolAnnouncer(Instance& instance, Router& router, Dispatcher& dispatcher,
                QObject* parent = nullptr);

  // Asks the clients to open `tool`. Only the server announces; elsewhere nothing happens.
  void Announce(int tool, int argument = 1);
  // The same for callers without an announcer at hand (a tool window's own mode menu); failures
  // are reported with `tag`.
  static void Announce(Instance& instance, Router& router, int tool, int argument,
                       const QString& tag);

 signals:
  // The server opened `tool` (clients only).
  void toolAnnounced(int tool, int argument);

 private:
  Instance& instance_;
  Router& router_;
};

}  // namespace quillora
