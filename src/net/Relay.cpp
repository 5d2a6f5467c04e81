#include "net/Relay.h"

#include "net/MessageCodes.h"

namespace quillora {

std::optional<RelayAction> RelayFor(int code, int sub_code) {
  const auto in = [code](int first, int last) { return code >= first && code <= last; };
  // Feature operations come back to the other participants as code + 10 (drawing board 5xx,
  // hex map 6xx).
  if (in(501, 509) || in(601, 608) || in(msg::kCounterAdded, msg::kCounterNothing) ||
      in(msg::kTableSetCell, msg::kTableDelete)) {
    return RelayAction{true, code + 10, RouteOthers};
  }
  using namespace msg;
  switch (code) {
    case 448:  // card move: everyone, the mover included, as 442
      return RelayAction{true, 442, RouteAll};
    case kSendFilePiece:
      return RelayAction{true, kFilePiece, RouteOthers};
    case kSendTyping:
      return RelayAction{true, kTyping, RouteAll};
    case kSendChat:  // the sub-code says who hears it
      switch (sub_code) {
        case kChatPublic:
        case kChatResult:
        case kChatNamed:
        case kChatNamedResult:
          return RelayAction{true, kChat, RouteAll};
        case kChatWhisper:
        case kChatResultPrivate:
          return RelayAction{true, kChat, RouteOne};
        case kChatResultOthers:
        case kChatNamedResultOthers:
          return RelayAction{true, kChat, RouteOthers};
        default:
          return RelayAction{false, kChat, RouteAll};
      }
    default:
      return std::nullopt;
  }
}

}  // namespace quillora
