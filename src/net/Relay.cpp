#include "net/Relay.h"

namespace quillora {

std::optional<RelayAction> RelayFor(int code, int sub_code) {
  const auto in = [code](int first, int last) { return code >= first && code <= last; };
  // Feature operations come back to the other participants as code + 10.
  if (in(501, 509) || in(601, 608) || in(701, 704) || in(801, 803)) {
    return RelayAction{true, code + 10, RouteOthers};
  }
  switch (code) {
    case 448:  // card move: everyone, the mover included, as 442
      return RelayAction{true, 442, RouteAll};
    case 311:  // file piece
      return RelayAction{true, 111, RouteOthers};
    case 321:  // typing state
      return RelayAction{true, 121, RouteAll};
    case 301:  // chat: the sub-code says who hears it
      switch (sub_code) {
        case 1:
        case 3:
        case 5:
        case 6:
          return RelayAction{true, 101, RouteAll};
        case 2:
        case 8:
          return RelayAction{true, 101, RouteOne};
        case 4:
        case 7:
          return RelayAction{true, 101, RouteOthers};
        default:
          return RelayAction{false, 101, RouteAll};
      }
    default:
      return std::nullopt;
  }
}

}  // namespace quillora
