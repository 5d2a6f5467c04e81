#include "scenario/ScenarioPlayer.h"

#include "core/Instance.h"
#include "dice/DiceLanguage.h"
#include "net/Packet.h"
#include "net/Router.h"

namespace quillora {

namespace {
constexpr int16_t kCodeChat = 301;
const QString kErrorTag = QStringLiteral("mdlScenario");
}  // namespace

DiceRoller RollWith(const DiceOptions& options, Random& rng) {
  return [&options, &rng](const QString& expression) {
    return EvaluateDiceText(expression, options, rng);
  };
}

ScenarioPlayer::ScenarioPlayer(Instance& instance, Router& router, DiceRoller roll)
    : instance_(instance), router_(router), roll_(std::move(roll)) {}

bool ScenarioPlayer::CanSend() const {
  return instance_.SessionMode == ModeServer || instance_.SessionMode == ModeClient;
}

LineAction ScenarioPlayer::Play(const QStringList& lines, int index) {
  // Without a session nothing is said, so no dice are rolled either.
  const bool live = CanSend();
  LineAction action = InterpretLine(lines, index, instance_.OwnHandle, live ? roll_ : DiceRoller());
  if (action.kind == LineAction::kSpeech) {
    if (!live) return {};
    Say(action.speaker, action.text);
  }
  return action;
}

bool ScenarioPlayer::Say(const QString& speaker, const QString& text) {
  if (!CanSend()) return false;
  Packet p(kCodeChat, kChatSubCodeNamedSpeaker, instance_.OwnIndex, 0);
  p.Add(text).Add(speaker);
  try {
    router_.SendPacket(RouteServer, p);
  } catch (const ProtocolError& e) {
    instance_.ReportError(kErrorTag, e.number, e.description);
    return false;
  }
  return true;
}

}  // namespace quillora
