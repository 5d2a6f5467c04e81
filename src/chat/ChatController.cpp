#include "chat/ChatController.h"

#include "core/Instance.h"
#include "core/ChatSink.h"
#include "chat/Recipients.h"
#include "net/Session.h"

namespace quillora {

namespace {
const QString kNowInput = QStringLiteral("NowInput");
const QString kMarker = QStringLiteral("***");
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

bool ChatController::Chatting() const {
  return instance_.SessionMode == ModeServer || instance_.SessionMode == ModeClient;
}

bool ChatController::SendChatMessage(const QString& text) {
  bool sent = false;
  if (Chatting() && !text.isEmpty()) {
    QString message = text;
    if (const RecipientEntry* to = recipients_.SelectedReDir(); to && to->data > 0) {
      QString name = to->text;
      if (name.size() >= 2 * kMarker.size() && name.startsWith(kMarker) && name.endsWith(kMarker)) {
        name = name.mid(kMarker.size(), name.size() - 2 * kMarker.size());
      }
      message += name;
    }
    const RecipientEntry* dest = recipients_.SelectedSend();
    const bool whisper = dest && dest->data > 0;
    Packet p(301, whisper ? 2 : 1, instance_.OwnIndex,
             whisper ? static_cast<int16_t>(dest->data) : int16_t{0});
    p.Add(message);
    sent = session_.Send(RouteServer, p, kTag);
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
  Packet p(321, static_cast<int16_t>(sub_code), instance_.OwnIndex, 0);
  p.Add(instance_.OwnIndex).Add(instance_.OwnHandle);
  session_.Send(RouteServer, p, kTag);
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
  SendTyping(1);
}

void ChatController::InputFocusIn(const QString& text) {
  if (instance_.SessionMode == ModeNone || text.isEmpty()) return;
  input_tag_ = kNowInput;
  SendTyping(1);
}

void ChatController::TypingStopped() {
  if (input_tag_ != kNowInput) return;
  input_tag_.clear();
  if (instance_.SessionMode != ModeNone) SendTyping(2);
}

void ChatController::ChangeHandle(const QString& handle) {
  instance_.OwnHandle = handle;
  instance_.SetPanel(QLatin1String(kPanelCurHandle), handle);
  if (!Chatting()) return;
  Packet p(203, 0, instance_.OwnIndex, 0);
  p.Add(handle).Add(static_cast<int32_t>(instance_.settings.Color[kColorOwnHandle]));
  session_.Send(RouteServer, p, kTag);
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

void ChatController::AnnounceToolOpened(int tool, int argument) {
  if (instance_.SessionMode != ModeServer) return;
  Packet p(5, 0, instance_.OwnIndex, 0);
  p.Add(int32_t{tool}).Add(int32_t{argument});
  session_.Send(RouteAll, p, kTag);
}

}  // namespace quillora
