#include "chat/ChatController.h"

#include "chat/Recipients.h"
#include "core/ChatSink.h"
#include "core/Instance.h"
#include "net/MessageCodes.h"
#include "net/Session.h"

namespace quillora {

namespace {
const QString kNowInput = QStringLiteral("NowInput");
const QString kTag = QStringLiteral("frmMain");
}  // namespace

ChatController::ChatController(Instance& instance, Session& session, ChatSink& sink,
                               Recipients& recipients, QObject* parent)
    : QObject(parent),
      instance_(instance),
      session_(session),
      sink_(sink),
      recipients_(recipients) {
  // The flag only means something while connected; a new session starts without it.
  connect(&session_, &Session::connectedChanged, this, [this](bool) { input_tag_.clear(); });
}

bool ChatController::SendChatMessage(const QString& text) {
  bool sent = false;
  if (instance_.session_state().Chatting() && !text.isEmpty()) {
    QString message = text;
    if (const RecipientEntry* to = recipients_.SelectedReDir(); to && to->data > 0) {
      message += AddresseeSuffix(to->text);
    }
    const RecipientEntry* dest = recipients_.SelectedSend();
    const bool whisper = dest && dest->data > 0;
    Packet p(msg::kSendChat, whisper ? msg::kChatWhisper : msg::kChatPublic, instance_.OwnIndex,
             whisper ? static_cast<int16_t>(dest->data) : int16_t{0});
    p.Add(message);
    sent = session_.router().Send(RouteServer, p, kTag);
    if (sent && whisper) {
      sink_.AppendChatLine(
          instance_.OwnHandle + QStringLiteral("(") + dest->text + QStringLiteral("へ秘密通達)："),
          kSpeakerSystem, message, instance_.OwnHandle, 0);
    }
  }
  if (instance_.settings.ReDirListReset && !recipients_.ReDir().isEmpty()) {
    recipients_.SelectReDir(0);
  }
  if (instance_.settings.SendToListRset && !recipients_.Send().isEmpty()) {
    recipients_.SelectSend(0);
  }
  return sent;
}

void ChatController::SendTyping(int sub_code) {
  Packet p(msg::kSendTyping, static_cast<int16_t>(sub_code), instance_.OwnIndex, 0);
  p.Add(instance_.OwnIndex).Add(instance_.OwnHandle);
  session_.router().Send(RouteServer, p, kTag);
}

void ChatController::InputTextChanged(const QString& text) {
  if (text.isEmpty()) {
    TypingStopped();
  } else {
    TypingStarted();
  }
}

void ChatController::TypingStarted() {
  if (instance_.SessionMode == ModeNone || !input_tag_.isEmpty()) return;
  input_tag_ = kNowInput;
  SendTyping(msg::kTypingStarts);
}

void ChatController::InputFocusIn(const QString& text) {
  if (instance_.SessionMode == ModeNone || text.isEmpty()) return;
  input_tag_ = kNowInput;
  SendTyping(msg::kTypingStarts);
}

void ChatController::TypingStopped() {
  if (input_tag_ != kNowInput) return;
  input_tag_.clear();
  if (instance_.SessionMode != ModeNone) SendTyping(msg::kTypingStops);
}

void ChatController::ChangeHandle(const QString& handle) {
  instance_.OwnHandle = handle;
  instance_.SetPanel(QLatin1String(kPanelCurHandle), handle);
  if (!instance_.session_state().Chatting()) return;
  Packet p(msg::kChangeHandle, 0, instance_.OwnIndex, 0);
  p.Add(handle).Add(static_cast<int32_t>(instance_.settings.Color[kColorOwnHandle]));
  session_.router().Send(RouteServer, p, kTag);
}

bool ChatController::ChangeHandleFromDialog(const QString& answer) {
  if (answer.isEmpty()) return false;
  const int n = instance_.settings.PSetNameNum;
  if (n >= 0 && n < kPresetCount) instance_.settings.PsetName[n] = answer;
  ChangeHandle(answer);
  return true;
}

void ChatController::SwitchPresetHandle(int step) {
  int n = instance_.settings.PSetNameNum;
  if (n < 0 || n >= kPresetCount) n = 0;
  n = ((n + step) % kPresetCount + kPresetCount) % kPresetCount;
  instance_.settings.PSetNameNum = n;
  ChangeHandle(instance_.settings.PsetName[n]);
}

}  // namespace quillora
