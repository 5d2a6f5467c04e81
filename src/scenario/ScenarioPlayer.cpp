#include "scenario/ScenarioPlayer.h"

#include "core/Instance.h"
#include "dice/DiceLanguage.h"
#include "net/MessageCodes.h"
#include "net/Router.h"

namespace quillora {

namespace {
const QString kErrorTag = QStringLiteral("mdlScenario");
}  // namespace

DiceRoller RollWith(const DiceOptions& options, Random& rng) {
  return [&options, &rng](const QString& expression) {
    return EvaluateDiceText(expression, options, rng);
  };
}

ScenarioPlayer::ScenarioPlayer(Instance& instance, Router& router, DiceRoller roll)
    : instance_(instance), router_(router), roll_(std::move(roll)) {}

bool ScenarioPlayer::CanSend() const { return instance_.session_state().Chatting(); }

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
  Packet p(msg::kSendChat, msg::kChatNamed, instance_.OwnIndex, 0);
  p.Add(text).Add(speaker);
  return router_.Send(RouteServer, p, kErrorTag);
}

}  // namespace quillora
