#include "net/ToolAnnouncer.h"

#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/MessageCodes.h"
#include "net/Router.h"

namespace quillora {

ToolAnnouncer::ToolAnnouncer(Instance& instance, Router& router, Dispatcher& dispatcher,
                             QObject* parent)
    : QObject(parent), instance_(instance), router_(router) {
  dispatcher.RegisterClientHandler(msg::kOpenTool, msg::kOpenTool, [this](const Packet& p) {
    if (instance_.SessionMode != ModeClient) return;
    const double tool = p.Number(1);
    if (tool == msg::kToolCards) {
      emit toolAnnounced(msg::kToolCards, p.Int(2));
    } else if (tool == msg::kToolDrawing || tool == msg::kToolHexMap ||
               tool == msg::kToolCounters || tool == msg::kToolTable) {
      emit toolAnnounced(static_cast<int>(tool), 1);
    }
  });
}

void ToolAnnouncer::Announce(int tool, int argument) {
  Announce(instance_, router_, tool, argument, QStringLiteral("frmMain"));
}

void ToolAnnouncer::Announce(Instance& instance, Router& router, int tool, int argument,
                             const QString& tag) {
  if (instance.SessionMode != ModeServer) return;
  Packet p(msg::kOpenTool, 0, instance.OwnIndex, 0);
  p.Add(int32_t{tool}).Add(int32_t{argument});
  router.Send(RouteAll, p, tag);
}

}  // namespace quillora
