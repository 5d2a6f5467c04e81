#pragma once

#include <optional>

#include "net/Packet.h"

namespace quillora {

// What the server does with a packet its relay table forwards without decoding.
struct RelayAction {
  bool send = true;  // false: a chat packet whose sub-code has no route; dropped
  int new_code = 0;
  RoutingMode mode = RouteAll;
};

// The relay table: the action for an incoming code and sub-code, or nullopt when the packet
// is not relayed but decoded and handed to DP_Serv.
std::optional<RelayAction> RelayFor(int code, int sub_code);

}  // namespace quillora
